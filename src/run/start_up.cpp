#include "run/start_up.h"

#include <windows.h>

#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/run_state.h"

namespace {

constexpr const char* CurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* WineKey = "Software\\Wine";
constexpr DWORD WorkBufferSize = 260;

std::string QueryDirectory(UINT(WINAPI* query)(LPSTR, UINT))
{
    char buffer[WorkBufferSize] = {};
    UINT length = query(buffer, WorkBufferSize);
    return length < WorkBufferSize ? std::string(buffer, length) : std::string();
}

// Reads a string value; a failure raises an operating-system error.
std::string ReadRegistryText(HKEY key, const char* name)
{
    char buffer[WorkBufferSize] = {};
    DWORD size = WorkBufferSize;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS) RaiseOsError(static_cast<DWORD>(result));
    buffer[WorkBufferSize - 1] = '\0';
    return buffer;
}

UniqueHKey OpenKeyForReading(HKEY root, const char* path)
{
    UniqueHKey key;
    LONG result = RegOpenKeyExA(root, path, 0, KEY_READ, key.Put());
    if (result != ERROR_SUCCESS) RaiseOsError(static_cast<DWORD>(result));
    return key;
}

bool IsNtFamily()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return true;  // only very old systems fail this; they are not NT
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

void ReadWorkstationFacts()
{
    char buffer[WorkBufferSize] = {};
    DWORD size = WorkBufferSize;
    // An unknown name stays empty; the dispatcher then skips the per-computer sections.
    if (GetComputerNameA(buffer, &size)) Run.ComputerName.assign(buffer, size);
    {
        UniqueHKey wine;
        Run.UnderWine = RegOpenKeyExA(HKEY_CURRENT_USER, WineKey, 0, KEY_READ, wine.Put()) == ERROR_SUCCESS;
    }
    Run.NtFamily = IsNtFamily();
}

void BuildBuiltInConstants()
{
    ConstTable.assign(BuiltInSlotCount, TConst{});
    auto set = [](size_t slot, unsigned nameId, std::string value) {
        ConstTable[slot] = TConst{Msg(nameId), std::move(value)};
    };
    std::string windir = QueryDirectory(GetWindowsDirectoryA);
    std::string winsysdir = QueryDirectory(GetSystemDirectoryA);
    set(SlotWinDir, WordWinDir, windir);
    set(SlotWinSysDir, WordWinSysDir, winsysdir);
    set(SlotEtcDir, WordEtcDir, Run.NtFamily ? winsysdir + "\\drivers\\etc" : windir);
    char temp[WorkBufferSize] = {};
    DWORD tempLength = GetTempPathA(WorkBufferSize, temp);
    set(SlotTempDir, WordTempDir, tempLength < WorkBufferSize ? std::string(temp, tempLength) : std::string());

    UniqueHKey current = OpenKeyForReading(HKEY_LOCAL_MACHINE, CurrentVersionKey);
    set(SlotPfDir, WordPfDir, ReadRegistryText(current.Get(), "ProgramFilesDir"));
    set(SlotCfDir, WordCfDir, ReadRegistryText(current.Get(), "CommonFilesDir"));
    // A system without a media directory keeps the slot nameless and empty.
    if (RegQueryValueExA(current.Get(), "MediaPath", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        set(SlotMediaDir, WordMediaDir, ReadRegistryText(current.Get(), "MediaPath"));
    UniqueHKey setup = OpenKeyForReading(current.Get(), "Setup");
    set(SlotBootDir, WordBootDir, ReadRegistryText(setup.Get(), "BootDir"));
    ConstTable[SlotSrcDir].Name = Msg(WordSrcDir);
}
