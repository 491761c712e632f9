// Database alias items: add, replace or delete an alias of the database engine.
#pragma once

#include <string>

#include "core/section_mode.h"

struct TAliasItem {
    std::string Name;        // constants expanded (the engine gets its OEM form)
    std::string DriverType;  // the parameters before their first ";" (escapes decoded, constants expanded)
    std::string Params;      // the parameters after it, or all of them without one
};

enum class TAliasChange { None, Add, Replace, Delete };

// Looks the alias up in the engine's list: Insert adds a missing alias,
// Update replaces an existing one (parameters are never compared) or adds it,
// Delete deletes an existing one. A list that cannot be read is reported and
// holds nothing.
TAliasChange DecideAlias(const TAliasItem& item, TSectionMode mode);

// Asks the engine for the change, printing the item line and its status; a
// failed engine call is reported and clears RunOk.
void ApplyAlias(const TAliasItem& item, TAliasChange change);

// The record's alias name (NUL-terminated in its first 32 bytes) equals
// `oemName` byte for byte. A record without a NUL there names nothing.
bool AliasRecordMatches(const char* record, const std::string& oemName);
