// Splitting Windows paths into directory and file-name parts.
#pragma once

#include <windows.h>

#include <string>

// The directory part with its trailing separator ("C:\app\" of "C:\app\x.dll");
// empty when the path has none.
inline std::string DirectoryPart(const std::string& path)
{
    size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file-name part ("x.dll" of "C:\app\x.dll").
inline std::string FileNamePart(const std::string& path)
{
    size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// File names compare as the user's locale has it, ignoring case.
inline bool SameFileName(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}
