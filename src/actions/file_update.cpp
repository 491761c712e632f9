#include "actions/file_update.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "core/disk_files.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/run_state.h"

namespace {

// A copy that may be made beside its target ahead of its turn: a plain copy
// of a section's item, decided without a failure.
bool GoesAhead(const std::optional<TChange>& change)
{
    return change && !change->Nothing && !change->Failure.Failed &&
           (change->FileOp == TFileOp::Copy || change->FileOp == TFileOp::Insert);
}

// Decides the matches from `next` on, up to `last`, and tells the steps of
// those that copy. The look-ahead never asks the share more than the walk
// will: a version comparison reads both files, so such items are not looked at.
void MatchesAhead(const std::vector<TListedFile>& matches, size_t next, size_t last, const std::string& directory,
                  const TFileFlags& flags, TSectionMode mode, TSteps& steps)
{
    if (flags.CheckVersion) return;
    const TNewScriptSourceQuery noNewSource = [] { return TNewScriptSource{}; };
    for (size_t i = next; i < matches.size() && i <= last; ++i) {
        std::optional<TChange> change =
            DecideFileStep(matches[i], Run.SourceDir, directory, flags, mode, steps.Machine(), noNewSource);
        if (GoesAhead(change)) steps.Ahead(*change);
    }
}

// A step that fails before anything is decided: its target, line and failure.
TChange FailedFileStep(const std::string& target, const std::string& line, const std::string& message)
{
    TChange change = FailedStep(TChangeKind::File, target, FailureOf(message));
    change.Line = line;
    return change;
}

bool UpdateFromSource(const TFileItem& item, const TFileFlags& flags, TSectionMode mode,
                      const TNewScriptSourceQuery& newSource, TSteps& steps)
{
    std::string directory = DirectoryPart(item.Path);
    std::string pattern = FileNamePart(item.Path);
    bool ok = true;
    if (IsDeviceName(pattern)) {
        Take(steps, FailedFileStep(item.Path, FormatMsg(MsgItemLine, pattern), FormatMsg(MsgNotADiskFile, item.Path)),
             ok);
        return false;
    }
    TMachineView& machine = steps.Machine();
    std::vector<TListedFile> matches = machine.Matches(JoinedPath(Run.SourceDir, pattern), false, true);
    // What interrupted earlier runs left beside the targets goes first; a
    // scratch file beside a target that is copied now is replaced anyway.
    if (!matches.empty()) steps.Tidy(directory);
    if (matches.empty()) {
        Take(steps,
             FailedFileStep(item.Path, FormatMsg(MsgItemLine, pattern),
                            FormatMsg(MsgNewVersionNotFound, Run.SourceDir + pattern)),
             ok);
        return false;
    }
    bool result = false;
    size_t aheadTo = 0;  // the matches up to here were looked at ahead
    for (size_t i = 0; i < matches.size(); ++i) {
        const TListedFile& match = matches[i];
        if (steps.LooksAhead() && i + 1 < matches.size()) {
            MatchesAhead(matches, std::max(i + 1, aheadTo + 1), i + FileStepsAhead, directory, flags, mode, steps);
            aheadTo = i + FileStepsAhead;
        }
        std::optional<TChange> change =
            DecideFileStep(match, Run.SourceDir, directory, flags, mode, machine, newSource);
        if (!change) {
            result = true;
            continue;
        }
        steps.Show(*change);
        TApplied applied = change->Failure.Failed ? Applied(change->Failure) : steps.Make(*change);
        if (applied.SourceReplaced) {
            // A complete new version replaced the source since it was listed:
            // decided again, once, on what the copy found.
            std::optional<TChange> again =
                DecideFileStepAgain(*change, applied.Found, flags, mode, machine, newSource);
            if (!again) {
                change->Nothing = true;  // current after all: its line is ended as done
                applied = {};
            } else {
                change = again;
                change->Quiet = false;  // its line is shown already
                applied = change->Failure.Failed ? Applied(change->Failure) : steps.Make(*change);
                if (applied.SourceReplaced) applied = Applied(FailureOf(FormatMsg(MsgSourceChanged, change->From)));
            }
        }
        result = applied.Ok();
        if (!steps.Report(*change, applied)) return false;
    }
    return result;
}

// Every match is deleted, hidden, system and read-only ones included.
bool DeleteMatches(const TFileItem& item, const TFileFlags& flags, TSteps& steps)
{
    bool ok = true;
    if (IsDeviceName(item.Path)) {
        Take(steps,
             FailedFileStep(item.Path, FormatMsg(MsgItemLine, FileNamePart(item.Path)),
                            FormatMsg(MsgNotADiskFile, item.Path)),
             ok);
        return false;
    }
    std::vector<TListedFile> matches = steps.Machine().Matches(item.Path, true, false);
    if (matches.empty()) return true;
    std::string directory = DirectoryPart(item.Path);
    bool result = false;
    for (const TListedFile& match : matches) {
        // The workstation's key stays: without it the workstation would take any release.
        if (IsWorkstationKey(directory + match.Name)) {
            result = true;
            continue;
        }
        TChange change;
        change.Kind = TChangeKind::File;
        change.Action = TChangeAction::Delete;
        change.FileOp = TFileOp::Delete;
        change.Path = change.Target = directory + match.Name;
        change.Line = FormatMsg(MsgItemLine, match.Name);
        change.Reason = Msg(MsgPlanPresent);
        change.UntilReboot = flags.UntilReboot;
        change.Before.Known = change.After.Known = true;
        change.Before.Present = true;
        change.Before.Size = match.Size;
        change.Before.WriteTime = match.WriteTime;
        change.Before.Dated = true;
        change.Before.Attributes = match.Attributes;
        if (IsDeviceName(change.Path)) {
            change.Failure = FailureOf(FormatMsg(MsgNotADiskFile, change.Path));
            Take(steps, change, ok);
            return false;
        }
        steps.Show(change);
        TApplied applied = steps.Make(change);
        if (applied.Ok()) result = true;
        // A match that could not be deleted fails the item, whatever went before it.
        if (!steps.Report(change, applied)) return false;
    }
    return result;
}

}  // namespace

bool UpdateFileItem(const TFileItem& item, TSectionMode mode, const TNewScriptSourceQuery& newSource, TSteps& steps)
{
    if (item.WaitForPreviousInstance && Run.SelfPauseMs > 0) steps.Pause(static_cast<DWORD>(Run.SelfPauseMs));
    TFileFlags flags = ParseFileFlags(item.Flags);
    if (mode == TSectionMode::Delete) return DeleteMatches(item, flags, steps);
    return UpdateFromSource(item, flags, mode, newSource, steps);
}

void FileItemAhead(const TFileItem& item, TSectionMode mode, TSteps& steps)
{
    if (mode == TSectionMode::Delete || item.WaitForPreviousInstance) return;
    std::string pattern = FileNamePart(item.Path);
    if (IsDeviceName(pattern)) return;
    std::vector<TListedFile> matches = steps.Machine().Matches(Run.SourceDir + pattern, false, true);
    MatchesAhead(matches, 0, FileStepsAhead - 1, DirectoryPart(item.Path), ParseFileFlags(item.Flags), mode, steps);
}

bool RenameFile(const TFileRename& rename, TSteps& steps)
{
    bool ok = true;
    std::string line = FormatMsg(MsgRenameLine, rename.Shown, rename.NewShown);
    for (const std::string* path : {&rename.Path, &rename.NewPath}) {
        if (!IsDeviceName(*path)) continue;
        Take(steps, FailedFileStep(rename.Path, line, FormatMsg(MsgNotADiskFile, *path)), ok);
        return false;
    }
    // Nothing to rename: the rename already happened at an earlier run. The
    // workstation's key is neither renamed away nor made from another file.
    if (!IsFile(steps.Machine(), rename.Path)) return true;
    if (IsWorkstationKey(rename.Path) || IsWorkstationKey(rename.NewPath)) return true;
    TChange change;
    change.Kind = TChangeKind::File;
    change.Action = TChangeAction::Rename;
    change.FileOp = TFileOp::Rename;
    change.Path = change.Target = rename.Path;
    change.To = rename.NewPath;
    change.Line = line;
    change.Reason = Msg(MsgPlanPresent);
    change.Before.Known = change.After.Known = true;
    change.Before.Present = change.After.Present = true;
    Take(steps, change, ok);
    return ok;
}
