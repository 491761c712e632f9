#include "script/log_options.h"

#include "core/messages.h"
#include "core/run_log.h"
#include "core/run_state.h"
#include "script/expand.h"
#include "script/run_options.h"
#include "script/script_image.h"

namespace {

constexpr uint64_t DefaultKilobytes = 1024;
// Four terabytes: beyond any log, and far from overflowing when made bytes.
constexpr uint64_t MaxKilobytes = uint64_t{1} << 32;

}  // namespace

uint64_t ParseLogSize(const std::string& text)
{
    if (text.empty()) return DefaultKilobytes * 1024;
    uint64_t kilobytes = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return DefaultKilobytes * 1024;
        kilobytes = kilobytes * 10 + static_cast<uint64_t>(c - '0');
        if (kilobytes > MaxKilobytes) return DefaultKilobytes * 1024;
    }
    return kilobytes == 0 ? DefaultKilobytes * 1024 : kilobytes * 1024;
}

void UseLogFromCommandLine(const std::string& path)
{
    UseRunLogFile(ExpandConstants(path, ExpandPath), true);
}

void ReadLogOptions(const std::string& scriptPath)
{
    SetRunLogLimit(ParseLogSize(ExpandConstants(ReadScriptOrSettingsOption(scriptPath, WordLogSize), ExpandPlain)));
    if (RunLogFileChosen()) return;
    std::string file = ReadScriptOrSettingsOption(scriptPath, WordLogFile);
    if (!file.empty()) UseRunLogFile(ExpandConstants(file, ExpandPath), false);
}
