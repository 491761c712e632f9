#include "script/dispatch.h"

#include <windows.h>

#include "actions/alias.h"
#include "actions/directory.h"
#include "actions/file_update.h"
#include "actions/ini_values.h"
#include "actions/ole_server.h"
#include "actions/registry.h"
#include "actions/text_file.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "engine/engine.h"
#include "script/expand.h"
#include "script/script_image.h"

std::string ItemValue;

namespace {

struct TSectionMode {
    char Letter;
    MessageId Name;
    MessageId Banner;
};

constexpr TSectionMode SectionModes[] = {
    {'I', WordInsert, MsgInserting},
    {'U', WordUpdate, MsgUpdating},
    {'D', WordDelete, MsgDeleting},
};

struct TItemKind {
    char Letter;
    MessageId Prefix;
    MessageId Heading;
};

constexpr TItemKind ItemKinds[] = {
    {'F', WordFile, MsgFilesHeading},  {'D', WordDir, MsgDirsHeading},      {'R', WordReg, MsgRegistryHeading},
    {'I', WordIni, MsgIniHeading},     {'B', WordBDEAlias, MsgAliasesHeading}, {'T', WordText, MsgTextHeading},
    {'S', WordComSrv, MsgOleHeading},
};

constexpr const char* DefaultSectionOrder = "IUD";
constexpr const char* DefaultInsertItemOrder = "FDRIBTS";
constexpr const char* DefaultOtherItemOrder = "FDRIBS";

// Only ASCII letters: the order keys are letters of fixed tables.
std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

const TSectionMode* FindSectionMode(char letter)
{
    for (const TSectionMode& mode : SectionModes)
        if (mode.Letter == letter) return &mode;
    return nullptr;
}

const TItemKind* FindItemKind(char letter)
{
    for (const TItemKind& kind : ItemKinds)
        if (kind.Letter == letter) return &kind;
    return nullptr;
}

bool Contains(const std::string& text, const std::string& word)
{
    return !word.empty() && text.find(word) != std::string::npos;
}

// Where the file named by a script value lies: relative names below the
// program's directory, as everywhere else a script names a file.
bool IsExistingFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void RenameFile(const std::string& renameTo)
{
    std::string path = ExpandConstants(ItemValue, ExpandPath);
    // Nothing to rename: the rename already happened at an earlier run.
    if (!IsExistingFile(path)) return;
    ReportItem(FormatMsg(MsgRenameLine, ExpandConstants(ItemValue, ExpandPlain),
                         ExpandConstants(renameTo, ExpandPlain)));
    if (!MoveFileA(path.c_str(), ExpandConstants(renameTo, ExpandPath).c_str())) {
        Run.LastErrorCode = static_cast<int32_t>(GetLastError());
        ReportError();
        FailRun();
        return;
    }
    ReportOk();
}

void ProcessFileItem(const std::string& script, const std::string& section, const std::string& key, char mode)
{
    std::string flags = ExpandConstants(ReadScriptString(script, section, key + Msg(WordFlags)), ExpandPlain);
    bool only9x = Contains(flags, Msg(Word9xOnly));
    bool onlyNt = Contains(flags, Msg(WordNtOnly));
    if ((only9x && Run.NtFamily) || (onlyNt && !Run.NtFamily)) return;
    if (mode == 'U') {
        std::string renameTo = ReadScriptString(script, section, key + Msg(WordRenameTo));
        if (!renameTo.empty()) {
            RenameFile(renameTo);
            return;
        }
    }
    if (!UpdateFile(ItemValue, flags, mode)) FailRun();
}

void ProcessAliasItem(const std::string& script, const std::string& section, const std::string& key, char mode)
{
    if (!Run.EngineStarted) {
        // Written directly: the engine line comes before a pending banner and heading.
        WriteText(Msg(MsgEngineInit));
        if (CheckEngineResult(DbiInit(nullptr))) ReportOk();
        Run.EngineStarted = Run.RunOk;
    }
    ApplyAlias(ItemValue, ReadScriptString(script, section, key + Msg(WordParams)), mode);
}

void ProcessServerItem(char mode)
{
    ReportItem(FormatMsg(MsgItemLine, ExpandConstants(ItemValue, ExpandPlain)));
    RegisterServer(ExpandConstants(ItemValue, ExpandPath), mode);
}

void ProcessItem(const std::string& script, const std::string& section, const TItemKind& kind, int n, char mode)
{
    std::string key = Msg(kind.Prefix) + std::to_string(n);
    switch (kind.Letter) {
    case 'F':
        ProcessFileItem(script, section, key, mode);
        break;
    case 'D':
        RemoveOrRename(ItemValue, mode == 'U' ? ReadScriptString(script, section, key + Msg(WordRenameTo)) : "",
                       mode);
        break;
    case 'R':
        ProcessRegistryItem(script, section, n, mode);
        break;
    case 'I':
        ProcessIniItem(script, section, n, mode);
        break;
    case 'B':
        ProcessAliasItem(script, section, key, mode);
        break;
    case 'T':
        ProcessTextItem(script, section, n, mode);
        break;
    case 'S':
        ProcessServerItem(mode);
        break;
    }
}

// Items {prefix}1, {prefix}2, ... up to the first missing or empty one.
// False when an item failed.
bool ProcessKind(const std::string& script, const std::string& section, const TItemKind& kind, char mode)
{
    std::string prefix = Msg(kind.Prefix);
    for (int n = 1;; ++n) {
        ItemValue = ReadScriptString(script, section, prefix + std::to_string(n));
        if (ItemValue.empty()) return true;
        if (Run.PauseMs > 0) Sleep(static_cast<DWORD>(Run.PauseMs));
        if (n == 1) Run.PendingHeading = Msg(kind.Heading);
        ProcessItem(script, section, kind, n, mode);
        if (!Run.RunOk) return false;
    }
}

bool ProcessSection(const std::string& script, const std::string& section, char mode)
{
    std::string itemOrder = UpperAscii(ReadScriptString(script, section, Msg(WordItemOrder)));
    if (itemOrder.empty()) itemOrder = mode == 'I' ? DefaultInsertItemOrder : DefaultOtherItemOrder;
    for (char letter : itemOrder) {
        const TItemKind* kind = FindItemKind(letter);
        if (kind && !ProcessKind(script, section, *kind, mode)) return false;
    }
    return true;
}

}  // namespace

void ProcessScript(const std::string& scriptPath)
{
    std::string sectionOrder = UpperAscii(ReadScriptString(scriptPath, Msg(WordOptions), Msg(WordSectionOrder)));
    if (sectionOrder.empty()) sectionOrder = DefaultSectionOrder;
    for (char letter : sectionOrder) {
        const TSectionMode* mode = FindSectionMode(letter);
        if (!mode) continue;
        std::string section = Msg(mode->Name);
        Run.PendingBanner = Msg(mode->Banner);
        if (!ProcessSection(scriptPath, section, mode->Letter)) return;
        // Without a computer name there is no section meant for this computer.
        if (Run.ComputerName.empty()) continue;
        Run.PendingBanner += " [ " + Run.ComputerName + " ]";
        if (!ProcessSection(scriptPath, section + "." + Run.ComputerName, mode->Letter)) return;
    }
    // A banner or heading of a section that printed nothing must not show
    // above a later script's lines.
    Run.PendingBanner.clear();
    Run.PendingHeading.clear();
}
