#include "actions/alias.h"

#include <cstring>
#include <vector>

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "engine/engine.h"
#include "script/expand.h"

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

void ApplyAlias(const std::string& name, const std::string& params, char mode)
{
    std::string expanded = ExpandConstants(name, ExpandPlain);
    std::string oemName = ToOem(expanded);
    bool found = FindAlias(oemName);

    bool adds = mode == 'I' || mode == 'U';
    bool deletes = mode == 'U' || mode == 'D';
    if (found ? deletes : adds) ReportItem(FormatMsg(MsgItemLine, expanded));

    if (found && deletes) {
        CheckEngineResult(DbiDeleteAlias(nullptr, oemName.c_str()));
        if (mode == 'D' && Run.RunOk) ReportOk();
        found = false;
    }
    if (!found && adds) {
        std::string text = ExpandConstants(DecodeEscapes(params), ExpandPlain);
        size_t separator = text.find(';');
        std::string driverType = separator == std::string::npos ? std::string() : text.substr(0, separator);
        // Converted whole: a parameter list cut to a fixed buffer would hand
        // the engine a wrong path without a word.
        std::string oemParams = ToOem(separator == std::string::npos ? text : text.substr(separator + 1));
        CheckEngineResult(DbiAddAlias(nullptr, oemName.c_str(), driverType.c_str(), oemParams.c_str(), DbiTrue));
        if (Run.RunOk) ReportOk();
    }
}
