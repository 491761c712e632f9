// Included scripts, processed depth-first before the including script.
#pragma once

#include <string>

#include "actions/steps.h"

// Fetches, loads and processes the Include1, Include2, ... scripts of the
// script (full path). The outcome is RunOk.
void ProcessIncludes(const std::string& scriptPath, TSteps& steps);
