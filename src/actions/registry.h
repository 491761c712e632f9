// Registry items: keys and values.
#pragma once

#include <string>

// Carries out registry item number `item` of the section `section` of the
// script: the key path is ItemValue, the values are the item's
// Reg<n>Val<m>Name/Type/Value keys. Prints its own lines; a failure clears
// RunOk (a key that cannot be opened in a Delete section does not).
void ProcessRegistryItem(const std::string& scriptPath, const std::string& section, int item, char mode);
