#include "actions/directory.h"

#include <windows.h>

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "script/expand.h"

namespace {

bool IsDirectory(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Length of the part of an absolute path that cannot be created: "C:\",
// "\\server\share\" or "\".
size_t RootLength(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':') return path.size() > 2 && IsSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t share = path.find_first_of("\\/", 2);
        if (share == std::string::npos) return path.size();
        size_t end = path.find_first_of("\\/", share + 1);
        return end == std::string::npos ? path.size() : end + 1;
    }
    return IsSeparator(path[0]) ? 1 : 0;
}

// Creates the directory and every missing directory above it. False with the
// system's error code of the level that could not be made.
bool CreateDirectories(const std::string& path, DWORD& error)
{
    size_t at = RootLength(path);
    while (at < path.size()) {
        size_t end = path.find_first_of("\\/", at);
        if (end == std::string::npos) end = path.size();
        if (end > at) {
            std::string level = path.substr(0, end);
            if (!IsDirectory(level) && !CreateDirectoryA(level.c_str(), nullptr)) {
                error = GetLastError();
                return false;
            }
        }
        at = end + 1;
    }
    return true;
}

void Fail(DWORD error)
{
    Run.LastErrorCode = static_cast<int32_t>(error);
    ReportError();
    FailRun();
}

}  // namespace

void RemoveOrRename(const std::string& name, const std::string& newName, char mode)
{
    std::string shown = ExpandConstants(name, ExpandPlain);
    // A name that expands to nothing names no directory (and would otherwise
    // mean the program's own directory).
    if (shown.empty()) return;
    std::string path = ExpandConstants(name, ExpandPath);
    bool exists = IsDirectory(path);
    switch (mode) {
    case 'I': {
        if (exists) return;
        ReportItem(FormatMsg(MsgItemLine, shown));
        DWORD error = 0;
        if (!CreateDirectories(path, error)) return Fail(error);
        ReportOk();
        return;
    }
    case 'D':
        if (!exists) return;
        ReportItem(FormatMsg(MsgItemLine, shown));
        if (!RemoveDirectoryA(path.c_str())) return Fail(GetLastError());
        ReportOk();
        return;
    case 'U': {
        if (!exists || newName.empty()) return;
        // A new name that expands to nothing is still tried, so that a rename
        // the script asks for fails where it can be seen instead of being skipped.
        ReportItem(FormatMsg(MsgRenameLine, shown, ExpandConstants(newName, ExpandPlain)));
        if (!MoveFileA(path.c_str(), ExpandConstants(newName, ExpandPath).c_str())) return Fail(GetLastError());
        ReportOk();
        return;
    }
    default:
        return;  // no other section acts on directories
    }
}
