// What a file item would change, decided from the machine view without
// changing anything: for each matching source file whether and why it would
// be copied, staged beside the program, or left as it is.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/section_mode.h"
#include "machine/change.h"
#include "machine/machine_view.h"

// The flag words of a File item, found anywhere in the text (case matters).
struct TFileFlags {
    bool CheckVersion = false;
    bool KeepNewest = false;
    bool NotCheckSize = false;
    bool NotCheckDatetime = false;
    bool UntilReboot = false;
};
TFileFlags ParseFileFlags(const std::string& text);

enum class TCopyRule { Size, Version, Date };

// Why a file would be copied: the rule that decided and what it compared.
struct TCopyReason {
    TCopyRule Rule = TCopyRule::Size;
    int64_t SourceSize = 0;
    int64_t TargetSize = -1;   // -1: no target, or not compared
    bool TargetExists = false; // a file or a directory of the target's name is there
    bool TargetDated = false;  // the target exists as a file and its date was read
    FILETIME TargetWriteTime{};
    bool SourceDated = false;
    int64_t SourceDateMs = 0;  // last-write times in local time, milliseconds
    int64_t TargetDateMs = 0;
    std::string SourceVersion; // read only when the size rule left the question open
    std::string TargetVersion;
};

struct TCopyDecision {
    bool Copy = false;
    TCopyReason Reason;
};

// The comparison of a source file with its target, first rule wins: size
// (unless not_check_size), version (with check_version; with keep_newest only
// a higher source version), then the last-write time (unless
// not_check_datetime; with keep_newest only a later source). The source's
// facts come from its listing.
TCopyDecision DecideCopy(const TListedFile& match, const std::string& source, const std::string& target,
                         const TFileFlags& flags, TMachineView& machine);

// The decision's reason in the words a plan shows ("sizes differ: 13 > 5").
std::string CopyReasonText(const TCopyReason& why);

// Where the source copy of the script would take the run.
struct TNewScriptSource {
    bool Named = false;  // the source copy of the script names a SourcePath
    std::string Dir;     // that path, constants expanded, with a trailing backslash
};

// Asked before the script or the settings file is replaced. Reading scripts
// and loading their constants is the run's business, so the run answers it.
using TNewScriptSourceQuery = std::function<TNewScriptSource()>;

// What bringing one matching source file to its target would change (Insert
// and Update sections); nothing when the target is current. The program's
// own files are staged beside it for a restart; the script and the settings
// file are replaced only when the source copy of the script names a source
// that holds them too (a script without one would cut the workstation off
// from the share); a name that is a device's fails.
std::optional<TChange> DecideFileStep(const TListedFile& match, const std::string& sourceDir,
                                      const std::string& targetDir, const TFileFlags& flags, TSectionMode mode,
                                      TMachineView& machine, const TNewScriptSourceQuery& newSource);

// The step decided again for a source that was replaced between the decision
// and the copy, from the facts the copy found.
std::optional<TChange> DecideFileStepAgain(const TChange& step, const TState& found, const TFileFlags& flags,
                                           TSectionMode mode, TMachineView& machine,
                                           const TNewScriptSourceQuery& newSource);

// The workstation's public key: vantorel.pub in the program's directory, by
// any spelling of its path (an 8.3 alias too). No file item, self-update or
// rename replaces, deletes or renames it: a key that could come from the
// share would let whoever writes to the share choose it.
bool IsWorkstationKey(const std::string& path);

// The program file or its language file.
bool IsOwnProgramFile(const std::string& fileName);
// The script or the settings file.
bool IsOwnScriptFile(const std::string& fileName);
// In a restarted copy ("_prog.exe"), the program or language file it replaces ("prog.exe").
bool IsReplacedByRestartedCopy(const std::string& fileName);

// In a restarted copy ("_prog.exe"), the name of the program or language file
// that it replaces ("prog.exe") when `name` is its own "_" name; else empty.
std::string RestartedCopyTarget(const std::string& name);
