// Starts a command line, waits the given milliseconds and ends the process
// there and then, as a power failure or a closed session would end a run:
// the fault test of Rollback=1 (bench/rollback_kill.py). Exit code: the
// program's own when it ended first, else 199.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) return 2;
    DWORD wait = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
    std::string command;
    for (int i = 2; i < argc; ++i) command += std::string(i > 2 ? " " : "") + "\"" + argv[i] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return 3;
    CloseHandle(process.hThread);
    DWORD code = 199;
    if (WaitForSingleObject(process.hProcess, wait) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 199);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
