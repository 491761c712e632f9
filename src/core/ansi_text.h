// Text in the ANSI code page as the system's character functions give it:
// upper case, the OEM form, and the texts of a string table. Made with the
// kernel's code-page functions: the window manager's library has the same
// functions, but loading it costs every run about ten milliseconds at its
// start (under Wine), a tenth of a whole current run, for a program that
// never opens a window.
#pragma once

#include <windows.h>

#include <string>

// Text of a code page as UTF-16, and UTF-16 as text of a code page; what
// does not convert gives the empty text.
std::wstring ToWide(const char* data, size_t size, UINT codePage = CP_ACP);
inline std::wstring ToWide(const std::string& text, UINT codePage = CP_ACP)
{
    return ToWide(text.data(), text.size(), codePage);
}
std::string FromWide(const wchar_t* data, size_t size, UINT codePage = CP_ACP);
inline std::string FromWide(const std::wstring& text, UINT codePage = CP_ACP)
{
    return FromWide(text.data(), text.size(), codePage);
}

// The text in upper case, as CharUpperBuffA gives it.
std::string UpperAnsi(std::string text);

// The text in the OEM code page, of the same length, as CharToOemBuffA gives it.
std::string AnsiToOem(const std::string& text);

// The string `id` of the module's string table (a loaded module or a
// resource file), as LoadStringA gives it into a buffer of `bufferSize`;
// empty when the table lacks it.
std::string LoadTableString(HMODULE module, unsigned id, size_t bufferSize);

// Every character below 0x80: the same text in every ANSI code page.
bool IsAscii(const std::string& text);

// Only ASCII letters in upper case: for the fixed words and letters of the
// script format, which the user's locale must not change.
char UpperAscii(char c);
std::string UpperAscii(std::string text);
