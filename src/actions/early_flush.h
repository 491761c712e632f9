// Flushing a large copy while it is still being written. A copy is flushed
// to the disk before it replaces its target; for a file of hundreds of
// megabytes that flush, left to the end, takes about as long again as the
// copy itself. So every few megabytes written, a thread of its own flushes
// what is there through a second handle while the copy goes on, and the
// copy's own flush at the end has only the last part left to write.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <thread>

#include "core/handles.h"
#include "core/thread_sync.h"

// Files from this size on are flushed while they are written.
constexpr int64_t EarlyFlushFrom = int64_t{32} << 20;

class TEarlyFlush {
public:
    // Starts flushing the scratch file at `path`, which its writer opened
    // sharing writing; without a second handle nothing is flushed early.
    explicit TEarlyFlush(const std::string& path);
    // Stops at once: the writer's own last flush covers every byte.
    ~TEarlyFlush();
    TEarlyFlush(const TEarlyFlush&) = delete;
    TEarlyFlush& operator=(const TEarlyFlush&) = delete;

    // So many bytes are written now.
    void Written(int64_t total);

private:
    void Work();

    UniqueFile m_file;
    TLock m_lock;
    TCondition m_more;
    int64_t m_written = 0;
    int64_t m_flushed = 0;
    bool m_stopping = false;
    std::thread m_thread;
};
