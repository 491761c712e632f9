#include "run/script_location.h"

#include <windows.h>

#include "core/ansi_text.h"
#include "core/paths.h"

namespace {

std::string FullPathOf(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    // A path the system cannot complete is kept as given; opening it tells why.
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
}

// The long form of an existing path, so that an 8.3 spelling of the program's
// directory still counts as that directory; a missing path stays as it is.
std::string LongPathOf(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
}

// The full path relative to the program's directory when it lies in it.
std::string Canonical(const std::string& fullPath, const std::string& exeDir)
{
    std::string path = LongPathOf(fullPath);
    std::string dir = LongPathOf(exeDir);
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    if (path.size() > dir.size() && UpperAnsi(path.substr(0, dir.size())) == UpperAnsi(dir))
        return path.substr(dir.size());
    return path;
}

}  // namespace

std::string LocateScript(const std::string& argument, const std::string& exeDir)
{
    if (argument.find_first_of("\\/:") == std::string::npos) return argument;
    if (IsRootedPath(argument)) return Canonical(FullPathOf(argument), exeDir);
    if (IsFilePath(exeDir + argument)) return Canonical(FullPathOf(exeDir + argument), exeDir);
    std::string fromHere = FullPathOf(argument);
    // Missing from both: the run names the program directory's, as it always did.
    if (!IsFilePath(fromHere)) return argument;
    return Canonical(fromHere, exeDir);
}
