// The program's exit codes.
#pragma once

enum ExitCode : int {
    ExitGood = 0,
    ExitNoScript = 1,    // no script named, or a command line that says nothing sensible
    ExitFailed = 2,      // a step failed (a plan: would fail; a check: errors)
    ExitChangesDue = 3,  // a plan shows changes, a check warnings
    ExitNotUpdated = 4,  // the source's release is incomplete or older: nothing taken, the application started
};
