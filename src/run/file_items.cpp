#include "run/file_items.h"

#include "actions/file_update.h"
#include "core/disk_files.h"
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

bool ScriptIsADiskFile(TSteps& steps)
{
    if (MayOpenAsFile(ScriptPath())) return true;
    TChange step = FailedStep(TChangeKind::File, ScriptPath(), FailureOf(FormatMsg(MsgNotADiskFile, ScriptPath())));
    step.Line = FormatMsg(MsgItemLine, Run.ScriptName);
    bool ok = true;
    Take(steps, step, ok);
    steps.ItemFailed();
    return false;
}

TNewScriptSource NewScriptSource()
{
    TNewScriptSource next;
    std::string sourceScript = Run.SourceDir + FileNamePart(Run.ScriptName);
    std::string named = ReadProfileString(sourceScript, Msg(WordOptions), Msg(WordSourcePath));
    if (named.empty()) return next;
    next.Named = true;
    LoadConstants(sourceScript);
    if (!Run.SettingsName.empty()) LoadConstants(Run.SourceDir + FileNamePart(Run.SettingsName));
    next.Dir = ExpandConstants(named, ExpandPlain);
    if (!next.Dir.empty() && next.Dir.back() != '\\') next.Dir += '\\';
    return next;
}
