#include "actions/reboot_actions.h"

#include <windows.h>

#include "core/dir_listing.h"
#include "core/run_state.h"

namespace {

constexpr const char* RebootListName = "wininit.ini";
constexpr const char* RebootListSection = "Rename";
constexpr const char* RebootListDelete = "NUL";

// Paths in the 9x reboot list are read before long names exist: short names.
std::string ShortPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    // A path without a short form (missing, or too long) is written as it is.
    if (length == 0 || length >= MAX_PATH) return path;
    return std::string(buffer, length);
}

// In the directory of the windir constant as it stands now.
std::string RebootListPath()
{
    std::string windir = WinDirConstant();
    if (!windir.empty() && windir.back() != '\\') windir += '\\';
    return windir + RebootListName;
}

TFileResult WriteRebootList(const std::string& key, const std::string& value)
{
    std::string list = RebootListPath();
    if (!WritePrivateProfileStringA(RebootListSection, key.c_str(), value.c_str(), list.c_str()))
        return LastFileFailure();
    NoteFileChanged(list);
    return {};
}

}  // namespace

TFileResult ScheduleDelete(const std::string& path)
{
    if (Run.NtFamily) {
        if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return LastFileFailure();
        return {};
    }
    return WriteRebootList(RebootListDelete, ShortPath(path));
}

TFileResult ScheduleReplace(const std::string& target, const std::string& staged)
{
    if (Run.NtFamily) {
        if (!MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return LastFileFailure();
        if (!MoveFileExA(staged.c_str(), target.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT)) return LastFileFailure();
        return {};
    }
    // The deletion line comes first, so that the rename finds its place free.
    std::string shortTarget = ShortPath(target);
    TFileResult result = WriteRebootList(RebootListDelete, shortTarget);
    if (result.Ok) result = WriteRebootList(shortTarget, ShortPath(staged));
    return result;
}
