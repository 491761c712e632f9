#include "machine/machine_view.h"

bool IsFile(TMachineView& view, const std::string& path)
{
    DWORD attributes = view.Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsDirectory(TMachineView& view, const std::string& path)
{
    DWORD attributes = view.Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(TMachineView& view, const std::string& path)
{
    return view.Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

std::string ParentDirectory(const std::string& path)
{
    size_t slash = path.find_last_of("\\/:");
    if (slash == std::string::npos) return {};
    std::string directory = path.substr(0, slash + 1);
    // "C:\" and "\" stay whole; "C:\app\" loses its last separator.
    if (directory.size() > 1 && (directory.back() == '\\' || directory.back() == '/') &&
        directory[directory.size() - 2] != ':')
        directory.pop_back();
    return directory;
}
