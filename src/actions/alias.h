// Database alias items.
#pragma once

#include <string>

// Adds, replaces or deletes the engine alias `name` (raw BDEAlias<n> value)
// with the raw parameters by mode. Prints its own lines; a failure clears RunOk.
void ApplyAlias(const std::string& name, const std::string& params, char mode);
