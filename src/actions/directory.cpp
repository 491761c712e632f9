#include "actions/directory.h"

#include <windows.h>

#include "core/dir_listing.h"
#include "core/messages.h"
#include "core/paths.h"

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

// Creates the directory and every missing directory above it; a failure
// gives the system's error code of the level that could not be made.
TApplied CreateDirectories(const std::string& path)
{
    size_t at = RootLength(path);
    while (at < path.size()) {
        size_t end = path.find_first_of("\\/", at);
        if (end == std::string::npos) end = path.size();
        if (end > at) {
            std::string level = path.substr(0, end);
            if (!IsDirectoryPath(level)) {
                if (!CreateDirectoryA(level.c_str(), nullptr)) return Applied(FailureOf(GetLastError()));
                NoteDirectoryChanged(level);
            }
        }
        at = end + 1;
    }
    return {};
}

TState Presence(bool present)
{
    TState state;
    state.Known = true;
    state.Present = present;
    return state;
}

}  // namespace

std::optional<TChange> DecideDirectory(const TDirItem& item, TSectionMode mode, TMachineView& machine)
{
    // A name that expands to nothing names no directory (and would otherwise
    // mean the program's own directory).
    if (item.Shown.empty()) return std::nullopt;
    bool exists = IsDirectory(machine, item.Path);
    TChange change;
    change.Kind = TChangeKind::Directory;
    change.Target = item.Path;
    change.Path = item.Path;
    change.Line = FormatMsg(MsgItemLine, item.Shown);
    change.Before = Presence(exists);
    switch (mode) {
    case TSectionMode::Insert:
        if (exists) return std::nullopt;
        change.Action = TChangeAction::Create;
        change.Reason = Msg(MsgPlanMissing);
        change.After = Presence(true);
        return change;
    case TSectionMode::Delete:
        if (!exists) return std::nullopt;
        change.Action = TChangeAction::Delete;
        change.Reason = Msg(MsgPlanPresent);
        change.After = Presence(false);
        return change;
    case TSectionMode::Update:
        // A new name that expands to nothing is still tried, so that a rename
        // the script asks for fails where it can be seen instead of being skipped.
        if (!exists || !item.HasNewName) return std::nullopt;
        change.Action = TChangeAction::Rename;
        change.Line = FormatMsg(MsgRenameLine, item.Shown, item.NewShown);
        change.To = item.NewPath;
        change.Reason = Msg(MsgPlanPresent);
        change.After = Presence(true);
        return change;
    }
    return std::nullopt;
}

TApplied ApplyDirectoryChange(const TChange& change)
{
    switch (change.Action) {
    case TChangeAction::Create:
        return CreateDirectories(change.Path);
    case TChangeAction::Delete:
        if (!RemoveDirectoryA(change.Path.c_str())) return Applied(FailureOf(GetLastError()));
        NoteDirectoryChanged(change.Path);
        return {};
    case TChangeAction::Rename:
        if (!MoveFileA(change.Path.c_str(), change.To.c_str())) return Applied(FailureOf(GetLastError()));
        NoteDirectoryChanged(change.Path);
        NoteDirectoryChanged(change.To);
        return {};
    default:
        return {};
    }
}

TApplied ForeseeDirectoryChange(const TChange& change, TMachineView& machine)
{
    if (change.Action == TChangeAction::Delete && !machine.Contents(change.Path).empty())
        return Applied(FailureOf(ERROR_DIR_NOT_EMPTY));
    if (change.Action == TChangeAction::Rename && !change.To.empty() && Exists(machine, change.To))
        return Applied(FailureOf(ERROR_ALREADY_EXISTS));
    return {};
}

bool ProcessDirItem(const TDirItem& item, TSectionMode mode, TSteps& steps)
{
    std::optional<TChange> change = DecideDirectory(item, mode, steps.Machine());
    bool ok = true;
    if (change) Take(steps, *change, ok);
    return ok;
}
