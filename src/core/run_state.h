// The run state: what one run of the program knows, shared by every module.
// The program has one thread, so nothing here is locked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct TRunState {
    std::string ScriptName;    // first argument, relative to ExeDir
    std::string SettingsName;  // settings file named by the script; empty when none
    std::string ExeName;       // file-name part of the program as started ("_" in a restarted copy)
    std::string LanguageName;  // ExeName with the script's language extension; empty when none
    std::string ExeDir;        // directory of the program, with trailing backslash
    std::string SourceDir;     // expanded source path with trailing backslash
    std::string RunProgram;    // program part of the launch command, expanded
    std::string RunParameters; // parameter part of the launch command, expanded
    std::string ComputerName;  // empty when the system could not tell it
    std::string PendingBanner; // printed before the next item line
    std::string PendingHeading;
    int32_t LastErrorCode = 0; // explained by ReportError without a message; -1: nothing attempted
    STARTUPINFOA StartupInfo{};
    bool RunOk = true;         // once false, stays false
    bool SelfReplaced = false; // a "_" copy of the program is staged: restart
    bool UnderWine = false;
    bool NtFamily = true;      // platform id of the NT line; everything else takes the 9x branches
    bool EngineStarted = false;
    int32_t PauseMs = 0;
    int32_t SelfPauseMs = 500;
};

extern TRunState Run;

// Clears a failed step into the run state; RunOk never becomes true again.
inline void FailRun() { Run.RunOk = false; }

// The script's full path: ExeDir + ScriptName.
inline std::string ScriptPath() { return Run.ExeDir + Run.ScriptName; }
