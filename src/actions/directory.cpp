#include "actions/directory.h"

#include <windows.h>

#include "core/dir_listing.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Length of the part of an absolute path that cannot be created: "C:\",
// "\\server\share\" or "\".
size_t RootLength(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':') return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t share = path.find_first_of("\\/", 2);
        if (share == std::string::npos) return path.size();
        size_t end = path.find_first_of("\\/", share + 1);
        return end == std::string::npos ? path.size() : end + 1;
    }
    return IsSeparator(path[0]) ? 1 : 0;
}

// Creates the directory and every missing directory above it. False with the
// system's error code of the level that could not be made.
bool CreateDirectories(const std::string& path, DWORD& error)
{
    size_t at = RootLength(path);
    while (at < path.size()) {
        size_t end = path.find_first_of("\\/", at);
        if (end == std::string::npos) end = path.size();
        if (end > at) {
            std::string level = path.substr(0, end);
            if (!IsDirectoryPath(level)) {
                if (!CreateDirectoryA(level.c_str(), nullptr)) {
                    error = GetLastError();
                    return false;
                }
                NoteDirectoryChanged(level);
            }
        }
        at = end + 1;
    }
    return true;
}

// Whether the directory holds anything.
bool HoldsAnything(const std::string& path)
{
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA((path + "\\*").c_str(), &data));
    if (!find) return false;  // nothing listed: an empty directory, as far as can be told
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") return true;
    } while (FindNextFileA(find.Get(), &data));
    return false;
}

// The directory and every level above it, as a plan's created directories.
void NoteCreated(const std::string& path)
{
    size_t at = RootLength(path);
    while (at < path.size()) {
        size_t end = path.find_first_of("\\/", at);
        if (end == std::string::npos) end = path.size();
        if (end > at) Run.Plan.Directories.insert(PathKey(path.substr(0, end)));
        at = end + 1;
    }
}

// A plan shows the change instead of making it, with the failure a run would
// meet where one can be told beforehand.
void ShowDirectoryChange(const TDirItem& item, TDirChange change)
{
    switch (change) {
    case TDirChange::None:
        return;
    case TDirChange::Create:
        NoteCreated(item.Path);
        return ReportChange(TChangeKind::Directory, Msg(MsgPlanMissing));
    case TDirChange::Remove:
        if (HoldsAnything(item.Path)) return FailStep(ERROR_DIR_NOT_EMPTY);
        return ReportChange(TChangeKind::Directory, Msg(MsgPlanPresent));
    case TDirChange::Rename:
        if (!item.NewPath.empty() && GetFileAttributesA(item.NewPath.c_str()) != INVALID_FILE_ATTRIBUTES)
            return FailStep(ERROR_ALREADY_EXISTS);
        return ReportChange(TChangeKind::Directory, Msg(MsgPlanPresent));
    }
}

}  // namespace

TDirChange DecideDirectory(const TDirItem& item, TSectionMode mode)
{
    // A name that expands to nothing names no directory (and would otherwise
    // mean the program's own directory).
    if (item.Shown.empty()) return TDirChange::None;
    bool exists = IsDirectoryPath(item.Path);
    switch (mode) {
    case TSectionMode::Insert:
        return exists ? TDirChange::None : TDirChange::Create;
    case TSectionMode::Delete:
        return exists ? TDirChange::Remove : TDirChange::None;
    case TSectionMode::Update:
        // A new name that expands to nothing is still tried, so that a rename
        // the script asks for fails where it can be seen instead of being skipped.
        return exists && item.HasNewName ? TDirChange::Rename : TDirChange::None;
    }
    return TDirChange::None;
}

void ApplyDirectory(const TDirItem& item, TDirChange change)
{
    switch (change) {
    case TDirChange::None:
        return;
    case TDirChange::Create: {
        ReportItem(FormatMsg(MsgItemLine, item.Shown));
        if (Run.Plan.Active) return ShowDirectoryChange(item, change);
        DWORD error = 0;
        if (!CreateDirectories(item.Path, error)) return FailStep(static_cast<int32_t>(error));
        break;
    }
    case TDirChange::Remove:
        ReportItem(FormatMsg(MsgItemLine, item.Shown));
        if (Run.Plan.Active) return ShowDirectoryChange(item, change);
        if (!RemoveDirectoryA(item.Path.c_str())) return FailStep(static_cast<int32_t>(GetLastError()));
        NoteDirectoryChanged(item.Path);
        break;
    case TDirChange::Rename:
        ReportItem(FormatMsg(MsgRenameLine, item.Shown, item.NewShown));
        if (Run.Plan.Active) return ShowDirectoryChange(item, change);
        if (!MoveFileA(item.Path.c_str(), item.NewPath.c_str())) return FailStep(static_cast<int32_t>(GetLastError()));
        NoteDirectoryChanged(item.Path);
        NoteDirectoryChanged(item.NewPath);
        break;
    }
    ReportOk();
}

void RemoveOrRename(const TDirItem& item, TSectionMode mode)
{
    ApplyDirectory(item, DecideDirectory(item, mode));
}
