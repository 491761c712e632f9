#include "script/settings.h"

#include <climits>

#include "core/console.h"
#include "core/disk_files.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/script_image.h"

namespace {

// Optional sign and decimal digits, in the 32-bit range; nothing else.
bool ParseDecimal(const std::string& text, int32_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    long long number = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + (text[i] - '0');
        if (number > static_cast<long long>(INT32_MAX) + 1) return false;
    }
    if (negative) number = -number;
    if (number > INT32_MAX) return false;
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace

int32_t ParseDelay(const std::string& text, int32_t fallback)
{
    int32_t value = 0;
    if (!ParseDecimal(text, value)) return fallback;
    // A negative wait would reach the system as about 49 days.
    return value < 0 ? 0 : value;
}

std::string LanguageFileName(const std::string& exeName, const std::string& extension)
{
    size_t dot = exeName.find_last_of('.');
    return (dot == std::string::npos ? exeName : exeName.substr(0, dot)) + extension;
}

std::string SourceDirOf(const std::string& scriptPath)
{
    // The backslash is added before expansion, so a constant that ends in one
    // gives a doubled backslash, which the file functions accept.
    std::string source = ReadScriptString(scriptPath, Msg(WordOptions), Msg(WordSourcePath));
    if (source.empty())
        source = Run.ExeDir;
    else if (source.back() != '\\')
        source += '\\';
    return ExpandConstants(source, ExpandPlain);
}

void SetSrcDirConstant(const std::string& sourceDir)
{
    std::string srcdir = sourceDir;
    if (!srcdir.empty() && srcdir.back() == '\\') srcdir.pop_back();
    if (ConstTable.size() > SlotSrcDir) ConstTable[SlotSrcDir].Value = srcdir;
}

void LoadSettings(const std::string& scriptPath)
{
    const std::string options = Msg(WordOptions);
    // From the script's image: the profile functions would read and parse the whole script for every key.
    auto read = [&](unsigned key) { return ReadScriptString(scriptPath, options, Msg(key)); };

    // The settings file's constants are read as written, after the script's.
    Run.SettingsName = read(WordSettings);
    // A settings file that is no disk file is refused when the run updates it.
    if (!Run.SettingsName.empty() && MayOpenAsFileOnce(Run.ExeDir + Run.SettingsName))
        LoadConstants(Run.ExeDir + Run.SettingsName);

    std::string header = read(WordWinHeader);
    if (!header.empty()) {
        // The NT console takes the title in its own code page; constants are
        // inserted after the conversion.
        if (Run.NtFamily) header = ToOem(header);
        SetWindowTitle(ExpandConstants(header, ExpandPlain));
    }

    Run.SourceDir = SourceDirOf(scriptPath);
    SetSrcDirConstant(Run.SourceDir);

    std::string language = read(WordLanguage);
    Run.LanguageName = language.empty() ? std::string() : LanguageFileName(Run.ExeName, language);

    // An absent key leaves the value as it is.
    std::string pause = read(WordPause);
    if (!pause.empty()) Run.PauseMs = ParseDelay(ExpandConstants(pause, ExpandPlain), 0);
    std::string selfPause = read(WordSelfPause);
    if (!selfPause.empty()) Run.SelfPauseMs = ParseDelay(ExpandConstants(selfPause, ExpandPlain), 500);
}
