#include "script/script_image.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/ansi_text.h"
#include "core/handles.h"
#include "script/read_source.h"
#include "script/profile_text.h"

namespace {

// A key as the file spells it: its name and value are places in the image's
// text (a run looks up thousands of keys; a node and two strings per key cost
// more than the look-ups).
struct TImageKey {
    size_t NameAt = 0;  // blanks around it trimmed, cut at a NUL
    size_t NameSize = 0;
    size_t ValueAt = 0;  // blanks around it trimmed
    size_t ValueSize = 0;
    uint32_t Hash = 0;  // of the name folded
    bool HasValue = false;  // a line without "=" names a key that reads as missing
};

struct TImageSection {
    std::vector<TImageKey> Keys;  // in the file's order
    std::vector<uint32_t> Slots;  // by folded name, open addressing: a key's number + 1; the first of a name only
    size_t TextBegin = 0;  // its lines in the image's text: after its header, up to the next one
    size_t TextEnd = 0;
};

struct TImage {
    ULONGLONG Size = 0;
    FILETIME WriteTime{};
    uint64_t CheckedInScope = 0;   // the read scope it was last checked in (0: none)
    uint64_t CheckedAtChange = 0;  // the run's noted changes when it was checked
    std::unordered_map<std::wstring, size_t> SectionIndex;  // by folded name; first occurrence only
    std::vector<TImageSection> Sections;
    std::wstring Text;  // the file decoded
};

std::map<std::string, TImage> Images;

unsigned g_scopeDepth = 0;
uint64_t g_scope = 0;  // the current read scope; a new number for each outermost one

// The section read last, while its image is known current: a run reads the
// keys of its items one after another, thousands of them in one section.
struct TLastSection {
    std::string File;     // as read (the script, or its source)
    std::string Section;  // as asked for
    const TImage* Image = nullptr;
    const TImageSection* Found = nullptr;  // null: the file has no such section
    uint64_t Scope = 0;   // 0: nothing remembered
    uint64_t Change = 0;
};
TLastSection g_last;

// FNV-1a over the UTF-16 units of a name as Folded folds it (`name` cut at its NUL already).
uint32_t FoldedHash(const wchar_t* name, size_t size)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<uint16_t>(FoldedChar(name[i]))) * 16777619u;
    return hash;
}

// The slot where `folded` is, or the free one where it would go.
size_t KeySlot(const TImageSection& section, const std::wstring& text, const wchar_t* folded, size_t size,
               uint32_t hash)
{
    size_t mask = section.Slots.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        uint32_t number = section.Slots[slot];
        if (number == 0) return slot;
        const TImageKey& key = section.Keys[number - 1];
        if (key.Hash != hash || key.NameSize != size) continue;
        const wchar_t* name = text.data() + key.NameAt;
        if (std::equal(folded, folded + size, name, [](wchar_t a, wchar_t b) { return a == FoldedChar(b); }))
            return slot;
    }
}

// Indexes the section's keys, each name under its first key.
void IndexKeys(TImageSection& section, const std::wstring& text)
{
    size_t size = 16;
    while (size < 2 * section.Keys.size()) size *= 2;
    section.Slots.assign(size, 0);
    std::wstring folded;
    for (size_t i = 0; i < section.Keys.size(); ++i) {
        const TImageKey& key = section.Keys[i];
        folded.assign(text, key.NameAt, key.NameSize);
        for (wchar_t& c : folded) c = FoldedChar(c);
        size_t slot = KeySlot(section, text, folded.data(), folded.size(), key.Hash);
        if (section.Slots[slot] == 0) section.Slots[slot] = static_cast<uint32_t>(i + 1);
    }
}

// The section's first key of the folded name, or null.
const TImageKey* FindKey(const TImageSection& section, const std::wstring& text, const std::wstring& folded)
{
    if (section.Slots.empty()) return nullptr;
    uint32_t number = section.Slots[KeySlot(section, text, folded.data(), folded.size(),
                                            FoldedHash(folded.data(), folded.size()))];
    return number == 0 ? nullptr : &section.Keys[number - 1];
}

// Parses image.Text.
void Parse(TImage& image)
{
    const std::wstring& text = image.Text;
    // Keys above the first section header belong to a section without a name.
    image.Sections.assign(1, TImageSection{});
    image.SectionIndex.clear();
    image.SectionIndex.emplace(L"", 0);
    WalkLines(
        text.data(), text.data() + text.size(),
        [&image](const std::wstring& name, int, size_t headerAt, size_t linesAt) {
            image.Sections.back().TextEnd = headerAt;
            // A later section of the same name is never searched.
            image.SectionIndex.emplace(Folded(name), image.Sections.size());
            image.Sections.emplace_back().TextBegin = linesAt;
        },
        [&image, &text](std::wstring_view name, std::wstring_view value, bool hasValue, int) {
            TImageKey key;
            key.NameAt = static_cast<size_t>(name.data() - text.data());
            key.NameSize = std::min(name.find(L'\0'), name.size());
            key.ValueAt = hasValue ? static_cast<size_t>(value.data() - text.data()) : 0;
            key.ValueSize = value.size();
            key.Hash = FoldedHash(name.data(), key.NameSize);
            key.HasValue = hasValue;
            image.Sections.back().Keys.push_back(key);
        });
    image.Sections.back().TextEnd = text.size();
    for (TImageSection& section : image.Sections) IndexKeys(section, text);
}

// The whole file; false when it cannot be opened or read now.
bool ReadAllBytes(const std::string& file, std::string& bytes)
{
    if (IsDeviceName(file)) return false;
    UniqueFile handle(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return false;  // the callers treat an unreadable file as an empty one; the reason does not matter
    if (!IsDiskFile(handle.Get())) return false;  // a pipe or device would keep the read waiting
    char buffer[16384];
    DWORD read = 0;
    for (;;) {
        if (!ReadFile(handle.Get(), buffer, sizeof buffer, &read, nullptr)) return false;  // the same
        if (read == 0) return true;
        bytes.append(buffer, read);
    }
}

// The image of the file, parsed again when the file changed; null when the
// file cannot be read (it then reads as empty, as for the profile functions).
const TImage* CurrentImage(const std::string& file)
{
    auto known = Images.find(file);
    if (g_scopeDepth > 0 && known != Images.end() && known->second.CheckedInScope == g_scope &&
        known->second.CheckedAtChange == NotedChanges())
        return &known->second;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Images.erase(file);
        return nullptr;
    }
    ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    auto found = Images.find(file);
    if (found != Images.end() && found->second.Size == size &&
        CompareFileTime(&found->second.WriteTime, &data.ftLastWriteTime) == 0) {
        found->second.CheckedInScope = g_scopeDepth > 0 ? g_scope : 0;
        found->second.CheckedAtChange = NotedChanges();
        return &found->second;
    }

    Images.erase(file);
    std::string bytes;
    if (!ReadAllBytes(file, bytes)) return nullptr;  // unreadable now: reads as empty, and is tried again next time
    TImage image;
    image.Size = size;
    image.WriteTime = data.ftLastWriteTime;
    // A file that changed while being read is not kept: the next read parses it again.
    if (bytes.size() != size) {
        image.Size = ~0ULL;
    } else {
        image.CheckedInScope = g_scopeDepth > 0 ? g_scope : 0;
        image.CheckedAtChange = NotedChanges();
    }
    image.Text = DecodeFile(bytes);
    Parse(image);
    return &(Images[file] = std::move(image));
}

}  // namespace

std::string ReadScriptString(const std::string& file, const std::string& section, const std::string& key)
{
    std::string source;
    const std::string& path = ReadsFromElsewhere() ? (source = ReadSourceOf(file)) : file;
    // Kept between reads: a run reads tens of thousands of keys.
    static std::wstring name;
    if (g_scopeDepth == 0 || g_last.Scope != g_scope || g_last.Change != NotedChanges() || g_last.File != path ||
        g_last.Section != section) {
        g_last.Scope = 0;
        const TImage* image = CurrentImage(path);
        if (!image) return {};
        NameKey(section, name);
        auto sectionAt = image->SectionIndex.find(name);
        g_last.Image = image;
        g_last.Found = sectionAt == image->SectionIndex.end() ? nullptr : &image->Sections[sectionAt->second];
        // Only an image checked in this scope stays as it is until the scope
        // ends or the run changes something (one that changed while it was
        // read is read again at every look).
        if (g_scopeDepth > 0 && image->CheckedInScope == g_scope && image->CheckedAtChange == NotedChanges()) {
            g_last.File = path;
            g_last.Section = section;
            g_last.Scope = g_scope;
            g_last.Change = image->CheckedAtChange;
        }
    }
    if (!g_last.Found) return {};
    NameKey(key, name);
    const TImageKey* found = FindKey(*g_last.Found, g_last.Image->Text, name);
    if (!found || !found->HasValue) return {};
    return NarrowedValue(std::wstring_view(g_last.Image->Text).substr(found->ValueAt, found->ValueSize));
}

bool ReadScriptSection(const std::string& file, const std::string& section, size_t bufferSize,
                       std::vector<std::string>& lines)
{
    lines.clear();
    // The system matches a section name as given, by rules of its own beyond ASCII.
    bool plainName = !section.empty() && !IsProfileSpace(static_cast<unsigned char>(section.front())) &&
                     !IsProfileSpace(static_cast<unsigned char>(section.back())) &&
                     std::all_of(section.begin(), section.end(),
                                 [](char c) { return c != '\0' && static_cast<unsigned char>(c) < 0x80; });
    if (!plainName) return false;
    std::string source;
    const TImage* image = CurrentImage(ReadsFromElsewhere() ? (source = ReadSourceOf(file)) : file);
    if (!image) return false;
    std::wstring name;
    NameKey(section, name);
    auto sectionAt = image->SectionIndex.find(name);
    if (sectionAt == image->SectionIndex.end()) return true;
    const TImageSection& found = image->Sections[sectionAt->second];
    const wchar_t* text = image->Text.data();
    bool exact = true;
    bool anyKey = false;
    bool lastNameless = false;
    size_t total = 0;
    WalkLines(
        text + found.TextBegin, text + found.TextEnd, [](const std::wstring&, int, size_t, size_t) {},
        [&](std::wstring_view key, std::wstring_view value, bool hasValue, int) {
            // Of nameless lines in a row ("=x") the system keeps the first.
            if (key.empty() && anyKey && lastNameless) return;
            anyKey = true;
            lastNameless = key.empty();
            if (!key.empty() && key[0] == L';') return;  // a comment
            // The system ends a name or value at a NUL.
            if (key.find(L'\0') != std::wstring_view::npos || value.find(L'\0') != std::wstring_view::npos)
                exact = false;
            std::wstring line(key);
            if (hasValue) (line += L'=') += value;
            lines.push_back(std::all_of(line.begin(), line.end(), [](wchar_t c) { return c < 0x80; })
                                ? std::string(line.begin(), line.end())
                                : FromWide(line));
            total += lines.back().size() + 1;
        });
    // Far from the end of the buffer: no cut line, however the system counts.
    if (exact && total < bufferSize / 2) return true;
    lines.clear();
    return false;
}

bool ListScriptSections(const std::string& file, std::vector<TScriptSection>& sections)
{
    sections.clear();
    std::string bytes;
    if (!ReadAllBytes(file, bytes)) return false;
    // The lines above the first header form a section without a name and line.
    sections.emplace_back();
    std::wstring text = DecodeFile(bytes);
    WalkLines(
        text.data(), text.data() + text.size(),
        [&sections](const std::wstring& name, int line, size_t, size_t) {
            if (sections.size() == 1 && sections[0].Line == 0 && sections[0].Lines.empty()) sections.clear();
            sections.push_back(TScriptSection{FromWide(name), line, {}});
        },
        [&sections](std::wstring_view name, std::wstring_view value, bool hasValue, int line) {
            sections.back().Lines.push_back(TScriptLine{FromWide(name.data(), name.size()),
                                                        FromWide(value.data(), value.size()),
                                                        hasValue ? NarrowedValue(value) : std::string(), line,
                                                        hasValue});
        });
    if (sections.size() == 1 && sections[0].Line == 0 && sections[0].Lines.empty()) sections.clear();
    return true;
}

bool ReadScriptBytes(const std::string& file, std::string& bytes)
{
    bytes.clear();
    return ReadAllBytes(file, bytes);
}

void ForgetScriptImages()
{
    g_last.Scope = 0;
    Images.clear();
}

TScriptReadScope::TScriptReadScope()
{
    if (g_scopeDepth++ == 0) ++g_scope;
}

TScriptReadScope::~TScriptReadScope()
{
    --g_scopeDepth;
}
