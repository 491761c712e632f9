// Copies made ahead of their turn. Flushing a copy to the disk before it
// replaces its target is what keeps the target whole after a power cut, and
// it costs milliseconds a file when the files wait for each other; flushes of
// several files at once cost little more than one. So while the run reports
// one file, a few threads copy the next ones beside their targets and flush
// them. Each copy still takes its target's place in the script's order, when
// its own step comes, and a copy that is not claimed is removed: only the
// scratch files beside the targets are ever written ahead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "actions/file_copy.h"
#include "core/thread_sync.h"

class TCopyAhead {
public:
    TCopyAhead() = default;
    ~TCopyAhead() { Abandon(); }
    TCopyAhead(const TCopyAhead&) = delete;
    TCopyAhead& operator=(const TCopyAhead&) = delete;

    // Starts copying the source beside the target, held to the facts. False
    // when it is not taken: the target has a copy ahead already, or enough
    // copies (or bytes) wait to be claimed.
    bool Submit(const std::string& source, const std::string& target, const TSourceFacts& facts);

    // Whether a copy ahead is there for the target.
    bool Has(const std::string& target) const;

    // How many copies ahead are not claimed yet.
    size_t Unclaimed() const;

    // The step of the target has come: true when its copy ahead of the same
    // source and facts is complete and on the disk beside it (waiting for it
    // when it is still being made). Otherwise whatever it wrote is gone and
    // the step copies as ever.
    bool Claim(const std::string& source, const std::string& target, const TSourceFacts& facts);

    // No more copies: those not begun are dropped, the threads end, and every
    // scratch file not claimed is removed.
    void Abandon();

private:
    enum class TJobState { Waiting, Running, Done };
    struct TJob {
        std::string Source;
        std::string Target;
        TSourceFacts Facts;
        TJobState State = TJobState::Waiting;
        bool Ok = false;
    };

    void Work();
    void Forget(const std::string& key);

    // Every wait and wake is a hand-over between threads, so the threads
    // are woken only when one of them is idle and not already being woken,
    // and the run only when it waits for the copy just finished.
    mutable TLock m_lock;
    TCondition m_work;  // the threads wait here for copies to make
    TCondition m_done;  // the run waits here for the copy it claims
    size_t m_idle = 0;               // threads waiting for work
    size_t m_waking = 0;             // of those, woken and not yet running
    std::string m_claiming;          // the key the run waits for, or empty
    std::map<std::string, TJob> m_jobs;  // by the target's path key
    std::deque<std::string> m_waiting;   // keys in the order they were submitted
    std::vector<std::thread> m_threads;
    int64_t m_bytes = 0;  // of the copies not claimed yet
    bool m_stopping = false;
};
