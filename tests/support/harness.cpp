#include "harness.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "run_record.h"

namespace testing_support {

namespace {

void Check(bool ok, const std::string& what)
{
    if (!ok) throw std::runtime_error(what + " failed, error " + std::to_string(GetLastError()));
}

}  // namespace

std::string NativePath(const std::string& path)
{
    if (path.empty() || path[0] != '/') return path;
    std::string result = "Z:" + path;
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

std::string BuiltProgramPath()
{
    return NativePath(VANTOREL_EXE_PATH);
}

std::string BuildDir()
{
    return NativePath(VANTOREL_BUILD_DIR) + "\\";
}

std::string SourceDir()
{
    return NativePath(VANTOREL_SOURCE_DIR) + "\\";
}

std::string FixturePath(const std::string& fileName)
{
    return BuildDir() + "fixtures\\" + fileName;
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    Check(file != INVALID_HANDLE_VALUE, "open " + path);
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(file != INVALID_HANDLE_VALUE, "create " + path);
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    Check(ok, "write " + path);
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path)
{
    std::string dir = path;
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = dir + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

void SetLastWriteTime(const std::string& path, const FILETIME& localTime)
{
    FILETIME utc;
    LocalFileTimeToFileTime(&localTime, &utc);
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    Check(file != INVALID_HANDLE_VALUE, "open " + path);
    BOOL ok = SetFileTime(file, nullptr, nullptr, &utc);
    CloseHandle(file);
    Check(ok, "set time of " + path);
}

FILETIME LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    Check(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data), "attributes of " + path);
    FILETIME local;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    return local;
}

std::string NewGuid()
{
    GUID guid;
    CoCreateGuid(&guid);
    char text[64];
    snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    NoteMadeUpText(text, "GUID");
    // Tests cut unique file names from the first eight digits.
    NoteMadeUpText(std::string(text + 1, 8), "ID");
    return text;
}

TempDir::TempDir()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    m_path = std::string(temp) + "vantorel-test-" + NewGuid() + "\\";
    NoteMadeUpText(m_path.substr(0, m_path.size() - 1), "TEMP");
    Check(CreateDirectoryA(m_path.c_str(), nullptr), "create " + m_path);
}

TempDir::~TempDir()
{
    RemoveTree(m_path);
}

std::string StepLine(const std::string& text, const std::string& status)
{
    std::string line = text;
    if (line.size() < 44) line.append(44 - line.size(), ' ');
    return line + "[" + status + "]";
}

std::string Script(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::vector<std::string> ActionLines(const RunResult& run, const std::string& script)
{
    std::vector<std::string> lines = run.Lines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == "=> Processing " + script + "...")
            return std::vector<std::string>(lines.begin() + static_cast<long>(i) + 1, lines.end());
    ADD_FAILURE() << "no processing line in:\n" << run.Output;
    return {};
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            if (!current.empty() && current.back() == '\r') current.pop_back();
            lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

std::vector<std::string> RunResult::Lines() const
{
    return SplitLines(Output);
}

bool RunResult::HasLine(const std::string& line) const
{
    for (const auto& l : Lines())
        if (l == line) return true;
    return false;
}

std::string RunResult::LineStartingWith(const std::string& prefix) const
{
    for (const auto& l : Lines())
        if (l.rfind(prefix, 0) == 0) return l;
    return {};
}

ProgramDir::ProgramDir(const std::string& exeName) : m_exeName(exeName)
{
    Check(CopyFileA(BuiltProgramPath().c_str(), (m_dir / exeName).c_str(), FALSE), "copy the program");
}

void ProgramDir::Write(const std::string& relative, const std::string& bytes) const
{
    WriteFileBytes(m_dir / relative, bytes);
}

std::string ProgramDir::Read(const std::string& relative) const
{
    return ReadFileBytes(m_dir / relative);
}

bool ProgramDir::Exists(const std::string& relative) const
{
    return GetFileAttributesA((m_dir / relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

RunResult ProgramDir::Start(const std::string& arguments, const std::string& input, DWORD timeoutMs) const
{
    std::string commandLine = "\"" + (m_dir / m_exeName) + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    return RunProcess(commandLine, m_dir.Path(), input, timeoutMs);
}

RunResult RunProcess(const std::string& commandLine, const std::string& currentDir, const std::string& input,
                     DWORD timeoutMs, const char* environment)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite, inRead, inWrite;
    Check(CreatePipe(&outRead, &outWrite, &inherit, 0), "output pipe");
    Check(CreatePipe(&inRead, &inWrite, &inherit, 0), "input pipe");
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                  const_cast<char*>(environment), currentDir.empty() ? nullptr : currentDir.c_str(),
                                  &startup, &info);
    DWORD createError = GetLastError();
    CloseHandle(outWrite);
    CloseHandle(inRead);
    if (!created) {
        CloseHandle(outRead);
        CloseHandle(inWrite);
        SetLastError(createError);
        Check(false, "start " + commandLine);
    }
    CloseHandle(info.hThread);

    RunResult result;
    std::atomic<bool> readerDone{false};
    std::atomic<size_t> consumed{0};
    std::thread reader([&] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(outRead, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            result.Output.append(buffer, read);
            consumed += read;
        }
        readerDone = true;
    });
    DWORD written = 0;
    if (!input.empty()) WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(inWrite);

    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        result.TimedOut = true;
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, 5000);
    }
    GetExitCodeProcess(info.hProcess, &result.ExitCode);
    CloseHandle(info.hProcess);
    // What the program wrote is in the pipe when it has ended. A process it
    // started (the application, a restarted copy) may hold the pipe open and
    // write on, so the reader is stopped once it has taken what was there at
    // the end — however long a loaded machine keeps it from running.
    DWORD pending = 0;
    if (!PeekNamedPipe(outRead, nullptr, 0, nullptr, &pending, nullptr)) pending = 0;
    size_t target = consumed + pending;
    for (int i = 0; i < 1000 && !readerDone && consumed < target; ++i) Sleep(10);
    if (!readerDone) CancelIoEx(outRead, nullptr);
    CloseHandle(outRead);
    reader.join();
    RecordRun(commandLine, result);
    return result;
}

TestRegKey::TestRegKey() : m_subKey("Software\\VantorelTests\\" + NewGuid())
{
    RegDeleteTreeA(HKEY_CURRENT_USER, m_subKey.c_str());
}

TestRegKey::~TestRegKey()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, m_subKey.c_str());
    // The parent goes too when no other test holds a key below it.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VantorelTests");
}

RegValue ReadRegValue(HKEY root, const std::string& subKey, const std::string& name)
{
    RegValue value;
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.Type, nullptr, &size) == ERROR_SUCCESS) {
        value.Data.resize(size);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &value.Type,
                             reinterpret_cast<BYTE*>(value.Data.data()), &size) == ERROR_SUCCESS) {
            value.Data.resize(size);
            value.Exists = true;
        }
    }
    RegCloseKey(key);
    return value;
}

bool RegKeyExists(HKEY root, const std::string& subKey)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void WriteRegValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                   const std::string& data)
{
    HKEY key;
    Check(RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
              ERROR_SUCCESS,
          "create key " + subKey);
    LONG result = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    SetLastError(static_cast<DWORD>(result));
    Check(result == ERROR_SUCCESS, "set value " + name);
}

}  // namespace testing_support
