#include "core/ansi_text.h"

#include "core/handles.h"

namespace {

std::wstring Widened(const std::string& text, UINT codePage)
{
    std::wstring wide;
    int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return wide;
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// The text in the code page, cut to `limit` bytes.
std::string Narrowed(const wchar_t* text, size_t length, UINT codePage, size_t limit)
{
    std::string narrow;
    int size = static_cast<int>(length);
    int needed = size == 0 ? 0 : WideCharToMultiByte(codePage, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return narrow;
    narrow.resize(static_cast<size_t>(needed));
    WideCharToMultiByte(codePage, 0, text, size, narrow.data(), needed, nullptr, nullptr);
    if (narrow.size() > limit) narrow.resize(limit);
    return narrow;
}

bool IsAscii(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

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

std::string UpperAnsi(std::string text)
{
    if (IsAscii(text)) {
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return text;
    }
    std::wstring wide = Widened(text, CP_ACP);
    std::wstring upper(wide.size(), L'\0');
    int length = static_cast<int>(wide.size());
    if (length == 0 || LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), length) != length)
        return UpperThroughUser32(std::move(text));
    std::string result = Narrowed(upper.data(), upper.size(), CP_ACP, text.size());
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
    return Narrowed(at + 1, *at, CP_ACP, bufferSize - 1);
}
