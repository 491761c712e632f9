#include "actions/directory.h"

// PLACEHOLDER until the directory work lands: does nothing.
void RemoveOrRename(const std::string& /*name*/, const std::string& /*newName*/, char /*mode*/) {}
