// Where a run that can be undone keeps the files it replaces or deletes until
// it ends well: in a keep directory inside their own directory,
// "~vtk<journal>\<bucket>\<n>", a few dozen to a bucket. Making a name that is
// not there costs Wine a scan of its whole directory, so a kept file's name
// is made where only a few names are, and the target's directory does not
// grow with the run's kept files.
#pragma once

#include <string>
#include <vector>

#include "run/journal.h"

// The place the journal's entry `number` keeps the old file of `target`: in
// the keep directory of the journal at `journalPath`, or, where that path
// would be too long, under a short name beside the target.
std::string KeptName(const std::string& target, int number, const std::string& journalPath);

// The keep directory a kept file is in, with its separator
// ("C:\app\~vtk1a2b3c4d\" of "C:\app\~vtk1a2b3c4d\0\5"); empty for a file
// kept beside its target.
std::string KeepDirectoryOf(const std::string& kept);

// Removes a kept file (given plain attributes first when it refuses); true
// when it is gone.
bool RemoveKept(const std::string& kept);

// Removes the second name a change gave its target, and gives the target,
// whose attributes the two names share, its old attributes again.
void RemoveSecondName(const TChange& change);

// What a change journaled ahead and never made may have left goes: the
// second name of its target, and the plain attributes a copy gives the
// target before it replaces it.
void TidyNeverMade(const TChange& change);

// Removes the keep directories of the entries' kept files that are empty now.
void RemoveKeepDirectories(const std::vector<TJournalEntry>& entries);
