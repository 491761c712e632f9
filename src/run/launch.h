// The end of a good run: the restart from the staged "_" copy of the
// program, or the launch of the application; and the success marker.
#pragma once

#include <string>

// Prints "=> Repeating of Vantorel loading..." and starts the staged copy
// with the same script; a failure raises OsError.
void Restart();

// Starts the application of the script's "Run" key (under Wine only when
// "RunFlags" holds "wine"); a failure raises OsError.
void LaunchApplication();

// A plan: says what the launch would start, or that under Wine it would not
// (RunProgram and RunParameters are set either way). True when it would start it.
bool ShowLaunch();

// Creates (remove false) or removes (remove true) the success marker: the
// script's name with the extension ".ok", beside the script (the program's
// directory, unless the script was named by a full path outside it).
void SuccessMarker(bool remove);

// The marker's path for a script name.
std::string SuccessMarkerPath(const std::string& exeDir, const std::string& scriptName);

// The rollback journal's path: the script's name with the extension ".journal",
// in the program's directory.
std::string JournalPath();
