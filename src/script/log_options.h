// Where the run log goes: "--log" on the command line, else the "LogFile"
// option of the script, else that of the settings file; its size from
// "LogSize" in the same places.
#pragma once

#include <cstdint>
#include <string>

// Uses the path given with "--log": environment variables expanded (the
// script's constants are not known yet), relative to the program directory.
void UseLogFromCommandLine(const std::string& path);

// Reads "LogFile" and "LogSize" from the script's Options, each from the
// settings file's Options when the script has none (Run.SettingsName must be
// read), with constants expanded; uses the file unless the command line named
// one. Never fails.
void ReadLogOptions(const std::string& scriptPath);

// A "LogSize" text (kilobytes) in bytes: a positive decimal number, else the
// default of 1024 kilobytes.
uint64_t ParseLogSize(const std::string& text);
