#include "actions/alias.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "engine/engine.h"

namespace {

// Whether the engine's alias list holds `oemName`. A list that cannot be
// opened is reported and holds nothing.
bool FindAlias(const std::string& oemName)
{
    hDBICur cursor = nullptr;
    if (!CheckEngineResult(DbiOpenDatabaseList(&cursor))) return false;
    std::vector<char> record(DbiRecordBufferSize);
    bool found = false;
    // Any result but a record ends the search; the end of the list is the usual one.
    while (!found) {
        std::fill(record.begin(), record.end(), '\0');
        if (DbiGetNextRecord(cursor, DbiNoLock, record.data(), nullptr) != DBIERR_NONE) break;
        found = AliasRecordMatches(record.data(), oemName);
    }
    CheckEngineResult(DbiCloseCursor(&cursor));
    return found;
}

}  // namespace

bool AliasRecordMatches(const char* record, const std::string& oemName)
{
    size_t length = strnlen(record, DbiAliasNameField);
    return length < DbiAliasNameField && length == oemName.size() && std::memcmp(record, oemName.data(), length) == 0;
}

TAliasChange DecideAlias(const TAliasItem& item, TSectionMode mode)
{
    bool found = FindAlias(ToOem(item.Name));
    switch (mode) {
    case TSectionMode::Insert:
        return found ? TAliasChange::None : TAliasChange::Add;
    case TSectionMode::Update:
        return found ? TAliasChange::Replace : TAliasChange::Add;
    case TSectionMode::Delete:
        return found ? TAliasChange::Delete : TAliasChange::None;
    }
    return TAliasChange::None;
}

void ApplyAlias(const TAliasItem& item, TAliasChange change)
{
    if (change == TAliasChange::None) return;
    std::string oemName = ToOem(item.Name);
    ReportItem(FormatMsg(MsgItemLine, item.Name));
    if (Run.Plan.Active) {
        unsigned reason = change == TAliasChange::Add       ? MsgPlanMissing
                          : change == TAliasChange::Replace ? MsgPlanReplaced
                                                            : MsgPlanPresent;
        return ReportChange(TChangeKind::Alias, Msg(reason));
    }
    if (change == TAliasChange::Replace || change == TAliasChange::Delete) {
        CheckEngineResult(DbiDeleteAlias(nullptr, oemName.c_str()));
        if (change == TAliasChange::Delete) {
            if (Run.RunOk) ReportOk();
            return;
        }
    }
    // Converted whole: a parameter list cut to a fixed buffer would hand the
    // engine a wrong path without a word.
    std::string oemParams = ToOem(item.Params);
    CheckEngineResult(DbiAddAlias(nullptr, oemName.c_str(), item.DriverType.c_str(), oemParams.c_str(), DbiTrue));
    if (Run.RunOk) ReportOk();
}
