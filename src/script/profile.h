// Reads of INI files (the script, its includes, INI lookups) through the
// system's profile functions: names match without regard to case, a missing
// file, section or key reads as empty, a value is cut to 259 characters.
#pragma once

#include <string>

constexpr unsigned ValueBufferSize = 260;

// One value of an INI file; the empty text when missing. `file` is passed to
// the system unchanged, so give a full path.
std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key);
