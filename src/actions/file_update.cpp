#include "actions/file_update.h"

#include <windows.h>

#include <cctype>
#include <set>
#include <vector>

#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/profile.h"

std::string SelfCopyPath;

namespace {

constexpr const char* RebootListName = "wininit.ini";
constexpr const char* RebootListSection = "Rename";
constexpr const char* RebootListDelete = "NUL";
constexpr const char* PartialSuffix = ".~vt";

// The outcome of one file operation: success, or the system's code for why not.
struct TResult {
    bool Ok = true;
    DWORD Code = 0;
};

TResult Success()
{
    return {};
}

// Call at once after the failing call: it reads the thread's last error.
TResult LastFailure()
{
    return {false, GetLastError()};
}

// File names compare as the user's locale has it, ignoring case.
bool SameName(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

bool HasFlag(const std::string& flags, unsigned word)
{
    std::string keyword = Msg(word);
    return !keyword.empty() && flags.find(keyword) != std::string::npos;
}

bool IsFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Last-write time in local time, in milliseconds; false for a missing path or
// a directory.
bool ReadFileDate(const std::string& path, int64_t& milliseconds)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    FILETIME local;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) return false;
    ULARGE_INTEGER ticks;
    ticks.LowPart = local.dwLowDateTime;
    ticks.HighPart = local.dwHighDateTime;
    milliseconds = static_cast<int64_t>(ticks.QuadPart / 10000);
    return true;
}

struct TMatch {
    std::string Name;
    int64_t Size = 0;
};

// The files matching the pattern, in the order the system delivers them.
// Listed before anything is copied, so files written during the walk (into a
// target directory that is also the source) are never picked up by it.
std::vector<TMatch> ListMatches(const std::string& pattern, bool withHiddenAndSystem)
{
    std::vector<TMatch> matches;
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

TResult ResetAttributes(const std::string& path)
{
    if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE)) return LastFailure();
    return Success();
}

// "If it exists, give it the plain archive attribute" — the step before a
// file is overwritten, so that a read-only file can be.
TResult ResetAttributesIfPresent(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return Success();
    return ResetAttributes(path);
}

// Removes the scratch file left by a copy that broke off.
void RemovePartialCopy(const std::string& partial)
{
    DWORD attributes = GetFileAttributesA(partial.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    // A leftover that cannot be removed now is overwritten by the next copy,
    // or that copy reports why it cannot be.
    SetFileAttributesA(partial.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(partial.c_str());
}

// Scratch names of the long-path form that PartialCopyPath gives: "~vt" and
// eight hexadecimal digits, ".tmp".
bool IsHashedPartialName(const std::string& name)
{
    if (name.size() != 15 || name.compare(0, 3, "~vt") != 0 || lstrcmpiA(name.c_str() + 11, ".tmp") != 0) return false;
    for (size_t i = 3; i < 11; ++i)
        if (!isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

bool HasPartialSuffix(const std::string& name)
{
    size_t length = std::char_traits<char>::length(PartialSuffix);
    return name.size() > length && lstrcmpiA(name.c_str() + name.size() - length, PartialSuffix) == 0;
}

// Removes what interrupted earlier runs left in the directory, once per
// directory and run: looking up one missing name per target instead costs a
// scan of the whole directory on some file systems, which made a run over a
// large directory of current files grow with the square of its size.
void RemoveLeftoverCopies(const std::string& directory)
{
    static std::set<std::string> cleared;
    std::string key = directory;
    if (!key.empty()) CharUpperBuffA(key.data(), static_cast<DWORD>(key.size()));
    if (!cleared.insert(key).second) return;
    for (const std::string& mask : {directory + "*" + PartialSuffix, directory + "~vt*.tmp"}) {
        WIN32_FIND_DATAA data;
        UniqueFind find(FindFirstFileA(mask.c_str(), &data));
        if (!find) continue;  // nothing left over, or no such directory: the copy will tell
        do {
            std::string name = data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            // Masks also match generated short names: check the real one.
            if (HasPartialSuffix(name) || IsHashedPartialName(name)) RemovePartialCopy(directory + name);
        } while (FindNextFileA(find.Get(), &data));
    }
}

// Flushes the file's data to the disk, so that the rename that follows never
// puts a file on the disk whose contents are still only in the cache.
TResult FlushToDisk(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastFailure();
    // A read-only copy (the source was read-only) cannot be opened for writing.
    bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) return LastFailure();
    TResult result;
    {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            result = LastFailure();
        else if (!FlushFileBuffers(file.Get()))
            result = LastFailure();
    }
    if (readOnly && !SetFileAttributesA(path.c_str(), attributes) && result.Ok) result = LastFailure();
    return result;
}

// Whether the existing target could be written now; the failure is the one a
// copy onto it would meet (a sharing violation for a file held open or a
// running program), found before anything is copied.
TResult ProbeWritable(const std::string& target)
{
    UniqueFile file(CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastFailure();
    return Success();
}

// Puts the complete scratch copy in the target's place.
TResult ReplaceByPartial(const std::string& partial, const std::string& target)
{
    if (Run.NtFamily) {
        if (!MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastFailure();
        return Success();
    }
    // The 9x family has no replacing rename: the old file goes first.
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(target.c_str()))
        return LastFailure();
    if (!MoveFileA(partial.c_str(), target.c_str())) return LastFailure();
    return Success();
}

// Copies source onto target, overwriting it, so that the target is at every
// moment either the old file or the complete new one: the copy goes to a
// scratch file beside the target, is flushed, and then renamed over it.
TResult CopyWhole(const std::string& source, const std::string& target)
{
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        TResult probe = ProbeWritable(target);
        if (!probe.Ok) return probe;
    }
    std::string partial = PartialCopyPath(target);
    RemovePartialCopy(partial);
    TResult result;
    if (!CopyFileA(source.c_str(), partial.c_str(), FALSE))
        result = LastFailure();
    else
        result = FlushToDisk(partial);
    if (result.Ok) result = ReplaceByPartial(partial, target);
    if (!result.Ok) RemovePartialCopy(partial);
    return result;
}

// Paths in the 9x reboot list are read before long names exist: short names.
std::string ShortPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    // A path without a short form (missing, or too long) is written as it is.
    if (length == 0 || length >= MAX_PATH) return path;
    return std::string(buffer, length);
}

std::string RebootListPath()
{
    std::string windir = ConstTable.size() > SlotWinDir ? ConstTable[SlotWinDir].Value : std::string();
    if (!windir.empty() && windir.back() != '\\') windir += '\\';
    return windir + RebootListName;
}

TResult WriteRebootList(const std::string& key, const std::string& value)
{
    if (!WritePrivateProfileStringA(RebootListSection, key.c_str(), value.c_str(), RebootListPath().c_str()))
        return LastFailure();
    return Success();
}

TResult ScheduleDelete(const std::string& path)
{
    if (Run.NtFamily) {
        if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return LastFailure();
        return Success();
    }
    return WriteRebootList(RebootListDelete, ShortPath(path));
}

// The staged file replaces the target at the next start of the system.
TResult ScheduleReplace(const std::string& target, const std::string& staged)
{
    if (Run.NtFamily) {
        if (!MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return LastFailure();
        if (!MoveFileExA(staged.c_str(), target.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT)) return LastFailure();
        return Success();
    }
    std::string shortTarget = ShortPath(target);
    TResult result = WriteRebootList(RebootListDelete, shortTarget);
    if (result.Ok) result = WriteRebootList(shortTarget, ShortPath(staged));
    return result;
}

std::string WithExtensionOf(const std::string& path, const std::string& model)
{
    std::string name = FileNamePart(path);
    size_t dot = name.find_last_of('.');
    std::string stem = path.substr(0, path.size() - name.size()) + (dot == std::string::npos ? name : name.substr(0, dot));
    std::string modelName = FileNamePart(model);
    size_t modelDot = modelName.find_last_of('.');
    return stem + (modelDot == std::string::npos ? std::string() : modelName.substr(modelDot));
}

// Attribute reset, then the whole copy.
TResult ClearAndCopy(const std::string& source, const std::string& target)
{
    TResult result = ResetAttributesIfPresent(target);
    if (!result.Ok) return result;
    return CopyWhole(source, target);
}

enum class TDecision { Copy, Skip };

TDecision Decide(const TMatch& match, const std::string& source, const std::string& target, const std::string& flags)
{
    int versionRelation = 1;
    int dateRelation = 1;
    int64_t targetDate = 0;
    bool checkVersion = HasFlag(flags, WordCheckVersion);
    if (ReadFileDate(target, targetDate)) {
        // Reading version resources costs a mapping of both files: only when asked for.
        if (checkVersion) versionRelation = CompareVersions(GetFileVersionText(source), GetFileVersionText(target));
        int64_t sourceDate = 0;
        if (!ReadFileDate(source, sourceDate) || sourceDate > targetDate)
            dateRelation = 1;
        else
            dateRelation = sourceDate < targetDate ? -1 : 0;
    }
    bool keepNewest = HasFlag(flags, WordKeepNewest);
    if (!HasFlag(flags, WordNotCheckSize) && match.Size != QueryFileSize(target)) return TDecision::Copy;
    if (checkVersion && (keepNewest ? versionRelation > 0 : versionRelation != 0))
        return TDecision::Copy;
    if (HasFlag(flags, WordNotCheckDatetime)) return TDecision::Skip;
    return (keepNewest ? dateRelation > 0 : dateRelation != 0) ? TDecision::Copy : TDecision::Skip;
}

// The outcome of one match of the walk.
struct TOutcome {
    TResult Result;
    bool RebootScheduled = false;
    bool EndWalk = false;   // the walk ends at once, the failure already reported
    bool Reported = false;  // nothing more is to be printed
};

// The program file or its language file: the new version goes beside the
// running program as "_" + name, and the program restarts from there.
TResult StageOwnFile(const std::string& source, const std::string& fileName)
{
    SelfCopyPath = Run.ExeDir + "_" + fileName;
    TResult result = ClearAndCopy(source, SelfCopyPath);
    if (result.Ok && SameName(fileName, Run.LanguageName) && !Run.SelfReplaced) {
        // Only the language file is new: the program must still restart to
        // load it, from a copy of itself whose name fits the new file.
        SelfCopyPath = WithExtensionOf(SelfCopyPath, Run.ExeName);
        result = ClearAndCopy(Run.ExeDir + Run.ExeName, SelfCopyPath);
    }
    Run.SelfReplaced = result.Ok;
    return result;
}

// The script or the settings file: replaced only when the source copy of the
// script names a source path that holds the file as well.
TOutcome UpdateScriptFile(const std::string& source, const std::string& target, const std::string& fileName)
{
    TOutcome outcome;
    std::string sourceScript = Run.SourceDir + FileNamePart(Run.ScriptName);
    std::string newSource = ReadProfileString(sourceScript, Msg(WordOptions), Msg(WordSourcePath));
    if (newSource.empty()) {
        // A script without a source path would cut the workstation off from
        // the share; it is not taken.
        outcome.Result = {false, ERROR_PATH_NOT_FOUND};
        return outcome;
    }
    LoadConstants(sourceScript);
    if (!Run.SettingsName.empty()) LoadConstants(Run.SourceDir + FileNamePart(Run.SettingsName));
    newSource = ExpandConstants(newSource, ExpandPlain);
    if (!newSource.empty() && newSource.back() != '\\') newSource += '\\';
    if (!IsFile(newSource + fileName)) {
        ReportError(FormatMsg(MsgNewVersionNotFound, newSource + fileName));
        outcome.Result = {false, ERROR_FILE_NOT_FOUND};
        outcome.EndWalk = true;
        outcome.Reported = true;
        return outcome;
    }
    outcome.Result = ClearAndCopy(source, target);
    return outcome;
}

TOutcome CopyMatch(const std::string& source, const std::string& target, const std::string& fileName,
                   const std::string& flags, char mode)
{
    TOutcome outcome;
    if (SameName(fileName, Run.ExeName) || (!Run.LanguageName.empty() && SameName(fileName, Run.LanguageName))) {
        outcome.Result = StageOwnFile(source, fileName);
        return outcome;
    }
    if (SameName(fileName, FileNamePart(Run.ScriptName)) ||
        (!Run.SettingsName.empty() && SameName(fileName, FileNamePart(Run.SettingsName))))
        return UpdateScriptFile(source, target, fileName);
    if (mode == 'U') {
        outcome.Result = ClearAndCopy(source, target);
        if (!outcome.Result.Ok && HasFlag(flags, WordUntilReboot)) {
            std::string staged = DirectoryPart(target) + "_" + fileName;
            TResult step = CopyWhole(source, staged);
            if (step.Ok) step = ScheduleReplace(target, staged);
            outcome.RebootScheduled = step.Ok;
            if (!step.Ok) outcome.Result = step;
        }
        return outcome;
    }
    if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES) outcome.Result = CopyWhole(source, target);
    return outcome;
}

// A skipped language file while the program restarts: the restarted copy
// needs a language file of its own name.
TResult CopyCurrentLanguageFile(const std::string& fileName)
{
    return ClearAndCopy(Run.ExeDir + Run.LanguageName, Run.ExeDir + "_" + fileName);
}

void ReportFailure(DWORD code)
{
    Run.LastErrorCode = static_cast<int32_t>(code);
    ReportError();
}

bool UpdateFromSource(const std::string& name, const std::string& flags, char mode)
{
    std::string directory = DirectoryPart(name);
    std::string pattern = FileNamePart(name);
    std::vector<TMatch> matches = ListMatches(Run.SourceDir + pattern, false);
    // What interrupted earlier runs left beside the targets goes first; a
    // scratch file beside a target that is copied now is replaced anyway.
    if (!matches.empty()) RemoveLeftoverCopies(directory);
    if (matches.empty()) {
        ReportItem(FormatMsg(MsgItemLine, pattern));
        ReportError(FormatMsg(MsgNewVersionNotFound, Run.SourceDir + pattern));
        return false;
    }
    bool result = false;
    for (const TMatch& match : matches) {
        std::string target = directory + match.Name;
        std::string source = Run.SourceDir + match.Name;
        if (Decide(match, source, target, flags) == TDecision::Skip) {
            result = true;
            if (!Run.LanguageName.empty() && Run.SelfReplaced && SameName(match.Name, Run.LanguageName)) {
                TResult copy = CopyCurrentLanguageFile(match.Name);
                result = copy.Ok;
                // The restart would run without its language file: say why.
                if (!copy.Ok) {
                    ReportItem(FormatMsg(MsgItemLine, match.Name));
                    ReportFailure(copy.Code);
                    return false;
                }
            }
            continue;
        }
        ReportItem(FormatMsg(MsgItemLine, match.Name));
        TOutcome outcome = CopyMatch(source, target, match.Name, flags, mode);
        result = outcome.Result.Ok;
        if (outcome.Reported) {
            if (outcome.EndWalk) return false;
            continue;
        }
        if (outcome.Result.Ok) {
            ReportOk();
        } else if (outcome.RebootScheduled) {
            ReportError(FormatMsg(MsgActionAtReboot, target));
        } else {
            ReportFailure(outcome.Result.Code);
            if (outcome.Result.Code != 0) return false;
        }
    }
    return result;
}

bool DeleteMatches(const std::string& name, const std::string& flags)
{
    std::vector<TMatch> matches = ListMatches(name, true);
    if (matches.empty()) return true;
    std::string directory = DirectoryPart(name);
    bool result = false;
    for (const TMatch& match : matches) {
        ReportItem(FormatMsg(MsgItemLine, match.Name));
        std::string path = directory + match.Name;
        TResult step = ResetAttributes(path);
        if (step.Ok && !DeleteFileA(path.c_str())) step = LastFailure();
        if (step.Ok) {
            ReportOk();
            result = true;
            continue;
        }
        if (HasFlag(flags, WordUntilReboot)) {
            TResult scheduled = ScheduleDelete(path);
            if (scheduled.Ok) {
                ReportError(FormatMsg(MsgActionAtReboot, path));
                continue;
            }
            step = scheduled;
        }
        ReportFailure(step.Code);
        if (step.Code != 0) break;
    }
    return result;
}

}  // namespace

std::string PartialCopyPath(const std::string& target)
{
    std::string path = target + PartialSuffix;
    if (path.size() < MAX_PATH) return path;
    // Too long for the system's paths: a short name derived from the file name.
    uint32_t hash = 2166136261u;
    for (char c : FileNamePart(target)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char shortName[16];
    wsprintfA(shortName, "~vt%08lx.tmp", static_cast<unsigned long>(hash));
    return DirectoryPart(target) + shortName;
}

bool UpdateFile(const std::string& name, const std::string& flags, char mode)
{
    if (name.empty()) return true;
    std::string given = name;
    if (mode != 'D' && given[0] == '_' &&
        (SameName(given, Run.ExeName) || (!Run.LanguageName.empty() && SameName(given, Run.LanguageName)))) {
        // The restarted copy replaces the file it was started from: give the
        // instance that started it time to end.
        given.erase(0, 1);
        if (Run.SelfPauseMs > 0) Sleep(static_cast<DWORD>(Run.SelfPauseMs));
    }
    std::string expanded = ExpandConstants(given, ExpandPath);
    if (mode == 'D') return DeleteMatches(expanded, flags);
    return UpdateFromSource(expanded, flags, mode);
}

int64_t QueryFileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    ULARGE_INTEGER size;
    size.LowPart = data.nFileSizeLow;
    size.HighPart = data.nFileSizeHigh;
    return static_cast<int64_t>(size.QuadPart);
}

std::string GetFileVersionText(const std::string& path)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return {};  // no version resource (or no file): version 0.0.0.0
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    char text[32];
    wsprintfA(text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
              HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return text;
}

namespace {

struct TVersion {
    uint16_t Parts[4] = {0, 0, 0, 0};
};

TVersion ParseVersion(const std::string& text)
{
    TVersion version;
    size_t part = 0;
    uint32_t value = 0;
    size_t digits = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (part >= 4) return {};
            version.Parts[part++] = static_cast<uint16_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        char c = text[i];
        // More than nine digits is no number this program could have written.
        if (c < '0' || c > '9' || ++digits > 9) return {};
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return version;
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b)
{
    TVersion left = ParseVersion(a);
    TVersion right = ParseVersion(b);
    for (size_t i = 0; i < 4; ++i)
        if (left.Parts[i] != right.Parts[i]) return left.Parts[i] > right.Parts[i] ? 1 : -1;
    return 0;
}
