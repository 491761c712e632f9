// Where the script named on the command line is. A name without a directory
// is taken from the program's directory, as it always was. A full path, or a
// path relative to the current directory, names the file the administrator
// points at: inside the program's directory it is the same as naming the
// script relative to that directory (the same source copy, marker, run lock
// and restart); outside it the script is used where it is, and the update pass
// never replaces it from the source (it is the administrator's own file).
#pragma once

#include <string>

// The script's name as the run keeps it (Run.ScriptName): the argument itself
// for a name without a directory; relative to `exeDir` (which ends with a
// backslash) when the file lies in it, else its full path. A relative path
// with a directory is taken from the program's directory when the file is
// there (as always), else from the current directory when it is there.
std::string LocateScript(const std::string& argument, const std::string& exeDir);
