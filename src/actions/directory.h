// Directory items: create (Insert), remove (Delete), rename (Update).
#pragma once

#include <string>

#include "core/section_mode.h"

struct TDirItem {
    std::string Shown;  // the name with constants expanded, as the line shows it
    std::string Path;   // the same, relative names below the program's directory
    // Update sections: the RenameTo value as written is not empty.
    bool HasNewName = false;
    std::string NewShown;
    std::string NewPath;
};

enum class TDirChange { None, Create, Remove, Rename };

// What the item would do: create a missing directory (Insert), remove an
// existing one (Delete), rename an existing one to a new name (Update).
// A name that expands to nothing names no directory.
TDirChange DecideDirectory(const TDirItem& item, TSectionMode mode);

// Makes the change and reports it; a failure clears RunOk.
void ApplyDirectory(const TDirItem& item, TDirChange change);

// Carries out one Dir item: the decision, then the change.
void RemoveOrRename(const TDirItem& item, TSectionMode mode);
