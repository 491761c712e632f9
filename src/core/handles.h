// Move-only owners for Windows handles, so that every handle is released on
// every path out of the scope that acquired it.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type h) noexcept : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(o.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept
    {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    explicit operator bool() const noexcept { return m_h != Traits::Invalid(); }
    Type Get() const noexcept { return m_h; }
    Type* Put() noexcept
    {
        Reset();
        return &m_h;
    }
    Type Release() noexcept { return std::exchange(m_h, Traits::Invalid()); }
    void Reset(Type h = Traits::Invalid()) noexcept
    {
        if (*this) Traits::Close(m_h);
        m_h = h;
    }

private:
    Type m_h = Traits::Invalid();
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { RegCloseKey(h); }
};

// CreateFile and FindFirstFile fail with INVALID_HANDLE_VALUE; most other
// kernel objects (processes, mutexes) fail with null.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { FindClose(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { FreeLibrary(h); }
};

using UniqueHKey = UniqueHandle<RegKeyTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;

// Restores the process error mode on scope exit; used around LoadLibrary so no
// "cannot open file" box appears on a workstation nobody is watching.
class ErrorModeScope {
public:
    explicit ErrorModeScope(UINT mode) noexcept : m_old(SetErrorMode(mode)) {}
    ~ErrorModeScope() { SetErrorMode(m_old); }
    ErrorModeScope(const ErrorModeScope&) = delete;
    ErrorModeScope& operator=(const ErrorModeScope&) = delete;

private:
    UINT m_old;
};
