// The "Options" settings of the script.
#pragma once

#include <cstdint>
#include <string>

// Reads "Settings", "WinHeader", "SourcePath", "Language", "Pause" and
// "SelfPause" from the script and loads the settings file's constants. Sets
// SettingsName, SourceDir, the srcdir constant, LanguageName, PauseMs,
// SelfPauseMs and the window title. Never fails.
void LoadSettings(const std::string& scriptPath);

// The source directory that the script's "SourcePath" names, as the run takes
// it: a backslash added, then constants expanded; the program's directory
// when it names none.
std::string SourceDirOf(const std::string& scriptPath);

// Sets the srcdir constant for the source directory (without its trailing
// backslash).
void SetSrcDirConstant(const std::string& sourceDir);

// A "Pause"/"SelfPause" text as milliseconds: an optionally signed decimal
// number in the 32-bit range, else `fallback`; a negative number is 0.
int32_t ParseDelay(const std::string& text, int32_t fallback);

// The program's file name with its extension (from the last dot) replaced by
// the "Language" value, which is taken as written (".rus" for a leading dot).
std::string LanguageFileName(const std::string& exeName, const std::string& extension);
