// What puts a journaled change back (run/journal.h): the changes that undo
// it, asked of the machine as it is now, or why it stays; and which records
// written ahead of their turn announced a change that was never made.
#pragma once

#include <string>
#include <vector>

#include "machine/machine_view.h"
#include "run/journal.h"

// What puts an entry back, in the order to make it; a message instead when
// the change stays.
struct TInverse {
    std::vector<TChange> Changes;
    unsigned Kept = 0;
};

// The inverse of the entry as the machine stands now; nothing is changed.
TInverse Inverse(const TJournalEntry& entry, TMachineView& machine);

// Per entry (in the journal's order), whether it was written ahead of its
// turn and the disk shows its change was never made, so that there is
// nothing to put back and no line to show: a target that was there still is,
// its old file at most given a second name (the first thing such a change
// does to it), or no target was made where there was none. Told only where
// no later change not yet undone touched those paths, since its undo, which
// comes first, could bring them back; such an entry is put back as any other.
std::vector<bool> NeverMade(const std::vector<TJournalEntry>& entries);

// A file's or directory's last-write time as it was before the run; a time
// that cannot be set is left (the contents are back).
void RestoreTime(const std::string& path, const TState& before);
