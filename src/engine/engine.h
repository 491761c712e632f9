// Binding of the database engine library "IDAPI32.DLL", loaded at run time.
//
// Every entry returns a 16-bit result, 0 for success. The library is looked
// for in the current directory, then along the engine's DLLPATH registry
// value, then by its bare name. DbiInit and DbiExit keep it loaded with a use
// count; the other entries are bound by export ordinal at their first call and
// load the library themselves when nothing has loaded it yet. An entry that
// cannot be bound returns a code of its own without running.
//
// The prototypes follow the engine's exports: the standard calling convention
// on 32-bit Windows, handles and strings as pointers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

using DBIResult = uint16_t;
using hDBICur = void*;  // cursor
using hDBIDb = void*;   // database or configuration handle; always null here

constexpr DBIResult DBIERR_NONE = 0;
constexpr DBIResult DBIERR_EOF = 0x2202;          // no more records
constexpr DBIResult DBIERR_NOTFOUND = 0x2108;     // library not found
constexpr DBIResult DBIERR_LOADFAILED = 0x2109;   // library found but not loadable
constexpr DBIResult DBIERR_NOMODULE = 0x210A;     // bound entry: no library
constexpr DBIResult DBIERR_NOMEMORY = 0x2501;     // not enough memory to load
constexpr DBIResult DBIERR_NOENTRY = 0x274F;      // export missing
constexpr DBIResult DBIERR_NOLOCK = 0x2A06;       // the binding lock could not be set up

constexpr uint16_t DbiInterfaceVersion = 500;
constexpr BOOL DbiTrue = static_cast<BOOL>(-1);   // the engine's "true": all bits one
constexpr int DbiNoLock = 0;
// Record buffer handed to DbiGetNextRecord; larger than any record the engine
// writes for its alias list. The alias name stands in the first 32 bytes,
// the driver type in the next 32, the parameter list after them (each
// NUL-terminated), as the engine gives them.
constexpr size_t DbiRecordBufferSize = 2048;
constexpr size_t DbiAliasNameField = 32;
constexpr size_t DbiDriverTypeField = 32;
constexpr size_t DbiErrorTextSize = 260;

// Starts the engine (interface version 500; `environment` is null here).
DBIResult DbiInit(void* environment);
// Releases one DbiInit; the library is freed when the last one is released.
DBIResult DbiExit();

DBIResult DbiOpenDatabaseList(hDBICur* cursor);
DBIResult DbiGetNextRecord(hDBICur cursor, int lock, void* record, void* properties);
DBIResult DbiCloseCursor(hDBICur* cursor);
DBIResult DbiDeleteAlias(hDBIDb database, const char* alias);
DBIResult DbiAddAlias(hDBIDb config, const char* alias, const char* driverType, const char* params,
                      BOOL persistent);
// Fills `text` (DbiErrorTextSize bytes) with the engine's text for `code`.
DBIResult DbiGetErrorString(DBIResult code, char* text);
// Saves the engine configuration (no handle and no file: the default one).
DBIResult DbiCfgSave(hDBIDb database, const char* configFile, BOOL persistent);

// Empty for success; otherwise the engine's text for the code, or "BDE is not
// installed or corrupted." when it has none.
std::string EngineFailureText(DBIResult code);

// The record's alias name (NUL-terminated in its first 32 bytes) equals
// `oemName` byte for byte. A record without a NUL there names nothing.
bool AliasRecordMatches(const char* record, const std::string& oemName);

// Loader details, exposed for the tests.
namespace engine_loader {

constexpr const char* LibraryName = "IDAPI32.DLL";
constexpr const char* ConfigKey = "Software\\Borland\\Database Engine";
constexpr const char* DllPathValue = "DLLPATH";

// The engine code for a failed LoadLibrary's last error.
DBIResult MapLoadError(DWORD error);
// The "DLLPATH" value of the key `subKey` under `root`; empty when missing.
std::string ReadDllPath(HKEY root, const char* subKey);
// What LoadLibrary is given: the library in `currentDir` when the file is
// there, else the one SearchPathA finds along `dllPath`, else the bare name.
std::string LibraryPath(const std::string& currentDir, const std::string& dllPath);

}  // namespace engine_loader
