// The run from start to exit code.
#pragma once

#include <string>

enum ExitCode : int {
    ExitGood = 0,
    ExitNoScript = 1,
    ExitFailed = 2,
};

// Runs the whole flow for the command line and gives the exit code. The
// console layer must be initialised.
int RunMainFlow(int argc, char** argv);

// Creates (remove false) or removes (remove true) the success marker: the
// script's name with the extension ".ok", in the program's directory.
void SuccessMarker(bool remove);

// The marker's path for a script name.
std::string SuccessMarkerPath(const std::string& exeDir, const std::string& scriptName);
