#include "run/launch.h"

#include <windows.h>

#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_log.h"
#include "core/run_state.h"
#include "run/run_lock.h"
#include "script/expand.h"
#include "script/script_image.h"

namespace {

// Starts a process and does not wait for it; a failure raises the system
// error. Gives the process's handle.
UniqueKernelHandle StartProcess(std::string commandLine, const char* currentDirectory)
{
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        currentDirectory, &Run.StartupInfo, &info)) {
        DWORD code = GetLastError();
        FailRun();
        RaiseOsError(code);
    }
    // Nothing waits for the new process: its handles are only released.
    UniqueKernelHandle thread(info.hThread);
    return UniqueKernelHandle(info.hProcess);
}

// The launch command of the script's "Run" key, split at its first blank into
// RunProgram and RunParameters (each expanded). False when under Wine
// "RunFlags" lacks "wine": nothing is started then, and a run (but not a
// plan, which says so) leaves the command unread.
bool ReadLaunch(bool readAnyway)
{
    std::string script = ScriptPath();
    std::string options = Msg(WordOptions);
    bool started = true;
    if (Run.UnderWine) {
        std::string flags =
            ExpandConstants(ReadScriptString(script, options, Msg(WordRun) + Msg(WordFlags)), ExpandPlain);
        started = flags.find(Msg(WordWine)) != std::string::npos;
        // A run does not read the command when it would not start it.
        if (!started && !readAnyway) return false;
    }
    std::string value = ReadScriptString(script, options, Msg(WordRun));
    size_t blank = value.find(' ');
    if (blank == std::string::npos) {
        Run.RunProgram = ExpandConstants(value, ExpandPlain);
        Run.RunParameters.clear();
    } else {
        Run.RunProgram = ExpandConstants(value.substr(0, blank), ExpandPlain);
        Run.RunParameters = ExpandConstants(value.substr(blank), ExpandPlain);
    }
    return started;
}

}  // namespace

void Restart()
{
    WriteLine(Msg(MsgRepeatLoading));
    // Quoted, so that a program directory or script name with blanks cannot
    // start another program (C:\Program.exe for C:\Program Files\...).
    std::string commandLine =
        "\"" + Run.ExeDir + "_" + Run.ExeName + "\" " + RunLogRestartArguments() + "\"" + Run.ScriptName + "\"";
    UniqueKernelHandle copy = StartProcess(commandLine, nullptr);
    HandOverRunLock(copy.Get());
    ReportOk();
}

void LaunchApplication()
{
    if (!ReadLaunch(false)) return;
    if (Run.RunProgram.empty()) return;
    WriteText(FormatMsg(MsgLoading, Run.RunProgram));
    StartProcess(Run.RunProgram + Run.RunParameters, Run.ExeDir.c_str());
    ReportOk();
}

bool ShowLaunch()
{
    bool started = ReadLaunch(true);
    if (Run.RunProgram.empty()) return false;
    if (started)
        WriteLine(FormatMsg(MsgPlanStarts, Run.RunProgram + Run.RunParameters));
    else
        WriteLine(FormatMsg(MsgPlanNotStartedUnderWine, Run.RunProgram, Msg(WordRun) + Msg(WordFlags), Msg(WordWine)));
    return started;
}

namespace {

// The script's path without its extension.
std::string ScriptStem(const std::string& exeDir, const std::string& scriptName)
{
    std::string name = scriptName;
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of("\\/:");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
    return PathFrom(exeDir, name);
}

}  // namespace

std::string SuccessMarkerPath(const std::string& exeDir, const std::string& scriptName)
{
    return ScriptStem(exeDir, scriptName) + ".ok";
}

std::string JournalPath()
{
    return ScriptStem(Run.ExeDir, Run.ScriptName) + ".journal";
}

void SuccessMarker(bool remove)
{
    std::string path = SuccessMarkerPath(Run.ExeDir, Run.ScriptName);
    if (remove) {
        DeleteFileA(path.c_str());  // a marker that is not there is what we want
        return;
    }
    // The run has succeeded either way; a marker that cannot be written only
    // makes the run look failed to whoever checks it.
    UniqueFile marker(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}
