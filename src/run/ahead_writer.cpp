#include "run/ahead_writer.h"

#include <utility>

#include "actions/file_copy.h"

void TAheadWriter::Submit(const TJournalEntry& entry)
{
    std::lock_guard<TLock> guard(m_lock);
    m_batch.Add(entry);
    m_keeps.push_back({entry.Number, entry.Change.Path, entry.Change.KeepAside});
}

void TAheadWriter::Send()
{
    {
        std::lock_guard<TLock> guard(m_lock);
        if (m_batch.Empty()) return;
        if (!m_thread.joinable()) {
            m_stopping = false;
            m_thread = std::thread([this] { Work(); });
            return;
        }
        if (!m_idle) return;  // busy: it takes them when it is done
        m_idle = false;
    }
    m_work.notify_one();
}

DWORD TAheadWriter::Wait(int number, bool& kept)
{
    Send();
    std::unique_lock<TLock> guard(m_lock);
    // A number never queued is told as soon as nothing is left to do.
    auto answered = [this, number] { return m_results.count(number) || (!m_busy && m_batch.Empty()); };
    if (!answered()) {
        m_waiting = true;
        m_done.wait(guard, answered);
        m_waiting = false;
    }
    auto found = m_results.find(number);
    if (found == m_results.end()) {
        kept = false;
        return ERROR_INVALID_PARAMETER;
    }
    kept = found->second.Kept;
    DWORD code = found->second.Code;
    m_results.erase(found);
    return code;
}

void TAheadWriter::Idle()
{
    Send();
    std::unique_lock<TLock> guard(m_lock);
    auto idle = [this] { return !m_busy && m_batch.Empty(); };
    if (idle()) return;
    m_waiting = true;
    m_done.wait(guard, idle);
    m_waiting = false;
}

void TAheadWriter::Stop()
{
    Idle();
    {
        std::lock_guard<TLock> guard(m_lock);
        if (!m_thread.joinable()) return;
        m_stopping = true;
    }
    m_work.notify_one();
    m_thread.join();
}

void TAheadWriter::Work()
{
    std::unique_lock<TLock> guard(m_lock);
    for (;;) {
        if (m_batch.Empty()) {
            if (m_waiting) m_done.notify_one();
            if (m_stopping) return;
            m_idle = true;
            m_work.wait(guard, [this] { return m_stopping || !m_batch.Empty(); });
            m_idle = false;
            continue;
        }
        TJournalBatch batch = std::exchange(m_batch, TJournalBatch{});
        std::vector<TKeep> keeps = std::exchange(m_keeps, {});
        m_busy = true;
        guard.unlock();
        DWORD code = m_journal.Write(batch);
        for (const TKeep& keep : keeps) {
            // Only a record on the disk lets its target get a second name.
            bool kept = code == 0 && !keep.Aside.empty() && KeepBySecondName(keep.Target, keep.Aside);
            guard.lock();
            m_results[keep.Number] = TDone{code, kept};
            if (m_waiting) m_done.notify_one();
            guard.unlock();
        }
        guard.lock();
        m_busy = false;
    }
}
