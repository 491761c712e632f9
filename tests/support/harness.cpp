#include "harness.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/handles.h"
#include "run_record.h"

namespace testing_support {

namespace {

[[noreturn]] void Fail(const std::string& what, DWORD error)
{
    throw std::runtime_error(what + " failed, error " + std::to_string(error));
}

// Call with the result of the call just made: its error is read before
// anything else (the texts are built only then).
void Check(bool ok, const char* action, const std::string& subject = std::string())
{
    if (ok) return;
    DWORD error = GetLastError();
    Fail(subject.empty() ? std::string(action) : std::string(action) + " " + subject, error);
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
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    Check(static_cast<bool>(file), "open", path);
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Check(static_cast<bool>(file), "create", path);
    DWORD written = 0;
    Check(bytes.empty() || WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr),
          "write", path);
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
    UniqueFind find(FindFirstFileA((dir + "\\*").c_str(), &data));
    if (find) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = dir + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find.Get(), &data));
        find.Reset();
    }
    RemoveDirectoryA(dir.c_str());
}

void SetLastWriteTime(const std::string& path, const FILETIME& localTime)
{
    FILETIME utc;
    LocalFileTimeToFileTime(&localTime, &utc);
    UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    Check(static_cast<bool>(file), "open", path);
    Check(SetFileTime(file.Get(), nullptr, nullptr, &utc), "set time of", path);
}

FILETIME LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    Check(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data), "attributes of", path);
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
    Check(CreateDirectoryA(m_path.c_str(), nullptr), "create", m_path);
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
    UniqueKernelHandle outRead, outWrite, inRead, inWrite;
    Check(CreatePipe(outRead.Put(), outWrite.Put(), &inherit, 0), "output pipe");
    Check(CreatePipe(inRead.Put(), inWrite.Put(), &inherit, 0), "input pipe");
    // Our own ends stay with us; the child gets only its ends.
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWrite.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.Get();
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = outWrite.Get();
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                  const_cast<char*>(environment), currentDir.empty() ? nullptr : currentDir.c_str(),
                                  &startup, &info);
    Check(created, "start", commandLine);
    UniqueKernelHandle thread(info.hThread);
    UniqueKernelHandle process(info.hProcess);
    // The child's ends are closed here, so that the output ends when the child does.
    outWrite.Reset();
    inRead.Reset();

    RunResult result;
    std::atomic<bool> readerDone{false};
    std::atomic<size_t> consumed{0};
    HANDLE output = outRead.Get();
    std::thread reader([&result, &readerDone, &consumed, output] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(output, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            result.Output.append(buffer, read);
            consumed += read;
        }
        readerDone = true;
    });
    DWORD written = 0;
    if (!input.empty()) WriteFile(inWrite.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    inWrite.Reset();

    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        result.TimedOut = true;
        TerminateProcess(process.Get(), 99);
        WaitForSingleObject(process.Get(), 5000);
    }
    GetExitCodeProcess(process.Get(), &result.ExitCode);
    // What the program wrote is in the pipe when it has ended. A process it
    // started (the application, a restarted copy) may hold the pipe open and
    // write on, so the reader is stopped once it has taken what was there at
    // the end — however long a loaded machine keeps it from running.
    DWORD pending = 0;
    if (!PeekNamedPipe(output, nullptr, 0, nullptr, &pending, nullptr)) pending = 0;
    size_t target = consumed + pending;
    for (int i = 0; i < 1000 && !readerDone && consumed < target; ++i) Sleep(10);
    if (!readerDone) CancelIoEx(output, nullptr);
    outRead.Reset();
    reader.join();
    RecordRun(commandLine, result);
    return result;
}

TestRegKey::TestRegKey() : m_subKey("Software\\VantorelTests\\" + NewGuid())
{
    RegDeleteTreeA(HKEY_CURRENT_USER, m_subKey.c_str());
    // Created now, lasting: a volatile key a test makes below it must not
    // make the shared parent volatile for the other tests.
    UniqueHKey key;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, m_subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ, nullptr, key.Put(), nullptr);
    if (result != ERROR_SUCCESS) Fail("create key " + m_subKey, static_cast<DWORD>(result));
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
    UniqueHKey key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &value.Type, nullptr, &size) == ERROR_SUCCESS) {
        value.Data.resize(size);
        if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &value.Type,
                             reinterpret_cast<BYTE*>(value.Data.data()), &size) == ERROR_SUCCESS) {
            value.Data.resize(size);
            value.Exists = true;
        }
    }
    return value;
}

bool RegKeyExists(HKEY root, const std::string& subKey)
{
    UniqueHKey key;
    return RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

void WriteRegValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                   const std::string& data)
{
    UniqueHKey key;
    LONG result = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    if (result != ERROR_SUCCESS) Fail("create key " + subKey, static_cast<DWORD>(result));
    result = RegSetValueExA(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size()));
    if (result != ERROR_SUCCESS) Fail("set value " + name, static_cast<DWORD>(result));
}

}  // namespace testing_support
