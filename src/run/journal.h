// The rollback journal: a file beside the program into which a run that can
// be undone writes, before each change and flushed to the disk, what the
// change will do and what was there before; then marks of what happened
// since (a change undone, left for the restart of Windows, the run handed
// over to its restarted copy, the run ended well). Each record is one line
// with a checksum, so that a record cut off by a power failure is known as
// never written - and the change it announced as never made. The copies a
// walk is about to make are journaled together, ahead of their turns, in one
// write and one flush (TJournalBatch); such a record says so ("ahead"), and
// whether its change was made is told by the disk (see NeverMade).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/handles.h"
#include "machine/change.h"

// One journaled change and what was there before it.
struct TJournalEntry {
    int Number = 0;
    TChange Change;     // as it was made (with the place a replaced or deleted file is kept)
    TState FileBefore;  // INI and text files: the file's state before the run first wrote to it
    bool WholeFile = false;  // the run's first change of an INI file: FileBefore holds its bytes
    std::vector<std::string> Levels;  // directories or registry keys the change makes, the deepest first
    std::vector<std::pair<std::string, TState>> Values;  // a removed registry key's values
    bool Undone = false;
    bool Scheduled = false;  // left for the next start of Windows: it stays
    // Written ahead of its turn, with others of the walk: no record tells
    // whether its change was made, the disk does.
    bool Ahead = false;
};

struct TJournalContents {
    bool Exists = false;
    std::vector<TJournalEntry> Entries;  // in the order they were made
    bool HandedOver = false;  // the run restarted from its new copy, which goes on with the journal
    bool Committed = false;   // the run ended well: nothing is to be undone
};

// Reads a journal; records cut off or damaged are left out.
TJournalContents ReadJournal(const std::string& path);

// Records written together, in one write and one flush.
class TJournalBatch {
public:
    void Add(const TJournalEntry& entry);
    void AddUndone(int number);
    bool Empty() const { return m_text.empty(); }

private:
    friend class TJournal;
    std::string m_text;
};

class TJournal {
public:
    explicit TJournal(std::string path) : m_path(std::move(path)) {}
    const std::string& Path() const { return m_path; }

    // Appends the entry, flushed to the disk when this returns; the file is
    // made at the first record. Gives the system's code, 0 when written.
    DWORD Write(const TJournalEntry& entry);
    // Appends the batch's records, flushed together; nothing for an empty batch.
    DWORD Write(const TJournalBatch& batch);
    DWORD MarkUndone(int number);
    DWORD MarkScheduled(int number);
    DWORD MarkHandedOver();
    DWORD MarkContinued();  // the restarted copy has taken the journal over
    DWORD MarkCommitted();

    // Closes and removes the file; false when it could not be removed.
    bool Remove();
    void Close() { m_file.Reset(); }

private:
    DWORD Append(const std::string& records);
    DWORD WriteFailed(DWORD code);

    std::string m_path;
    UniqueFile m_file;
};
