// The walk over a script's action sections, their per-computer variants, the
// item kinds and the items: each item is read whole into its typed item and
// handed to its kind's walk with the steps of the run or the plan.
#pragma once

#include <string>

#include "actions/steps.h"
#include "core/section_mode.h"
#include "script/script_layout.h"

// Carries out the action sections of one script (full path). The outcome is
// RunOk; stops after the first item that leaves RunOk false.
void ProcessScript(const std::string& scriptPath, TSteps& steps);

// Carries out item number n of the kind in the section of the script, read
// whole from the script; nothing when the item's key is missing or empty.
void ProcessScriptItem(const std::string& scriptPath, const std::string& section, TItemKind kind, int n,
                       TSectionMode mode, TSteps& steps);
