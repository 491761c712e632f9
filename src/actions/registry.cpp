#include "actions/registry.h"

// PLACEHOLDER until the registry work lands: does nothing.
void ProcessRegistryItem(const std::string& /*scriptPath*/, const std::string& /*section*/, int /*item*/,
                         char /*mode*/)
{
}
