#include "script/settings.h"

#include "core/messages.h"
#include "core/run_state.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/profile.h"

// PLACEHOLDER until the configuration work lands: reads only the settings the
// update pass needs.
void LoadSettings(const std::string& scriptPath)
{
    std::string options = Msg(WordOptions);
    Run.SettingsName = ReadProfileString(scriptPath, options, Msg(WordSettings));
    std::string source = ReadProfileString(scriptPath, options, Msg(WordSourcePath));
    if (!source.empty() && source.back() != '\\') source += '\\';
    Run.SourceDir = ExpandConstants(source.empty() ? Run.ExeDir : source, ExpandPlain);
    std::string srcdir = Run.SourceDir;
    if (!srcdir.empty() && srcdir.back() == '\\') srcdir.pop_back();
    if (ConstTable.size() > SlotSrcDir) ConstTable[SlotSrcDir].Value = srcdir;
}
