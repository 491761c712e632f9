// Text-file items: lines that must be present in a text file.
#pragma once

#include <string>

// Carries out text item number `item` of the section `section` of the script:
// the file is ItemValue, the entries are Text<n>Str<m>Prefix/Full. Prints its
// own lines; a failure clears RunOk; input/output errors raise IoError.
void ProcessTextItem(const std::string& scriptPath, const std::string& section, int item, char mode);
