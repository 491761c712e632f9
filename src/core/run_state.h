// The run state: what one run of the program knows, shared by every module,
// and the table of constants that every script value may use. The program has
// one thread, so nothing here is locked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/paths.h"

struct TRunState {
    std::string ScriptName;    // first argument: relative to ExeDir, or a full path outside it
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
    int32_t LastErrorCode = 0; // the code of the last failure reported without a text of its own
    STARTUPINFOA StartupInfo{};
    bool RunOk = true;         // once false, stays false
    bool SelfReplaced = false; // a "_" copy of the program is staged: restart
    std::string SelfCopyPath;  // the last "_" copy of the program (or language file) made
    bool UnderWine = false;
    bool NtFamily = true;      // platform id of the NT line; everything else takes the 9x branches
    bool EngineStarted = false;
    int32_t PauseMs = 0;
    int32_t SelfPauseMs = 500;
    // Target directories already swept of scratch copies that interrupted
    // runs left (upper case): each is swept once per run.
    std::set<std::string> SweptDirectories;
    std::string LastSwept;  // the directory as last asked to be swept (it is in SweptDirectories)
    // The directories listed so far and what the run changed in them
    // (core/dir_listing); created at the first look-up.
    std::shared_ptr<struct TDirListings> Listings;
    // Paths found to be disk files (upper case), so that each is checked once.
    std::set<std::string> DiskFiles;
};

extern TRunState Run;

// The run has failed; RunOk never becomes true again.
inline void FailRun()
{
    Run.RunOk = false;
}

// Upper case in the ANSI code page, for paths compared without regard to case.
std::string PathKey(const std::string& path);

// The script's full path: ExeDir + ScriptName, or ScriptName when that is a full path.
inline std::string ScriptPath() { return PathFrom(Run.ExeDir, Run.ScriptName); }

// One constant: a name and its value, both as the script wrote them.
struct TConst {
    std::string Name;
    std::string Value;
};

// Slots 0..8 are the built-in constants, then the scripts' constants in the
// order of their first definition. Entries are never removed.
extern std::vector<TConst> ConstTable;

enum BuiltInSlot : size_t {
    SlotWinDir = 0,
    SlotWinSysDir = 1,
    SlotEtcDir = 2,
    SlotTempDir = 3,
    SlotPfDir = 4,
    SlotCfDir = 5,
    SlotMediaDir = 6,
    SlotBootDir = 7,
    SlotSrcDir = 8,
    BuiltInSlotCount = 9,
};

// The value of the windir constant as it stands now (a script may redefine it).
inline std::string WinDirConstant()
{
    return ConstTable.size() > SlotWinDir ? ConstTable[SlotWinDir].Value : std::string();
}
