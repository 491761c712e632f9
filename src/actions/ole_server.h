// Self-registering OLE servers: registered in Insert and Update sections,
// unregistered in Delete sections, at every run (there is no test whether a
// server is registered already).
#pragma once

#include <string>

#include "core/section_mode.h"

struct TServerItem {
    std::string Shown;  // the library's name with constants expanded, as the line shows it
    std::string Path;   // the same, relative names below the program's directory
};

enum class TServerChange { Register, Unregister };

TServerChange DecideServer(TSectionMode mode);

// Prints the item line, loads the library and calls DllRegisterServer or
// DllUnregisterServer; the status completes the line. A failure clears RunOk.
void ApplyServer(const TServerItem& item, TServerChange change);

// The decision, then the change.
void RegisterServer(const TServerItem& item, TSectionMode mode);
