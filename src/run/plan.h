// The end of a plan: the line that sums it up, and its exit code.
#pragma once

#include <string>

// "Plan: 3 files, 2 registry values would change; 1 step would fail."
std::string PlanSummary();

// 2 when a step would fail, 3 when changes are due, else 0.
int PlanExitCode();
