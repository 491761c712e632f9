// The program's command line: what to do, the script, and options.
#pragma once

#include <string>
#include <vector>

enum class TProgramMode {
    Run,      // bring the application up to date, then start it
    Plan,     // --plan: show what a run would change, change nothing
    Check,    // --check: look for the script's mistakes
    Publish,  // --publish: write the release manifest of a source directory
    NewKey,   // --new-key: make a key pair for signing releases
    Report,   // --report: a page of the workstations' runs from their run logs
    Help,     // --help, -h, /?, /h, /help, -? (any letter case)
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
    std::string Format;      // the value of "--format" ("json", "text"); empty when none
    std::string PublishDirectory;  // the value of "--publish", as written
    std::string KeyFile;           // the value of "--key" (the private key to sign with), as written
    std::string NewKeyFile;        // the value of "--new-key", as written
    unsigned Problem = 0;    // Wrong: the message id naming the problem
    std::string ProblemArgument;
    std::string OtherArgument;  // the second option of two that exclude each other
    TReportRequest Report;      // Report: every argument that is not an option, and its options
    bool ScriptReference = false;  // Help: "--help script" asks for the reference of the script format
};

// Reads the arguments after the program name. An argument is an option when it
// starts with "--" or asks for help in the forms of other programs ("/?",
// "-?", "-h", "/h", "/help", in any letter case, like "--help"); "--log" takes the next argument as its
// value, and so do "--format" (with "--plan" only), "--publish", "--key" and
// "--new-key". The first other
// argument is the script name, taken exactly as given; later ones are passed
// over, as they always were. No argument at all is a run without a script
// (the run itself says what is missing). --publish and --new-key take no
// script, and any other argument beside them is wrong: it is most likely the
// rest of a path with blanks that was not quoted. Help with the argument
// "script" (any letter case) asks for the reference of the script format.
// With "--report" every argument that is not an option is a log file or
// directory, and "--out", "--format", "--stale-days" and "--computers" take a
// value.
TCommandLine ParseCommandLine(int argc, char** argv);
