#include "actions/ini_values.h"

#include <windows.h>

#include "core/dir_listing.h"
#include "core/messages.h"
#include "core/report.h"

namespace {

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

}  // namespace

std::optional<TChange> DecideIniValue(const std::string& file, const TIniValue& value, TSectionMode mode,
                                      TMachineView& machine)
{
    TIniRead stored = machine.IniValue(file, value.Section, value.Name);
    TChange change;
    change.Kind = TChangeKind::IniValue;
    change.Target = file + " [" + value.Section + "] " + value.Name;
    change.Line = FormatMsg(MsgValueLine, value.Name);
    change.Path = file;
    change.Section = value.Section;
    change.Name = value.Name;
    change.Before.Known = change.After.Known = true;
    change.Before.Present = stored.Present;
    change.Before.Data = stored.Text;  // for a whole section: its first key's name
    if (stored.Present) {
        if (mode == TSectionMode::Delete) {
            change.Action = TChangeAction::Delete;
            change.Reason = Msg(MsgPlanPresent);
            return change;
        }
        if (mode != TSectionMode::Update || stored.Text == value.Value) return std::nullopt;
        change.Action = TChangeAction::Replace;
        change.Reason = FormatMsg(MsgPlanValueDiffers, Quoted(stored.Text), Quoted(value.Value));
    } else {
        if (mode == TSectionMode::Delete || value.Value.empty()) return std::nullopt;
        change.Action = TChangeAction::Create;
        change.Reason = Msg(MsgPlanMissing);
    }
    change.After.Present = true;
    change.After.Data = value.Value;
    return change;
}

TApplied ApplyIniChange(const TChange& change)
{
    // No key name: the profile functions then write or delete the whole section; no value deletes.
    const char* key = change.Name.empty() ? nullptr : change.Name.c_str();
    const char* value = change.Action == TChangeAction::Delete ? nullptr : change.After.Data.c_str();
    BOOL written = WritePrivateProfileStringA(change.Section.c_str(), key, value, change.Path.c_str());
    DWORD error = written ? 0 : GetLastError();
    NoteFileChanged(change.Path);
    return written ? TApplied{} : Applied(FailureOf(static_cast<int32_t>(error)));
}

TApplied ForeseeIniChange(const TChange& change, TMachineView& machine)
{
    std::string directory = ParentDirectory(change.Path);
    if (!directory.empty() && !IsDirectory(machine, directory)) return Applied(FailureOf(ERROR_PATH_NOT_FOUND));
    return {};
}

bool ProcessIniItem(const TIniItem& item, TSectionMode mode, TSteps& steps)
{
    ReportItem(FormatMsg(MsgItemLine, item.Shown));
    TMachineView& machine = steps.Machine();
    // The profile functions open the file themselves: a device there would keep them waiting.
    bool ok = true;
    if (!machine.MayOpenAsFile(item.File, true)) {
        Take(steps, FailedStep(TChangeKind::IniValue, item.File, FailureOf(FormatMsg(MsgNotADiskFile, item.File))), ok);
        return false;
    }
    int processed = 0;
    for (const TIniValue& value : item.Values) {
        if (processed++ == 0) WriteLine();
        std::optional<TChange> change = DecideIniValue(item.File, value, mode, machine);
        if (change && !Take(steps, *change, ok)) break;
    }
    if (processed == 0 && ok) WriteLine();
    return ok;
}
