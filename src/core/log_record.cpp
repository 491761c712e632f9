#include "core/log_record.h"

#include <windows.h>

#include <atomic>

namespace {

constexpr DWORD HandOverWaitStepMs = 50;

std::string g_record;  // CR LF line ends
int g_paused = 0;

// The main thread records while running; while it waits for a key the record
// is complete, and a console control handler (a thread of its own) may take
// it over. The exchange of this value decides which of the two writes.
enum Phase : int { PhaseRunning, PhaseWaitingForKey, PhaseInterrupted };
std::atomic<int> g_phase{PhaseRunning};
std::atomic<bool> g_interruptWritten{false};

}  // namespace

void RecordText(const std::string& ansiText)
{
    if (g_paused > 0 || g_phase.load() != PhaseRunning) return;
    g_record += ansiText;
}

void RecordStatus(const std::string& box, int column)
{
    if (g_paused > 0 || g_phase.load() != PhaseRunning) return;
    size_t lineStart = g_record.find_last_of('\n');
    size_t at = g_record.size() - (lineStart == std::string::npos ? 0 : lineStart + 1);
    if (at + 1 > static_cast<size_t>(column)) {
        g_record += "\r\n";
        at = 0;
    }
    g_record.append(static_cast<size_t>(column) - 1 - at, ' ');
    for (char c : box)
        if (c != ' ') g_record += c;
    g_record += "\r\n";
}

RecordPause::RecordPause()
{
    ++g_paused;
}

RecordPause::~RecordPause()
{
    --g_paused;
}

KeyWaitScope::KeyWaitScope()
{
    g_phase = PhaseWaitingForKey;
}

KeyWaitScope::~KeyWaitScope()
{
    int expected = PhaseWaitingForKey;
    if (g_phase.compare_exchange_strong(expected, PhaseRunning)) return;
    // The control handler is writing the record; the process ends when it is
    // done. Should it go on after all, nothing more is recorded.
    for (int i = 0; i < 200 && !g_interruptWritten; ++i) Sleep(HandOverWaitStepMs);
}

const std::string& RecordedText()
{
    return g_record;
}

bool RecordRunning()
{
    return g_phase.load() == PhaseRunning;
}

bool ClaimRecordForInterrupt()
{
    int expected = PhaseWaitingForKey;
    return g_phase.compare_exchange_strong(expected, PhaseInterrupted);
}

void MarkInterruptWritten()
{
    g_interruptWritten = true;
}
