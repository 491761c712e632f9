// Checking a script without running it: the mistakes an administrator can
// make that a run passes over in silence (a misspelt section, key or flag, a
// gap in item numbers, a registry root in the wrong letter case) or that make
// the run fail on the workstations (a file missing at the source).
#pragma once

#include <string>
#include <vector>

enum class TSeverity { Error, Warning, Note };

struct TFinding {
    std::string File;  // as shown: the name as the script gives it, or the full path of a source copy
    int Line = 0;      // from 1; 0 when the finding concerns the file as a whole
    TSeverity Severity = TSeverity::Warning;
    int Code = 0;      // 101 for VC101
    std::string Text;  // from the message table
};

struct TCheckResult {
    std::string Script;              // the script's name as given
    std::vector<TFinding> Findings;  // by file (script, settings file, includes), then by line
    size_t IncludedScripts = 0;      // distinct included scripts that were read
};

// Reads the script (relative to Run.ExeDir, as the run takes it), its
// settings file and its includes, each from the copy the run would use (the
// source directory's when it differs there in size or last-write time), and
// reports what it finds. The constants table must hold the built-in
// constants; the scripts' constants are loaded into it as a run loads them,
// and the table is as before when the check returns. Writes nothing to the
// console, the disk or the registry.
TCheckResult CheckScript(const std::string& scriptName);

// "ledger.ini(14): warning VC104: <text>", or without "(line)" for line 0.
std::string FormatFinding(const TFinding& finding);

// "Check: 1 error, 2 warnings, 1 note in ledger.ini and 2 included scripts."
std::string FormatCheckSummary(const TCheckResult& result);

// The exit code of a check: 2 with any error, else 3 with any warning, else 0
// (notes alone count as a clean script).
int CheckExitCode(const TCheckResult& result);
