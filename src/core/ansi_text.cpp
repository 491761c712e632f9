#include "core/ansi_text.h"

#include "core/handles.h"

bool IsAscii(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

namespace {

// The window manager's own upper case, for systems without the wide mapping
// (the 9x family, where that library is in every process anyway).
std::string UpperThroughUser32(std::string text)
{
    using TCharUpperBuff = DWORD(WINAPI*)(LPSTR, DWORD);
    UniqueModule user(LoadLibraryA("user32.dll"));
    auto upper = user ? reinterpret_cast<TCharUpperBuff>(GetProcAddress(user.Get(), "CharUpperBuffA")) : nullptr;
    if (upper) upper(text.data(), static_cast<DWORD>(text.size()));
    return text;  // without the library the text stays as it is: no system lacks both
}

}  // namespace

std::wstring ToWide(const char* data, size_t size, UINT codePage)
{
    std::wstring wide;
    int length = size == 0 ? 0 : MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return wide;
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(codePage, 0, data, static_cast<int>(size), wide.data(), length);
    return wide;
}

std::string FromWide(const wchar_t* data, size_t size, UINT codePage)
{
    std::string narrow;
    int length =
        size == 0 ? 0 : WideCharToMultiByte(codePage, 0, data, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return narrow;
    narrow.resize(static_cast<size_t>(length));
    WideCharToMultiByte(codePage, 0, data, static_cast<int>(size), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string UpperAnsi(std::string text)
{
    if (IsAscii(text)) {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return text;
    }
    std::wstring wide = ToWide(text);
    std::wstring upper(wide.size(), L'\0');
    int length = static_cast<int>(wide.size());
    if (length == 0 || LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), length) != length)
        return UpperThroughUser32(std::move(text));
    std::string result = FromWide(upper);
    return result.size() == text.size() ? result : UpperThroughUser32(std::move(text));
}

std::string AnsiToOem(const std::string& text)
{
    if (text.empty()) return text;
    // Character by character, as the system does it: the result keeps the length.
    std::wstring wide(text.size(), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        static_cast<int>(wide.size()));
    std::string oem(text.size(), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()), oem.data(),
                        static_cast<int>(oem.size()), nullptr, nullptr);
    return oem;
}

std::string LoadTableString(HMODULE module, unsigned id, size_t bufferSize)
{
    // Strings live in blocks of sixteen, each a count and that many characters.
    HRSRC block = FindResourceA(module, MAKEINTRESOURCEA(id / 16 + 1), MAKEINTRESOURCEA(6));
    if (!block || bufferSize == 0) return {};
    HGLOBAL loaded = LoadResource(module, block);
    auto at = static_cast<const wchar_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!at) return {};
    const wchar_t* end = at + SizeofResource(module, block) / sizeof(wchar_t);
    for (unsigned skip = id % 16; skip > 0 && at < end; --skip) at += *at + 1;
    if (at >= end || *at == 0 || at + 1 + *at > end) return {};
    std::string text = FromWide(at + 1, *at);
    if (text.size() > bufferSize - 1) text.resize(bufferSize - 1);
    return text;
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string text)
{
    for (char& c : text) c = UpperAscii(c);
    return text;
}
