// The check's look at values: references to constants, lookup tags, values
// the reader cuts, registry roots, flag words, and the Constants sections.
#pragma once

#include <string>

#include "run/check_findings.h"

// Collects the %name% references of a value for the end of the check, when
// every constant is known, and reports a "%" that opens a name it never
// closes; `defaultAllowed`: "%default%" is a registry value's name here.
void CheckReferences(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& text,
                     bool defaultAllowed);

// The checks every read value of an options or action section gets: its
// length, and when constants are expanded in it, its references and tags.
void CheckValue(TCheck& check, const TFileView& view, const TScriptLine& line, bool expanded, bool defaultAllowed);

// A registry key's root as the script must write it.
void CheckRegistryPath(TCheck& check, const TFileView& view, int line, const std::string& path);

// A Constants section: names defined twice, lookups, references.
void CheckConstants(TCheck& check, const TFileView& view, const TScriptSection& section);

// The flag words of File<n>Flags.
void CheckFlags(TCheck& check, const TFileView& view, const TScriptLine& line);
