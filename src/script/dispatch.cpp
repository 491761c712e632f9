#include "script/dispatch.h"

std::string ItemValue;

// PLACEHOLDER until the dispatcher work lands: processes no section.
void ProcessScript(const std::string& /*scriptPath*/) {}
