// The run from start to exit code.
#pragma once

#include "run/exit_codes.h"


// Runs the whole flow for the command line and gives the exit code. The
// console layer must be initialised.
int RunMainFlow(int argc, char** argv);
