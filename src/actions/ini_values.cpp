#include "actions/ini_values.h"

// PLACEHOLDER until the INI work lands: does nothing.
void ProcessIniItem(const std::string& /*scriptPath*/, const std::string& /*section*/, int /*item*/,
                    char /*mode*/)
{
}
