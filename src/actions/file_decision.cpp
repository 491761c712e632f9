#include "actions/file_decision.h"

#include "actions/file_version.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/run_state.h"

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

// Size and local last-write time of a file; a missing path or a directory
// has neither.
TFileState ReadFileState(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
    ULARGE_INTEGER size;
    size.LowPart = data.nFileSizeLow;
    size.HighPart = data.nFileSizeHigh;
    return StateOf(data.dwFileAttributes, static_cast<int64_t>(size.QuadPart), data.ftLastWriteTime);
}

// The target's state from its directory's listing once that directory has
// been asked often enough, else from the system.
TFileState LookUpTargetState(const std::string& path)
{
    TDirEntry entry;
    if (!LookUpEntry(path, TListingUse::WhenRepeated, entry)) return {};
    return StateOf(entry.Attributes, entry.Size, entry.WriteTime);
}

}  // namespace

TFileFlags ParseFileFlags(const std::string& text)
{
    TFileFlags flags;
    flags.CheckVersion = HasFlag(text, WordCheckVersion);
    flags.KeepNewest = HasFlag(text, WordKeepNewest);
    flags.NotCheckSize = HasFlag(text, WordNotCheckSize);
    flags.NotCheckDatetime = HasFlag(text, WordNotCheckDatetime);
    flags.UntilReboot = HasFlag(text, WordUntilReboot);
    return flags;
}

std::vector<TListedFile> ListMatches(const std::string& pattern, bool withHiddenAndSystem, bool fromSource)
{
    std::vector<TListedFile> matches;
    // Nothing to walk, whatever the reason: the callers report it.
    TFoundEntries found = FindEntries(pattern, fromSource ? TListingUse::Always : TListingUse::IfListed);
    for (const TDirEntry& entry : found.Entries) {
        if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!withHiddenAndSystem && (entry.Attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) continue;
        matches.push_back({entry.Name, entry.Size, entry.WriteTime, entry.Attributes});
    }
    return matches;
}

int64_t QueryFileSize(const std::string& path)
{
    return ReadFileState(path).Size;
}

TCopyDecision DecideCopy(const TListedFile& match, const std::string& source, const std::string& target,
                         const TFileFlags& flags)
{
    TCopyDecision decision;
    TCopyReason& why = decision.Reason;
    why.SourceSize = match.Size;
    why.SourceWriteTime = match.WriteTime;
    TFileState targetState = LookUpTargetState(target);
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
            why.SourceVersion = GetFileVersionText(source);
            why.TargetVersion = GetFileVersionText(target);
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

TFileStep DecideFileStep(const TListedFile& match, const std::string& sourceDir, const std::string& targetDir,
                         const TFileFlags& flags, TSectionMode mode)
{
    TFileStep step;
    step.Match = match;
    step.FileName = match.Name;
    step.Source = sourceDir + match.Name;
    step.Target = targetDir + match.Name;
    // A file of a device's name on the share would be a device here.
    if (IsDeviceName(match.Name)) {
        step.Kind = TFileStepKind::NotADiskFile;
        return step;
    }
    TCopyDecision decision = DecideCopy(match, step.Source, step.Target, flags);
    step.Reason = decision.Reason;
    if (!decision.Copy) {
        // The restarted copy of the program needs a language file of its own name.
        if (!Run.LanguageName.empty() && Run.SelfReplaced && SameFileName(match.Name, Run.LanguageName))
            step.Kind = TFileStepKind::StageLanguageForRestart;
        return step;
    }
    if (IsOwnProgramFile(match.Name))
        step.Kind = TFileStepKind::StageOwnFile;
    else if (IsReplacedByRestartedCopy(match.Name))
        step.Kind = TFileStepKind::ReplaceProgram;
    else if (IsOwnScriptFile(match.Name))
        step.Kind = TFileStepKind::ReplaceScript;
    else if (mode == TSectionMode::Update)
        step.Kind = TFileStepKind::Copy;
    else
        step.Kind = step.Reason.TargetExists ? TFileStepKind::InsertPresent : TFileStepKind::Insert;
    return step;
}

TFileStep DecideFileStepAgain(const TFileStep& step, int64_t size, const FILETIME& writeTime, DWORD attributes,
                              const TFileFlags& flags, TSectionMode mode)
{
    TListedFile found = step.Match;
    found.Size = size;
    found.WriteTime = writeTime;
    found.Attributes = attributes;
    return DecideFileStep(found, DirectoryPart(step.Source), DirectoryPart(step.Target), flags, mode);
}
