// Test support: temporary program directories holding a copy of the built
// program, runs of it with redirected standard streams, and registry keys of
// the tests' own. Everything a test creates is removed when it ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A Windows path for a path the build knows (Unix paths become Z:\...).
std::string NativePath(const std::string& path);
// The built program, the build directory and the source tree.
std::string BuiltProgramPath();
std::string BuildDir();
std::string SourceDir();
// A fixture built into the build directory's fixtures folder.
std::string FixturePath(const std::string& fileName);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
void RemoveTree(const std::string& path);
// Sets the last-write time, given in local time as FILETIME ticks.
void SetLastWriteTime(const std::string& path, const FILETIME& time);
FILETIME LastWriteTime(const std::string& path);

// A fresh empty directory under the temporary directory; removed with all it
// holds when the object ends. Path() ends with a backslash.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + relative; }

private:
    std::string m_path;
};

// A step line as the program writes it to a file or pipe: the text, blanks up
// to column 44, then "[" + status + "]". Status is "  OK  " or " FAILED ".
std::string StepLine(const std::string& text, const std::string& status);
inline std::string Ok(const std::string& text) { return StepLine(text, "  OK  "); }
inline std::string Failed(const std::string& text) { return StepLine(text, " FAILED "); }
// The value line of a registry, INI or text entry completed with "  OK  ".
inline std::string ValueOk(const std::string& name) { return Ok("       value \"" + name + "\""); }

// Text split at line breaks (CR LF or LF), without them.
std::vector<std::string> SplitLines(const std::string& text);

// Script text: the lines joined with CR LF line ends.
std::string Script(const std::vector<std::string>& lines);

struct RunResult {
    DWORD ExitCode = 0;
    std::string Output;  // standard output, bytes as written (OEM code page)
    bool TimedOut = false;
    // Output split at line breaks (CR LF or LF), without them.
    std::vector<std::string> Lines() const;
    // True when some line equals the text.
    bool HasLine(const std::string& line) const;
    // The line that starts with the text, or empty.
    std::string LineStartingWith(const std::string& prefix) const;
};

// The lines after the "=> Processing <script>..." line: what the script's
// sections printed.
std::vector<std::string> ActionLines(const RunResult& run, const std::string& script = "s.ini");

// A program directory: a temporary directory with a copy of the built program
// (under the given name) in it.
class ProgramDir {
public:
    explicit ProgramDir(const std::string& exeName = "vantorel.exe");
    const std::string& Path() const { return m_dir.Path(); }
    std::string operator/(const std::string& relative) const { return m_dir / relative; }
    const std::string& ExeName() const { return m_exeName; }
    // Writes a file relative to the program directory.
    void Write(const std::string& relative, const std::string& bytes) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // Runs the program with the command-line arguments (appended as written),
    // standard input fed with `input` and then closed, standard output
    // captured. Waits for the program itself to end, not for end of output
    // (a launched application may keep the output open).
    RunResult Start(const std::string& arguments, const std::string& input = "",
                    DWORD timeoutMs = 60000) const;

private:
    TempDir m_dir;
    std::string m_exeName;
};

// Runs any command line the same way.
RunResult RunProcess(const std::string& commandLine, const std::string& currentDir, const std::string& input,
                     DWORD timeoutMs, const char* environment = nullptr);

// A key HKEY_CURRENT_USER\Software\VantorelTests\{GUID} of the test's own,
// deleted with everything below it when the object ends.
class TestRegKey {
public:
    TestRegKey();
    ~TestRegKey();
    TestRegKey(const TestRegKey&) = delete;
    TestRegKey& operator=(const TestRegKey&) = delete;
    // "HKCU\Software\VantorelTests\{GUID}"
    std::string ScriptPath() const { return "HKCU\\" + m_subKey; }
    // "Software\VantorelTests\{GUID}" below HKEY_CURRENT_USER
    const std::string& SubKey() const { return m_subKey; }

private:
    std::string m_subKey;
};

struct RegValue {
    bool Exists = false;
    DWORD Type = 0;
    std::string Data;  // raw bytes
};
RegValue ReadRegValue(HKEY root, const std::string& subKey, const std::string& name);
bool RegKeyExists(HKEY root, const std::string& subKey);
void WriteRegValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                   const std::string& data);

std::string NewGuid();

}  // namespace testing_support
