// Self-registering OLE servers: registered in Insert and Update sections,
// unregistered in Delete sections, at every run (there is no test whether a
// server is registered already).
#pragma once

#include <string>

#include "actions/steps.h"
#include "core/section_mode.h"

struct TServerItem {
    std::string Shown;  // the library's name with constants expanded, as the line shows it
    std::string Path;   // the same, relative names below the program's directory
};

// Registration (Insert, Update) or unregistration (Delete), every time; a
// name that is a device's, or that stands for no file on a disk, fails.
TChange DecideServer(const TServerItem& item, TSectionMode mode, TMachineView& machine);

// Loads the library and calls DllRegisterServer or DllUnregisterServer.
TApplied ApplyServerChange(const TChange& change);

// Loading the library would run its code: only its presence is foreseen.
TApplied ForeseeServerChange(const TChange& change, TMachineView& machine);

// The decision, then the step. False when it failed.
bool ProcessServerItem(const TServerItem& item, TSectionMode mode, TSteps& steps);
