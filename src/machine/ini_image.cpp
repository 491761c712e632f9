#include "machine/ini_image.h"

#include <windows.h>

#include <algorithm>

#include "core/ansi_text.h"
#include "core/disk_files.h"
#include "core/handles.h"
#include "core/paths.h"

namespace {

// GetPrivateProfileStringA is given this many bytes by the run.
constexpr size_t BufferSize = 260;
// Longer values and names are left to the system: near the buffer's size the
// systems cut texts and strip quotes each their own way.
constexpr size_t LongestAnswered = 250;
// A larger file is left to the profile functions rather than held in memory.
constexpr DWORD LargestImage = 8 * 1024 * 1024;

const char* const MappingKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping";

// The blanks trimmed off names and values. Other characters one system may
// trim and another keep never reach a line (IsDoubtful).
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Characters the profile functions of different systems may read apart:
// controls other than tab and line breaks (a NUL, ^Z), C1 controls, the
// blanks and marks beyond ASCII that one trims and another keeps, and halves
// of surrogate pairs, which convert to ANSI differently.
bool IsDoubtful(wchar_t c)
{
    if (c < 0x20) return c != L'\t' && c != L'\n' && c != L'\r';
    if (c >= 0x7F && c <= 0xA0) return true;
    return c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF || (c >= 0xD800 && c <= 0xDFFF);
}

bool IsPlain(wchar_t c)
{
    return c >= 0x20 && c < 0x7F;
}

bool IsPlainText(const std::wstring& text)
{
    return std::all_of(text.begin(), text.end(), IsPlain);
}

std::wstring Folded(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

void Trim(const wchar_t*& begin, const wchar_t*& end)
{
    while (begin < end && IsBlank(*begin)) ++begin;
    while (end > begin && IsBlank(end[-1])) --end;
}

std::wstring Trimmed(const std::wstring& text)
{
    const wchar_t* begin = text.data();
    const wchar_t* end = begin + text.size();
    Trim(begin, end);
    return std::wstring(begin, end);
}

// The file's text after its byte-order mark, where every system decodes it
// alike: UTF-16 little-endian with its mark, or text of a single-byte ANSI
// code page that converts back to the same bytes. One system reads a UTF-8
// mark as the start of ANSI text, another decodes UTF-8: those, big-endian
// files and multi-byte code pages (whose trail bytes may look like brackets)
// are left to the system.
bool DecodedText(const std::string& bytes, std::wstring& text)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t size = bytes.size();
    bool utf8 = size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
    bool big = size >= 2 && b[0] == 0xFE && b[1] == 0xFF;
    if (utf8 || big) return false;
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        if (size % 2 != 0) return false;
        text.resize((size - 2) / 2);
        for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(b[2 + 2 * i] | (b[3 + 2 * i] << 8));
        return true;
    }
    CPINFO codePage;
    if (!GetCPInfo(CP_ACP, &codePage) || codePage.MaxCharSize != 1) return false;
    text = ToWide(bytes);
    return FromWide(text) == bytes;
}

void AddSection(TIniImage& image, std::wstring name)
{
    if (!IsPlainText(name)) image.PlainSectionNames = false;
    image.FirstSection.emplace(Folded(name), image.Sections.size());
    image.Sections.emplace_back();
}

// One line without its line break, trimmed and not empty; false for a section
// header that systems may read apart ("[S", "[a]b]", "[[S]]", "[S]x"; a
// comment may follow). `lastKeyNamed`
// tells whether the section's last key has a name: a line of no name after a
// nameless key is dropped, as the profile functions drop it.
bool AddLine(TIniImage& image, const wchar_t* begin, const wchar_t* end, bool& hasLastKey, bool& lastKeyNamed)
{
    if (*begin == L'[') {
        if (std::count(begin, end, L'[') != 1 || std::count(begin, end, L']') != 1) return false;
        const wchar_t* nameBegin = begin + 1;
        const wchar_t* nameEnd = std::find(begin, end, L']');
        const wchar_t* after = nameEnd + 1;
        while (after < end && IsBlank(*after)) ++after;
        if (after < end && *after != L';') return false;
        Trim(nameBegin, nameEnd);
        AddSection(image, std::wstring(nameBegin, nameEnd));
        hasLastKey = false;
        return true;
    }
    TIniKey key;
    const wchar_t* nameEnd = std::find(begin, end, L'=');
    if (nameEnd < end) {
        const wchar_t* valueBegin = nameEnd + 1;
        while (nameEnd > begin && IsBlank(nameEnd[-1])) --nameEnd;
        while (valueBegin < end && IsBlank(*valueBegin)) ++valueBegin;
        key.HasValue = true;
        key.Value.assign(valueBegin, end);
    }
    if (nameEnd == begin && hasLastKey && !lastKeyNamed) return true;
    key.Name.assign(begin, nameEnd);
    hasLastKey = true;
    lastKeyNamed = !key.Name.empty();
    TIniSection& section = image.Sections.back();
    if (!IsPlainText(key.Name)) section.PlainKeyNames = false;
    section.Keys.push_back(std::move(key));
    return true;
}

// Whether the name is `folded` with ASCII letters in either case.
bool SameFolded(const std::wstring& name, const std::wstring& folded)
{
    return name.size() == folded.size() &&
           std::equal(name.begin(), name.end(), folded.begin(), [](wchar_t a, wchar_t b) {
               return (a >= L'A' && a <= L'Z' ? static_cast<wchar_t>(a - L'A' + L'a') : a) == b;
           });
}

// The section's first key of the name (folded), or null.
const TIniKey* FirstKeyNamed(const TIniSection& section, const std::wstring& folded)
{
    if (section.Keys.size() > IndexedKeys) {
        auto named = section.FirstKey.find(folded);
        return named == section.FirstKey.end() ? nullptr : &section.Keys[named->second];
    }
    for (const TIniKey& key : section.Keys)
        if (SameFolded(key.Name, folded)) return &key;
    return nullptr;
}

// A name asked for, as the image can match it: printable ASCII only (letters
// beyond it fold by the code page on one system and not on another; a NUL
// would cut the name), and not empty once trimmed.
std::optional<std::wstring> AskedName(const std::string& name)
{
    std::wstring wide(name.begin(), name.end());
    if (!IsPlainText(wide)) return std::nullopt;
    std::wstring trimmed = Trimmed(wide);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

// The text in the ANSI code page as the buffer holds it; nothing when it
// would not fit the buffer less its last byte.
std::optional<TIniRead> AnsiRead(const std::wstring& text)
{
    if (text.empty()) return TIniRead{};
    char buffer[BufferSize] = {};
    int converted = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer,
                                        BufferSize - 1, nullptr, nullptr);
    if (converted <= 0) return std::nullopt;
    return TIniRead{true, buffer};
}

// A key's value as the profile functions copy it into the buffer, a pair of
// double quotes around it dropped. Nothing for a line without '=' (read as a
// key without a value by one system, skipped by another), single quotes
// (not every system drops them), a lone quote and a long value.
std::optional<TIniRead> ValueRead(const TIniKey& key)
{
    const std::wstring& value = key.Value;
    if (!key.HasValue || value.size() > LongestAnswered || value == L"\"") return std::nullopt;
    if (!value.empty() && (value.front() == L'\'' || value.back() == L'\'')) return std::nullopt;
    bool quoted = value.size() > 1 && value.front() == L'"' && value.back() == L'"';
    return AnsiRead(quoted ? value.substr(1, value.size() - 2) : value);
}

// A section's first key name, as the start of its key list. Nothing when the
// section starts with a line the systems may list apart: a comment, a line
// without '=', a nameless key, a long name.
std::optional<TIniRead> FirstKeyRead(const TIniImage& image, const std::wstring& sectionName)
{
    auto found = image.FirstSection.find(Folded(sectionName));
    if (found == image.FirstSection.end()) return TIniRead{};
    const std::vector<TIniKey>& keys = image.Sections[found->second].Keys;
    if (keys.empty()) return TIniRead{};
    const TIniKey& first = keys.front();
    if (!first.HasValue || first.Name.empty() || first.Name[0] == L';' || first.Name.size() > LongestAnswered ||
        !IsPlainText(first.Name))
        return std::nullopt;
    return AnsiRead(first.Name);
}

// Whether the system may read files of this name from the registry instead,
// in either registry view (a 32-bit program on a 64-bit system sees two); a
// mapping that cannot be looked up counts as one.
bool MayBeMappedToRegistry(const std::string& path)
{
    size_t slash = path.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The system drops trailing dots and blanks from a name before it looks for its mapping.
    if (name.empty() || name.back() == '.' || name.back() == ' ') return true;
    for (REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}}) {
        UniqueHKey mappings;
        LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, MappingKey, 0, KEY_READ | view, mappings.Put());
        if (code != ERROR_SUCCESS) {
            mappings.Release();  // never close what a failed call may have left there
            if (code == ERROR_FILE_NOT_FOUND) continue;
            return true;
        }
        UniqueHKey mapped;
        code = RegOpenKeyExA(mappings.Get(), name.c_str(), 0, KEY_READ | view, mapped.Put());
        if (code != ERROR_SUCCESS) mapped.Release();
        if (code != ERROR_FILE_NOT_FOUND) return true;
    }
    return false;
}

}  // namespace

std::optional<TIniImage> ParseIniImage(const std::string& bytes)
{
    TIniImage image;
    if (bytes.empty()) return image;
    std::wstring text;
    if (!DecodedText(bytes, text)) return std::nullopt;
    // Line breaks are LF or CRLF: a CR of its own ends a line on one system and not on another.
    for (size_t i = 0; i < text.size(); ++i)
        if (IsDoubtful(text[i]) || (text[i] == L'\r' && (i + 1 == text.size() || text[i + 1] != L'\n')))
            return std::nullopt;
    AddSection(image, std::wstring());
    bool hasLastKey = false, lastKeyNamed = false;
    const wchar_t* end = text.data() + text.size();
    for (const wchar_t* next = text.data(); next < end;) {
        const wchar_t* lineBegin = next;
        while (next < end && *next != L'\n' && *next != L'\r') ++next;
        const wchar_t* lineEnd = next;
        while (next < end && (*next == L'\n' || *next == L'\r')) ++next;
        Trim(lineBegin, lineEnd);
        if (lineBegin < lineEnd && !AddLine(image, lineBegin, lineEnd, hasLastKey, lastKeyNamed)) return std::nullopt;
    }
    for (TIniSection& section : image.Sections)
        if (section.Keys.size() > IndexedKeys)
            for (size_t i = 0; i < section.Keys.size(); ++i) section.FirstKey.emplace(Folded(section.Keys[i].Name), i);
    return image;
}

std::optional<TIniRead> LookUpIniValue(const TIniImage& image, const std::string& section, const std::string& key)
{
    std::optional<std::wstring> sectionName = AskedName(section);
    if (!sectionName || !image.PlainSectionNames) return std::nullopt;
    // The key list's section name is matched untrimmed by one system, trimmed by another.
    if (key.empty()) return sectionName->size() == section.size() ? FirstKeyRead(image, *sectionName) : std::nullopt;
    std::optional<std::wstring> keyName = AskedName(key);
    if (!keyName || (*keyName)[0] == L';') return std::nullopt;
    // Only the first section of the name is searched, and its first key of the name.
    auto found = image.FirstSection.find(Folded(*sectionName));
    if (found == image.FirstSection.end()) return TIniRead{};
    const TIniSection& keys = image.Sections[found->second];
    if (!keys.PlainKeyNames) return std::nullopt;
    const TIniKey* named = FirstKeyNamed(keys, Folded(*keyName));
    if (!named) return TIniRead{};
    return ValueRead(*named);
}

TIniFileRead ReadIniFile(const std::string& path, TIniImage& image)
{
    if (!IsFullPath(path) || path.size() >= MAX_PATH - 1 || MayBeMappedToRegistry(path))
        return TIniFileRead::AskSystem;
    // Opened as the profile functions open it, so that a file another program
    // holds open is read or not read alike.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return absent ? TIniFileRead::Missing : TIniFileRead::AskSystem;
    }
    // A pipe or device behind the name is the profile functions' to wait for, as before.
    if (!IsDiskFile(file.Get())) return TIniFileRead::AskSystem;
    DWORD high = 0;
    DWORD size = GetFileSize(file.Get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > LargestImage) return TIniFileRead::AskSystem;
    std::string bytes(size, '\0');
    DWORD got = 0;
    // A file that shrinks or fails while read is left to the system's own reading.
    if (size > 0 && (!ReadFile(file.Get(), bytes.data(), size, &got, nullptr) || got != size))
        return TIniFileRead::AskSystem;
    std::optional<TIniImage> parsed = ParseIniImage(bytes);
    if (!parsed) return TIniFileRead::AskSystem;
    image = std::move(*parsed);
    return TIniFileRead::Read;
}
