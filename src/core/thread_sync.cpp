#include "core/thread_sync.h"

#include <windows.h>

namespace {

struct TSlimFunctions {
    void(WINAPI* Acquire)(void**) = nullptr;
    void(WINAPI* Release)(void**) = nullptr;
    BOOL(WINAPI* Sleep)(void**, void**, DWORD, ULONG) = nullptr;
    void(WINAPI* Wake)(void**) = nullptr;
    void(WINAPI* WakeAll)(void**) = nullptr;
    bool Present = false;
};

template <class T>
void Load(HMODULE module, const char* name, T& function)
{
    function = reinterpret_cast<T>(GetProcAddress(module, name));
}

// kernel32 stays loaded for the life of the process: no owner is needed.
const TSlimFunctions& Slim()
{
    static const TSlimFunctions functions = [] {
        TSlimFunctions f;
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        if (!kernel) return f;
        Load(kernel, "AcquireSRWLockExclusive", f.Acquire);
        Load(kernel, "ReleaseSRWLockExclusive", f.Release);
        Load(kernel, "SleepConditionVariableSRW", f.Sleep);
        Load(kernel, "WakeConditionVariable", f.Wake);
        Load(kernel, "WakeAllConditionVariable", f.WakeAll);
        f.Present = f.Acquire && f.Release && f.Sleep && f.Wake && f.WakeAll;
        return f;
    }();
    return functions;
}

}  // namespace

void TLock::lock()
{
    if (Slim().Present)
        Slim().Acquire(&m_slim);
    else
        m_mutex.lock();
}

void TLock::unlock()
{
    if (Slim().Present)
        Slim().Release(&m_slim);
    else
        m_mutex.unlock();
}

void TCondition::wait(std::unique_lock<TLock>& guard)
{
    if (!Slim().Present) {
        m_any.wait(guard);
        return;
    }
    // With no time limit it returns only when woken, or without a cause, as
    // a condition may: either way the caller looks at its predicate again.
    Slim().Sleep(&m_slim, &guard.mutex()->m_slim, INFINITE, 0);
}

void TCondition::notify_one()
{
    if (Slim().Present)
        Slim().Wake(&m_slim);
    else
        m_any.notify_one();
}

void TCondition::notify_all()
{
    if (Slim().Present)
        Slim().WakeAll(&m_slim);
    else
        m_any.notify_all();
}
