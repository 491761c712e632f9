#include "run/dispatch.h"

#include <windows.h>

#include <algorithm>

#include "actions/alias.h"
#include "actions/directory.h"
#include "actions/file_update.h"
#include "actions/ini_values.h"
#include "actions/ole_server.h"
#include "actions/registry.h"
#include "actions/text_file.h"
#include "core/ansi_text.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "engine/engine.h"
#include "run/file_items.h"
#include "run/item_reader.h"
#include "script/script_image.h"
#include "script/script_layout.h"

namespace {

// The engine starts before the first alias item of the run; a later alias
// item starts it only when no earlier start succeeded.
void StartEngineOnce(TSteps& steps)
{
    if (Run.EngineStarted) return;
    // Written directly: the engine line comes before a pending banner and heading.
    WriteText(Msg(MsgEngineInit));
    std::string failure = EngineFailureText(DbiInit(nullptr));
    Run.EngineStarted = failure.empty();
    if (Run.EngineStarted) return ReportOk();
    bool ok = true;
    Take(steps, FailedStep(TChangeKind::Alias, std::string(), FailureOf(failure)), ok);
    steps.ItemFailed();
}

bool ProcessItem(const TItemPlace& place, TItemKind kind, const std::string& value, TSectionMode mode, TSteps& steps)
{
    switch (kind) {
    case TItemKind::File: {
        TFileItemRead item = ReadFileItem(place, value, mode);
        if (item.Skipped) return true;
        if (item.IsRename) return RenameFile(item.Rename, steps);
        return UpdateFileItem(item.Update, mode, NewScriptSource, steps);
    }
    case TItemKind::Dir:
        return ProcessDirItem(ReadDirItem(place, value, mode), mode, steps);
    case TItemKind::Registry:
        return ProcessRegistryItem(ReadRegistryItem(place, value, mode), mode, steps);
    case TItemKind::Ini:
        return ProcessIniItem(ReadIniItem(place, value, mode), mode, steps);
    case TItemKind::Alias:
        StartEngineOnce(steps);
        // Made even when the start failed; the run then stops after this item.
        return ProcessAliasItem(ReadAliasItem(place, value, mode), mode, steps);
    case TItemKind::Text:
        return ProcessTextItem(ReadTextItem(place, value, mode), mode, steps);
    case TItemKind::Server:
        return ProcessServerItem(ReadServerItem(value), mode, steps);
    }
    return true;
}

void ProcessOneItem(const TItemPlace& place, TItemKind kind, const std::string& value, TSectionMode mode,
                    TSteps& steps)
{
    if (!ProcessItem(place, kind, value, mode, steps)) steps.ItemFailed();
}

// A walk of file items that is copying tells the steps the copies of the
// items from `first` to `last` (until the first missing one); gives the last
// item looked at.
int FileItemsAhead(const std::string& script, const std::string& section, TSectionMode mode, int first, int last,
                   TSteps& steps)
{
    std::string prefix = Msg(WordFile);
    TScriptReadScope reads;
    for (int n = first; n <= last; ++n) {
        std::string value = ReadScriptString(script, section, prefix + std::to_string(n));
        if (value.empty()) return last;
        TFileItemRead item = ReadFileItem(TItemPlace{script, section, n}, value, mode);
        if (!item.Skipped && !item.IsRename) FileItemAhead(item.Update, mode, steps);
    }
    return last;
}

// Items {prefix}1, {prefix}2, ... up to the first missing or empty one.
// False when an item failed.
bool ProcessKind(const std::string& script, const std::string& section, const TItemKindLayout& kind,
                 TSectionMode mode, TSteps& steps)
{
    std::string prefix = Msg(kind.Prefix);
    int aheadTo = 0;  // the file items up to this one were looked at ahead
    for (int n = 1;; ++n) {
        // An item reads dozens of keys: the script is checked for changes once for them.
        TScriptReadScope reads;
        std::string value = ReadScriptString(script, section, prefix + std::to_string(n));
        if (value.empty()) return true;
        if (Run.PauseMs > 0) steps.Pause(static_cast<DWORD>(Run.PauseMs));
        if (n == 1) Run.PendingHeading = Msg(kind.Heading);
        ProcessOneItem(TItemPlace{script, section, n}, kind.Kind, value, mode, steps);
        if (!Run.RunOk) return false;
        if (kind.Kind == TItemKind::File && steps.LooksAhead())
            aheadTo = FileItemsAhead(script, section, mode, std::max(n + 1, aheadTo + 1), n + FileStepsAhead, steps);
    }
}

// The file items' walk of a section, with what it copied ahead and did not claim removed at its end.
bool ProcessFileKind(const std::string& script, const std::string& section, const TItemKindLayout& kind,
                     TSectionMode mode, TSteps& steps)
{
    struct TEndAhead {
        TSteps& Steps;
        ~TEndAhead() { Steps.EndAhead(); }
    } endAhead{steps};
    return ProcessKind(script, section, kind, mode, steps);
}

bool ProcessSection(const std::string& script, const std::string& section, TSectionMode mode, TSteps& steps)
{
    std::string itemOrder = UpperAscii(ReadScriptString(script, section, Msg(WordItemOrder)));
    if (itemOrder.empty()) itemOrder = DefaultItemOrder(mode);
    for (char letter : itemOrder) {
        const TItemKindLayout* kind = FindItemKind(letter);
        if (!kind) continue;
        bool ok = kind->Kind == TItemKind::File ? ProcessFileKind(script, section, *kind, mode, steps)
                                                : ProcessKind(script, section, *kind, mode, steps);
        if (!ok) return false;
    }
    return true;
}

}  // namespace

void ProcessScript(const std::string& scriptPath, TSteps& steps)
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
        if (!ProcessSection(scriptPath, section, kind->Mode, steps)) return;
        // Without a computer name there is no section meant for this computer.
        if (Run.ComputerName.empty()) continue;
        Run.PendingBanner += " [ " + Run.ComputerName + " ]";
        if (!ProcessSection(scriptPath, section + "." + Run.ComputerName, kind->Mode, steps)) return;
    }
    // A banner or heading of a section that printed nothing must not show
    // above a later script's lines.
    Run.PendingBanner.clear();
    Run.PendingHeading.clear();
}

void ProcessScriptItem(const std::string& scriptPath, const std::string& section, TItemKind kind, int n,
                       TSectionMode mode, TSteps& steps)
{
    std::string value = ReadScriptString(scriptPath, section, Msg(ItemKindLayout(kind).Prefix) + std::to_string(n));
    if (!value.empty()) ProcessOneItem(TItemPlace{scriptPath, section, n}, kind, value, mode, steps);
}
