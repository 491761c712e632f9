// Files and directories as a plan shows them: the machine's, with the file,
// directory, INI and text changes planned so far laid over them. A file the
// plan would copy holds its source's bytes; one it would delete or rename is
// gone from its old name; a directory it would remove takes what is below it
// along, one it would rename shows its old contents under the new name.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "machine/machine_view.h"

class TPlannedFiles {
public:
    explicit TPlannedFiles(TMachineView& live) : m_live(live) {}

    TEntry Entry(const std::string& path);
    DWORD Attributes(const std::string& path);
    std::vector<TListedFile> Matches(const std::string& pattern, bool withHiddenAndSystem, bool fromSource);
    std::string Version(const std::string& path);
    std::vector<std::string> Contents(const std::string& directory);
    DWORD WriteProblem(const std::string& path);
    std::string ContentPath(const std::string& path);
    TIniRead IniValue(const std::string& file, const std::string& section, const std::string& key);
    TTextRead TextFile(const std::string& path);

    // Lays a file, directory, INI value or text line change over the files.
    void Made(const TChange& change);

private:
    struct TIniEntry {
        bool Present = false;
        std::string Text;
    };
    struct TFile {
        bool Exists = false;
        std::string Name;     // as it would be spelt
        DWORD Attributes = FILE_ATTRIBUTE_NORMAL;
        int64_t Size = 0;
        FILETIME WriteTime{};
        std::string Content;  // the file of the machine whose bytes it holds; empty: none
        std::string Appended; // text lines appended since
        std::map<std::string, TIniEntry> Ini;  // "SECTION\nKEY" (upper case)
        std::set<std::string> DeletedSections;
    };
    struct TDir {
        bool Exists = false;
        bool Fresh = false;    // made by the plan: nothing of the machine's is inside
        std::string RealPath;  // renamed: where its contents are on the machine
    };
    // Where a path stands in the plan.
    struct TPlace {
        enum TWhat { Live, File, Dir, Absent } What = Live;
        std::string RealPath;  // Live: the path to ask the machine
        TFile* FileEntry = nullptr;
        TDir* DirEntry = nullptr;
    };

    TPlace Find(const std::string& path);
    // The file as it stands now, to be changed further.
    TFile& FileFor(const std::string& path);
    void MoveBelow(const std::string& oldKey, const std::string& newKey);
    void DropBelow(const std::string& key);
    void MadeFile(const TChange& change);
    void MadeDirectory(const TChange& change);

    TMachineView& m_live;
    std::map<std::string, TFile> m_files;  // by PlanKey
    std::map<std::string, TDir> m_dirs;
};

// A path as the plan keys it: full, with backslashes, no trailing separator
// (but "C:\"), in upper case.
std::string PlanKey(const std::string& path);
