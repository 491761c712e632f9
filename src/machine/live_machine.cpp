#include "machine/live_machine.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "core/ansi_text.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/errors.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "engine/engine.h"
#include "machine/file_version.h"

namespace {

// Registry values and INI values are read into this many bytes, as the run
// has always read them.
constexpr DWORD StoredValueBufferSize = 260;
constexpr DWORD TextReadChunk = 64 * 1024;

// An empty key path names no root and no subkey: the system rejects the calls.
const char* SubKeyArgument(HKEY root, const std::string& subKey)
{
    return root ? subKey.c_str() : nullptr;
}

}  // namespace

std::string RegistryKeyId(HKEY root, const std::string& subKey)
{
    std::string path = subKey;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return std::to_string(reinterpret_cast<uintptr_t>(root)) + "\\" + UpperAnsi(path);
}

TEntry TLiveMachine::Entry(const std::string& path)
{
    TDirEntry found;
    if (!LookUpEntry(path, TListingUse::WhenRepeated, found)) return {};
    return {true, found.Attributes, found.Size, found.WriteTime};
}

DWORD TLiveMachine::Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

std::vector<TListedFile> TLiveMachine::Matches(const std::string& pattern, bool withHiddenAndSystem, bool fromSource)
{
    std::vector<TListedFile> matches;
    // Nothing to walk, whatever the reason: the callers report it.
    TFoundEntries found = FindEntries(pattern, fromSource ? TListingUse::Always : TListingUse::IfListed);
    for (const TDirEntry& entry : found.Entries) {
        if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!withHiddenAndSystem && (entry.Attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) continue;
        matches.push_back({entry.Name, entry.Size, entry.WriteTime, entry.Attributes});
    }
    return matches;
}

std::string TLiveMachine::Version(const std::string& path)
{
    return GetFileVersionText(path);
}

std::vector<std::string> TLiveMachine::Contents(const std::string& directory)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA((directory + "\\*").c_str(), &data));
    if (!find) return names;  // nothing listed: an empty directory, as far as can be told
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find.Get(), &data));
    return names;
}

DWORD TLiveMachine::WriteProblem(const std::string& path)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : GetLastError();
}

bool TLiveMachine::MayOpenAsFile(const std::string& path, bool once)
{
    return once ? MayOpenAsFileOnce(path) : ::MayOpenAsFile(path);
}

std::string TLiveMachine::ContentPath(const std::string& path)
{
    return path;
}

HKEY TLiveMachine::OpenKey(HKEY root, const std::string& subKey, LONG& code)
{
    std::string id = RegistryKeyId(root, subKey);
    auto found = m_keys.find(id);
    if (found != m_keys.end()) {
        code = ERROR_SUCCESS;
        return found->second.Get();
    }
    UniqueHKey key;
    code = RegOpenKeyExA(root, SubKeyArgument(root, subKey), 0, KEY_READ, key.Put());
    if (code != ERROR_SUCCESS) {
        key.Release();  // never close what a failed call may have left there
        return nullptr;
    }
    return (m_keys[id] = std::move(key)).Get();
}

TKeyState TLiveMachine::RegistryKey(HKEY root, const std::string& subKey, bool withSubKeys)
{
    TKeyState state;
    LONG code = ERROR_SUCCESS;
    HKEY key = OpenKey(root, subKey, code);
    state.Exists = key != nullptr;
    state.OpenError = static_cast<int32_t>(code);
    DWORD subKeys = 0;
    if (key && withSubKeys &&
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS)
        state.HasSubKeys = subKeys > 0;
    return state;
}

TStoredValue TLiveMachine::RegistryValue(HKEY root, const std::string& subKey, const std::string& name)
{
    TStoredValue stored;
    LONG code = ERROR_SUCCESS;
    HKEY key = OpenKey(root, subKey, code);
    if (!key) return stored;
    BYTE data[StoredValueBufferSize] = {};
    DWORD size = StoredValueBufferSize;
    // Any failure, a value too long for the buffer included, means "absent".
    if (RegQueryValueExA(key, name.c_str(), nullptr, &stored.Type, data, &size) != ERROR_SUCCESS) return stored;
    stored.Present = true;
    stored.Bytes.assign(reinterpret_cast<const char*>(data), size);
    return stored;
}

TIniRead TLiveMachine::IniValue(const std::string& file, const std::string& section, const std::string& key)
{
    auto cached = m_iniFiles.find(file);
    if (cached == m_iniFiles.end()) {
        cached = m_iniFiles.emplace(file, TIniFile{}).first;
        cached->second.Status = ReadIniFile(file, cached->second.Image);
    }
    if (cached->second.Status == TIniFileRead::Missing) return {};
    if (cached->second.Status == TIniFileRead::Read) {
        std::optional<TIniRead> read = LookUpIniValue(cached->second.Image, section, key);
        if (read) return *read;
    }
    // Zeroed, because a cut key list is not always NUL-terminated.
    char buffer[StoredValueBufferSize] = {};
    DWORD length = GetPrivateProfileStringA(section.c_str(), key.empty() ? nullptr : key.c_str(), "", buffer,
                                            sizeof buffer, file.c_str());
    return {length > 0, buffer};  // for a key list: its first name
}

TTextRead TLiveMachine::TextFile(const std::string& path)
{
    TTextRead read;
    if (!IsFilePath(path)) return read;
    // Others may read the file while it is read here, but nobody may write to it.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        read.Status = TTextRead::OpenFailed;
        read.Code = GetLastError();
        return read;
    }
    // A pipe or device behind the name would keep the read waiting.
    if (!IsDiskFile(file.Get())) {
        read.Status = TTextRead::NotADiskFile;
        return read;
    }
    read.Status = TTextRead::Read;
    std::vector<char> chunk(TextReadChunk);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), chunk.data(), TextReadChunk, &got, nullptr)) throw IoError(GetLastError());
        if (got == 0) break;
        read.Bytes.append(chunk.data(), got);
    }
    return read;
}

TAliasLookup TLiveMachine::Alias(const std::string& oemName)
{
    TAliasLookup lookup;
    hDBICur cursor = nullptr;
    std::string failure = EngineFailureText(DbiOpenDatabaseList(&cursor));
    if (!failure.empty()) {
        lookup.Failures.push_back(failure);
        return lookup;
    }
    std::vector<char> record(DbiRecordBufferSize);
    // Any result but a record ends the search; the end of the list is the usual one.
    while (!lookup.Found) {
        std::fill(record.begin(), record.end(), '\0');
        if (DbiGetNextRecord(cursor, DbiNoLock, record.data(), nullptr) != DBIERR_NONE) break;
        lookup.Found = AliasRecordMatches(record.data(), oemName);
    }
    if (lookup.Found) {
        const char* type = record.data() + DbiAliasNameField;
        lookup.DriverType.assign(type, strnlen(type, DbiDriverTypeField));
        const char* params = type + DbiDriverTypeField;
        lookup.Params.assign(params, strnlen(params, DbiRecordBufferSize - DbiAliasNameField - DbiDriverTypeField));
    }
    failure = EngineFailureText(DbiCloseCursor(&cursor));
    if (!failure.empty()) lookup.Failures.push_back(failure);
    return lookup;
}

void TLiveMachine::Made(const TChange& change)
{
    // Whatever the change, an INI file read before may not hold what it held:
    // a copy or a text line may have rewritten it, an OLE server may have
    // written anything.
    m_iniFiles.clear();
    if (change.Kind != TChangeKind::RegistryKey) return;
    // A key made or removed: a handle to it or below it is stale.
    std::string id = RegistryKeyId(change.Root, change.SubKey);
    for (auto at = m_keys.begin(); at != m_keys.end();) {
        bool below = at->first.size() > id.size() && at->first.compare(0, id.size(), id) == 0 &&
                     at->first[id.size()] == '\\';
        at = at->first == id || below ? m_keys.erase(at) : std::next(at);
    }
}

void TLiveMachine::HoldToRelease(const std::string& directory, std::shared_ptr<const TRelease> release)
{
    m_releases[PathKey(directory)] = std::move(release);
}

const TRelease* TLiveMachine::ReleaseOf(const std::string& sourcePath, const TReleaseEntry*& entry)
{
    entry = nullptr;
    if (m_releases.empty()) return nullptr;
    auto found = m_releases.find(PathKey(DirectoryPart(sourcePath)));
    if (found == m_releases.end()) return nullptr;
    entry = FindReleaseEntry(*found->second, FileNamePart(sourcePath));
    return found->second.get();
}
