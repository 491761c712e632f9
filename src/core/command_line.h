// The program's command line: options and the script name.
#pragma once

#include <string>

struct TCommandLine {
    std::string ScriptName;  // the first argument that is not an option; empty when none
    std::string LogPath;     // the value of "--log", as written; empty when none
    bool HelpAsked = false;  // "-h" or "/?" was given
};

// Reads the arguments after the program name. An argument is an option when it
// starts with "--" or is "-h" or "/?"; "--log" takes the next argument as its
// value, other options stand alone (unknown ones are passed over). The first
// other argument is the script name, taken exactly as given; later ones are
// passed over.
TCommandLine ParseCommandLine(int argc, char** argv);
