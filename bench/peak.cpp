// Starts the command line that follows its own name, waits for it and
// prints to standard error the process's time and the largest peak working
// set the system reported for it while it ran (polled; the peak is the
// system's own high-water mark, so a poll misses only what grew in its last
// few milliseconds). Gives the command's exit code.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

int main()
{
    const char* line = GetCommandLineA();
    // Past our own name, quoted or not, and the blanks after it.
    if (*line == '"') {
        ++line;
        while (*line && *line != '"') ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t') ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    std::string command = line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, started, ended;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "peak: cannot start %s: error %lu\n", command.c_str(), GetLastError());
        return 100;
    }
    CloseHandle(process.hThread);
    SIZE_T peak = 0;
    for (;;) {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        // A poll that fails (the process has just ended) keeps the last peak.
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters) && counters.PeakWorkingSetSize > peak)
            peak = counters.PeakWorkingSetSize;
        if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) break;
    }
    QueryPerformanceCounter(&ended);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    std::fprintf(stderr, "peak_working_set_kb=%llu seconds=%.3f exit=%lu\n",
                 static_cast<unsigned long long>(peak / 1024),
                 static_cast<double>(ended.QuadPart - started.QuadPart) / static_cast<double>(frequency.QuadPart),
                 code);
    return static_cast<int>(code);
}
