// The file updates the run itself asks for (its own files, included scripts)
// and the File items of the sections, handed to the file action with what
// only the run knows: where a new copy of the script would take it.
#pragma once

#include <string>

#include "actions/file_decision.h"
#include "actions/steps.h"
#include "core/section_mode.h"

// Brings the file or mask `name` (as written; constants expanded, relative to
// the program's directory) up to date from the source directory, or deletes it
// in Delete sections. True when the item succeeded; an empty name is a success.
bool UpdateFile(const std::string& name, const std::string& flags, TSectionMode mode, TSteps& steps);

// The script names no device, is a disk file and can be opened for reading;
// otherwise its line fails with the reason (and the run fails).
bool ScriptIsADiskFile(TSteps& steps);

// Before the script or the settings file is replaced: the constants of their
// source copies are loaded, and the source directory named by the source copy
// of the script is given.
TNewScriptSource NewScriptSource();
