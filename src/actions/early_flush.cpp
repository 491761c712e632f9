#include "actions/early_flush.h"

namespace {

// Flushed in steps of this much: large enough that each flush writes a run
// of the disk, small enough that the last one has little left.
constexpr int64_t FlushStep = int64_t{16} << 20;

}  // namespace

TEarlyFlush::TEarlyFlush(const std::string& path)
    : m_file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr))
{
    // Without a handle of its own nothing is flushed early: the copy flushes it all at the end, as ever.
    if (m_file) m_thread = std::thread([this] { Work(); });
}

TEarlyFlush::~TEarlyFlush()
{
    {
        std::lock_guard<TLock> guard(m_lock);
        m_stopping = true;
    }
    m_more.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

void TEarlyFlush::Written(int64_t total)
{
    {
        std::lock_guard<TLock> guard(m_lock);
        if (total - m_written < FlushStep && total - m_flushed < FlushStep) return;
        m_written = total;
    }
    m_more.notify_one();
}

void TEarlyFlush::Work()
{
    std::unique_lock<TLock> guard(m_lock);
    for (;;) {
        m_more.wait(guard, [this] { return m_stopping || m_written - m_flushed >= FlushStep; });
        if (m_stopping) return;
        int64_t upTo = m_written;
        guard.unlock();
        // A failure here is met again by the copy's own last flush, which reports it.
        FlushFileBuffers(m_file.Get());
        guard.lock();
        m_flushed = upTo;
    }
}
