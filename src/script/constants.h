// The table of constants and the script's "Constants" sections.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TConst {
    std::string Name;
    std::string Value;
};

// Slots 0..8 are the built-in constants, then the script's constants in the
// order of their first definition. Entries are never removed.
extern std::vector<TConst> ConstTable;

enum BuiltInSlot : size_t {
    SlotWinDir = 0,
    SlotWinSysDir = 1,
    SlotEtcDir = 2,
    SlotTempDir = 3,
    SlotPfDir = 4,
    SlotCfDir = 5,
    SlotMediaDir = 6,
    SlotBootDir = 7,
    SlotSrcDir = 8,
    BuiltInSlotCount = 9,
};

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
