// The findings of a script check: their codes (the README's table), their
// severities, the files they concern, and the lines that report them in the
// form editors and build tools read.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "script/script_image.h"

enum class TSeverity { Error, Warning, Note };

// The finding codes; "VC" and the number name them.
enum class TFindingCode : int {
    Unreadable = 100,        // a file the check needs cannot be read
    UnreadSection = 101,     // a section the program never reads, or a key above the first section
    ItemGap = 102,           // a gap in item numbers (also Include<n>)
    EntryGap = 103,          // a gap in entry numbers of registry, INI and text items
    UnreadKey = 104,         // a key the program never reads
    UnknownFlag = 105,       // a word in File<n>Flags that holds no flag word
    FlagsExclusive = 106,    // 9x_only and nt_only together
    SectionLetter = 107,     // a letter in SectionOrder that names no section
    ItemLetter = 108,        // a letter in ItemOrder that names no item kind
    InsertOnlyInOrder = 109, // T in the item order of an Update or Delete section
    RegistryRoot = 110,      // a root in another letter case, alone, or missing
    UpdateOnlyKey = 111,     // RenameTo in an Insert or Delete section
    NotInDelete = 112,       // a Type or Value key in a Delete section
    Undefined = 113,         // %name% that nothing defines
    LookupForm = 114,        // a lookup tag or % that the loader does not pair
    ConstantTwice = 115,     // a constant defined twice in one section
    IncludeMissing = 116,    // an include missing at the source
    IncludeCycle = 117,      // an include cycle
    SourceMissing = 118,     // a file item's source missing at the source
    DirectoryLater = 119,    // a file copied into a directory a later Dir item makes
    RunWithoutWine = 120,    // Run set while RunFlags lacks "wine"
    ValueCut = 121,          // a value longer than the reader takes
    KindNotInOrder = 122,    // items of a kind the item order leaves out
    SectionTwice = 123,      // a section written twice in one file
    KeyTwice = 124,          // a key written twice in one section
    NoEquals = 125,          // a line without "="
    OwnFileMissing = 126,    // the program, language, settings file or script missing at the source
    NewCopyRefused = 127,    // a new script or settings file the run refuses
    Utf8WithoutMark = 128,   // UTF-8 text without a byte-order mark: the run reads it in the ANSI code page
    NotAnsiText = 129,       // bytes that are no text in the ANSI code page the run reads the file in
    RegistryType = 130,      // a registry type word that is none of S, I, M and B
    NotANumber = 131,        // a number value (type I) that is no number: 0 is stored
    InlineComment = 132,     // " ;" (or " # ") in a value: a comment that becomes part of it
    RunPathBlank = 133,      // an unquoted Run program path with a blank
    RelativeSource = 134,    // a relative SourcePath: taken from the current directory
    CheckOptionValue = 135,  // a Check value other than 0, 1 and strict
    ReleaseUnusable = 150,   // the source's manifest, the workstation's key or its release record cannot be used
    ReleaseRefused = 151,    // with vantorel.pub: no manifest, or one not signed by its key as it stands
    ReleaseFileDiffers = 152, // a file at the source differs from its manifest entry in size or time
    ReleaseFileUnlisted = 153, // a file at the source that the manifest does not list
    ReleaseFileMissing = 154, // a file the manifest lists that the source lacks
    ReleaseOlder = 155,      // the source's release is older than the one this workstation took
    StartWithoutRollback = 160,  // StartAfterFailure=1 without Rollback=1
};

struct TFinding {
    std::string File;  // as shown: the name as the script gives it, or the full path of a source copy
    int Line = 0;      // from 1; 0 when the finding concerns the file as a whole
    TSeverity Severity = TSeverity::Warning;
    TFindingCode Code = TFindingCode::Unreadable;
    std::string Text;  // from the message table
};

struct TCheckResult {
    std::string Script;              // the script's name as given
    std::vector<TFinding> Findings;  // by file (script, settings file, includes), then by line
    size_t IncludedScripts = 0;      // distinct included scripts that were read
};

// A file the check reads, as it stands in the report.
struct TFileView {
    std::string Path;   // where it is read from
    std::string Shown;  // how findings name it
    size_t Order = 0;   // place in the report
    std::vector<TScriptSection> Sections;
};

// A %name% reference, judged when every constant is known.
struct TReference {
    size_t Order = 0;
    std::string Shown;
    int Line = 0;
    std::string Name;
};

// What a check has found so far, and the files it has read.
struct TCheck {
    std::string SourceDir;
    std::vector<TFinding> Findings;
    std::vector<size_t> FindingOrder;  // per finding, the place of its file
    std::deque<TFileView> Views;       // stable addresses
    std::vector<TReference> References;
};

void Add(TCheck& check, const TFileView& view, int line, TSeverity severity, TFindingCode code,
         const std::string& text);

// The findings by file, then by line; one met twice (an include named twice) once.
std::vector<TFinding> SortedFindings(const TCheck& check);

// "ledger.ini(14): warning VC104: <text>", or without "(line)" for line 0.
std::string FormatFinding(const TFinding& finding);

// "Check: 1 error, 2 warnings, 1 note in ledger.ini and 2 included scripts."
std::string FormatCheckSummary(const TCheckResult& result);

// The exit code of a check: 2 with any error, else 3 with any warning, else 0
// (notes alone count as a clean script).
int CheckExitCode(const TCheckResult& result);
