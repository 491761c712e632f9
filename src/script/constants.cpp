#include "script/constants.h"

#include <cstdint>
#include <map>
#include <vector>

#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "script/expand.h"
#include "script/profile.h"
#include "script/read_source.h"
#include "script/script_image.h"
#include "script/script_layout.h"

namespace {

constexpr DWORD SectionBufferSize = 32767;
constexpr DWORD LookupBufferSize = 260;

// A lookup whose result holds a tag again is resolved in the same loop; one
// that keeps producing itself (a registry value or INI key naming itself)
// would never end. After this many lookups of one kind in one value, or once
// the value has grown this long, the rest stays plain text.
constexpr int MaxLookupsPerValue = 64;
constexpr size_t MaxLookupValueLength = 32767;

bool IsTrimmed(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

std::string Trim(const std::string& text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsTrimmed(text[first])) ++first;
    while (last > first && IsTrimmed(text[last - 1])) --last;
    return text.substr(first, last - first);
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNameAscii(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// The registry data as the text an administrator expects: strings up to their
// first NUL (for a multi-string that is its first string), numbers in decimal,
// any other data as bytes up to the first NUL.
std::string RegistryDataText(DWORD type, const BYTE* data, DWORD size)
{
    if (type == REG_DWORD && size == 4) {
        uint32_t value = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                         static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        return std::to_string(value);
    }
    if (type == REG_DWORD_BIG_ENDIAN && size == 4) {
        uint32_t value = static_cast<uint32_t>(data[3]) | static_cast<uint32_t>(data[2]) << 8 |
                         static_cast<uint32_t>(data[1]) << 16 | static_cast<uint32_t>(data[0]) << 24;
        return std::to_string(value);
    }
    if (type == REG_QWORD && size == 8) {
        uint64_t value = 0;
        for (int i = 7; i >= 0; --i) value = value << 8 | data[i];
        return std::to_string(value);
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.erase(nul);
    return text;
}

// Field n (from 0) of a text cut at every single separator; missing fields
// are empty.
std::string Field(const std::string& text, char separator, int n)
{
    size_t start = 0;
    for (int i = 0; i < n; ++i) {
        size_t next = text.find(separator, start);
        if (next == std::string::npos) return {};
        start = next + 1;
    }
    size_t end = text.find(separator, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// <Reg>key path;value name;default</Reg>
std::string RegistryLookup(const std::string& params)
{
    std::string result;
    TRootKey root = ParseRootKey(ExpandConstants(Field(params, ';', 0), ExpandPlain));
    UniqueHKey key;
    if (RegOpenKeyExA(root.Root, root.SubKey.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS) {
        std::string name = ExpandConstants(Field(params, ';', 1), ExpandPlain);
        BYTE data[LookupBufferSize] = {};
        DWORD size = LookupBufferSize;
        DWORD type = REG_NONE;
        // Missing value, no access, or data longer than the buffer: the default serves.
        if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, data, &size) == ERROR_SUCCESS)
            result = RegistryDataText(type, data, size <= LookupBufferSize ? size : LookupBufferSize);
    }
    return result.empty() ? Field(params, ';', 2) : result;
}

// <Ini>file;section;key;default</Ini>
std::string IniLookup(const std::string& params)
{
    std::string file = ExpandConstants(Field(params, ';', 0), ExpandPlain);
    std::string section = ExpandConstants(Field(params, ';', 1), ExpandPlain);
    std::string key = ExpandConstants(Field(params, ';', 2), ExpandPlain);
    // The file name goes to the system unchanged: a bare name means the
    // Windows directory, as administrators know it from the profile functions.
    std::string result = file.empty() ? std::string() : ReadProfileString(file, section, key);
    return result.empty() ? Field(params, ';', 3) : result;
}

// Replaces every well-formed <word>...</word> in the slot's value by what the
// lookup gives, searching again from the start after each replacement. An
// opening tag without a closing tag behind it, and a closing tag without an
// opening one before it, stay plain text.
void ResolveLookups(size_t slot, const std::string& word, std::string (*lookup)(const std::string&))
{
    const std::string open = "<" + word + ">";
    const std::string close = "</" + word + ">";
    for (int lookups = 0; lookups < MaxLookupsPerValue; ++lookups) {
        const std::string& value = ConstTable[slot].Value;
        if (value.size() > MaxLookupValueLength) return;
        size_t begin = value.find(open);
        if (begin == std::string::npos) return;
        size_t end = value.find(close, begin + open.size());
        if (end == std::string::npos) return;
        std::string params = value.substr(begin + open.size(), end - begin - open.size());
        // The lookup expands its fields against the table as it stands, this
        // entry included.
        std::string result = lookup(params);
        std::string& stored = ConstTable[slot].Value;
        stored = stored.substr(0, begin) + result + stored.substr(end + close.size());
    }
}

// Adds or replaces one constant and resolves its lookups.
void DefineConstant(const std::string& line)
{
    std::string name = Trim(Field(line, '=', 0));
    std::string value = Trim(Field(line, '=', 1));
    // A nameless entry could never be referenced.
    if (name.empty()) return;
    size_t slot = 0;
    while (slot < ConstTable.size() && !SameNameAscii(ConstTable[slot].Name, name)) ++slot;
    if (slot < ConstTable.size())
        ConstTable[slot].Value = value;
    else
        ConstTable.push_back(TConst{name, value});
    // The tags are fixed words of the script format, not translatable texts.
    ResolveLookups(slot, "Reg", RegistryLookup);
    ResolveLookups(slot, "Ini", IniLookup);
}

// A file's Constants section as the profile functions gave it, with what
// the file was then.
struct TSectionRead {
    ULONGLONG Size = 0;
    FILETIME WriteTime{};
    uint64_t Changes = 0;  // the run's noted changes then
    std::vector<char> Text;
    DWORD Length = 0;
};

// By the full path read. The profile functions parse the whole file for one
// section: a script of thousands of items, whose constants a run reads at its
// start and again after its own files were brought up to date, is parsed once
// while its size and time and the run's own changes say it is the same file.
std::map<std::string, TSectionRead> g_sectionReads;

const TSectionRead& ReadConstantsSection(const std::string& path)
{
    // A name without a full path is looked for where the profile functions
    // look (the Windows directory), not where it could be dated or read here.
    bool full = IsFullPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    bool dated = full && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0;
    ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    auto known = g_sectionReads.find(path);
    if (dated && known != g_sectionReads.end() && known->second.Size == size &&
        CompareFileTime(&known->second.WriteTime, &data.ftLastWriteTime) == 0 &&
        known->second.Changes == NotedChanges())
        return known->second;
    TSectionRead read;
    read.Size = size;
    read.WriteTime = data.ftLastWriteTime;
    read.Changes = NotedChanges();
    read.Text.assign(SectionBufferSize + 1, '\0');
    read.Length = GetPrivateProfileSectionA(Msg(WordConstants).c_str(), read.Text.data(), SectionBufferSize,
                                            path.c_str());
    // A file that cannot be dated now is read again next time.
    if (!dated) {
        g_sectionReads.erase(path);
        static TSectionRead undated;
        undated = std::move(read);
        return undated;
    }
    return g_sectionReads[path] = std::move(read);
}

}  // namespace

void LoadConstants(const std::string& file)
{
    // A device name would have the profile functions read the device and wait.
    if (IsDeviceName(file)) return;
    std::string path = ReadSourceOf(file);
    // The script's image holds the section already; the system would parse the whole script again.
    std::vector<std::string> lines;
    if (IsFullPath(path) && ReadScriptSection(file, Msg(WordConstants), SectionBufferSize, lines)) {
        for (const std::string& line : lines) DefineConstant(line);
        return;
    }
    const TSectionRead& read = ReadConstantsSection(path);
    const std::vector<char>& buffer = read.Text;
    DWORD length = read.Length;
    if (length == 0) return;  // no file, no section, or an empty one
    if (length > SectionBufferSize - 2) length = SectionBufferSize - 2;
    // A section too long for the buffer comes back cut, possibly in the middle
    // of its last line; a cut value would be a wrong one, so that line is left out.
    bool cut = length == SectionBufferSize - 2;
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && buffer[end] != '\0') ++end;
        if (end == start) break;  // the empty line ends the list
        lines.emplace_back(buffer.data() + start, end - start);
        start = end + 1;
    }
    if (cut && !lines.empty()) lines.pop_back();
    for (const std::string& line : lines) DefineConstant(line);
}

TRootKey ParseRootKey(const std::string& path)
{
    TRootKey result;
    result.SubKey = path;
    if (path.size() < 2 || path[0] == '\\') return result;
    size_t slash = path.find('\\');
    if (slash == std::string::npos) return result;
    std::string first = path.substr(0, slash);
    for (const TRootName& root : RootNames) {
        if (first == root.Full || first == root.Short) {
            result.Root = root.Key;
            result.SubKey = path.substr(slash + 1);
            result.Recognised = true;
            break;
        }
    }
    return result;
}
