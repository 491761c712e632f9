#include "run/run_lock.h"

#include <cstdint>
#include <cstdio>

#include "core/ansi_text.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

// A run that waits longer than this for another is itself given up: that one
// may wait for a key nobody presses.
constexpr DWORD WaitBoundMinutes = 5;
constexpr DWORD WaitBoundMs = WaitBoundMinutes * 60 * 1000;
// How often a run that gave its turn back to a restarted copy asks again.
constexpr DWORD HandOverPollMs = 100;
constexpr const char* HandOverSuffix = "-restart";

// Held from the turn to the end of the process; the system releases it then.
UniqueKernelHandle g_turn;

// Objects every user may open: runs of several users of one terminal server
// take turns too. A system without security (the 9x family) takes none.
class TOpenToAll {
public:
    TOpenToAll()
    {
        if (InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&m_descriptor, TRUE, nullptr, FALSE)) {
            m_attributes.nLength = sizeof m_attributes;
            m_attributes.lpSecurityDescriptor = &m_descriptor;
            m_attributes.bInheritHandle = FALSE;
            m_ok = true;
        }
    }
    SECURITY_ATTRIBUTES* Get() { return m_ok ? &m_attributes : nullptr; }

private:
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
    bool m_ok = false;
};

// The object of the name in the namespace all sessions share; systems
// without namespaces (the 9x family, NT 4) refuse the prefix and take the
// plain name.
template <typename Create>
UniqueKernelHandle CreateShared(const std::string& name, Create create)
{
    UniqueKernelHandle object(create(("Global\\" + name).c_str()));
    if (!object) object.Reset(create(name.c_str()));  // the first refusal only meant: no namespaces here
    return object;
}

// A restarted copy has not yet taken the turn its run handed over.
bool HandOverPending(const std::string& name)
{
    // Not there (or not to be opened): no copy is waiting for its turn.
    UniqueKernelHandle mark(OpenEventA(SYNCHRONIZE, FALSE, ("Global\\" + name + HandOverSuffix).c_str()));
    if (!mark) mark.Reset(OpenEventA(SYNCHRONIZE, FALSE, (name + HandOverSuffix).c_str()));
    return static_cast<bool>(mark);
}

uint64_t HashOf(const std::string& text)
{
    uint64_t hash = 14695981039346656037ull;
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

void ShowWaiting()
{
    WriteText(Msg(MsgWaitingForRun));
}

}  // namespace

std::string RunLockName(const std::string& exeDir, const std::string& scriptName)
{
    std::string path = PathFrom(exeDir, scriptName);
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length > 0 && length < MAX_PATH) path.assign(full, length);  // else the path as given serves
    uint64_t hash = HashOf(UpperAnsi(path));
    char name[40];
    std::snprintf(name, sizeof name, "Vantorel-%08lx%08lx", static_cast<unsigned long>(hash >> 32),
                  static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return name;
}

TLockWait WaitForTurn(const std::string& name, bool restartedCopy, DWORD boundMs,
                      const std::function<void()>& onWait, UniqueKernelHandle& held)
{
    TOpenToAll everyone;
    UniqueKernelHandle turn =
        CreateShared(name, [&everyone](const char* n) { return CreateMutexA(everyone.Get(), FALSE, n); });
    if (!turn) return TLockWait::NoLock;
    DWORD start = GetTickCount();
    bool waited = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD result = WaitForSingleObject(turn.Get(), waited ? (elapsed < boundMs ? boundMs - elapsed : 0) : 0);
        if (result == WAIT_FAILED) return TLockWait::NoLock;
        if (result == WAIT_TIMEOUT) {
            if (waited) return TLockWait::TimedOut;
            waited = true;
            if (onWait) onWait();
            continue;
        }
        // WAIT_ABANDONED too: the run before ended without giving the turn back.
        if (!restartedCopy && HandOverPending(name)) {
            // The restarted copy of the run before is the next; its turn comes first.
            ReleaseMutex(turn.Get());  // held by this thread just now: cannot fail
            if (!waited && onWait) onWait();
            waited = true;
            if (GetTickCount() - start >= boundMs) return TLockWait::TimedOut;
            Sleep(HandOverPollMs);
            continue;
        }
        held = std::move(turn);
        return TLockWait::Taken;
    }
}

bool TakeRunLock()
{
    // A restarted copy runs as "_" + the program's name.
    bool restartedCopy = !Run.ExeName.empty() && Run.ExeName[0] == '_';
    bool shown = false;
    auto onWait = [restartedCopy, &shown] {
        if (restartedCopy) return;  // it waits for the run that started it, which is ending
        shown = true;
        ShowWaiting();
    };
    TLockWait wait = WaitForTurn(RunLockName(Run.ExeDir, Run.ScriptName), restartedCopy, WaitBoundMs, onWait, g_turn);
    switch (wait) {
    case TLockWait::Taken:
        if (shown) ReportOk();
        return true;
    case TLockWait::NoLock:
        // Without the lock the run goes on as runs always did: a lock that
        // cannot be made must not keep the application from starting.
        if (shown) ReportOk();
        return true;
    case TLockWait::TimedOut:
        if (!shown) ShowWaiting();
        ReportError(FormatMsg(MsgRunWaitTimeout, ScriptPath(), static_cast<long>(WaitBoundMinutes)));
        FailRun();
        return false;
    }
    return true;
}

void HandOverRunLock(HANDLE process)
{
    std::string name = RunLockName(Run.ExeDir, Run.ScriptName) + HandOverSuffix;
    TOpenToAll everyone;
    UniqueKernelHandle mark =
        CreateShared(name, [&everyone](const char* n) { return CreateEventA(everyone.Get(), TRUE, FALSE, n); });
    // Without the mark a waiting run may go first; the copy then waits for it.
    if (!mark) return;
    // The duplicate belongs to the copy's process and goes with it, so the
    // mark lasts exactly as long as the copy. Nothing here owns it.
    HANDLE inCopy = nullptr;
    // A copy that has ended already needs no turn: the failure is of no consequence.
    DuplicateHandle(GetCurrentProcess(), mark.Get(), process, &inCopy, SYNCHRONIZE, FALSE, 0);
}
