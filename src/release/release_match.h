// Holding a source directory to its release manifest: which files of the
// directory belong to a release (the ones --publish lists), and where the
// directory and the manifest part. A run takes nothing from a directory
// whose files are not exactly the release its manifest describes: a file
// that differs from its entry, or that the manifest does not list, means
// the release is still being copied or published, or a replica has not
// caught up.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "release/manifest.h"

// Whether a file of the directory belongs to a release: every visible file
// (not a directory, not hidden or system, no device's name) other than the
// manifest and its pending copy. --publish lists exactly these, and a run
// holds exactly these to the manifest.
bool IsReleaseFile(const std::string& ansiName, DWORD attributes);

// One entry of a directory, as a listing gives it.
struct TSourceFile {
    std::string Name;     // in the ANSI code page, for messages
    std::wstring Folded;  // the name in the system's upper case, as the manifest's index keys it
    DWORD Attributes = 0;
    int64_t Size = 0;
    FILETIME WriteTime{};
};

enum class TMismatchKind {
    Differs,   // listed, with another size or last-write time
    Unlisted,  // a release file the manifest does not name
    Missing,   // named by the manifest, and no release file of the directory has that name
};

struct TReleaseMismatch {
    TMismatchKind Kind = TMismatchKind::Differs;
    std::string Name;  // ANSI: the directory's spelling, or for Missing the manifest's
    TListingMatch How = TListingMatch::Same;  // Differs: what differs
};

// Where the directory's release files and the manifest part: first the
// files of the directory in their order (Differs, Unlisted), then the
// entries no file answers (Missing), in the manifest's order. At most
// `limit` of them; empty when the directory is the release.
std::vector<TReleaseMismatch> MatchRelease(const TRelease& release, const std::vector<TSourceFile>& files,
                                           size_t limit);

// Lists the directory (with its separator) by wide names, for a directory
// whose names the ANSI code page cannot all hold. ERROR_SUCCESS, or the
// system's code.
DWORD ListSourceFiles(const std::string& directory, std::vector<TSourceFile>& files);
