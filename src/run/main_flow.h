// The run from start to exit code.
#pragma once

enum ExitCode : int {
    ExitGood = 0,
    ExitNoScript = 1,
    ExitFailed = 2,
};

// Runs the whole flow for the command line and gives the exit code. The
// console layer must be initialised.
int RunMainFlow(int argc, char** argv);
