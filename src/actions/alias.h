// Database alias items: add, replace or delete an alias of the database engine.
#pragma once

#include <string>

// Adds, replaces or deletes the engine alias `name` (the raw BDEAlias<n>
// value) by mode: 'I' adds a missing alias, 'U' replaces or adds, 'D' deletes
// an existing one. `params` is the raw BDEAlias<n>Params value, "driver
// type;parameter list", used only when adding. Prints the item line and its
// status only when the engine is asked to change something; a failed engine
// call is reported and clears RunOk.
void ApplyAlias(const std::string& name, const std::string& params, char mode);

// The record's alias name (NUL-terminated in its first 32 bytes) equals
// `oemName` byte for byte. A record without a NUL there names nothing.
bool AliasRecordMatches(const char* record, const std::string& oemName);
