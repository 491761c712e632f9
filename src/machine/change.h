// A change as a value: what one step of a run changes on the workstation, why,
// what is there now and what will be there. Decisions make them, one apply
// function per kind makes them real, a plan lays them over the machine it
// shows, and the console line, the plan's reason, the run log and the plan's
// JSON are all drawn from them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/sha256.h"
#include "script/script_layout.h"

enum class TChangeAction {
    Create,
    Replace,
    Delete,
    Rename,
    Append,
    Register,
    Unregister,
    ScheduleAtRestart,  // replaced or deleted at the next start of the system
    Restart,            // the program restarts from its new copy
};

// What is there, or will be there, as far as the decision knows it.
struct TState {
    bool Known = false;     // false: nothing was asked, the fields say nothing
    bool Present = false;
    int64_t Size = -1;      // files; text files: their length before lines are appended
    FILETIME WriteTime{};   // files: as stored (UTC)
    bool Dated = false;     // WriteTime holds a time
    DWORD Attributes = 0;   // files
    std::string Version;    // files with a version resource; an alias: its driver type
    DWORD Type = 0;         // registry values
    std::string Data;       // registry data, an INI value's text, the text appended, an alias's parameters
};

// How a file change is made.
enum class TFileOp {
    Copy,            // Update sections: attributes cleared, copied all or nothing; until_reboot: else at the restart
    Insert,          // Insert sections: a missing target copied all or nothing
    StageOwnFile,    // the program or its language file: a "_" copy beside the program, then the program restarts
    StageLanguage,   // the current language file beside the staged program, so that the restart finds it
    ReplaceScript,   // the script or the settings file
    ReplaceProgram,  // a restarted copy replaces the file it was started from
    Delete,          // hidden, system and read-only ones too; until_reboot: else at the restart
    Rename,
    CreateEmpty,     // a text file that an item needs and that is not there
    PutBack,         // undo: the file kept aside (From) back in its place (Path), its attributes as before
    RemoveMade,      // undo: a file the run made is removed when it is there
    Restore,         // undo: the file's bytes, time and attributes as they were (Before), put in place whole
};

// A failure: the system's code, or a message of its own.
struct TFailure {
    bool Failed = false;
    int32_t Code = 0;
    std::string Message;  // shown instead of the system's text for Code
    bool EndsWalk = false;  // no further file of the item is looked at, not even by a plan
    bool GoesOn = false;    // a run goes on with the item's next file after it
};

TFailure FailureOf(int32_t code);
TFailure FailureOf(const std::string& message);
// The text a failure is shown with: its message, else the system's text for its code.
std::string FailureText(const TFailure& failure);

struct TChange {
    TChangeKind Kind = TChangeKind::File;
    TChangeAction Action = TChangeAction::Create;
    bool Decided = true;  // false: the step failed before its action was known
    // What changes, as an administrator names it: a full path, a registry key
    // as the script names it (a value: the key, "\" and its name), an INI
    // value as "<file> [<section>] <key>", an alias's name.
    std::string Target;
    // The step line ("    -> a.dll...", "       value \"Port\""); empty: the
    // change completes the line that is open (a registry key's).
    std::string Line;
    bool Quiet = false;        // its line is shown only when it fails (what the run does without a word)
    bool StatusInRun = true;   // false: a run shows no status when it succeeds (a registry key made or removed)
    bool Nothing = false;      // a step shown as done that changes nothing (an Insert of a file that is there)
    std::string Reason;        // the words a plan shows under the line
    TState Before;
    TState After;

    // Where and how it is made.
    std::string Path;     // the file, directory, INI file, text file or library as the system takes it
    std::string From;     // a copy's source
    TState FromState;     // the source as the decision saw it: the copy is held to its size and time
    // A copy from a source directory held to a release: its number, and the
    // SHA-256 its manifest gives for the source, which the copied bytes must
    // have before they take the target's place. 0: no release lists it.
    uint64_t Release = 0;
    TSha256Digest Sha256{};
    std::string To;       // a rename's new path
    TFileOp FileOp = TFileOp::Copy;
    bool UntilReboot = false;
    // The old file is renamed to this path instead of being replaced or
    // deleted (a run that can be undone keeps it there until it ends well).
    std::string KeepAside;
    // The run copied the source beside the target ahead of this step,
    // complete and on the disk: the copy only takes the target's place.
    bool CopiedAhead = false;
    HKEY Root = nullptr;  // registry
    std::string SubKey;
    std::string Name;     // a registry value's name ("" the unnamed one), an INI key ("" the whole section), an alias's name
    std::string Section;  // INI
    std::string DriverType;  // alias

    // A failure known when deciding: the step fails with it and nothing is made.
    TFailure Failure;
};

// The words of the record as the plan's JSON names them: "file", "registry_value", ...
const char* ChangeKindName(TChangeKind kind);
const char* ChangeActionName(TChangeAction action);
// The registry type's name ("REG_SZ"), or its number.
std::string RegistryTypeName(DWORD type);
