#include "core/run_log.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>

#include "core/log_record.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "core/version.h"

namespace {

constexpr uint64_t DefaultLimit = 1024 * 1024;
// How long a log held by another writer is waited for at the end of the run.
constexpr DWORD LockWaitMs = 2000;
constexpr DWORD RetryMs = 50;
// A share that does not answer is given this long to open the log, and the
// final append the lock wait and this much more; then the run goes on
// without it.
constexpr DWORD ProbeBoundMs = 2000;
constexpr DWORD AppendBoundMs = LockWaitMs + 3000;

struct TRunLog {
    std::string Path;
    bool Chosen = false;
    bool Writable = false;
    bool FromCommandLine = false;
    bool Ended = false;
    uint64_t Limit = DefaultLimit;
    SYSTEMTIME Started{};
    DWORD StartTick = 0;
    std::string Computer;
    std::string User;
    unsigned Instance = 0;  // the message naming what kind of run this is; 0: told by the program's name
    std::string Fields;     // "  release 7  findings 2": fields after the script
};

TRunLog g_log;

using SharedWork = std::shared_ptr<std::function<void()>>;

DWORD WINAPI RunWork(void* parameter)
{
    std::unique_ptr<SharedWork> work(static_cast<SharedWork*>(parameter));
    (**work)();
    return 0;
}

// Runs the work on a thread of its own and waits up to `ms` for it. Work that
// does not end in time finishes on its own, or ends with the process, holding
// the only references to what it uses.
void RunBounded(std::function<void()> work, DWORD ms)
{
    SharedWork shared = std::make_shared<std::function<void()>>(std::move(work));
    auto* threadRef = new SharedWork(shared);
    DWORD id = 0;
    UniqueKernelHandle thread(CreateThread(nullptr, 0, RunWork, threadRef, 0, &id));
    if (!thread) {
        // No thread to spare: do the work here, unbounded, rather than not at all.
        delete threadRef;
        (*shared)();
        return;
    }
    // A wait that ends early or fails leaves the work's result unset, which
    // each caller takes as failure.
    WaitForSingleObject(thread.Get(), ms);
}

// Opens the file for appending as the final write will, but lets others share
// it; gives the system's error code, or ERROR_SUCCESS.
DWORD ProbeForAppending(const std::string& path)
{
    UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? ERROR_SUCCESS : GetLastError();
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    // An append-only handle writes at the end whatever the pointer says; the
    // move only matters where the system does not honour that.
    SetFilePointer(file, 0, nullptr, FILE_END);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

std::string Seconds()
{
    DWORD tenths = (GetTickCount() - g_log.StartTick + 50) / 100;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lu.%lu", static_cast<unsigned long>(tenths / 10),
                  static_cast<unsigned long>(tenths % 10));
    return buffer;
}

std::string Header()
{
    const SYSTEMTIME& t = g_log.Started;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    bool restarted = !Run.ExeName.empty() && Run.ExeName[0] == '_';
    unsigned instance = g_log.Instance != 0 ? g_log.Instance : restarted ? MsgLogRestartedCopy : MsgLogFirstRun;
    return FillMsg(MsgLogHeader, {stamp, g_log.Computer, g_log.User, VANTOREL_VERSION_TEXT,
                                  Run.ScriptName + g_log.Fields, Msg(instance)});
}

void WriteBlock(const std::string& footer)
{
    if (!g_log.Writable) return;
    // A line left open (a step cut short) is ended; blank lines at the end say nothing.
    std::string body = RecordedText();
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    std::string block = Header() + "\r\n" + body + (body.empty() ? "" : "\r\n") + footer + "\r\n";
    std::string path = g_log.Path;
    uint64_t limit = g_log.Limit;
    // The run is over: a block that cannot be written is lost, with no one to tell.
    RunBounded([path, block, limit] { AppendToLogFile(path, block, limit, LockWaitMs); }, AppendBoundMs);
}

unsigned EventReason(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT: return MsgLogCtrlC;
    case CTRL_BREAK_EVENT: return MsgLogCtrlBreak;
    case CTRL_LOGOFF_EVENT: return MsgLogLogoff;
    case CTRL_SHUTDOWN_EVENT: return MsgLogShutdown;
    default: return MsgLogWindowClosed;
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (ClaimRecordForInterrupt()) {
        WriteBlock(FillMsg(MsgLogInterrupted, {Msg(EventReason(event)), Seconds()}));
        MarkInterruptWritten();
    }
    // The system's own handling then ends the process, as it does without a log.
    return FALSE;
}

}  // namespace

void BeginRunLog()
{
    GetLocalTime(&g_log.Started);
    g_log.StartTick = GetTickCount();
    char buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer;
    // A name the system cannot tell stays empty in the header.
    if (GetComputerNameA(buffer, &size)) g_log.Computer.assign(buffer, size);
    size = sizeof buffer;
    if (GetUserNameA(buffer, &size)) g_log.User = buffer;
}

void UseRunLogFile(const std::string& path, bool fromCommandLine)
{
    if (g_log.Chosen) return;
    g_log.Chosen = true;
    g_log.Path = path;
    g_log.FromCommandLine = fromCommandLine;

    auto code = std::make_shared<std::atomic<DWORD>>(ERROR_TIMEOUT);
    RunBounded([path, code] { *code = ProbeForAppending(path); }, ProbeBoundMs);
    DWORD result = *code;
    // Another writer holding it is no reason to doubt the file.
    if (result != ERROR_SUCCESS && result != ERROR_SHARING_VIOLATION && result != ERROR_LOCK_VIOLATION) {
        WriteDiagnosticLine(FormatMsg(MsgLogUnwritable, path, SystemMessageOrCode(static_cast<int32_t>(result))));
        return;
    }
    g_log.Writable = true;
    // Without the handler a run ended during the key wait leaves no block;
    // everything else is logged as usual.
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void AddRunLogHeaderField(const std::string& field)
{
    g_log.Fields += "  " + field;
}

void NameRunLogInstance(unsigned messageId)
{
    g_log.Instance = messageId;
}

bool RunLogFileChosen()
{
    return g_log.Chosen;
}

void SetRunLogLimit(uint64_t bytes)
{
    g_log.Limit = bytes;
}

std::string RunLogRestartArguments()
{
    if (!g_log.FromCommandLine) return {};
    return "--log \"" + g_log.Path + "\" ";
}

void EndRunLog(int exitCode)
{
    if (g_log.Ended || !RecordRunning()) return;
    g_log.Ended = true;
    WriteBlock(FillMsg(MsgLogFooter, {std::to_string(exitCode), Seconds()}));
}

AppendOutcome AppendToLogFile(const std::string& path, const std::string& bytes, uint64_t limit, DWORD waitMs)
{
    DWORD start = GetTickCount();
    bool rotated = false;
    for (;;) {
        // No sharing, so that the blocks of two writers never interleave; only
        // a rename is let through, so that the holder can move a full file aside.
        UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            DWORD code = GetLastError();
            if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) return AppendOutcome::Failed;
            if (GetTickCount() - start >= waitMs) return AppendOutcome::Locked;
            Sleep(RetryMs);
            continue;
        }
        LARGE_INTEGER size{};
        // A size that cannot be read is taken as room to spare.
        if (!rotated && limit > 0 && GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0 &&
            static_cast<uint64_t>(size.QuadPart) + bytes.size() > limit) {
            // Renamed while held: no other writer can be in it, and one that
            // comes now begins the new file, so no block is lost. A file that
            // cannot be renamed (no right to, the old one in use) takes the
            // block past the size instead.
            if (MoveFileExA(path.c_str(), (path + ".1").c_str(), MOVEFILE_REPLACE_EXISTING)) {
                rotated = true;
                continue;
            }
        }
        return WriteAll(file.Get(), bytes) ? AppendOutcome::Written : AppendOutcome::Failed;
    }
}
