// Splitting Windows paths into directory and file-name parts, and what a path names.
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

// The directory (with its trailing separator) and a name in one piece, made
// in one allocation: the run joins them for every file it looks at.
inline std::string JoinedPath(const std::string& dir, const std::string& name)
{
    std::string path;
    path.reserve(dir.size() + name.size());
    path.append(dir).append(name);
    return path;
}

// A path from a drive's root ("C:\x") or a UNC path ("\\srv\x"). The
// profile functions look for any other name in the Windows directory.
inline bool IsFullPath(const std::string& path)
{
    return path.size() >= 3 &&
           ((path[1] == ':' && (path[2] == '\\' || path[2] == '/')) || (path[0] == '\\' && path[1] == '\\'));
}

// A path that no directory can be put in front of: it names a drive or starts
// at a root ("C:\x", "C:x", "\x", "\\srv\x", "/x").
inline bool IsRootedPath(const std::string& path)
{
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) || (path.size() > 1 && path[1] == ':');
}

// The path taken from the directory (which ends with its separator) unless it
// is rooted.
inline std::string PathFrom(const std::string& dir, const std::string& path)
{
    return IsRootedPath(path) ? path : JoinedPath(dir, path);
}

// Something of that name is there and is a file (not a directory).
inline bool IsFilePath(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Something of that name is there and is a directory.
inline bool IsDirectoryPath(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// File names compare as the user's locale has it, ignoring case.
inline bool SameFileName(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}
