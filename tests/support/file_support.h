// Test support for file updates: a file held open by another process, the
// system's list of reboot-time renames, and file times.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/handles.h"

namespace testing_support {

// Another process (the hold_file fixture) holds the file open without
// sharing from construction to destruction. Creates the file when missing.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    void Release();

private:
    UniqueKernelHandle m_process;
    UniqueKernelHandle m_release;
};

// The reboot-time renames the system holds (NT family): pairs of source and
// target, "" as target meaning deletion, as the system stores them
// ("\??\C:\dir\file", "!" before a replacing target).
struct PendingRename {
    std::string Source;
    std::string Target;
};
std::vector<PendingRename> PendingRenames();

// Removes, on destruction, every pending rename that mentions the text
// (typically a test's own temporary directory), so a later start of the
// prefix does not carry them out.
class PendingRenameCleanup {
public:
    explicit PendingRenameCleanup(std::string mentioning) : m_mentioning(std::move(mentioning)) {}
    ~PendingRenameCleanup();
    PendingRenameCleanup(const PendingRenameCleanup&) = delete;
    PendingRenameCleanup& operator=(const PendingRenameCleanup&) = delete;

private:
    std::string m_mentioning;
};

// Local time as FILETIME for a day of 2020 plus milliseconds (and ticks of
// 100 ns), so tests can place two files a chosen distance apart.
FILETIME LocalStamp(int day, int64_t milliseconds = 0, int64_t extraTicks = 0);

// True when the text contains the other, ignoring ASCII case.
bool ContainsNoCase(const std::string& text, const std::string& part);

// The file name part of a path (after the last backslash).
std::string LeafName(const std::string& path);

// The 8.3 form of an existing path, as the system gives it.
std::string ShortPathOf(const std::string& path);

// Waits until no process of that exe name (unique to the test) runs any more,
// up to the timeout. False on timeout.
bool WaitForProcessesNamed(const std::string& exeName, DWORD timeoutMs);

// Everything below a directory: relative names with their bytes, size,
// attributes and last-write time, so that any change to it shows.
std::map<std::string, std::string> SnapshotFiles(const std::string& dir, const std::string& relative = "");

// Every key and value below a registry key, with types and data.
std::map<std::string, std::string> SnapshotRegistry(HKEY root, const std::string& path);

}  // namespace testing_support
