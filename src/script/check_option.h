// The "Check" option: whether every run (and plan) checks its script first,
// and whether an error the check finds stops the run before any change.
#pragma once

#include <string>

enum class TCheckOption {
    Off,     // empty or "0": no check, the run as always
    Report,  // "1" (and any other text): the findings go to the run log, their counts to the console
    Strict,  // "strict": as Report, and a finding of the severity error fails the run before any change
};

// The option's text as a run takes it; `known` is false for a text that is
// none of "", "0", "1" and "strict" (letter case aside), which reads as 1.
TCheckOption ParseCheckOption(const std::string& text, bool& known);

// "Check" of the script's Options, else of the settings file's (Run.SettingsName
// must be read), as LogFile is read. Never fails.
TCheckOption ReadCheckOption(const std::string& scriptPath);
