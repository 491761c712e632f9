#include "actions/ini_values.h"

#include <windows.h>

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "script/dispatch.h"
#include "script/expand.h"
#include "script/profile.h"
#include "script/script_image.h"

namespace {

std::string ValueKey(int item, int value, unsigned wordId)
{
    return Msg(WordIni) + std::to_string(item) + Msg(WordVal) + std::to_string(value) + Msg(wordId);
}

}  // namespace

void SetIniValue(const std::string& file, const std::string& section, const std::string& name,
                 const std::string& value, char mode)
{
    Run.LastErrorCode = -1;
    std::string sectionName = ExpandConstants(section, ExpandPlain);
    std::string keyName = ExpandConstants(name, ExpandPlain);
    std::string text = ExpandConstants(DecodeEscapes(value), ExpandPlain);
    // No key name: the profile functions then read the section's key list and
    // write or delete the whole section.
    const char* key = keyName.empty() ? nullptr : keyName.c_str();

    // Zeroed, because a cut key list is not always NUL-terminated.
    char buffer[ValueBufferSize] = {};
    DWORD length = GetPrivateProfileStringA(sectionName.c_str(), key, "", buffer, sizeof buffer, file.c_str());
    bool present = length > 0;
    std::string stored = buffer;  // for a key list: its first name

    bool change = false;
    const char* newValue = nullptr;  // null deletes
    if (present) {
        if (mode == 'D') {
            change = true;
        } else if (mode == 'U' && stored != text) {
            change = true;
            newValue = text.c_str();
        }
    } else if (mode != 'D' && !text.empty()) {
        change = true;
        newValue = text.c_str();
    }
    if (!change) return;

    WriteText(FormatMsg(MsgValueLine, keyName));
    if (WritePrivateProfileStringA(sectionName.c_str(), key, newValue, file.c_str())) {
        ReportOk();
        return;
    }
    Run.LastErrorCode = static_cast<int32_t>(GetLastError());
    FailRun();
    ReportError();
}

void ProcessIniItem(const std::string& scriptPath, const std::string& section, int item, char mode)
{
    ReportItem(FormatMsg(MsgItemLine, ExpandConstants(ItemValue, ExpandPlain)));
    std::string file = ExpandConstants(ItemValue, ExpandPath);
    std::string iniSection;
    int processed = 0;
    for (int value = 1;; ++value) {
        std::string ownSection = ReadScriptString(scriptPath, section, ValueKey(item, value, WordSection));
        // A value without a section of its own stays in the section of the one before.
        if (!ownSection.empty() || value == 1) iniSection = ownSection;
        if (iniSection.empty()) break;
        std::string name = ReadScriptString(scriptPath, section, ValueKey(item, value, WordName));
        if (name.empty()) break;
        std::string text;
        if (mode != 'D') text = ReadScriptString(scriptPath, section, ValueKey(item, value, WordValue));
        if (processed++ == 0) WriteLine();
        SetIniValue(file, iniSection, name, text, mode);
        if (!Run.RunOk) break;
    }
    if (processed == 0 && Run.RunOk) WriteLine();
}
