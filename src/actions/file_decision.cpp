#include "actions/file_decision.h"

#include "actions/file_version.h"
#include "core/handles.h"
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
    bool IsFile = false;
    int64_t Size = -1;
    int64_t DateMs = 0;  // last-write time in local time
    bool Dated = false;
};

// Size and local last-write time of a file; a missing path or a directory
// has neither.
TFileState ReadFileState(const std::string& path)
{
    TFileState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return state;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return state;
    state.IsFile = true;
    ULARGE_INTEGER size;
    size.LowPart = data.nFileSizeLow;
    size.HighPart = data.nFileSizeHigh;
    state.Size = static_cast<int64_t>(size.QuadPart);
    FILETIME local;
    if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) {
        ULARGE_INTEGER ticks;
        ticks.LowPart = local.dwLowDateTime;
        ticks.HighPart = local.dwHighDateTime;
        state.DateMs = static_cast<int64_t>(ticks.QuadPart / 10000);
        state.Dated = true;
    }
    return state;
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

std::vector<TListedFile> ListMatches(const std::string& pattern, bool withHiddenAndSystem)
{
    std::vector<TListedFile> matches;
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) return matches;  // nothing to walk, whatever the reason; the callers report it
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!withHiddenAndSystem && (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
            continue;
        ULARGE_INTEGER size;
        size.LowPart = data.nFileSizeLow;
        size.HighPart = data.nFileSizeHigh;
        matches.push_back({data.cFileName, static_cast<int64_t>(size.QuadPart)});
    } while (FindNextFileA(find.Get(), &data));
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
    TFileState targetState = ReadFileState(target);
    why.TargetSize = targetState.Size;
    // Without a dated target, source and target count as different.
    int versionRelation = 1;
    int dateRelation = 1;
    if (targetState.Dated) {
        why.TargetDated = true;
        why.TargetDateMs = targetState.DateMs;
        // Reading version resources costs a mapping of both files: only when asked for.
        if (flags.CheckVersion) {
            why.SourceVersion = GetFileVersionText(source);
            why.TargetVersion = GetFileVersionText(target);
            versionRelation = CompareVersions(why.SourceVersion, why.TargetVersion);
        }
        TFileState sourceState = ReadFileState(source);
        why.SourceDated = sourceState.Dated;
        why.SourceDateMs = sourceState.DateMs;
        if (!sourceState.Dated || sourceState.DateMs > targetState.DateMs)
            dateRelation = 1;
        else
            dateRelation = sourceState.DateMs < targetState.DateMs ? -1 : 0;
    }
    auto copyBy = [&decision](TCopyRule rule) {
        decision.Copy = true;
        decision.Reason.Rule = rule;
        return decision;
    };
    if (!flags.NotCheckSize && match.Size != targetState.Size) return copyBy(TCopyRule::Size);
    if (flags.CheckVersion && (flags.KeepNewest ? versionRelation > 0 : versionRelation != 0))
        return copyBy(TCopyRule::Version);
    if (flags.NotCheckDatetime) return decision;
    if (flags.KeepNewest ? dateRelation > 0 : dateRelation != 0) return copyBy(TCopyRule::Date);
    return decision;
}

bool IsOwnProgramFile(const std::string& fileName)
{
    return SameFileName(fileName, Run.ExeName) ||
           (!Run.LanguageName.empty() && SameFileName(fileName, Run.LanguageName));
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
    step.FileName = match.Name;
    step.Source = sourceDir + match.Name;
    step.Target = targetDir + match.Name;
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
    else if (IsOwnScriptFile(match.Name))
        step.Kind = TFileStepKind::ReplaceScript;
    else if (mode == TSectionMode::Update)
        step.Kind = TFileStepKind::Copy;
    else
        step.Kind = GetFileAttributesA(step.Target.c_str()) == INVALID_FILE_ATTRIBUTES ? TFileStepKind::Insert
                                                                                        : TFileStepKind::InsertPresent;
    return step;
}
