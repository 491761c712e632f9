// The records of copies journaled ahead of their turns (run/rollback.h) go to
// the disk on a thread of their own: those the walk told of together in one
// write and one flush (what comes while one is flushed goes in the next).
// Once a batch is on the disk, each replaced target in it gets its second
// name, where its old file is kept (KeepBySecondName), so that the step has
// only to put the new file in its place. The run waits for a record only when
// its step's turn comes before it is written.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/thread_sync.h"
#include "run/journal.h"

class TAheadWriter {
public:
    explicit TAheadWriter(TJournal& journal) : m_journal(journal) {}
    ~TAheadWriter() { Stop(); }
    TAheadWriter(const TAheadWriter&) = delete;
    TAheadWriter& operator=(const TAheadWriter&) = delete;

    // Queues the entry's record and, when it keeps an old file aside, the
    // second name that keeps it, made once the record is on the disk.
    void Submit(const TJournalEntry& entry);

    // What is queued goes to the disk: the records the walk told of together
    // are written together.
    void Send();

    // Waits for the entry queued before: 0 when its record is on the disk,
    // else the system's code why it may not be (no second name is made
    // then); `kept` tells whether the old file has its second name. Each
    // entry is asked once.
    DWORD Wait(int number, bool& kept);

    // Waits until everything queued is done: the journal is the caller's
    // to write again.
    void Idle();

    // Idle, and the thread ends (the next Submit starts one).
    void Stop();

private:
    struct TKeep {
        int Number = 0;
        std::string Target;
        std::string Aside;  // empty: nothing is kept aside
    };
    struct TDone {
        DWORD Code = 0;
        bool Kept = false;
    };

    void Work();

    TJournal& m_journal;
    // Every wait and wake is a hand-over between threads: the thread is
    // woken only when it waits for work, and the run only when it waits for
    // the entry just done.
    TLock m_lock;
    TCondition m_work;  // the thread waits here for records
    TCondition m_done;  // the run waits here
    TJournalBatch m_batch;           // records queued, not yet taken
    std::vector<TKeep> m_keeps;      // their second names, in order
    std::map<int, TDone> m_results;  // by the entry's number, until asked
    bool m_busy = false;             // the thread holds a batch
    bool m_idle = false;             // the thread waits for work
    bool m_waiting = false;          // the run waits for the thread
    bool m_stopping = false;
    std::thread m_thread;
};
