// What is there before a change, whole, so that it can be put back: a
// registry value of any length, all values of a key, the levels of a key or
// directory path that are not there yet, an INI value or section read without
// the run's 260-byte cut, a file's size, time and attributes.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "machine/change.h"

// The value whole (Present false when it is not there).
TState WholeRegistryValue(HKEY root, const std::string& subKey, const std::string& name);

// Every value of the key, with its name.
std::vector<std::pair<std::string, TState>> RegistryValues(HKEY root, const std::string& subKey);

// The levels of the key path that are not there, the deepest first ("A\B\C",
// "A\B" when only "A" is there).
std::vector<std::string> MissingKeyLevels(HKEY root, const std::string& subKey);

// The levels of the directory path that are not there, the deepest first.
std::vector<std::string> MissingDirectoryLevels(const std::string& path);

// The INI value whole; for a whole section (no key) its "key=value" lines,
// NUL-separated, as the profile functions give them.
TState WholeIniValue(const std::string& file, const std::string& section, const std::string& key);

// The file's size, last-write time and attributes (Present false when no file is there).
TState FileState(const std::string& path);

// The file's bytes (an INI file, to put back whole); empty when it cannot be read.
std::string FileBytes(const std::string& path);
