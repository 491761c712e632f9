// The run's listings of directories. Over a network every look-up of a file
// is a round trip to the server, and at the start of the working day the
// share answers that for every workstation at once. So a source directory is
// listed once per run and every later look-up in it, of a name or a mask, is
// answered from that listing with the entries FindFirstFile would give; a
// target directory is listed too once it has been asked often enough for that
// to save calls. What the run itself changes in a listed directory is asked
// of the system again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/name_mask.h"

// One entry of a directory, as FindFirstFile describes it.
struct TDirEntry {
    std::string Name;       // as the system spells it
    std::string ShortName;  // the 8.3 alias; empty when the name is one already
    DWORD Attributes = 0;
    int64_t Size = 0;
    FILETIME WriteTime{};   // as stored (UTC)
};

// When a look-up may list the whole directory.
enum class TListingUse {
    Always,        // at the first look-up (the source directory)
    WhenRepeated,  // once the directory has been asked a few times (target directories)
    IfListed,      // only when a listing is there already
};

struct TFoundEntries {
    DWORD Error = 0;  // 0, or the system's code as FindFirstFile gives it (no match: ERROR_FILE_NOT_FOUND)
    std::vector<TDirEntry> Entries;  // in the order FindFirstFile and FindNextFile deliver them
};

// The entries FindFirstFile and FindNextFile give for `pattern` (a directory
// part and a name or a mask of * and ?), "." and ".." and directories
// included. Names that the listing could not answer exactly (separators,
// characters outside the ANSI code page, a directory that cannot be listed)
// are asked of the system, and so are masks outside Wine (see MaskMatches).
TFoundEntries FindEntries(const std::string& pattern, TListingUse use);

// Every entry of the directory (with its trailing separator) as the run's
// listing holds it, "." and ".." included, listed now when it is not yet (as
// a source directory is at its first look-up), so that a whole directory is
// looked at without another request; null when no listing can answer for it
// (a directory that cannot be listed, a name the ANSI code page cannot hold,
// the 9x family). Valid until the next look-up.
const std::vector<TDirEntry>* DirectoryEntries(const std::string& directory);

// The entry that FindFirstFile gives for one path without wildcards; false
// when there is none.
bool LookUpEntry(const std::string& path, TListingUse use, TDirEntry& entry);

// The run created, wrote, renamed or deleted the file: later look-ups of it
// are asked of the system, and a mask over its directory lists it again.
void NoteFileChanged(const std::string& path);

// How many changes the run has noted so far (NoteFileChanged and
// NoteDirectoryChanged): what was read before stays true while it holds.
uint64_t NotedChanges();

// The run created, removed or renamed the directory: listings of it and of
// everything below it are dropped, and its name is changed in its parent's.
void NoteDirectoryChanged(const std::string& path);
