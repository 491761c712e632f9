// Directory items: create (Insert), remove (Delete), rename (Update).
#pragma once

#include <optional>
#include <string>

#include "actions/steps.h"
#include "core/section_mode.h"

struct TDirItem {
    std::string Shown;  // the name with constants expanded, as the line shows it
    std::string Path;   // the same, relative names below the program's directory
    // Update sections: the RenameTo value as written is not empty.
    bool HasNewName = false;
    std::string NewShown;
    std::string NewPath;
};

// What the item would change: create a missing directory (Insert), remove an
// existing one (Delete), rename an existing one to a new name (Update);
// nothing otherwise. A name that expands to nothing names no directory.
std::optional<TChange> DecideDirectory(const TDirItem& item, TSectionMode mode, TMachineView& machine);

// Makes the change: every missing level of a new directory, the removal, the rename.
TApplied ApplyDirectoryChange(const TChange& change);

// The failure the change would meet that the machine can tell now: a
// directory to remove that is not empty, a new name that is taken.
TApplied ForeseeDirectoryChange(const TChange& change, TMachineView& machine);

// The decision, then the step. False when it failed.
bool ProcessDirItem(const TDirItem& item, TSectionMode mode, TSteps& steps);
