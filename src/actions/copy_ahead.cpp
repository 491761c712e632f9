#include "actions/copy_ahead.h"

#include "core/cng.h"
#include "core/run_state.h"

namespace {

// Two threads keep a flush in flight while the other copies; more only
// contend for the processor with the run's own work.
constexpr size_t Threads = 2;
// Copies not claimed yet, and their bytes: enough to keep the threads busy
// while the run reports, not so much that a failure leaves much to remove.
constexpr size_t MostWaiting = 32;
constexpr int64_t MostBytes = int64_t{256} << 20;

bool SameFacts(const TSourceFacts& a, const TSourceFacts& b)
{
    return a.Known == b.Known && a.Size == b.Size && CompareFileTime(&a.WriteTime, &b.WriteTime) == 0 &&
           a.Hashed == b.Hashed && (!a.Hashed || a.Sha256 == b.Sha256);
}

}  // namespace

bool TCopyAhead::Submit(const std::string& source, const std::string& target, const TSourceFacts& facts)
{
    if (!facts.Known) return false;
    // The hash provider is opened here, once, so that the threads only use it.
    std::string problem;
    if (facts.Hashed && !CngAlgorithm(TCngAlgorithm::Sha256, problem)) return false;
    std::string key = PathKey(target);
    {
        std::lock_guard<TLock> guard(m_lock);
        if (m_stopping || m_jobs.count(key) || m_jobs.size() >= MostWaiting) return false;
        // One file larger than the limit still goes ahead when nothing else waits.
        if (!m_jobs.empty() && m_bytes + facts.Size > MostBytes) return false;
        TJob job;
        job.Source = source;
        job.Target = target;
        job.Facts = facts;
        m_jobs.emplace(key, job);
        m_waiting.push_back(key);
        m_bytes += facts.Size;
        if (m_threads.size() < Threads) {
            m_threads.emplace_back([this] { Work(); });
            return true;
        }
        if (m_idle <= m_waking) return true;  // a thread is busy or already woken: it will come to it
        ++m_waking;
    }
    m_work.notify_one();
    return true;
}

size_t TCopyAhead::Unclaimed() const
{
    std::lock_guard<TLock> guard(m_lock);
    return m_jobs.size();
}

bool TCopyAhead::Has(const std::string& target) const
{
    std::lock_guard<TLock> guard(m_lock);
    return m_jobs.count(PathKey(target)) != 0;
}

bool TCopyAhead::Claim(const std::string& source, const std::string& target, const TSourceFacts& facts)
{
    std::string key = PathKey(target);
    std::unique_lock<TLock> guard(m_lock);
    auto found = m_jobs.find(key);
    if (found == m_jobs.end()) return false;
    TJob& job = found->second;
    if (job.State == TJobState::Waiting) {
        // Not begun: the step copies it itself, as soon as it would have.
        Forget(key);
        return false;
    }
    m_claiming = key;
    m_done.wait(guard, [&job] { return job.State == TJobState::Done; });
    m_claiming.clear();
    bool ready = job.Ok && job.Source == source && SameFacts(job.Facts, facts);
    Forget(key);
    guard.unlock();
    // A copy of another source or version is not this step's: it goes, and the step copies.
    if (!ready) RemoveCopyBeside(target);
    return ready;
}

void TCopyAhead::Abandon()
{
    std::vector<std::string> unclaimed;
    {
        std::lock_guard<TLock> guard(m_lock);
        m_stopping = true;
        for (const std::string& key : m_waiting) m_jobs.erase(key);
        m_waiting.clear();
    }
    m_work.notify_all();
    for (std::thread& thread : m_threads) thread.join();
    m_threads.clear();
    {
        std::lock_guard<TLock> guard(m_lock);
        for (const auto& [key, job] : m_jobs) unclaimed.push_back(job.Target);
        m_jobs.clear();
        m_bytes = 0;
        m_stopping = false;
    }
    for (const std::string& target : unclaimed) RemoveCopyBeside(target);
}

void TCopyAhead::Forget(const std::string& key)
{
    auto found = m_jobs.find(key);
    if (found == m_jobs.end()) return;
    if (found->second.State == TJobState::Waiting)
        for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it)
            if (*it == key) {
                m_waiting.erase(it);
                break;
            }
    m_bytes -= found->second.Facts.Size;
    m_jobs.erase(found);
}

void TCopyAhead::Work()
{
    std::unique_lock<TLock> guard(m_lock);
    for (;;) {
        if (!m_stopping && m_waiting.empty()) {
            ++m_idle;
            m_work.wait(guard, [this] { return m_stopping || !m_waiting.empty(); });
            --m_idle;
            if (m_waking) --m_waking;
        }
        if (m_waiting.empty()) return;  // stopping, nothing left to begin
        std::string key = m_waiting.front();
        m_waiting.pop_front();
        TJob& job = m_jobs.at(key);
        job.State = TJobState::Running;
        std::string source = job.Source, target = job.Target;
        TSourceFacts facts = job.Facts;
        guard.unlock();
        bool ok = CopyBeside(source, target, facts).Ok;
        guard.lock();
        // A running job is never forgotten by another thread: its entry is still there.
        TJob& done = m_jobs.at(key);
        done.Ok = ok;
        done.State = TJobState::Done;
        if (m_claiming == key) m_done.notify_one();
    }
}
