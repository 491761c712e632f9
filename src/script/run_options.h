// Options of a run that the script's Options section gives, or the settings
// file's when the script has none: the run log's, and the rollback's.
#pragma once

#include <string>

// The option from the script, or from the settings file's Options when the
// script has none (Run.SettingsName must be read); as written.
std::string ReadScriptOrSettingsOption(const std::string& scriptPath, unsigned key);

struct TRollbackOptions {
    bool Rollback = false;           // Rollback=1: a failed run puts back everything it changed
    bool StartAfterFailure = false;  // StartAfterFailure=1 (with Rollback=1): the application starts all the same
};

// Reads "Rollback" and "StartAfterFailure" (constants expanded; "1" turns
// each on). StartAfterFailure counts only with Rollback.
TRollbackOptions ReadRollbackOptions(const std::string& scriptPath);
