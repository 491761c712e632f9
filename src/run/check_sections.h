// The check of one file's sections: which sections the program reads in a
// script, a settings file or an included script, and the check of each.
#pragma once

#include "run/check_findings.h"

enum class TRole { Script, Settings, Include };

// Every section of the file, as its role has the run read it.
void CheckContents(TCheck& check, const TFileView& view, TRole role);
