#include "script/check_option.h"

#include "core/ansi_text.h"
#include "core/messages.h"
#include "core/run_state.h"
#include "script/script_image.h"

TCheckOption ParseCheckOption(const std::string& text, bool& known)
{
    known = true;
    if (text.empty() || text == "0") return TCheckOption::Off;
    if (UpperAscii(text) == UpperAscii(Msg(WordStrict))) return TCheckOption::Strict;
    known = text == "1";
    return TCheckOption::Report;
}

TCheckOption ReadCheckOption(const std::string& scriptPath)
{
    const std::string options = Msg(WordOptions);
    std::string value = ReadScriptString(scriptPath, options, Msg(WordCheck));
    if (value.empty() && !Run.SettingsName.empty())
        value = ReadScriptString(Run.ExeDir + Run.SettingsName, options, Msg(WordCheck));
    bool known = true;
    return ParseCheckOption(value, known);
}
