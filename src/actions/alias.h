// Database alias items: add, replace or delete an alias of the database engine.
#pragma once

#include <optional>
#include <string>

#include "actions/steps.h"
#include "core/section_mode.h"

struct TAliasItem {
    std::string Name;        // constants expanded (the engine gets its OEM form)
    std::string DriverType;  // the parameters before their first ";" (escapes decoded, constants expanded)
    std::string Params;      // the parameters after it, or all of them without one
};

// From the engine's list as the machine gives it: Insert adds a missing
// alias, Update replaces an existing one (parameters are never compared) or
// adds it, Delete deletes an existing one; nothing otherwise.
std::optional<TChange> DecideAlias(const TAliasItem& item, TSectionMode mode, bool found);

// Asks the engine for the change; a replacement deletes, then adds, and
// each failed engine call is one failure.
TApplied ApplyAliasChange(const TChange& change);

// The engine's list (its failures reported, the run then fails after this
// item), the decision, then the step. False when something failed.
bool ProcessAliasItem(const TAliasItem& item, TSectionMode mode, TSteps& steps);
