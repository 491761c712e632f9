// File items: bringing files up to date from the source directory, deleting
// them, renaming them. For every matching file the decision comes first
// (file_decision.h), then its step (file_apply.h makes it).
#pragma once

#include <string>

#include "actions/file_decision.h"
#include "actions/steps.h"
#include "core/section_mode.h"

struct TFileItem {
    // The target, expanded, relative names below the program's directory; its
    // file-name part may hold * and ?. Its source is SourceDir + that part.
    std::string Path;
    std::string Flags;  // expanded flag words
    // A restarted copy replaces the file it was started from: it first gives
    // the instance that started it SelfPauseMs to end.
    bool WaitForPreviousInstance = false;
};

// Updates (Insert, Update sections) or deletes (Delete sections) the files of
// the item. True when the item succeeded: for updates, the last match's
// step; for deletions, every match was deleted (a deletion left for the
// next start of the system counts only when another match was deleted). Sets
// SelfReplaced when it staged the program or language file.
bool UpdateFileItem(const TFileItem& item, TSectionMode mode, const TNewScriptSourceQuery& newSource, TSteps& steps);

// How far a walk that copies looks ahead: the file steps (items, or matches
// of one item) whose copies may be made before their turn.
constexpr size_t FileStepsAhead = 16;

// Tells the steps the copies the item would make as the machine is now (the
// first FileStepsAhead matches; none in Delete sections, for the program's
// own files, or with check_version, whose decision reads the share).
void FileItemAhead(const TFileItem& item, TSectionMode mode, TSteps& steps);

// A file rename of an Update section.
struct TFileRename {
    std::string Path;      // expanded, relative names below the program's directory
    std::string NewPath;
    std::string Shown;     // the names as the line shows them (constants expanded)
    std::string NewShown;
};

// Renames the file when it is there (nothing happens otherwise). False when
// the step failed.
bool RenameFile(const TFileRename& rename, TSteps& steps);
