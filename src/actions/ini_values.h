// INI items: values in INI files of the workstation, through the system's
// profile functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "actions/steps.h"
#include "core/section_mode.h"

struct TIniValue {
    std::string Section;  // constants expanded
    std::string Name;     // constants expanded; empty addresses the whole section
    std::string Value;    // escapes decoded, constants expanded; not read in Delete sections
};

struct TIniItem {
    std::string Shown;  // the file's name with constants expanded, as the line shows it
    std::string File;   // the same, relative names below the program's directory
    std::vector<TIniValue> Values;
};

// Reads the stored value: Insert writes a missing one (a non-empty new
// text), Update also rewrites one whose text differs (case included), Delete
// deletes a present one; nothing otherwise. A key that holds nothing counts
// as missing.
std::optional<TChange> DecideIniValue(const std::string& file, const TIniValue& value, TSectionMode mode,
                                      TMachineView& machine);

// Writes or deletes the value (no key: the whole section).
TApplied ApplyIniChange(const TChange& change);

// A file whose directory is not there cannot be written.
TApplied ForeseeIniChange(const TChange& change, TMachineView& machine);

// Carries out one INI item: its line, then each value's decision and step,
// up to the first failure. False when a step failed.
bool ProcessIniItem(const TIniItem& item, TSectionMode mode, TSteps& steps);
