#include "script/profile_text.h"

#include <windows.h>

#include "core/ansi_text.h"
#include "script/profile.h"

namespace {

// A value longer than this is cut, as the 260-character buffer of a profile read cuts it.
constexpr size_t MaxValueLength = ValueBufferSize - 1;

// The part of the value the profile functions deliver into a 260-character
// buffer, as positions in it.
void DeliveredPart(std::wstring_view value, size_t& begin, size_t& end)
{
    size_t size = std::min(value.find(L'\0'), value.size());
    bool quoted = size > 1 && (value[0] == L'"' || value[0] == L'\'') && value[size - 1] == value[0];
    begin = quoted ? 1 : 0;
    end = begin + std::min(size - begin, static_cast<size_t>(MaxValueLength));
    // The closing quote goes only when the rest fits the buffer whole (one
    // character more than fits costs the last character of the text).
    if (quoted && size - 1 <= ValueBufferSize && end > begin) --end;
}

}  // namespace

bool IsProfileSpace(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x1A;  // 0x1A: the old end-of-file mark
}

std::wstring_view TrimmedView(const wchar_t* first, const wchar_t* last)
{
    while (first < last && IsProfileSpace(*first)) ++first;
    while (last > first && IsProfileSpace(last[-1])) --last;
    return std::wstring_view(first, static_cast<size_t>(last - first));
}

std::wstring Trimmed(const wchar_t* first, const wchar_t* last)
{
    return std::wstring(TrimmedView(first, last));
}

wchar_t FoldedChar(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

std::wstring Folded(std::wstring name)
{
    size_t nul = name.find(L'\0');
    if (nul != std::wstring::npos) name.resize(nul);
    for (wchar_t& c : name) c = FoldedChar(c);
    return name;
}

std::wstring DecodeFile(const std::string& bytes)
{
    auto starts = [&bytes](const char* mark, size_t size) { return bytes.compare(0, size, mark, size) == 0; };
    if (starts("\xEF\xBB\xBF", 3)) return ToWide(bytes.data() + 3, bytes.size() - 3, CP_UTF8);
    bool little = starts("\xFF\xFE", 2);
    if (little || starts("\xFE\xFF", 2)) {
        std::wstring text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            auto low = static_cast<unsigned char>(bytes[little ? i : i + 1]);
            auto high = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
            text.push_back(static_cast<wchar_t>(low | (high << 8)));
        }
        return text;
    }
    return ToWide(bytes.data(), bytes.size(), CP_ACP);
}

std::string NarrowedValue(std::wstring_view value)
{
    size_t begin = 0, end = 0;
    DeliveredPart(value, begin, end);
    const wchar_t* first = value.data() + begin;
    const wchar_t* last = value.data() + end;
    // ASCII is the same in every ANSI code page: no conversion to ask the system for.
    if (std::all_of(first, last, [](wchar_t c) { return c < 0x80; })) return std::string(first, last);
    std::string result = FromWide(first, end - begin);
    if (result.size() > MaxValueLength) result.resize(MaxValueLength);
    return result;
}

void NameKey(const std::string& name, std::wstring& key)
{
    if (!IsAscii(name)) {
        std::wstring wide = ToWide(name);
        key = Folded(Trimmed(wide.data(), wide.data() + wide.size()));
        return;
    }
    const char* first = name.data();
    const char* last = first + name.size();
    while (first < last && IsProfileSpace(static_cast<wchar_t>(*first))) ++first;
    while (last > first && IsProfileSpace(static_cast<wchar_t>(last[-1]))) --last;
    // Character by character into the room the key has already: a read asks thousands of times.
    key.resize(static_cast<size_t>(std::find(first, last, '\0') - first));
    for (wchar_t& c : key) c = FoldedChar(static_cast<wchar_t>(*first++));
}
