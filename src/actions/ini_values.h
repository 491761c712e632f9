// INI items: values in INI files of the workstation.
#pragma once

#include <string>

// Carries out INI item number `item` of the section `section` of the script:
// the file is ItemValue, the values are the item's Ini<n>Val<m>Section/Name/
// Value keys. Prints its own lines; a failure clears RunOk.
void ProcessIniItem(const std::string& scriptPath, const std::string& section, int item, char mode);
