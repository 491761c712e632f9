// INI items: values in INI files of the workstation, through the system's
// profile functions.
#pragma once

#include <string>
#include <vector>

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

enum class TIniChangeKind { None, Write, Delete };

struct TIniChange {
    TIniChangeKind Kind = TIniChangeKind::None;
    bool Present = false;  // the key held at least one character
    std::string Stored;    // what it held (for a whole section: its first key's name)
};

// Reads the stored value: Insert writes a missing one (a non-empty new
// text), Update also rewrites one whose text differs (case included), Delete
// deletes a present one. A key that holds nothing counts as missing.
TIniChange DecideIniValue(const std::string& file, const TIniValue& value, TSectionMode mode);

// Writes or deletes the value, printing the value line and its status; a
// failure clears RunOk.
void ApplyIniValue(const std::string& file, const TIniValue& value, const TIniChange& change);

// Carries out one INI item: its line, then each value's decision and change,
// up to the first failure.
void ProcessIniItem(const TIniItem& item, TSectionMode mode);
