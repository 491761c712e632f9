#include "release/taken_release.h"

#include <windows.h>

#include <vector>

#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "release/manifest.h"

namespace {

constexpr const char* HeaderLine = "Vantorel release taken 1";
// A record is a few dozen bytes; anything much larger is not one.
constexpr DWORD MaxRecordBytes = 4096;

// The lines of the text, without their ends.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// "release <number>" as this program writes it.
bool ParseReleaseLine(const std::string& line, uint64_t& number)
{
    const std::string word = "release ";
    if (line.compare(0, word.size(), word) != 0) return false;
    std::string digits = line.substr(word.size());
    if (digits.empty() || digits.size() > 15 || digits[0] == '0') return false;
    number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    return number <= MaxReleaseNumber;
}

TTakenRead Damaged(const std::string& path, std::string& problem)
{
    problem = FormatMsg(MsgTakenDamaged, path);
    return TTakenRead::Damaged;
}

}  // namespace

std::string TakenReleasePath(const std::string& exeDir, const std::string& scriptName)
{
    std::string name = scriptName;
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of("\\/:");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
    return PathFrom(exeDir, name) + ".taken";
}

TTakenRead ReadTakenRelease(const std::string& path, uint64_t& number, std::string& problem)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return TTakenRead::None;
        problem = FormatMsg(MsgTakenUnreadable, path, SystemMessageOrCode(static_cast<int32_t>(error)));
        return TTakenRead::Damaged;
    }
    std::string bytes(MaxRecordBytes + 1, '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        DWORD error = GetLastError();
        problem = FormatMsg(MsgTakenUnreadable, path, SystemMessageOrCode(static_cast<int32_t>(error)));
        return TTakenRead::Damaged;
    }
    if (read > MaxRecordBytes) return Damaged(path, problem);
    bytes.resize(read);
    std::vector<std::string> lines = Lines(bytes);
    if (lines.size() < 2 || lines[0] != HeaderLine || !ParseReleaseLine(lines[1], number)) return Damaged(path, problem);
    return TTakenRead::Read;
}

bool WriteTakenRelease(const std::string& path, uint64_t number)
{
    std::string text = std::string(HeaderLine) + "\r\nrelease " + std::to_string(number) + "\r\n";
    std::string pending = path + ".new";
    {
        UniqueFile file(
            CreateFileA(pending.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        bool ok = WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size() && FlushFileBuffers(file.Get());
        if (!ok || !CloseHandle(file.Release())) {
            DeleteFileA(pending.c_str());  // what stays is written over by the next run
            return false;
        }
    }
    BOOL moved = FALSE;
    if (Run.NtFamily) {
        moved = MoveFileExA(pending.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    } else {
        // The 9x family has no replacing rename: the old record goes first
        // (one that is not there is what is wanted; the rename tells the rest).
        DeleteFileA(path.c_str());
        moved = MoveFileA(pending.c_str(), path.c_str());
    }
    if (!moved) DeleteFileA(pending.c_str());  // the old record stays, and the next run that ends well writes it
    return moved != FALSE;
}
