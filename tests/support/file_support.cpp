#include "file_support.h"

#include <algorithm>
#include <stdexcept>

#include <tlhelp32.h>

#include "harness.h"

namespace testing_support {

namespace {

constexpr const char* SessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* PendingValue = "PendingFileRenameOperations";

std::vector<std::string> SplitMultiString(const std::string& data)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        parts.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    // The list ends with an empty string; a pair's empty target is kept.
    while (parts.size() % 2 != 0 && !parts.empty() && parts.back().empty()) parts.pop_back();
    return parts;
}

}  // namespace

HeldFile::HeldFile(const std::string& path)
{
    std::string id = NewGuid();
    std::string readyName = "VantorelTestReady" + id;
    std::string releaseName = "VantorelTestRelease" + id;
    UniqueKernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
    m_release.Reset(CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str()));
    if (!ready || !m_release) throw std::runtime_error("events for hold_file");
    std::string commandLine =
        "\"" + FixturePath("hold_file.exe") + "\" \"" + path + "\" " + readyName + " " + releaseName;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        DWORD error = GetLastError();
        throw std::runtime_error("start hold_file, error " + std::to_string(error));
    }
    UniqueKernelHandle thread(info.hThread);
    m_process.Reset(info.hProcess);
    HANDLE waits[] = {ready.Get(), m_process.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, 30000) != WAIT_OBJECT_0) {
        Release();
        throw std::runtime_error("hold_file did not take " + path);
    }
}

HeldFile::~HeldFile()
{
    Release();
}

void HeldFile::Release()
{
    if (m_release) {
        SetEvent(m_release.Get());
        if (m_process) WaitForSingleObject(m_process.Get(), 30000);
        m_release.Reset();
    }
    m_process.Reset();
}

std::vector<PendingRename> PendingRenames()
{
    std::vector<PendingRename> result;
    RegValue value = ReadRegValue(HKEY_LOCAL_MACHINE, SessionManagerKey, PendingValue);
    if (!value.Exists) return result;
    std::vector<std::string> parts = SplitMultiString(value.Data);
    for (size_t i = 0; i + 1 < parts.size(); i += 2) result.push_back({parts[i], parts[i + 1]});
    return result;
}

PendingRenameCleanup::~PendingRenameCleanup()
{
    std::string kept;
    bool removed = false;
    for (const PendingRename& rename : PendingRenames()) {
        if (ContainsNoCase(rename.Source, m_mentioning) || ContainsNoCase(rename.Target, m_mentioning)) {
            removed = true;
            continue;
        }
        kept += rename.Source + '\0' + rename.Target + '\0';
    }
    if (!removed) return;
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) return;
    if (kept.empty()) {
        RegDeleteValueA(key.Get(), PendingValue);
    } else {
        kept += '\0';
        RegSetValueExA(key.Get(), PendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size()));
    }
}

FILETIME LocalStamp(int day, int64_t milliseconds, int64_t extraTicks)
{
    SYSTEMTIME base{};
    base.wYear = 2020;
    base.wMonth = 1;
    base.wDay = 1;
    base.wHour = 12;
    FILETIME start;
    SystemTimeToFileTime(&base, &start);
    ULARGE_INTEGER ticks;
    ticks.LowPart = start.dwLowDateTime;
    ticks.HighPart = start.dwHighDateTime;
    ticks.QuadPart += static_cast<uint64_t>(day) * 864000000000ull + static_cast<uint64_t>(milliseconds) * 10000ull +
                      static_cast<uint64_t>(extraTicks);
    return {ticks.LowPart, ticks.HighPart};
}

bool ContainsNoCase(const std::string& text, const std::string& part)
{
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        return s;
    };
    return lower(text).find(lower(part)) != std::string::npos;
}

std::string LeafName(const std::string& path)
{
    std::string trimmed = path;
    while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    size_t slash = trimmed.find_last_of('\\');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

bool WaitForProcessesNamed(const std::string& exeName, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50)) {
        bool running = false;
        UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot && Process32First(snapshot.Get(), &entry); more;
             more = Process32Next(snapshot.Get(), &entry))
            running = running || ContainsNoCase(entry.szExeFile, exeName);
        if (!running) return true;
    }
    return false;
}

std::string ShortPathOf(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return path;
    return std::string(buffer, length);
}

// Everything below a directory: relative names with their bytes, size and
// last-write time, so that a plan that touched anything shows.
std::map<std::string, std::string> SnapshotFiles(const std::string& dir, const std::string& relative)
{
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA((dir + relative + "*").c_str(), &data));
    if (!find) return files;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = relative + name;
        std::string stamp = std::to_string(data.ftLastWriteTime.dwHighDateTime) + ":" +
                            std::to_string(data.ftLastWriteTime.dwLowDateTime) + ":" +
                            std::to_string(data.dwFileAttributes) + ":";
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            files[path + "\\"] = stamp;
            for (auto& [inner, state] : SnapshotFiles(dir, path + "\\")) files[inner] = state;
        } else {
            files[path] = stamp + ReadFileBytes(dir + path);
        }
    } while (FindNextFileA(find.Get(), &data));
    return files;
}

// Every key and value below a registry key, with types and data.
std::map<std::string, std::string> SnapshotRegistry(HKEY root, const std::string& path)
{
    std::map<std::string, std::string> entries;
    UniqueHKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return entries;
    entries[path] = "key";
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[1024];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key.Get(), i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        entries[path + "|" + name] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), dataSize);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key.Get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        for (auto& [inner, state] : SnapshotRegistry(root, path + "\\" + name)) entries[inner] = state;
    }
    return entries;
}

}  // namespace testing_support
