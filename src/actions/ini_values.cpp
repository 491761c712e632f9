#include "actions/ini_values.h"

#include <windows.h>

#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

constexpr DWORD StoredValueBufferSize = 260;

// No key name: the profile functions then read the section's key list and
// write or delete the whole section.
const char* KeyArgument(const TIniValue& value)
{
    return value.Name.empty() ? nullptr : value.Name.c_str();
}

// The value as a plan remembers it: the file, the section and the key, in
// upper case (the profile functions match them without regard to case).
std::string PlannedValueKey(const std::string& file, const TIniValue& value)
{
    return PathKey(file) + "\n" + PathKey(value.Section) + "\n" + PathKey(value.Name);
}

// A plan shows the change instead of making it; a file whose directory is
// missing (and would not have been made by then) cannot be written.
void ShowIniChange(const std::string& file, const TIniValue& value, const TIniChange& change)
{
    if (!ParentWouldExist(file)) return FailStep(ERROR_PATH_NOT_FOUND);
    // A key name that addresses the whole section is not remembered.
    if (!value.Name.empty()) {
        TPlannedValue& planned = Run.Plan.IniValues[PlannedValueKey(file, value)];
        planned.Present = change.Kind == TIniChangeKind::Write && !value.Value.empty();
        // Read back as the profile functions would give it: cut to the buffer.
        planned.Bytes = change.Kind == TIniChangeKind::Write ? value.Value.substr(0, StoredValueBufferSize - 1)
                                                             : std::string();
    }
    std::string reason;
    if (change.Kind == TIniChangeKind::Delete)
        reason = Msg(MsgPlanPresent);
    else if (change.Present)
        reason = FormatMsg(MsgPlanValueDiffers, "\"" + change.Stored + "\"", "\"" + value.Value + "\"");
    else
        reason = Msg(MsgPlanMissing);
    ReportChange(TChangeKind::IniValue, reason);
}

}  // namespace

TIniChange DecideIniValue(const std::string& file, const TIniValue& value, TSectionMode mode)
{
    TIniChange change;
    // Zeroed, because a cut key list is not always NUL-terminated.
    char buffer[StoredValueBufferSize] = {};
    DWORD length =
        GetPrivateProfileStringA(value.Section.c_str(), KeyArgument(value), "", buffer, sizeof buffer,
                                 PathToRead(file).c_str());
    change.Present = length > 0;
    change.Stored = buffer;  // for a key list: its first name
    if (Run.Plan.Active && !value.Name.empty()) {
        auto planned = Run.Plan.IniValues.find(PlannedValueKey(file, value));
        if (planned != Run.Plan.IniValues.end()) {
            change.Present = planned->second.Present;
            change.Stored = planned->second.Bytes;
        }
    }
    if (change.Present) {
        if (mode == TSectionMode::Delete)
            change.Kind = TIniChangeKind::Delete;
        else if (mode == TSectionMode::Update && change.Stored != value.Value)
            change.Kind = TIniChangeKind::Write;
    } else if (mode != TSectionMode::Delete && !value.Value.empty()) {
        change.Kind = TIniChangeKind::Write;
    }
    return change;
}

void ApplyIniValue(const std::string& file, const TIniValue& value, const TIniChange& change)
{
    if (change.Kind == TIniChangeKind::None) return;
    WriteText(FormatMsg(MsgValueLine, value.Name));
    if (Run.Plan.Active) return ShowIniChange(file, value, change);
    const char* newValue = change.Kind == TIniChangeKind::Write ? value.Value.c_str() : nullptr;  // null deletes
    BOOL written = WritePrivateProfileStringA(value.Section.c_str(), KeyArgument(value), newValue, file.c_str());
    DWORD error = written ? 0 : GetLastError();
    NoteFileChanged(file);
    if (!written) return FailStep(static_cast<int32_t>(error));
    ReportOk();
}

void ProcessIniItem(const TIniItem& item, TSectionMode mode)
{
    ReportItem(FormatMsg(MsgItemLine, item.Shown));
    // The profile functions open the file themselves: a device there would keep them waiting.
    if (!MayOpenAsFileOnce(item.File)) return FailStep(FormatMsg(MsgNotADiskFile, item.File));
    int processed = 0;
    for (const TIniValue& value : item.Values) {
        if (processed++ == 0) WriteLine();
        ApplyIniValue(item.File, value, DecideIniValue(item.File, value, mode));
        if (!Run.RunOk) break;
    }
    if (processed == 0 && Run.RunOk) WriteLine();
}
