#include "machine/before_state.h"

#include <vector>

#include "core/handles.h"
#include "core/paths.h"

namespace {

// An empty key path names no root and no subkey: the system rejects the calls.
const char* SubKeyArgument(HKEY root, const std::string& subKey)
{
    return root ? subKey.c_str() : nullptr;
}

bool KeyThere(HKEY root, const std::string& subKey)
{
    UniqueHKey key;
    if (RegOpenKeyExA(root, SubKeyArgument(root, subKey), 0, KEY_READ, key.Put()) == ERROR_SUCCESS) return true;
    key.Release();  // never close what a failed call may have left there
    return false;
}

// The largest INI text read back whole; the profile functions give no size first.
constexpr DWORD WholeIniBuffer = 64 * 1024;

}  // namespace

TState WholeRegistryValue(HKEY root, const std::string& subKey, const std::string& name)
{
    TState state;
    state.Known = true;
    UniqueHKey key;
    if (RegOpenKeyExA(root, SubKeyArgument(root, subKey), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
        key.Release();
        return state;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &state.Type, nullptr, &size) != ERROR_SUCCESS) return state;
    std::vector<BYTE> data(size + 1);
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &state.Type, data.data(), &size) != ERROR_SUCCESS)
        return state;
    state.Present = true;
    state.Data.assign(reinterpret_cast<const char*>(data.data()), size);
    return state;
}

std::vector<std::pair<std::string, TState>> RegistryValues(HKEY root, const std::string& subKey)
{
    std::vector<std::pair<std::string, TState>> values;
    UniqueHKey key;
    if (RegOpenKeyExA(root, SubKeyArgument(root, subKey), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
        key.Release();
        return values;
    }
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameSize = sizeof name;
        if (RegEnumValueA(key.Get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        values.emplace_back(std::string(name, nameSize), WholeRegistryValue(root, subKey, std::string(name, nameSize)));
    }
    return values;
}

std::vector<std::string> MissingKeyLevels(HKEY root, const std::string& subKey)
{
    std::vector<std::string> levels;
    std::string path = subKey;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    while (!path.empty() && !KeyThere(root, path)) {
        levels.push_back(path);
        size_t slash = path.find_last_of('\\');
        path = slash == std::string::npos ? std::string() : path.substr(0, slash);
    }
    return levels;
}

std::vector<std::string> MissingDirectoryLevels(const std::string& path)
{
    std::vector<std::string> levels;
    std::string level = path;
    while (level.size() > 1 && (level.back() == '\\' || level.back() == '/')) level.pop_back();
    while (!level.empty() && GetFileAttributesA(level.c_str()) == INVALID_FILE_ATTRIBUTES) {
        levels.push_back(level);
        size_t slash = level.find_last_of("\\/");
        if (slash == std::string::npos || (slash == 2 && level[1] == ':')) break;
        level = level.substr(0, slash);
    }
    return levels;
}

TState WholeIniValue(const std::string& file, const std::string& section, const std::string& key)
{
    TState state;
    state.Known = true;
    std::vector<char> buffer(WholeIniBuffer, '\0');
    DWORD length = key.empty()
                       ? GetPrivateProfileSectionA(section.c_str(), buffer.data(), WholeIniBuffer, file.c_str())
                       : GetPrivateProfileStringA(section.c_str(), key.c_str(), "\x01", buffer.data(),
                                                  WholeIniBuffer, file.c_str());
    // A key that is not there gives the default, which no value of a script can be.
    state.Present = key.empty() ? length > 0 : !(length == 1 && buffer[0] == '\x01');
    if (state.Present) state.Data.assign(buffer.data(), length);
    return state;
}

TState FileState(const std::string& path)
{
    TState state;
    state.Known = true;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return state;
    state.Present = true;
    state.Attributes = data.dwFileAttributes;
    state.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    state.WriteTime = data.ftLastWriteTime;
    state.Dated = true;
    return state;
}

std::string FileBytes(const std::string& path)
{
    std::string bytes;
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}
