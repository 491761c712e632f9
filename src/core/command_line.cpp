#include "core/command_line.h"

TCommandLine ParseCommandLine(int argc, char** argv)
{
    TCommandLine result;
    bool scriptSeen = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "-h" || argument == "/?") {
            result.HelpAsked = true;
        } else if (argument.rfind("--", 0) == 0) {
            if (argument == "--log" && i + 1 < argc) result.LogPath = argv[++i];
        } else if (!scriptSeen) {
            result.ScriptName = argument;
            scriptSeen = true;
        }
    }
    return result;
}
