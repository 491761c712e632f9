// The walk over a script's action sections, item kinds and items.
#pragma once

#include <string>

// The raw value of the item being processed (its key path for registry items).
extern std::string ItemValue;

// Carries out the action sections of one script (full path). The outcome is
// RunOk; stops after the first item that leaves RunOk false.
void ProcessScript(const std::string& scriptPath);
