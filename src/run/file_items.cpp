#include "run/file_items.h"

#include "actions/file_update.h"
#include "core/disk_files.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "run/item_reader.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/profile.h"

bool UpdateFile(const std::string& name, const std::string& flags, TSectionMode mode, TSteps& steps)
{
    if (name.empty()) return true;
    return UpdateFileItem(NamedFileItem(name, flags, mode), mode, NewScriptSource, steps);
}

namespace {

// Why the script cannot be opened for reading; empty when it can, and when a
// script named relative to the program's directory is missing there: the
// update step then fails on it, as it always did.
std::string ScriptUnreadable(const std::string& path)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return {};
    DWORD error = GetLastError();
    bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (missing && !IsRootedPath(Run.ScriptName)) return {};
    return FormatMsg(MsgScriptUnreadable, path, SystemMessageOrCode(static_cast<int32_t>(error)));
}

}  // namespace

bool ScriptIsADiskFile(TSteps& steps)
{
    std::string path = ScriptPath();
    // A script that reads as empty would make a run that does nothing and ends well.
    std::string failure = MayOpenAsFile(path) ? ScriptUnreadable(path) : FormatMsg(MsgNotADiskFile, path);
    if (failure.empty()) return true;
    TChange step = FailedStep(TChangeKind::File, path, FailureOf(failure));
    step.Line = FormatMsg(MsgItemLine, Run.ScriptName);
    bool ok = true;
    Take(steps, step, ok);
    steps.ItemFailed();
    return false;
}

TNewScriptSource NewScriptSource()
{
    TNewScriptSource next;
    // A script outside the program's directory is never replaced: it names the source itself.
    std::string sourceScript =
        IsRootedPath(Run.ScriptName) ? ScriptPath() : Run.SourceDir + FileNamePart(Run.ScriptName);
    std::string named = ReadProfileString(sourceScript, Msg(WordOptions), Msg(WordSourcePath));
    if (named.empty()) return next;
    next.Named = true;
    LoadConstants(sourceScript);
    if (!Run.SettingsName.empty()) LoadConstants(Run.SourceDir + FileNamePart(Run.SettingsName));
    next.Dir = ExpandConstants(named, ExpandPlain);
    if (!next.Dir.empty() && next.Dir.back() != '\\') next.Dir += '\\';
    return next;
}
