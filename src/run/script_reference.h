// "--help script": a short reference of the script format on the workstation
// itself, where the README is not. The names of sections, options, item kinds
// and their sub-keys (with the sections that read each), flags, built-in
// constants and registry roots come from the script layout's tables, so the
// reference cannot fall behind what the program reads; the words that explain
// them come from the message table, so a language file translates them.
#pragma once

#include <string>

// Writes the reference to the console; `exeName` is the program's file name
// as started.
void WriteScriptReference(const std::string& exeName);
