// Checking a script without running it: the mistakes an administrator can
// make that a run passes over in silence (a misspelt section, key or flag, a
// gap in item numbers, a registry root in the wrong letter case) or that make
// the run fail on the workstations (a file missing at the source).
#pragma once

#include <string>

#include "run/check_findings.h"

// Reads the script (relative to Run.ExeDir, or a full path), its
// settings file and its includes, each from the copy the run would use (the
// source directory's when it differs there in size or last-write time), and
// reports what it finds. The constants table must hold the built-in
// constants; the scripts' constants are loaded into it as a run loads them,
// and the table is as before when the check returns. Writes nothing to the
// console, the disk or the registry.
TCheckResult CheckScript(const std::string& scriptName);
