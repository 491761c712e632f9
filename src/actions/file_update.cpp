#include "actions/file_update.h"

#include <windows.h>

#include <cstdio>

#include "actions/file_copy.h"
#include "actions/file_decision.h"
#include "actions/file_version.h"
#include "actions/reboot_actions.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

// A last-write time in local milliseconds as "2026-12-01 10:00:00", with the
// milliseconds when `exact` (two times within the same second).
std::string DateText(int64_t localMs, bool exact)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(localMs) * 10000;
    FILETIME time{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME t{};
    if (!FileTimeToSystemTime(&time, &t)) return std::to_string(localMs);  // outside the calendar: the number
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    std::string result = text;
    if (exact) {
        std::snprintf(text, sizeof text, ".%03u", t.wMilliseconds);
        result += text;
    }
    return result;
}

// The decision's reason in the words a plan shows.
std::string CopyReasonText(const TCopyReason& why)
{
    if (!why.TargetExists) return Msg(MsgPlanMissing);
    switch (why.Rule) {
    case TCopyRule::Size:
        return FormatMsg(MsgPlanSizes, std::to_string(why.SourceSize), why.SourceSize > why.TargetSize ? ">" : "<",
                         std::to_string(why.TargetSize));
    case TCopyRule::Version: {
        std::string source = why.SourceVersion.empty() ? "0.0.0.0" : why.SourceVersion;
        std::string target = why.TargetVersion.empty() ? "0.0.0.0" : why.TargetVersion;
        return FormatMsg(MsgPlanVersions, source, CompareVersions(source, target) > 0 ? ">" : "<", target);
    }
    case TCopyRule::Date:
        break;
    }
    if (!why.SourceDated) return Msg(MsgPlanUndated);
    bool exact = why.SourceDateMs / 1000 == why.TargetDateMs / 1000;
    std::string source = DateText(why.SourceDateMs, exact);
    std::string target = DateText(why.TargetDateMs, exact);
    return FormatMsg(why.SourceDateMs > why.TargetDateMs ? MsgPlanNewer : MsgPlanOlder, source, target);
}

// Whether a copy onto the target could begin now: its directory is there (or
// the run would have made it by then), and an existing target is not held by
// someone else. A read-only target is not probed: the run clears it first.
TFileResult CopyWouldStart(const std::string& target)
{
    if (!ParentWouldExist(target)) return {false, ERROR_PATH_NOT_FOUND};
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return {};
    return ProbeWritable(target);
}

// A plan shows the step instead of making it, with the failure a run would
// meet where one can be told beforehand.
TFileOutcome ShowFileStep(const TFileStep& step, const TFileFlags& flags, const TNewScriptSourceQuery& newSource)
{
    TFileOutcome outcome;
    outcome.Reported = true;
    switch (step.Kind) {
    case TFileStepKind::Current:
    case TFileStepKind::StageLanguageForRestart:
    case TFileStepKind::InsertPresent:
        outcome.Reported = false;  // reported as a run reports it
        return outcome;
    case TFileStepKind::StageOwnFile:
        ReportChange(TChangeKind::File, CopyReasonText(step.Reason));
        Run.Plan.Restart = true;
        return outcome;
    case TFileStepKind::NotADiskFile:
        outcome.Reported = false;  // refused as a run refuses it
        outcome.Result = {false, 0};
        outcome.Result.Problem = TCopyProblem::NotADiskFile;
        return outcome;
    case TFileStepKind::ReplaceProgram:
        break;
    case TFileStepKind::ReplaceScript: {
        TFileOutcome served = NewScriptSourceServes(step.FileName, newSource);
        if (served.Result.Ok) break;
        if (!served.Reported) ReportFailure(static_cast<int32_t>(served.Result.Code));
        outcome.Result = served.Result;
        return outcome;  // a plan goes on past it
    }
    case TFileStepKind::Copy:
    case TFileStepKind::Insert: {
        TFileResult ready = CopyWouldStart(step.Target);
        if (!ready.Ok) {
            outcome.Result = ready;
            if (step.Kind == TFileStepKind::Copy && flags.UntilReboot)
                ReportError(FormatMsg(MsgActionAtReboot, step.Target));
            else
                ReportFailure(static_cast<int32_t>(ready.Code));
            return outcome;
        }
        break;
    }
    }
    ReportChange(TChangeKind::File, CopyReasonText(step.Reason));
    // Later reads of the target (the script, an include, an INI or text file)
    // see what the run would have put there.
    Run.Plan.Copies[PathKey(step.Target)] = step.Source;
    return outcome;
}

// The source as the decision saw it: the copy is held to it.
TSourceFacts DecidedFacts(const TFileStep& step)
{
    return {true, step.Match.Size, step.Match.WriteTime, step.Match.Attributes};
}

// Makes the change the step names.
TFileOutcome ApplyFileStep(const TFileStep& step, const TFileFlags& flags, const TNewScriptSourceQuery& newSource)
{
    if (Run.Plan.Active) return ShowFileStep(step, flags, newSource);
    TFileOutcome outcome;
    const TSourceFacts facts = DecidedFacts(step);
    switch (step.Kind) {
    case TFileStepKind::StageOwnFile:
        outcome.Result = StageOwnFile(step.Source, step.FileName, facts);
        break;
    case TFileStepKind::ReplaceScript:
        outcome = ReplaceScriptFile(step.Source, step.Target, step.FileName, newSource, facts);
        break;
    case TFileStepKind::ReplaceProgram:
        outcome.Result = ClearAndCopy(step.Source, step.Target, facts);
        // Another run still runs from the file: it stays whole as it is, and
        // the next run that finds it old brings the new one.
        if (!outcome.Result.Ok && outcome.Result.Code == ERROR_SHARING_VIOLATION) {
            outcome.Result = {};
            outcome.Deferred = true;
        }
        break;
    case TFileStepKind::Copy:
        outcome.Result = ClearAndCopy(step.Source, step.Target, facts);
        if (!outcome.Result.Ok && outcome.Result.Problem == TCopyProblem::None && flags.UntilReboot) {
            // The new file waits beside the target for the next start of the system.
            std::string staged = DirectoryPart(step.Target) + "_" + step.FileName;
            TFileResult scheduled = CopyWhole(step.Source, staged, facts);
            if (scheduled.Ok) scheduled = ScheduleReplace(step.Target, staged);
            outcome.RebootScheduled = scheduled.Ok;
            if (!scheduled.Ok) outcome.Result = scheduled;
        }
        break;
    case TFileStepKind::Insert:
        outcome.Result = CopyWhole(step.Source, step.Target, facts);
        break;
    case TFileStepKind::NotADiskFile:
        outcome.Result.Ok = false;
        outcome.Result.Problem = TCopyProblem::NotADiskFile;
        break;
    case TFileStepKind::InsertPresent:
    case TFileStepKind::Current:
    case TFileStepKind::StageLanguageForRestart:
        break;
    }
    return outcome;
}

// The path a refused copy names: the device-named one, else the source
// that turned out to be no disk file.
std::string RefusedPath(const TFileStep& step)
{
    return IsDeviceName(step.Target) ? step.Target : step.Source;
}

// Reports a step that ended without a system error of its own; false when it
// was none of those.
bool ReportCopyProblem(const TFileStep& step, TCopyProblem problem)
{
    switch (problem) {
    case TCopyProblem::None:
        return false;
    case TCopyProblem::SourceReplaced:
    case TCopyProblem::SourceChanged:
        ReportError(FormatMsg(MsgSourceChanged, step.Source));
        return true;
    case TCopyProblem::NotADiskFile:
        ReportError(FormatMsg(MsgNotADiskFile, RefusedPath(step)));
        return true;
    }
    return false;
}

bool UpdateFromSource(const std::string& name, const TFileFlags& flags, TSectionMode mode,
                      const TNewScriptSourceQuery& newSource)
{
    std::string directory = DirectoryPart(name);
    std::string pattern = FileNamePart(name);
    if (IsDeviceName(pattern)) {
        ReportItem(FormatMsg(MsgItemLine, pattern));
        ReportError(FormatMsg(MsgNotADiskFile, name));
        return false;
    }
    std::vector<TListedFile> matches = ListMatches(Run.SourceDir + pattern, false, true);
    // What interrupted earlier runs left beside the targets goes first; a
    // scratch file beside a target that is copied now is replaced anyway.
    if (!matches.empty() && !Run.Plan.Active) SweepLeftoverCopies(directory);
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
        if (outcome.Result.Problem == TCopyProblem::SourceReplaced) {
            // A complete new version replaced the source since it was listed:
            // decided again, once, on what the copy found.
            const TSourceFacts& found = outcome.Result.Found;
            step = DecideFileStepAgain(step, found.Size, found.WriteTime, found.Attributes, flags, mode);
            outcome = ApplyFileStep(step, flags, newSource);
        }
        result = outcome.Result.Ok;
        if (outcome.Reported) {
            if (outcome.EndWalk) return false;
            continue;
        }
        if (outcome.Result.Ok) {
            ReportOk();
            if (outcome.Deferred) WriteLine(FormatMsg(MsgProgramInUse, step.FileName));
        } else if (ReportCopyProblem(step, outcome.Result.Problem)) {
            return false;
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
    if (IsDeviceName(name)) {
        ReportItem(FormatMsg(MsgItemLine, FileNamePart(name)));
        ReportError(FormatMsg(MsgNotADiskFile, name));
        return false;
    }
    std::vector<TListedFile> matches = ListMatches(name, true, false);
    if (matches.empty()) return true;
    std::string directory = DirectoryPart(name);
    bool result = false;
    for (const TListedFile& match : matches) {
        ReportItem(FormatMsg(MsgItemLine, match.Name));
        std::string path = directory + match.Name;
        if (IsDeviceName(path)) {
            ReportError(FormatMsg(MsgNotADiskFile, path));
            return false;
        }
        if (Run.Plan.Active) {
            ReportChange(TChangeKind::File, Msg(MsgPlanPresent));
            result = true;
            continue;
        }
        TFileResult step = ResetAttributes(path);
        if (step.Ok && !DeleteFileA(path.c_str())) step = LastFileFailure();
        NoteFileChanged(path);
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
    if (item.WaitForPreviousInstance && Run.SelfPauseMs > 0 && !Run.Plan.Active)
        Sleep(static_cast<DWORD>(Run.SelfPauseMs));
    TFileFlags flags = ParseFileFlags(item.Flags);
    if (mode == TSectionMode::Delete) return DeleteMatches(item.Path, flags);
    return UpdateFromSource(item.Path, flags, mode, newSource);
}

void RenameFile(const TFileRename& rename)
{
    for (const std::string* path : {&rename.Path, &rename.NewPath}) {
        if (!IsDeviceName(*path)) continue;
        ReportItem(FormatMsg(MsgRenameLine, rename.Shown, rename.NewShown));
        return FailStep(FormatMsg(MsgNotADiskFile, *path));
    }
    // Nothing to rename: the rename already happened at an earlier run.
    if (!IsFilePath(rename.Path)) return;
    ReportItem(FormatMsg(MsgRenameLine, rename.Shown, rename.NewShown));
    if (Run.Plan.Active) {
        // The rename fails onto a name that is taken.
        if (GetFileAttributesA(rename.NewPath.c_str()) != INVALID_FILE_ATTRIBUTES)
            return FailStep(ERROR_ALREADY_EXISTS);
        return ReportChange(TChangeKind::File, Msg(MsgPlanPresent));
    }
    BOOL moved = MoveFileA(rename.Path.c_str(), rename.NewPath.c_str());
    DWORD error = moved ? 0 : GetLastError();
    NoteFileChanged(rename.Path);
    NoteFileChanged(rename.NewPath);
    if (!moved) return FailStep(static_cast<int32_t>(error));
    ReportOk();
}
