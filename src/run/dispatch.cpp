#include "run/dispatch.h"

#include <windows.h>

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "engine/engine.h"
#include "run/file_items.h"
#include "run/item_reader.h"
#include "script/script_image.h"
#include "script/script_layout.h"

namespace {

// Only ASCII letters: the order keys are letters of fixed tables.
std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The engine starts before the first alias item of the run; a later alias
// item starts it only when no earlier start succeeded.
void StartEngineOnce()
{
    if (Run.EngineStarted) return;
    // Written directly: the engine line comes before a pending banner and heading.
    WriteText(Msg(MsgEngineInit));
    bool started = CheckEngineResult(DbiInit(nullptr));
    if (started) ReportOk();
    Run.EngineStarted = started;
}

void ProcessItem(const TItemPlace& place, TItemKind kind, const std::string& value, TSectionMode mode)
{
    switch (kind) {
    case TItemKind::File: {
        TFileItemRead item = ReadFileItem(place, value, mode);
        if (item.Skipped) return;
        if (item.IsRename) return RenameFile(item.Rename);
        if (!UpdateFileItem(item.Update, mode, NewScriptSource)) FailRun();
        return;
    }
    case TItemKind::Dir:
        return RemoveOrRename(ReadDirItem(place, value, mode), mode);
    case TItemKind::Registry:
        return ProcessRegistryItem(ReadRegistryItem(place, value, mode), mode);
    case TItemKind::Ini:
        return ProcessIniItem(ReadIniItem(place, value, mode), mode);
    case TItemKind::Alias: {
        StartEngineOnce();
        // Made even when the start failed; the run then stops after this item.
        TAliasItem item = ReadAliasItem(place, value);
        return ApplyAlias(item, DecideAlias(item, mode));
    }
    case TItemKind::Text:
        return ProcessTextItem(ReadTextItem(place, value, mode), mode);
    case TItemKind::Server:
        return RegisterServer(ReadServerItem(value), mode);
    }
}

// Items {prefix}1, {prefix}2, ... up to the first missing or empty one.
// False when an item failed.
bool ProcessKind(const std::string& script, const std::string& section, const TItemKindLayout& kind,
                 TSectionMode mode)
{
    std::string prefix = Msg(kind.Prefix);
    for (int n = 1;; ++n) {
        // An item reads dozens of keys: the script is checked for changes once for them.
        TScriptReadScope reads;
        std::string value = ReadScriptString(script, section, prefix + std::to_string(n));
        if (value.empty()) return true;
        // A plan changes nothing that a pause could give time to.
        if (Run.PauseMs > 0 && !Run.Plan.Active) Sleep(static_cast<DWORD>(Run.PauseMs));
        if (n == 1) Run.PendingHeading = Msg(kind.Heading);
        ProcessItem(TItemPlace{script, section, n}, kind.Kind, value, mode);
        if (!Run.RunOk) return false;
    }
}

bool ProcessSection(const std::string& script, const std::string& section, TSectionMode mode)
{
    std::string itemOrder = UpperAscii(ReadScriptString(script, section, Msg(WordItemOrder)));
    if (itemOrder.empty()) itemOrder = DefaultItemOrder(mode);
    for (char letter : itemOrder) {
        const TItemKindLayout* kind = FindItemKind(letter);
        if (kind && !ProcessKind(script, section, *kind, mode)) return false;
    }
    return true;
}

}  // namespace

void ProcessScript(const std::string& scriptPath)
{
    // The script is read as it stands when its walk begins, and again after
    // each change the run itself makes to a file: one look-up of its size and
    // time for the whole walk instead of one per item.
    TScriptReadScope reads;
    std::string sectionOrder = UpperAscii(ReadScriptString(scriptPath, Msg(WordOptions), Msg(WordSectionOrder)));
    if (sectionOrder.empty()) sectionOrder = DefaultSectionOrder;
    for (char letter : sectionOrder) {
        const TSectionKind* kind = FindSectionKind(letter);
        if (!kind) continue;
        std::string section = Msg(kind->Name);
        Run.PendingBanner = Msg(kind->Banner);
        if (!ProcessSection(scriptPath, section, kind->Mode)) return;
        // Without a computer name there is no section meant for this computer.
        if (Run.ComputerName.empty()) continue;
        Run.PendingBanner += " [ " + Run.ComputerName + " ]";
        if (!ProcessSection(scriptPath, section + "." + Run.ComputerName, kind->Mode)) return;
    }
    // A banner or heading of a section that printed nothing must not show
    // above a later script's lines.
    Run.PendingBanner.clear();
    Run.PendingHeading.clear();
}

void ProcessScriptItem(const std::string& scriptPath, const std::string& section, TItemKind kind, int n,
                       TSectionMode mode)
{
    std::string value = ReadScriptString(scriptPath, section, Msg(ItemKindLayout(kind).Prefix) + std::to_string(n));
    if (!value.empty()) ProcessItem(TItemPlace{scriptPath, section, n}, kind, value, mode);
}
