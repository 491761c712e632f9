// The "Options" settings of the script.
#pragma once

#include <string>

// Reads "Settings", "WinHeader", "SourcePath", "Language", "Pause" and
// "SelfPause" from the script and loads the settings file's constants. Sets
// SettingsName, SourceDir, the srcdir constant, LanguageName, PauseMs,
// SelfPauseMs and the window title. Never fails.
void LoadSettings(const std::string& scriptPath);
