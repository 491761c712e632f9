// The rules by which the system's profile functions read the text of an INI
// file, for the script's image: which blanks are trimmed, how names fold,
// how a file is decoded and cut into lines, and what part of a value a
// 260-character buffer receives.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// Only ASCII blanks count: a no-break space stays part of a name or value.
bool IsProfileSpace(wchar_t c);

// The text between `first` and `last` without the blanks around it.
std::wstring_view TrimmedView(const wchar_t* first, const wchar_t* last);
std::wstring Trimmed(const wchar_t* first, const wchar_t* last);

// A character of a name as names are matched: ASCII letters in upper case.
wchar_t FoldedChar(wchar_t c);

// Names match without regard to case for ASCII letters only; an embedded NUL
// ends a name as it ends a C string.
std::wstring Folded(std::wstring name);

// The file's text: UTF-8 or UTF-16 by its mark, else the ANSI code page.
std::wstring DecodeFile(const std::string& bytes);

// The value in the ANSI code page, cut as the reader's buffer cuts it, one
// pair of enclosing quotes dropped.
std::string NarrowedValue(std::wstring_view value);

// A section or key name asked for into `key`, as the image files names:
// blanks around it trimmed, cut at a NUL, ASCII letters in upper case.
void NameKey(const std::string& name, std::wstring& key);

// Walks the lines of the decoded text as the profile functions see them:
// blanks around a line are dropped, empty lines skipped, a line that starts
// with "[" and holds a "]" is a section header (its name runs to the last
// "]"), any other line is a key, with a value when it holds "=". Lines are
// counted from 1; CR LF, a lone CR and a lone LF each end one line. A
// section header also tells where its line starts and where the next begins.
template <typename OnSection, typename OnKey>
void WalkLines(const wchar_t* begin, const wchar_t* end, OnSection onSection, OnKey onKey)
{
    const wchar_t* next = begin;
    int line = 0;
    while (next < end) {
        ++line;
        const wchar_t* lineStart = next;
        const wchar_t* start = next;
        const wchar_t* stop = start;
        while (stop < end && *stop != L'\n' && *stop != L'\r') ++stop;
        next = stop == end ? end : stop + 1;
        // The LF of a CR LF pair would only make an empty line.
        if (stop < end && *stop == L'\r' && next < end && *next == L'\n') ++next;
        const wchar_t* lineEnd = stop;
        while (start < lineEnd && IsProfileSpace(*start)) ++start;
        while (lineEnd > start && IsProfileSpace(lineEnd[-1])) --lineEnd;
        if (start >= lineEnd) continue;
        if (*start == L'[') {
            const wchar_t* close = lineEnd;
            while (close > start && close[-1] != L']') --close;
            if (close > start) {
                onSection(Trimmed(start + 1, close - 1), line, static_cast<size_t>(lineStart - begin),
                          static_cast<size_t>(next - begin));
                continue;
            }
        }
        const wchar_t* equals = std::find(start, lineEnd, L'=');
        if (equals == lineEnd) {
            onKey(std::wstring_view(start, static_cast<size_t>(lineEnd - start)), std::wstring_view(), false, line);
        } else {
            onKey(TrimmedView(start, equals), TrimmedView(equals + 1, lineEnd), true, line);
        }
    }
}
