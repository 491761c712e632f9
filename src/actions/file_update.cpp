#include "actions/file_update.h"

#include <windows.h>

#include "actions/file_copy.h"
#include "actions/file_decision.h"
#include "actions/reboot_actions.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

bool IsExistingFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Makes the change the step names.
TFileOutcome ApplyFileStep(const TFileStep& step, const TFileFlags& flags, const TNewScriptSourceQuery& newSource)
{
    TFileOutcome outcome;
    switch (step.Kind) {
    case TFileStepKind::StageOwnFile:
        outcome.Result = StageOwnFile(step.Source, step.FileName);
        break;
    case TFileStepKind::ReplaceScript:
        outcome = ReplaceScriptFile(step.Source, step.Target, step.FileName, newSource);
        break;
    case TFileStepKind::Copy:
        outcome.Result = ClearAndCopy(step.Source, step.Target);
        if (!outcome.Result.Ok && flags.UntilReboot) {
            // The new file waits beside the target for the next start of the system.
            std::string staged = DirectoryPart(step.Target) + "_" + step.FileName;
            TFileResult scheduled = CopyWhole(step.Source, staged);
            if (scheduled.Ok) scheduled = ScheduleReplace(step.Target, staged);
            outcome.RebootScheduled = scheduled.Ok;
            if (!scheduled.Ok) outcome.Result = scheduled;
        }
        break;
    case TFileStepKind::Insert:
        outcome.Result = CopyWhole(step.Source, step.Target);
        break;
    case TFileStepKind::InsertPresent:
    case TFileStepKind::Current:
    case TFileStepKind::StageLanguageForRestart:
        break;
    }
    return outcome;
}

bool UpdateFromSource(const std::string& name, const TFileFlags& flags, TSectionMode mode,
                      const TNewScriptSourceQuery& newSource)
{
    std::string directory = DirectoryPart(name);
    std::string pattern = FileNamePart(name);
    std::vector<TListedFile> matches = ListMatches(Run.SourceDir + pattern, false);
    // What interrupted earlier runs left beside the targets goes first; a
    // scratch file beside a target that is copied now is replaced anyway.
    if (!matches.empty()) SweepLeftoverCopies(directory);
    if (matches.empty()) {
        ReportItem(FormatMsg(MsgItemLine, pattern));
        ReportError(FormatMsg(MsgNewVersionNotFound, Run.SourceDir + pattern));
        return false;
    }
    bool result = false;
    for (const TListedFile& match : matches) {
        TFileStep step = DecideFileStep(match, Run.SourceDir, directory, flags, mode);
        if (step.Kind == TFileStepKind::Current) {
            result = true;
            continue;
        }
        if (step.Kind == TFileStepKind::StageLanguageForRestart) {
            TFileResult copy = StageCurrentLanguageFile(match.Name);
            result = copy.Ok;
            // The restart would run without its language file: say why.
            if (!copy.Ok) {
                ReportItem(FormatMsg(MsgItemLine, match.Name));
                ReportFailure(static_cast<int32_t>(copy.Code));
                return false;
            }
            continue;
        }
        ReportItem(FormatMsg(MsgItemLine, match.Name));
        TFileOutcome outcome = ApplyFileStep(step, flags, newSource);
        result = outcome.Result.Ok;
        if (outcome.Reported) {
            if (outcome.EndWalk) return false;
            continue;
        }
        if (outcome.Result.Ok) {
            ReportOk();
        } else if (outcome.RebootScheduled) {
            ReportError(FormatMsg(MsgActionAtReboot, step.Target));
        } else {
            ReportFailure(static_cast<int32_t>(outcome.Result.Code));
            if (outcome.Result.Code != 0) return false;
        }
    }
    return result;
}

// Every match is deleted, hidden, system and read-only ones included.
bool DeleteMatches(const std::string& name, const TFileFlags& flags)
{
    std::vector<TListedFile> matches = ListMatches(name, true);
    if (matches.empty()) return true;
    std::string directory = DirectoryPart(name);
    bool result = false;
    for (const TListedFile& match : matches) {
        ReportItem(FormatMsg(MsgItemLine, match.Name));
        std::string path = directory + match.Name;
        TFileResult step = ResetAttributes(path);
        if (step.Ok && !DeleteFileA(path.c_str())) step = LastFileFailure();
        if (step.Ok) {
            ReportOk();
            result = true;
            continue;
        }
        if (flags.UntilReboot) {
            TFileResult scheduled = ScheduleDelete(path);
            if (scheduled.Ok) {
                ReportError(FormatMsg(MsgActionAtReboot, path));
                continue;
            }
            step = scheduled;
        }
        ReportFailure(static_cast<int32_t>(step.Code));
        if (step.Code != 0) break;
    }
    return result;
}

}  // namespace

bool UpdateFileItem(const TFileItem& item, TSectionMode mode, const TNewScriptSourceQuery& newSource)
{
    if (item.WaitForPreviousInstance && Run.SelfPauseMs > 0) Sleep(static_cast<DWORD>(Run.SelfPauseMs));
    TFileFlags flags = ParseFileFlags(item.Flags);
    if (mode == TSectionMode::Delete) return DeleteMatches(item.Path, flags);
    return UpdateFromSource(item.Path, flags, mode, newSource);
}

void RenameFile(const TFileRename& rename)
{
    // Nothing to rename: the rename already happened at an earlier run.
    if (!IsExistingFile(rename.Path)) return;
    ReportItem(FormatMsg(MsgRenameLine, rename.Shown, rename.NewShown));
    if (!MoveFileA(rename.Path.c_str(), rename.NewPath.c_str())) return FailStep(static_cast<int32_t>(GetLastError()));
    ReportOk();
}
