#include "script/profile.h"

#include <windows.h>

#include "core/disk_files.h"
#include "script/read_source.h"

std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key)
{
    // A device name would have the profile functions read the device and wait.
    if (IsDeviceName(file)) return {};
    char buffer[ValueBufferSize] = {};
    DWORD length =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, ReadSourceOf(file).c_str());
    return std::string(buffer, length);
}
