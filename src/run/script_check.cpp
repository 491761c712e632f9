#include "run/script_check.h"

#include <windows.h>

#include <map>
#include <set>

#include "actions/file_decision.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "machine/live_machine.h"
#include "run/check_items.h"
#include "run/check_keys.h"
#include "run/check_release.h"
#include "run/check_sections.h"
#include "run/check_traps.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/include_chain.h"
#include "script/script_image.h"
#include "script/script_layout.h"
#include "script/settings.h"

namespace {

// Which copy of a script file the run would read: the source's when it
// differs there, so that the run's update pass would fetch it.
struct TCopy {
    std::string Path;
    std::string Shown;
    bool AtSource = false;
    bool MissingAtSource = false;
};

// The check, and the includes it has read: each is reported once.
struct TWalk {
    TCheck Check;
    std::map<std::string, const TFileView*> Includes;  // by folded name
};

std::string FullPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    // A path the system cannot complete is shown as it is.
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
}

TFileView& OpenView(TCheck& check, const std::string& path, const std::string& shown)
{
    TFileView& view = check.Views.emplace_back();
    view.Path = path;
    view.Shown = shown;
    view.Order = check.Views.size() - 1;
    if (!ListScriptSections(path, view.Sections))
        Add(check, view, 0, TSeverity::Error, TFindingCode::Unreadable, Msg(MsgCheckUnreadable));
    else
        CheckEncoding(check, view);
    return view;
}

// The line of the first key of that name in the first section of that name; 0 when none.
int KeyLine(const TFileView& view, const std::string& section, const std::string& key)
{
    for (const TScriptSection& candidate : view.Sections) {
        if (candidate.Line == 0 || !SameName(candidate.Name, section)) continue;
        for (const TScriptLine& line : candidate.Lines)
            if (SameName(line.Name, key)) return line.Line;
        return 0;
    }
    return 0;
}

std::string ReadOption(const std::string& path, unsigned key)
{
    return ReadScriptString(path, Msg(WordOptions), Msg(key));
}

// The source directory as the run sets it from the script: a backslash
// added, then constants expanded; the program's directory when empty. Sets
// the srcdir constant as the run does.
std::string SetSourceDir(const std::string& scriptPath)
{
    std::string source = SourceDirOf(scriptPath);
    SetSrcDirConstant(source);
    return source;
}

TCopy ChooseCopy(const TCheck& check, const std::string& name)
{
    static TLiveMachine machine;
    TCopy copy;
    copy.Path = PathFrom(Run.ExeDir, name);
    copy.Shown = name;
    std::vector<TListedFile> matches = machine.Matches(check.SourceDir + FileNamePart(name), false, true);
    if (matches.empty()) {
        copy.MissingAtSource = true;
        return copy;
    }
    // The run's own decision for its own files: no flags.
    std::string source = check.SourceDir + matches.front().Name;
    if (!DecideCopy(matches.front(), source, copy.Path, TFileFlags{}, machine).Copy) return copy;
    copy.Path = source;
    copy.Shown = FullPath(source);
    copy.AtSource = true;
    return copy;
}

void WalkIncludes(TWalk& walk, const TFileView& view, std::vector<std::string>& chain)
{
    TCheck& check = walk.Check;
    std::string options = Msg(WordOptions);
    std::string word = Msg(WordInclude);
    for (int n = 1;; ++n) {
        std::string key = word + std::to_string(n);
        std::string value = ReadScriptString(view.Path, options, key);
        if (value.empty()) return;
        int line = KeyLine(view, options, key);
        std::string name = FileNamePart(ExpandConstants(value, ExpandPlain));
        if (InChain(chain, name)) {
            Add(check, view, line, TSeverity::Error, TFindingCode::IncludeCycle,
                FillMsg(MsgCheckIncludeCycle, {FormatMsg(MsgIncludeCycle, DescribeChain(chain, name))}));
            continue;
        }
        TCopy copy = ChooseCopy(check, name);
        if (copy.MissingAtSource) {
            Add(check, view, line, TSeverity::Error, TFindingCode::IncludeMissing,
                FillMsg(MsgCheckIncludeMissing, {name, FormatMsg(MsgNewVersionNotFound, check.SourceDir + name)}));
            continue;
        }
        LoadConstants(copy.Path);
        // Named twice, an include is processed twice but reported once.
        auto [known, first] = walk.Includes.emplace(FoldedScriptName(name), nullptr);
        if (first) known->second = &OpenView(check, copy.Path, copy.Shown);
        const TFileView& included = *known->second;
        chain.push_back(name);
        WalkIncludes(walk, included, chain);
        chain.pop_back();
        if (first) CheckContents(check, included, TRole::Include);
    }
}

// The program's own files must be at the source, or the run's first step fails.
void CheckOwnFile(TCheck& check, const TFileView& view, const std::string& name, unsigned key)
{
    if (name.empty() || !FirstVisibleMatch(check.SourceDir + FileNamePart(name)).empty()) return;
    Add(check, view, KeyLine(view, Msg(WordOptions), Msg(key)), TSeverity::Error, TFindingCode::OwnFileMissing,
        FillMsg(MsgCheckOwnFileMissing,
             {FileNamePart(name), FormatMsg(MsgNewVersionNotFound, check.SourceDir + FileNamePart(name))}));
}

// A new script or settings file is taken only when the source's copy of the
// script names a source path that holds it too.
void CheckNewCopyTaken(TCheck& check, const TFileView& view, const TCopy& script, const std::string& settingsName,
                       const std::string& fileName)
{
    std::string newSource = ReadOption(script.Path, WordSourcePath);
    if (!newSource.empty()) {
        LoadConstants(script.Path);
        if (!settingsName.empty()) LoadConstants(check.SourceDir + FileNamePart(settingsName));
        newSource = ExpandConstants(newSource, ExpandPlain);
        if (!newSource.empty() && newSource.back() != '\\') newSource += '\\';
        if (IsFilePath(newSource + fileName)) return;
    }
    Add(check, view, KeyLine(view, Msg(WordOptions), Msg(WordSourcePath)), TSeverity::Error, TFindingCode::NewCopyRefused,
        FillMsg(MsgCheckNewCopyRefused, {fileName, Msg(WordSourcePath)}));
}

// StartAfterFailure starts the application only after a rollback.
void CheckStartAfterFailure(TCheck& check, const TFileView& view, const std::string& settingsPath)
{
    auto option = [&](unsigned key) {
        std::string value = ReadOption(view.Path, key);
        if (value.empty() && !settingsPath.empty()) value = ReadScriptString(settingsPath, Msg(WordOptions), Msg(key));
        return ExpandConstants(value, ExpandPlain);
    };
    if (option(WordStartAfterFailure) != "1" || option(WordRollback) == "1") return;
    Add(check, view, KeyLine(view, Msg(WordOptions), Msg(WordStartAfterFailure)), TSeverity::Error,
        TFindingCode::StartWithoutRollback, FillMsg(MsgCheckStartWithoutRollback, {Msg(WordStartAfterFailure), Msg(WordRollback)}));
}

void CheckAll(TWalk& walk, TCheckResult& result)
{
    TCheck& check = walk.Check;
    const std::string& scriptName = result.Script;
    std::string localScript = PathFrom(Run.ExeDir, scriptName);
    if (!IsFilePath(localScript)) {
        TFileView& view = check.Views.emplace_back();
        view.Shown = scriptName;
        Add(check, view, 0, TSeverity::Error, TFindingCode::Unreadable, Msg(MsgCheckUnreadable));
        return;
    }

    // The update pass: the program directory's copies say where the source is.
    LoadConstants(localScript);
    std::string settingsName = ReadOption(localScript, WordSettings);
    if (!settingsName.empty()) LoadConstants(Run.ExeDir + settingsName);
    check.SourceDir = SetSourceDir(localScript);
    const std::string firstSource = check.SourceDir;
    std::string language = ReadOption(localScript, WordLanguage);
    // The restarted copy of a self-update ("_" + the program's name) checks the program it replaces.
    std::string exeName = RestartedCopyTarget(Run.ExeName);
    if (exeName.empty()) exeName = Run.ExeName;
    std::string languageName = language.empty() ? std::string() : LanguageFileName(exeName, language);

    // A script outside the program's directory is read where it is: the run never replaces it.
    const bool kept = !IsRootedPath(scriptName);
    TCopy script = kept ? ChooseCopy(check, scriptName) : TCopy{localScript, scriptName, false, false};
    TCopy settings;
    if (!settingsName.empty()) settings = ChooseCopy(check, settingsName);
    TFileView& scriptView = OpenView(check, script.Path, script.Shown);
    CheckOwnFile(check, scriptView, exeName, WordSourcePath);
    CheckOwnFile(check, scriptView, languageName, WordLanguage);
    CheckOwnFile(check, scriptView, settingsName, WordSettings);
    if (kept) CheckOwnFile(check, scriptView, scriptName, WordSourcePath);
    if (settings.AtSource) CheckNewCopyTaken(check, scriptView, script, settingsName, FileNamePart(settingsName));
    if (script.AtSource) CheckNewCopyTaken(check, scriptView, script, settingsName, FileNamePart(scriptName));

    // Processing: the copies the update pass has put in place.
    LoadConstants(script.Path);
    std::string processedSettings = ReadOption(script.Path, WordSettings);
    const TFileView* settingsView = nullptr;
    if (!processedSettings.empty()) {
        bool fetched = SameName(processedSettings, settingsName) && settings.AtSource;
        std::string path = fetched ? settings.Path : Run.ExeDir + processedSettings;
        LoadConstants(path);
        // A settings file that is nowhere has been reported as missing at the source.
        if (IsFilePath(path)) settingsView = &OpenView(check, path, fetched ? settings.Shown : processedSettings);
    }
    check.SourceDir = SetSourceDir(script.Path);
    CheckStartAfterFailure(check, scriptView, processedSettings.empty() ? std::string() : Run.ExeDir + processedSettings);

    std::vector<std::string> chain{FileNamePart(scriptName)};
    WalkIncludes(walk, scriptView, chain);
    result.IncludedScripts = walk.Includes.size();
    CheckContents(check, scriptView, TRole::Script);
    if (settingsView) CheckContents(check, *settingsView, TRole::Settings);
    // The releases the run would hold its sources to: the update pass's, and
    // the processed script's when it names another.
    CheckSourceRelease(check, firstSource);
    if (PathKey(check.SourceDir) != PathKey(firstSource)) CheckSourceRelease(check, check.SourceDir);
}

// References to constants are judged at the end, against every constant any
// loaded file defines, the built-in names and this computer's environment.
void ResolveReferences(TCheck& check)
{
    std::set<std::string> known;
    for (const TConst& entry : ConstTable)
        if (!entry.Name.empty()) known.insert(FoldedScriptName(entry.Name));
    for (unsigned word : BuiltInConstantWords) known.insert(FoldedScriptName(Msg(word)));
    for (const TReference& reference : check.References) {
        if (known.count(FoldedScriptName(reference.Name))) continue;
        char buffer[2];
        // An empty variable gives 0 as well, without an error of its own.
        SetLastError(ERROR_SUCCESS);
        if (GetEnvironmentVariableA(reference.Name.c_str(), buffer, sizeof buffer) != 0) continue;
        if (GetLastError() != ERROR_ENVVAR_NOT_FOUND) continue;
        check.Findings.push_back(TFinding{reference.Shown, reference.Line, TSeverity::Warning, TFindingCode::Undefined,
                                          FillMsg(MsgCheckUndefined, {reference.Name})});
        check.FindingOrder.push_back(reference.Order);
    }
}

// Keeps the constants table as it was before the check.
class ConstantsScope {
public:
    ConstantsScope() : m_saved(ConstTable) {}
    ~ConstantsScope() { ConstTable = m_saved; }
    ConstantsScope(const ConstantsScope&) = delete;
    ConstantsScope& operator=(const ConstantsScope&) = delete;

private:
    std::vector<TConst> m_saved;
};

}  // namespace

TCheckResult CheckScript(const std::string& scriptName)
{
    ConstantsScope constants;
    TWalk walk;
    TCheckResult result;
    result.Script = scriptName;
    CheckAll(walk, result);
    ResolveReferences(walk.Check);
    result.Findings = SortedFindings(walk.Check);
    return result;
}
