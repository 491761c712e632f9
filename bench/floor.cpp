// The least a run can do for a script whose items are all current: one
// look-up of each source file and one of each target file; for registry
// values one open of each key and one query of each value; for INI values one
// profile read of each value. Run as
//   floor.exe [--listing | --strict <script>] <source dir\> <target dir\> <count>
//             [<key below HKCU> <INI file> <items> <values per item>]
// for the files f00001.dat ..., the keys <key>\K00001 ... with the values
// Name1 ... and the INI sections S00001 ... with the keys K1 ... that
// bench/run.sh generates.
// With --listing it lists the source and the target directory once each and
// finds every name in those listings: the least a run that lists its
// directories can do.
// With --strict it lists the directories as --listing does, and reads each
// INI file once, the script the run reads included: one CreateFile, one
// ReadFile of the whole file, then one pass over its bytes that files every
// key under its section, and every value is looked up there. No profile call
// can do less: GetPrivateProfileSection and its kin still open and parse the
// file once per call. The registry part is the same in all three (each key
// opened once, its values queried through that handle).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace {

std::unordered_set<std::string> ListNames(const std::string& dir)
{
    std::unordered_set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        // ASCII only, as the generated names are: the window manager's
        // library (CharLowerA) would cost every start about 10 ms under Wine.
        for (char* c = data.cFileName; *c; ++c)
            if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
        names.insert(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

int ListFiles(const std::string& source, const std::string& target, int count)
{
    int found = 0;
    std::unordered_set<std::string> listed[] = {ListNames(source), ListNames(target)};
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.dat", i);
        for (const auto& names : listed) found += names.count(name) ? 1 : 0;
    }
    return found;
}

int FindFiles(const std::string& source, const std::string& target, int count)
{
    int found = 0;
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.dat", i);
        for (const std::string& dir : {source, target}) {
            WIN32_FIND_DATAA data;
            HANDLE find = FindFirstFileA((dir + name).c_str(), &data);
            if (find == INVALID_HANDLE_VALUE) continue;
            ++found;
            FindClose(find);
        }
    }
    return found;
}

int QueryRegistryValues(const std::string& base, int items, int values)
{
    int found = 0;
    for (int i = 1; i <= items; ++i) {
        char sub[32];
        std::snprintf(sub, sizeof sub, "\\K%05d", i);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (base + sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        for (int m = 1; m <= values; ++m) {
            char name[32];
            std::snprintf(name, sizeof name, "Name%d", m);
            BYTE data[260];
            DWORD type = 0;
            DWORD size = sizeof data;
            if (RegQueryValueExA(key, name, nullptr, &type, data, &size) == ERROR_SUCCESS) ++found;
        }
        RegCloseKey(key);
    }
    return found;
}

// How many of the generated INI file's values `has(section, key)` finds.
template <class Has>
int CountIniValues(int items, int values, Has has)
{
    int found = 0;
    for (int i = 1; i <= items; ++i) {
        char section[32];
        std::snprintf(section, sizeof section, "S%05d", i);
        for (int m = 1; m <= values; ++m) {
            char key[32];
            std::snprintf(key, sizeof key, "K%d", m);
            if (has(section, key)) ++found;
        }
    }
    return found;
}

int ReadIniValues(const std::string& file, int items, int values)
{
    return CountIniValues(items, values, [&file](const char* section, const char* key) {
        char buffer[260];
        return GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, file.c_str()) > 0;
    });
}

// The text between two positions without the blanks and tabs around it.
std::string Trimmed(const char* begin, const char* end)
{
    while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
    return std::string(begin, end);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The file read whole in one call and parsed in one pass: "section\nkey" ->
// value, the first of duplicates kept; comments and lines without '=' skipped.
std::unordered_map<std::string, std::string> ReadIniOnce(const std::string& path)
{
    std::unordered_map<std::string, std::string> values;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return values;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    bool read = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    if (!read) return values;
    bytes.resize(got);
    std::string section;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        std::string line = Trimmed(bytes.data() + at, bytes.data() + end);
        at = bytes.find_first_not_of("\r\n", end);
        if (at == std::string::npos) at = bytes.size();
        if (line.empty() || line[0] == ';') continue;
        size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string::npos) {
            section = Lower(Trimmed(line.data() + 1, line.data() + close));
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        values.emplace(section + "\n" + Lower(Trimmed(line.data(), line.data() + equals)),
                       Trimmed(line.data() + equals + 1, line.data() + line.size()));
    }
    return values;
}

int FindIniValues(const std::string& file, int items, int values)
{
    std::unordered_map<std::string, std::string> read = ReadIniOnce(file);
    return CountIniValues(items, values, [&read](const char* section, const char* key) {
        auto value = read.find(Lower(section) + "\n" + Lower(key));
        return value != read.end() && !value->second.empty();
    });
}

}  // namespace

int main(int argc, char** argv)
{
    bool strict = argc > 2 && std::strcmp(argv[1], "--strict") == 0;
    bool listing = strict || (argc > 1 && std::strcmp(argv[1], "--listing") == 0);
    // The script a run would read, read as the run needs it: every key of it once.
    if (strict && ReadIniOnce(argv[2]).empty()) {
        std::fprintf(stderr, "floor: no keys in the script %s\n", argv[2]);
        return 2;
    }
    if (listing) {
        argc -= strict ? 2 : 1;
        argv += strict ? 2 : 1;
    }
    if (argc != 4 && argc != 8) {
        std::fprintf(stderr, "usage: floor [--listing | --strict <script>] <source dir\\> <target dir\\> <count> "
                             "[<key below HKCU> <INI file> <items> <values per item>]\n");
        return 1;
    }
    int count = std::atoi(argv[3]);
    int expected = 2 * count;
    int found = listing ? ListFiles(argv[1], argv[2], count) : FindFiles(argv[1], argv[2], count);
    if (argc == 8) {
        int items = std::atoi(argv[6]);
        int values = std::atoi(argv[7]);
        expected += 2 * items * values;
        found += QueryRegistryValues(argv[4], items, values);
        found += strict ? FindIniValues(argv[5], items, values) : ReadIniValues(argv[5], items, values);
    }
    std::printf("%d of %d found\n", found, expected);
    return found == expected ? 0 : 2;
}
