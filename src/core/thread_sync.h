// A lock and a condition for the run's few worker threads. The C++ library's
// own are built here on kernel semaphores and events, and under Wine every
// wait and every wake of those is a request to its server: a hand-over from
// one thread to another costs some 300 microseconds. The system's slim
// reader/writer lock and condition variable wait in the process itself
// (about 30 microseconds a hand-over), but older systems (Windows XP) have
// neither, so they are loaded at their first use and the library's own serve
// where they are missing.
#pragma once

#include <condition_variable>
#include <mutex>

// A lock (BasicLockable: std::lock_guard and std::unique_lock take it).
class TLock {
public:
    TLock() = default;
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

    void lock();
    void unlock();

private:
    friend class TCondition;
    void* m_slim = nullptr;  // the system's SRWLOCK, a pointer's size, zero when free
    std::mutex m_mutex;      // where the system has none
};

// A condition threads wait on under a TLock.
class TCondition {
public:
    TCondition() = default;
    TCondition(const TCondition&) = delete;
    TCondition& operator=(const TCondition&) = delete;

    // Waits, the lock held by `guard`, until woken (or, as every condition
    // may, without a cause: callers wait on a predicate).
    void wait(std::unique_lock<TLock>& guard);
    template <class Predicate>
    void wait(std::unique_lock<TLock>& guard, Predicate ready)
    {
        while (!ready()) wait(guard);
    }
    void notify_one();
    void notify_all();

private:
    void* m_slim = nullptr;  // the system's CONDITION_VARIABLE
    std::condition_variable_any m_any;
};
