#include "script/run_options.h"

#include "core/messages.h"
#include "core/run_state.h"
#include "script/expand.h"
#include "script/script_image.h"

std::string ReadScriptOrSettingsOption(const std::string& scriptPath, unsigned key)
{
    const std::string options = Msg(WordOptions);
    std::string value = ReadScriptString(scriptPath, options, Msg(key));
    if (value.empty() && !Run.SettingsName.empty())
        value = ReadScriptString(Run.ExeDir + Run.SettingsName, options, Msg(key));
    return value;
}

TRollbackOptions ReadRollbackOptions(const std::string& scriptPath)
{
    auto on = [&scriptPath](unsigned key) {
        return ExpandConstants(ReadScriptOrSettingsOption(scriptPath, key), ExpandPlain) == "1";
    };
    TRollbackOptions options;
    options.Rollback = on(WordRollback);
    options.StartAfterFailure = options.Rollback && on(WordStartAfterFailure);
    return options;
}
