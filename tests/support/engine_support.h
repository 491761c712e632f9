// Test support for the database engine: the built stand-in library, its call
// log, and the current directory and environment that the loader reads.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "harness.h"

namespace testing_support {

inline std::string StandinEnginePath() { return BuildDir() + "engine_standin\\IDAPI32.DLL"; }

// Copies the stand-in into `dir` as IDAPI32.DLL.
inline void InstallStandin(const std::string& dir)
{
    WriteFileBytes(dir + "IDAPI32.DLL", ReadFileBytes(StandinEnginePath()));
}

// Sets an environment variable of this process (inherited by the programs it
// starts) for the lifetime of the object.
class EnvironmentScope {
public:
    EnvironmentScope(const char* name, const std::string& value) : m_name(name)
    {
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~EnvironmentScope() { SetEnvironmentVariableA(m_name, nullptr); }
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

private:
    const char* m_name;
};

// Makes `dir` the current directory for the lifetime of the object.
class CurrentDirScope {
public:
    explicit CurrentDirScope(const std::string& dir)
    {
        char old[MAX_PATH + 1] = {};
        GetCurrentDirectoryA(MAX_PATH, old);
        m_old = old;
        SetCurrentDirectoryA(dir.c_str());
    }
    ~CurrentDirScope() { SetCurrentDirectoryA(m_old.c_str()); }
    CurrentDirScope(const CurrentDirScope&) = delete;
    CurrentDirScope& operator=(const CurrentDirScope&) = delete;

private:
    std::string m_old;
};

// The lines of the stand-in's call log (empty when there is none).
inline std::vector<std::string> ReadCallLog(const std::string& path)
{
    std::vector<std::string> lines;
    if (!FileExists(path)) return lines;
    std::string text = ReadFileBytes(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace testing_support
