#include "actions/alias.h"

// PLACEHOLDER until the alias work lands: does nothing.
void ApplyAlias(const std::string& /*name*/, const std::string& /*params*/, char /*mode*/) {}
