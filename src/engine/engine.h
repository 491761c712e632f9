// Binding of the database engine library, loaded at run time.
#pragma once

#include <windows.h>

#include <cstdint>

using DBIResult = uint16_t;
constexpr DBIResult DBIERR_NONE = 0;

// Starts the engine (interface version 500, no environment record).
DBIResult DbiInit(void* environment);
// Saves the engine configuration (no handle and no file: the default one).
DBIResult DbiCfgSave(void* database, const char* configFile, BOOL persistent);
// Releases the engine.
DBIResult DbiExit();

// True for success. Otherwise prints the engine's text for the code (or "BDE
// is not installed or corrupted." when it has none) through ReportError,
// clears RunOk and gives false.
bool CheckEngineResult(DBIResult code);
