// What a file item would change, decided from the state of the files without
// changing anything: which source files match, and for each whether and why
// it would be copied, staged beside the program, or deleted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/section_mode.h"

// The flag words of a File item, found anywhere in the text (case matters).
struct TFileFlags {
    bool CheckVersion = false;
    bool KeepNewest = false;
    bool NotCheckSize = false;
    bool NotCheckDatetime = false;
    bool UntilReboot = false;
};
TFileFlags ParseFileFlags(const std::string& text);

// One file of a directory listing: what the decision knows of a source
// file without asking the source directory again.
struct TListedFile {
    std::string Name;
    int64_t Size = 0;
    FILETIME WriteTime{};  // as stored (UTC)
    DWORD Attributes = 0;
};

// The files matching the pattern, in the order the system delivers them,
// without directories, and without hidden and system files unless asked for.
// Listed before anything is copied, so files written during a walk (into a
// target directory that is also the source) are never picked up by it. A
// source directory (`fromSource`) is listed once per run and answers every
// later pattern; other directories are asked each time.
std::vector<TListedFile> ListMatches(const std::string& pattern, bool withHiddenAndSystem, bool fromSource);

// Size of the file, or -1 when the path does not exist or is a directory.
int64_t QueryFileSize(const std::string& path);

enum class TCopyRule { Size, Version, Date };

// Why a file would be copied: the rule that decided and what it compared.
// The source's size and stored write time are the facts the copy holds the
// source to: a source that no longer has them is not the file decided on.
struct TCopyReason {
    TCopyRule Rule = TCopyRule::Size;
    int64_t SourceSize = 0;
    FILETIME SourceWriteTime{};  // as stored (UTC)
    int64_t TargetSize = -1;   // -1: no target, or not compared
    bool TargetExists = false; // a file or a directory of the target's name is there
    bool TargetDated = false;  // the target exists as a file and its date was read
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
// facts come from the listing; the target is looked up in its directory's
// listing when that directory has been asked often enough to be listed.
TCopyDecision DecideCopy(const TListedFile& match, const std::string& source, const std::string& target,
                         const TFileFlags& flags);

enum class TFileStepKind {
    Current,                  // nothing to do, nothing printed
    StageLanguageForRestart,  // current language file while the program restarts: "_" copy of it
    StageOwnFile,             // new program or language file: "_" copy beside the program, restart
    ReplaceScript,            // new script or settings file: only when the source copy names a source holding it
    Copy,                     // Update sections: replace or create the target
    Insert,                   // Insert sections: create the missing target
    InsertPresent,            // Insert sections: the target is there; its line shows OK, nothing is copied
    ReplaceProgram,           // in a restarted copy: the program or language file it was started from
    NotADiskFile,             // the name is a device's: nothing is opened, the item fails
};

struct TFileStep {
    TFileStepKind Kind = TFileStepKind::Current;
    TListedFile Match;     // the source file as the decision saw it
    std::string FileName;  // the match's name
    std::string Source;
    std::string Target;
    TCopyReason Reason;
};

// What bringing one matching source file to its target would do (Insert and
// Update sections).
TFileStep DecideFileStep(const TListedFile& match, const std::string& sourceDir, const std::string& targetDir,
                         const TFileFlags& flags, TSectionMode mode);

// The step decided again for a source that was replaced between the decision
// and the copy, from the facts the copy found.
TFileStep DecideFileStepAgain(const TFileStep& step, int64_t size, const FILETIME& writeTime, DWORD attributes,
                              const TFileFlags& flags, TSectionMode mode);

// The program file or its language file.
bool IsOwnProgramFile(const std::string& fileName);
// The script or the settings file.
bool IsOwnScriptFile(const std::string& fileName);
// In a restarted copy ("_prog.exe"), the program or language file it replaces ("prog.exe").
bool IsReplacedByRestartedCopy(const std::string& fileName);

// In a restarted copy ("_prog.exe"), the name of the program or language file
// that it replaces ("prog.exe") when `name` is its own "_" name; else empty.
std::string RestartedCopyTarget(const std::string& name);
