// INI items: values in INI files of the workstation.
#pragma once

#include <string>

// Carries out INI item number `item` of the section `section` of the script:
// the file is ItemValue, the values are the item's Ini<n>Val<m>Section/Name/
// Value keys. Prints its own lines; a failure clears RunOk.
void ProcessIniItem(const std::string& scriptPath, const std::string& section, int item, char mode);

// Applies one value to the INI file `file` (a full path) through the system's
// profile functions. `section`, `name` and `value` are raw script texts; an
// empty expanded name addresses the whole section. Writes only what is
// missing ('I'), missing or different ('U'), or deletes what exists ('D'); a
// change prints the value line and its status, a failure clears RunOk.
void SetIniValue(const std::string& file, const std::string& section, const std::string& name,
                 const std::string& value, char mode);
