#include "script/includes.h"

// PLACEHOLDER until the include work lands: processes no include.
void ProcessIncludes(const std::string& /*scriptPath*/) {}
