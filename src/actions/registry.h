// Registry items: keys and values.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "actions/steps.h"
#include "core/section_mode.h"

struct TRegistryValue {
    std::string Name;  // constants expanded; "%default%" in any case is the unnamed value
    char TypeLetter = 'S';  // upper case: I number, S string, M multi-string, anything else binary
    std::string Text;  // escapes decoded, constants expanded; not read in Delete sections
};

struct TRegistryItem {
    std::string RawPath;  // the key path as written
    std::string Path;     // constants expanded; empty names no key
    HKEY Root = nullptr;  // the path split at its root (HKEY_CURRENT_USER without a recognised one)
    std::string SubKey;
    std::vector<TRegistryValue> Values;
};

// The key is made when it is missing (Insert and Update sections), or
// removed (Delete sections, an item without values). A run shows no status
// for either when it succeeds.
TChange DecideRegistryKey(const TRegistryItem& item, TChangeAction action);

// Compares the stored value with the item's: Insert writes a missing value,
// Update also one whose type or data differ, Delete deletes an existing one;
// nothing otherwise. A stored value longer than 260 bytes counts as missing.
std::optional<TChange> DecideRegistryValue(const TRegistryItem& item, const TRegistryValue& value,
                                           TSectionMode mode, TMachineView& machine);

// Makes a key or value change. A value is written through the item's key
// opened for writing once; the key is flushed when the item ends
// (TRegistryWrites).
TApplied ApplyRegistryChange(const TChange& change);

// A key with subkeys cannot be removed.
TApplied ForeseeRegistryChange(const TChange& change, TMachineView& machine);

// While one lives, the key that values are written through stays open; it is
// flushed and closed when the scope ends, on every path out of an item.
class TRegistryWrites {
public:
    TRegistryWrites() = default;
    ~TRegistryWrites();
    TRegistryWrites(const TRegistryWrites&) = delete;
    TRegistryWrites& operator=(const TRegistryWrites&) = delete;
};

// Carries out one registry item: its line, the key (a missing key in a
// Delete section is reported, but the run goes on), then each value's
// decision and step up to the first failure; a Delete item without values
// removes the key. False when a step failed.
bool ProcessRegistryItem(const TRegistryItem& item, TSectionMode mode, TSteps& steps);

// The number a value text of type letter 'I' stands for: optional blanks and
// sign, then decimal digits or hexadecimal ones after "$", "x" or "0x". Any
// other text and any overflow give 0; negative numbers give their two's
// complement.
uint32_t RegistryInteger(const std::string& text);
// The same, telling whether the text is such a number (the check asks).
bool ParseRegistryInteger(const std::string& text, uint32_t& number);
