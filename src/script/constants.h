// The scripts' "Constants" sections, and registry key paths.
#pragma once

#include <windows.h>

#include <string>

#include "core/run_state.h"

// Reads the "Constants" section of the file and adds or replaces entries of
// ConstTable, resolving <Reg>...</Reg> and <Ini>...</Ini> lookups. Never fails.
void LoadConstants(const std::string& file);

struct TRootKey {
    HKEY Root = HKEY_CURRENT_USER;
    std::string SubKey;
    bool Recognised = false;
};

// Splits "ROOT\sub\key" by the root-name table (case-sensitive, full and short
// names). A path without a recognised root is the whole path under
// HKEY_CURRENT_USER.
TRootKey ParseRootKey(const std::string& path);
