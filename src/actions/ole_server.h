// Self-registering OLE servers.
#pragma once

#include <string>

// Calls DllRegisterServer (modes 'I', 'U') or DllUnregisterServer (other
// modes) of the library at `path` (already expanded) and completes the item
// line with the status. A failure clears RunOk.
void RegisterServer(const std::string& path, char mode);
