#include "core/disk_files.h"

#include "core/ansi_text.h"
#include "core/handles.h"
#include "core/run_state.h"

bool IsDeviceName(const std::string& path)
{
    size_t start = path.find_last_of("\\/");
    start = start == std::string::npos ? 0 : start + 1;
    // "C:aux" names the device too: the drive goes first.
    if (start == 0 && path.size() >= 2 && path[1] == ':') start = 2;
    size_t end = path.find_first_of(".:", start);
    if (end == std::string::npos) end = path.size();
    while (end > start && path[end - 1] == ' ') --end;
    std::string stem;
    for (size_t i = start; i < end; ++i) stem += UpperAscii(path[i]);
    if (stem == "AUX" || stem == "CON" || stem == "NUL" || stem == "PRN" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

bool IsDiskFile(HANDLE file)
{
    return GetFileType(file) == FILE_TYPE_DISK;
}

bool MayOpenAsFile(const std::string& path)
{
    if (IsDeviceName(path)) return false;
    // No access asked for: opening this way neither waits for a device nor
    // disturbs another program that holds the file.
    UniqueFile file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return true;  // missing or not to be opened now: the operation that follows reports it
    return IsDiskFile(file.Get());
}

bool MayOpenAsFileOnce(const std::string& path)
{
    std::string key = PathKey(path);
    if (Run.DiskFiles.count(key)) return true;
    if (!MayOpenAsFile(path)) return false;
    Run.DiskFiles.insert(key);
    return true;
}

namespace {

// Times and attributes in one question; a system without the call (before
// Vista) answers all of it through GetFileInformationByHandle.
using TGetInfoEx = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

struct TBasicInfo {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    DWORD FileAttributes;
};
constexpr int FileBasicInfoClass = 0;

TGetInfoEx InfoEx()
{
    // kernel32 stays loaded for the life of the process: no owner is needed.
    static const TGetInfoEx function = reinterpret_cast<TGetInfoEx>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx"));
    return function;
}

}  // namespace

bool OpenFileFacts(HANDLE file, TOpenFileFacts& facts, bool attributes)
{
    TGetInfoEx infoEx = attributes ? InfoEx() : nullptr;
    if (attributes && !infoEx) {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file, &info)) return false;
        facts.Size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        facts.WriteTime = info.ftLastWriteTime;
        facts.Attributes = info.dwFileAttributes;
        return true;
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length)) return false;
    facts.Size = length.QuadPart;
    if (!infoEx) return GetFileTime(file, nullptr, nullptr, &facts.WriteTime) != FALSE;
    TBasicInfo basic{};
    if (!infoEx(file, FileBasicInfoClass, &basic, sizeof basic)) return false;
    facts.WriteTime.dwLowDateTime = basic.LastWriteTime.LowPart;
    facts.WriteTime.dwHighDateTime = static_cast<DWORD>(basic.LastWriteTime.HighPart);
    facts.Attributes = basic.FileAttributes;
    return true;
}

bool SameFile(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        // No access asked for: any file, held open by anyone, can be told.
        UniqueFile file(CreateFileA(paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file || !GetFileInformationByHandle(file.Get(), &info[i])) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}
