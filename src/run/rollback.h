// Undo of a failed run (Rollback=1). Before each change the run journals
// what it will change and what is there (run/journal.h); a file it replaces
// or deletes is kept (run/kept_files.h) instead of being lost. When the run
// fails, every change is put back, newest first, each with its line and
// status. When it ends well, the kept files and the journal go. A journal
// that a run leaves because it was ended at some moment is finished by the
// next run: undone, or (the run had ended well) cleaned up, or (the run
// restarted from its new copy) taken over by that copy. The copies a walk
// will come to are journaled ahead of their turns, a batch in one write and
// one flush; at its turn a copy that is still the one recorded needs no
// record of its own.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "actions/steps.h"
#include "run/ahead_writer.h"
#include "run/journal.h"

class TRollback {
public:
    TRollback(std::string journalPath, TMachineView& machine) : m_journal(std::move(journalPath)), m_machine(machine) {}

    // Finishes what an earlier run left in the journal, before this run
    // changes anything: a restarted copy takes a journal handed over to it;
    // an interrupted run's changes are put back under their heading. False
    // when that undo could not be finished.
    bool Resume(bool restartedCopy);

    // Journals the change before it is made (a replaced or deleted file gets
    // the place it is kept), with the records written ahead that still wait;
    // a copy journaled ahead as it is now decided takes that record instead.
    // A failure means the change must not be made.
    TFailure Before(TChange& change);
    // Notes what the change turned out to be (left for the restart of Windows).
    void After(const TChange& change, const TApplied& applied);

    // A copy the walk will come to soon, as decided now: its record is
    // written ahead, with the others the walk tells of, once SendAhead says so
    // (or a change needs it).
    void Ahead(const TChange& change);
    // The records told of so far go to the disk, on a thread of their own.
    void SendAhead();
    // The walk that told of copies ended: the records of those whose turn
    // never came are marked as covering nothing, in one write.
    void EndAhead();

    // Changes of this run (or of the run it took over) are journaled.
    bool Any() const { return !m_entries.empty(); }

    // The run failed: every change not undone yet is put back, the newest
    // first. True when everything was (what cannot be undone is said on its
    // line); the journal is then gone.
    bool Undo();

    // The run ended well: the kept files and the journal go.
    void Commit();

    // The run restarts from its new copy, which goes on with the journal.
    void HandOver();

private:
    bool UndoEntries(bool withCount);
    // The target's state as it is now, and where the old file is kept when there is one.
    void KeepOld(TChange& change, int number);
    // Takes the record written ahead for the change when it is on the disk
    // and still covers it; one that does not is marked so in the batch.
    enum class TClaim { None, Claimed, Unwritten };
    TClaim ClaimAhead(TChange& change, TJournalBatch& batch, DWORD& code);
    TJournalEntry* Entry(int number);
    // The journal, once the records written ahead are all on the disk.
    TJournal& Journal();
    // The keep directories and then the journal go; false when the journal stays.
    bool Finish();

    TJournal m_journal;
    TMachineView& m_machine;
    std::vector<TJournalEntry> m_entries;
    int m_next = 1;
    int m_current = 0;  // the entry of the change being made
    std::set<std::string> m_iniFiles;  // INI files whose bytes are journaled
    std::map<std::string, int> m_ahead;       // records ahead whose turn has not come, by the target's PathKey
    std::map<std::string, bool> m_keepsLeft;  // keep directories, by PathKey: whether there before the run
    TAheadWriter m_writer{m_journal};  // writes the records ahead; declared after the journal it uses
};

// For a plan: what a run would put back first, when an earlier run was
// ended before it finished: per journaled change its line, what puts it
// back, or why it stays.
struct TUndoAhead {
    std::string Line;
    std::vector<TChange> Changes;
    unsigned Kept = 0;  // the message saying why it stays; 0 when it is put back
};
std::vector<TUndoAhead> UndoAhead(const std::string& journalPath, TMachineView& machine);

// Whether the run journals the change (not the "_" copies of a self-update,
// which the restarted program runs from, nor a step that changes nothing).
bool Journaled(const TChange& change);
