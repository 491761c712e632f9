// Expansion of script values: constants, environment variables, relative
// paths, and decimal escapes.
#pragma once

#include <string>

#include "script/script_layout.h"

enum ExpandMode : unsigned char {
    ExpandPlain = 0,  // constants and environment variables
    ExpandPath = 1,   // the same, then a relative path is made absolute against ExeDir
};

// Replaces %name% references by the constants of ConstTable (slot order, first
// occurrence, without regard to case), then by environment variables when a %
// is left; in ExpandPath mode a relative result is prefixed with ExeDir. A
// reference inside a constant's own value (path=%path%;C:\bin) is left for
// the environment; a text that keeps multiplying is expanded only so far.
std::string ExpandConstants(const std::string& text, unsigned char mode);

// Turns a backslash followed by decimal digits into the one character whose
// code is that number modulo 256. No other escapes exist.
std::string DecodeEscapes(const std::string& text);

// The value expanded as a key of the script layout asks (see TExpansion).
std::string ExpandAs(const std::string& text, TExpansion how);
