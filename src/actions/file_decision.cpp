#include "actions/file_decision.h"

#include "core/ansi_text.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "machine/file_version.h"
#include "release/release_key.h"

namespace {

bool HasFlag(const std::string& flags, unsigned word)
{
    std::string keyword = Msg(word);
    return !keyword.empty() && flags.find(keyword) != std::string::npos;
}

struct TFileState {
    bool Exists = false;  // a file or a directory of the name is there
    bool IsFile = false;
    int64_t Size = -1;
    int64_t DateMs = 0;  // last-write time in local time
    bool Dated = false;
};

// The stored write time as local time in milliseconds; false when the system
// cannot convert it.
bool LocalMilliseconds(const FILETIME& stored, int64_t& milliseconds)
{
    FILETIME local;
    if (!FileTimeToLocalFileTime(&stored, &local)) return false;
    ULARGE_INTEGER ticks;
    ticks.LowPart = local.dwLowDateTime;
    ticks.HighPart = local.dwHighDateTime;
    milliseconds = static_cast<int64_t>(ticks.QuadPart / 10000);
    return true;
}

TFileState StateOf(DWORD attributes, int64_t size, const FILETIME& writeTime)
{
    TFileState state;
    state.Exists = true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return state;
    state.IsFile = true;
    state.Size = size;
    state.Dated = LocalMilliseconds(writeTime, state.DateMs);
    return state;
}

// The target's state as the machine view gives it.
TFileState LookUpTargetState(const std::string& path, TMachineView& machine, FILETIME& writeTime)
{
    TEntry entry = machine.Entry(path);
    if (!entry.Exists) return {};
    writeTime = entry.WriteTime;
    return StateOf(entry.Attributes, entry.Size, entry.WriteTime);
}

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

// The path a refused copy names: the device-named one, else the source
// that turned out to be no disk file.
std::string RefusedPath(const std::string& source, const std::string& target)
{
    return IsDeviceName(target) ? target : source;
}

// The full path in its long form and upper case; the directory's long form
// and the name as given when the file is not there.
std::string LongPathKey(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    std::string full = length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
    length = GetLongPathNameA(full.c_str(), buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return UpperAnsi(std::string(buffer, length));
    std::string directory = DirectoryPart(full);
    length = GetLongPathNameA(directory.c_str(), buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return UpperAnsi(std::string(buffer, length) + FileNamePart(full));
    return UpperAnsi(full);
}

// The source's file version: from the release its directory is held to when
// there is one (read from the very bytes its digest stands for), which asks
// the share nothing; else from the file.
std::string SourceVersion(const std::string& source, TMachineView& machine)
{
    const TReleaseEntry* entry = nullptr;
    if (machine.ReleaseOf(source, entry) && entry) return entry->Version;
    return machine.Version(source);
}

// A release-holding source's file that no manifest entry answers for.
TFailure OutsideRelease(const std::string& source, const TRelease& release)
{
    return FailureOf(FormatMsg(MsgReleaseLacksFile, source, std::to_string(release.Number)));
}

}  // namespace

bool IsWorkstationKey(const std::string& path)
{
    // Only a name that can be the key's (by its long name or by an 8.3 alias)
    // is worth asking the system about.
    std::string name = FileNamePart(path);
    if (!SameFileName(name, PublicKeyFileName) && name.find('~') == std::string::npos) return false;
    return LongPathKey(path) == LongPathKey(Run.ExeDir + PublicKeyFileName);
}

TFileFlags ParseFileFlags(const std::string& text)
{
    TFileFlags flags;
    if (text.empty()) return flags;  // most items: no keyword to look for
    flags.CheckVersion = HasFlag(text, WordCheckVersion);
    flags.KeepNewest = HasFlag(text, WordKeepNewest);
    flags.NotCheckSize = HasFlag(text, WordNotCheckSize);
    flags.NotCheckDatetime = HasFlag(text, WordNotCheckDatetime);
    flags.UntilReboot = HasFlag(text, WordUntilReboot);
    return flags;
}

TCopyDecision DecideCopy(const TListedFile& match, const std::string& source, const std::string& target,
                         const TFileFlags& flags, TMachineView& machine)
{
    TCopyDecision decision;
    TCopyReason& why = decision.Reason;
    why.SourceSize = match.Size;
    TFileState targetState = LookUpTargetState(target, machine, why.TargetWriteTime);
    why.TargetExists = targetState.Exists;
    why.TargetSize = targetState.Size;
    auto copyBy = [&decision](TCopyRule rule) {
        decision.Copy = true;
        decision.Reason.Rule = rule;
        return decision;
    };
    // Without a dated target, source and target count as different.
    int dateRelation = 1;
    if (targetState.Dated) {
        why.TargetDated = true;
        why.TargetDateMs = targetState.DateMs;
        why.SourceDated = LocalMilliseconds(match.WriteTime, why.SourceDateMs);
        if (!why.SourceDated || why.SourceDateMs > targetState.DateMs)
            dateRelation = 1;
        else
            dateRelation = why.SourceDateMs < targetState.DateMs ? -1 : 0;
    }
    if (!flags.NotCheckSize && match.Size != targetState.Size) return copyBy(TCopyRule::Size);
    // Reading version resources costs a mapping of both files: only when the
    // size has not decided already.
    if (flags.CheckVersion) {
        int versionRelation = 1;
        if (targetState.Dated) {
            why.SourceVersion = SourceVersion(source, machine);
            why.TargetVersion = machine.Version(target);
            versionRelation = CompareVersions(why.SourceVersion, why.TargetVersion);
        }
        if (flags.KeepNewest ? versionRelation > 0 : versionRelation != 0) return copyBy(TCopyRule::Version);
    }
    if (flags.NotCheckDatetime) return decision;
    if (flags.KeepNewest ? dateRelation > 0 : dateRelation != 0) return copyBy(TCopyRule::Date);
    return decision;
}

bool IsOwnProgramFile(const std::string& fileName)
{
    return SameFileName(fileName, Run.ExeName) ||
           (!Run.LanguageName.empty() && SameFileName(fileName, Run.LanguageName));
}

std::string RestartedCopyTarget(const std::string& name)
{
    // A restarted copy runs as "_" + the name of the file it replaces.
    if (name.empty() || name[0] != '_') return {};
    if (SameFileName(name, Run.ExeName) || (!Run.LanguageName.empty() && SameFileName(name, Run.LanguageName)))
        return name.substr(1);
    return {};
}

bool IsReplacedByRestartedCopy(const std::string& fileName)
{
    for (const std::string& running : {Run.ExeName, Run.LanguageName}) {
        std::string replaced = RestartedCopyTarget(running);
        if (!replaced.empty() && SameFileName(fileName, replaced)) return true;
    }
    return false;
}

bool IsOwnScriptFile(const std::string& fileName)
{
    return SameFileName(fileName, FileNamePart(Run.ScriptName)) ||
           (!Run.SettingsName.empty() && SameFileName(fileName, FileNamePart(Run.SettingsName)));
}


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

namespace {

// The step's change: the target, its source and what the decision saw of both.
TChange FileChange(const TListedFile& match, const std::string& source, const std::string& target,
                   const TCopyReason& why)
{
    TChange change;
    change.Kind = TChangeKind::File;
    change.Action = why.TargetExists ? TChangeAction::Replace : TChangeAction::Create;
    change.Target = target;
    change.Path = target;
    change.From = source;
    change.Line = FormatMsg(MsgItemLine, match.Name);
    change.FromState.Known = true;
    change.FromState.Present = true;
    change.FromState.Size = match.Size;
    change.FromState.WriteTime = match.WriteTime;
    change.FromState.Dated = true;
    change.FromState.Attributes = match.Attributes;
    change.FromState.Version = why.SourceVersion;
    change.Before.Known = true;
    change.Before.Present = why.TargetExists;
    change.Before.Size = why.TargetSize;
    change.Before.WriteTime = why.TargetWriteTime;
    change.Before.Dated = why.TargetDated;
    change.Before.Version = why.TargetVersion;
    change.After = change.FromState;
    change.Reason = CopyReasonText(why);
    return change;
}

// Whether the source copy of the script names a source directory that holds
// the file too; a missing file there ends the walk.
TFailure NewSourceServes(const std::string& fileName, TMachineView& machine, const TNewScriptSourceQuery& newSource)
{
    TNewScriptSource next = newSource();
    if (!next.Named) return FailureOf(ERROR_PATH_NOT_FOUND);
    if (IsFile(machine, next.Dir + fileName)) return {};
    TFailure failure = FailureOf(FormatMsg(MsgNewVersionNotFound, next.Dir + fileName));
    failure.EndsWalk = true;
    return failure;
}

}  // namespace

std::optional<TChange> DecideFileStep(const TListedFile& match, const std::string& sourceDir,
                                      const std::string& targetDir, const TFileFlags& flags, TSectionMode mode,
                                      TMachineView& machine, const TNewScriptSourceQuery& newSource)
{
    std::string source = JoinedPath(sourceDir, match.Name);
    std::string target = JoinedPath(targetDir, match.Name);
    // A file of a device's name on the share would be a device here.
    if (IsDeviceName(match.Name)) {
        TChange refused = FileChange(match, source, target, TCopyReason{});
        refused.Failure = FailureOf(FormatMsg(MsgNotADiskFile, RefusedPath(source, target)));
        return refused;
    }
    // The workstation's key never comes from where the releases come from.
    if (IsWorkstationKey(target)) return std::nullopt;
    TCopyDecision decision = DecideCopy(match, source, target, flags, machine);
    // The restarted copy of the program needs a language file of its own name;
    // any other current file has nothing to describe.
    bool stageLanguage = !Run.LanguageName.empty() && Run.SelfReplaced && SameFileName(match.Name, Run.LanguageName);
    if (!decision.Copy && !stageLanguage) return std::nullopt;
    TChange change = FileChange(match, source, target, decision.Reason);
    if (!decision.Copy) {
        change.FileOp = TFileOp::StageLanguage;
        change.Action = TChangeAction::Create;
        change.Quiet = true;
        change.From = Run.ExeDir + Run.LanguageName;
        change.Path = change.Target = Run.ExeDir + "_" + match.Name;
        return change;
    }
    if (IsOwnProgramFile(match.Name)) {
        change.FileOp = TFileOp::StageOwnFile;
    } else if (IsReplacedByRestartedCopy(match.Name)) {
        change.FileOp = TFileOp::ReplaceProgram;
    } else if (IsOwnScriptFile(match.Name)) {
        change.FileOp = TFileOp::ReplaceScript;
        change.Failure = NewSourceServes(match.Name, machine, newSource);
    } else if (mode == TSectionMode::Update) {
        change.FileOp = TFileOp::Copy;
        change.UntilReboot = flags.UntilReboot;
    } else if (decision.Reason.TargetExists) {
        // Insert sections leave an existing target as it is; its line shows OK.
        change.Nothing = true;
    } else {
        change.FileOp = TFileOp::Insert;
    }
    // From a source held to a release, the copy must bring the bytes its entry names.
    const TReleaseEntry* entry = nullptr;
    if (const TRelease* release = machine.ReleaseOf(source, entry)) {
        change.Release = release->Number;
        if (entry)
            change.Sha256 = entry->Sha256;
        else if (!change.Failure.Failed)
            change.Failure = OutsideRelease(source, *release);
    }
    return change;
}

std::optional<TChange> DecideFileStepAgain(const TChange& step, const TState& found, const TFileFlags& flags,
                                           TSectionMode mode, TMachineView& machine,
                                           const TNewScriptSourceQuery& newSource)
{
    TListedFile match{FileNamePart(step.From), found.Size, found.WriteTime, found.Attributes};
    return DecideFileStep(match, DirectoryPart(step.From), DirectoryPart(step.Target), flags, mode, machine,
                          newSource);
}
