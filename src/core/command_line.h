// The program's command line: what to do, the script, and options.
#pragma once

#include <string>
#include <vector>

enum class TProgramMode {
    Run,      // bring the application up to date, then start it
    Plan,     // --plan: show what a run would change, change nothing
    Check,    // --check: look for the script's mistakes
    Report,   // --report: a page of the workstations' runs from their run logs
    Help,     // --help, -h, /?
    Version,  // --version
    Wrong,    // a command line that says nothing sensible: Problem tells why
};

enum class TReportFormat { Html, Csv, Json };

// What --report reads and writes; paths as written, relative ones from the
// current directory.
struct TReportRequest {
    std::vector<std::string> Inputs;  // log files and directories
    std::string OutPath;              // empty: vantorel-report.<format> in the current directory
    std::string ComputersPath;        // the workstations that should appear; empty when none
    TReportFormat Format = TReportFormat::Html;
    int StaleDays = 3;
};

struct TCommandLine {
    TProgramMode Mode = TProgramMode::Run;
    std::string ScriptName;  // the first argument that is not an option; empty when none
    std::string LogPath;     // the value of "--log", as written; empty when none
    unsigned Problem = 0;    // Wrong: the message id naming the problem
    std::string ProblemArgument;
    std::string OtherArgument;  // the second option of two that exclude each other
    TReportRequest Report;      // Report: every argument that is not an option, and its options
};

// Reads the arguments after the program name. An argument is an option when it
// starts with "--" or is "-h" or "/?"; "--log" takes the next argument as its
// value. The first other argument is the script name, taken exactly as given;
// later ones are passed over, as they always were. No argument at all is a run
// without a script (the run itself says what is missing). With "--report"
// every argument that is not an option is a log file or directory, and
// "--out", "--format", "--stale-days" and "--computers" take a value.
TCommandLine ParseCommandLine(int argc, char** argv);
