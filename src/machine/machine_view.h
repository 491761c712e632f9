// The machine as every decision reads it: files and directories, registry
// keys and values, INI values, text files, aliases. A run reads the machine
// itself (live_machine.h); a plan reads the machine with the changes planned
// so far laid over it (planned_machine.h). Decisions take one or the other
// and cannot tell them apart, so a plan and the run that follows it decide
// alike.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "machine/change.h"
#include "release/manifest.h"

// One file of a directory, as a listing describes it.
struct TListedFile {
    std::string Name;
    int64_t Size = 0;
    FILETIME WriteTime{};  // as stored (UTC)
    DWORD Attributes = 0;
};

// A file or directory of a name, as FindFirstFile describes it.
struct TEntry {
    bool Exists = false;
    DWORD Attributes = 0;
    int64_t Size = 0;
    FILETIME WriteTime{};
    bool IsDirectory() const { return Exists && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

struct TKeyState {
    bool Exists = false;
    int32_t OpenError = 0;     // why it could not be opened for reading
    bool HasSubKeys = false;   // asked only when wanted
};

// A registry value as the run compares it: read into 260 bytes, and a value
// that does not fit counts as absent.
struct TStoredValue {
    bool Present = false;
    DWORD Type = 0;
    std::string Bytes;
};

// An INI value as the profile functions give it into 260 bytes; for a whole
// section (no key), its first key's name.
struct TIniRead {
    bool Present = false;  // it holds at least one character
    std::string Text;
};

// A text file's bytes.
struct TTextRead {
    enum TStatus { Read, Missing, NotADiskFile, OpenFailed };
    TStatus Status = Missing;
    DWORD Code = 0;  // OpenFailed: the system's code
    std::string Bytes;
};

struct TAliasLookup {
    bool Found = false;
    std::string DriverType;  // the found alias's, as the engine gives them (OEM code page)
    std::string Params;
    // The engine's failures while its list was read (a list that cannot be
    // opened holds nothing).
    std::vector<std::string> Failures;
};

class TMachineView {
public:
    virtual ~TMachineView() = default;

    // The file or directory of the path, looked up in its directory's listing
    // once that directory has been asked often enough (targets of copies).
    virtual TEntry Entry(const std::string& path) = 0;
    // The attributes as GetFileAttributes gives them; INVALID_FILE_ATTRIBUTES
    // when nothing of the name is there.
    virtual DWORD Attributes(const std::string& path) = 0;
    // The files (no directories) matching a name or mask, in the order the
    // system delivers them; hidden and system files only when asked for. A
    // source directory (`fromSource`) is listed once per run.
    virtual std::vector<TListedFile> Matches(const std::string& pattern, bool withHiddenAndSystem,
                                             bool fromSource) = 0;
    // The file version of the version resource ("1.2.3.4"); empty when none.
    virtual std::string Version(const std::string& path) = 0;
    // The names of everything the directory holds, files and directories.
    virtual std::vector<std::string> Contents(const std::string& directory) = 0;
    // 0, or the system's code a write onto the existing file would meet now
    // (a sharing violation for a file held open or a running program).
    virtual DWORD WriteProblem(const std::string& path) = 0;
    // The path names no device and, when something is there, it is a file or
    // directory on a disk; `once`: asked of the system once per run and path.
    virtual bool MayOpenAsFile(const std::string& path, bool once) = 0;
    // The file whose bytes the path holds: itself, or in a plan the source of
    // a copy that would have been made by now.
    virtual std::string ContentPath(const std::string& path) = 0;

    virtual TKeyState RegistryKey(HKEY root, const std::string& subKey, bool withSubKeys) = 0;
    virtual TStoredValue RegistryValue(HKEY root, const std::string& subKey, const std::string& name) = 0;

    // `key` empty: the whole section (Present when it has a key; Text: its first key's name).
    virtual TIniRead IniValue(const std::string& file, const std::string& section, const std::string& key) = 0;

    // The whole file, read once (input/output errors raise IoError).
    virtual TTextRead TextFile(const std::string& path) = 0;

    virtual TAliasLookup Alias(const std::string& oemName) = 0;

    // The change has been made (a plan: would have been by now); what was read
    // of it is read again, or the plan lays it over what it shows.
    virtual void Made(const TChange& change) = 0;

    // From now on the files of the source directory (with its separator) are
    // the release; a copy from there must bring the bytes its manifest lists.
    virtual void HoldToRelease(const std::string& directory, std::shared_ptr<const TRelease> release) = 0;
    // The release a source file's directory is held to, or null; `entry`
    // becomes the file's entry in it, or null when the manifest lacks it.
    virtual const TRelease* ReleaseOf(const std::string& sourcePath, const TReleaseEntry*& entry) = 0;
};

// Shorthands over Attributes().
bool IsFile(TMachineView& view, const std::string& path);
bool IsDirectory(TMachineView& view, const std::string& path);
bool Exists(TMachineView& view, const std::string& path);

// The directory that holds the path ("C:\app" of "C:\app\x.dll"; "C:\" stays
// whole); empty for a bare name (the current directory).
std::string ParentDirectory(const std::string& path);
