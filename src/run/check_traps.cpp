#include "run/check_traps.h"

#include <windows.h>

#include <cstdint>

#include "actions/registry.h"
#include "core/ansi_text.h"
#include "core/messages.h"
#include "core/paths.h"
#include "run/check_keys.h"
#include "script/check_option.h"
#include "script/expand.h"
#include "script/script_image.h"

namespace {

// The system's names of registry types (as its registry editor shows them)
// and words for them, with the letter that writes that type; 0 where this
// program writes no such type.
struct TTypeName {
    const char* Word;
    char Letter;
    const char* Type;
};
constexpr TTypeName TypeNames[] = {
    {"REG_SZ", 'S', "REG_SZ"},
    {"REG_EXPAND_SZ", 'S', "REG_EXPAND_SZ"},
    {"EXPAND_SZ", 'S', "REG_EXPAND_SZ"},
    {"TEXT", 'S', "REG_SZ"},
    {"REG_MULTI_SZ", 'M', "REG_MULTI_SZ"},
    {"REG_DWORD", 'I', "REG_DWORD"},
    {"REG_DWORD_LITTLE_ENDIAN", 'I', "REG_DWORD"},
    {"DWORD", 'I', "REG_DWORD"},
    {"NUMBER", 'I', "REG_DWORD"},
    {"REG_BINARY", 'B', "REG_BINARY"},
    {"HEX", 'B', "REG_BINARY"},
    {"REG_QWORD", 0, "REG_QWORD"},
    {"QWORD", 0, "REG_QWORD"},
    {"REG_NONE", 0, "REG_NONE"},
};

// The letters of the types the run writes: string, number, multi-string,
// binary (any other letter is binary too).
constexpr const char* TypeLetters = "SIMB";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool Quoted(const std::string& value)
{
    return value.size() > 1 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
}

// Strict UTF-8: the length of the sequence at `at`, 0 when none starts there.
size_t Utf8Sequence(const std::string& bytes, size_t at)
{
    auto byte = [&bytes](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    unsigned lead = byte(at);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || lead > 0xF4) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    unsigned second = byte(at + 1);
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

// Each line's bytes with its number, as the script reader counts lines (CR LF,
// a lone CR and a lone LF each end one).
template <typename OnLine>
void ForEachLine(const std::string& bytes, OnLine onLine)
{
    int number = 0;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        if (!onLine(++number, bytes.substr(at, end - at))) return;
        at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

bool HasNonAscii(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

bool EndsLikeProgram(const std::string& word)
{
    std::string upper = UpperAscii(word);
    for (const char* end : {".EXE", ".COM", ".BAT", ".CMD"})
        if (upper.size() > 4 && upper.compare(upper.size() - 4, 4, end) == 0) return true;
    return false;
}

bool ProgramExists(const std::string& written)
{
    std::string path = ExpandConstants(written, ExpandPath);
    return IsFilePath(path) || IsFilePath(path + ".exe");
}

}  // namespace

void CheckEncoding(TCheck& check, const TFileView& view)
{
    std::string bytes;
    if (!ReadScriptBytes(view.Path, bytes) || !HasNonAscii(bytes)) return;
    // A byte-order mark (UTF-8, UTF-16 either way) says how the file is read.
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 || bytes.compare(0, 2, "\xFF\xFE") == 0 ||
        bytes.compare(0, 2, "\xFE\xFF") == 0)
        return;
    UINT codePage = GetACP();
    std::string page = std::to_string(codePage);
    bool utf8 = true;
    for (size_t at = 0; at < bytes.size() && utf8;) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        size_t length = Utf8Sequence(bytes, at);
        utf8 = length > 0;
        at += length;
    }
    ForEachLine(bytes, [&](int number, const std::string& line) {
        // A comment is never read: its letters may come out as they will.
        size_t first = line.find_first_not_of(" \t");
        if (!HasNonAscii(line) || (first != std::string::npos && line[first] == ';')) return true;
        if (utf8) {
            if (codePage != CP_UTF8)
                Add(check, view, number, TSeverity::Error, TFindingCode::Utf8WithoutMark,
                    FillMsg(MsgCheckUtf8, {page, page}));
            return false;
        }
        // Text of a double-byte code page can hold pairs that are no characters.
        int converted = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()),
                                            nullptr, 0);
        if (converted > 0) return true;
        Add(check, view, number, TSeverity::Error, TFindingCode::NotAnsiText, FillMsg(MsgCheckNotAnsi, {page}));
        return false;
    });
}

void CheckInlineComment(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& value)
{
    if (Quoted(value)) return;
    for (size_t at = 1; at < value.size(); ++at) {
        if (!IsBlank(value[at - 1])) continue;
        if (value[at] == ';') {
            Add(check, view, line.Line, TSeverity::Error, TFindingCode::InlineComment,
                FillMsg(MsgCheckInlineComment, {line.Name, value.substr(at)}));
            return;
        }
        // "#" starts a comment in other INI dialects; "Room #4" is text.
        if (value[at] == '#' && (at + 1 == value.size() || IsBlank(value[at + 1]))) {
            Add(check, view, line.Line, TSeverity::Warning, TFindingCode::InlineComment,
                FillMsg(MsgCheckInlineHash, {line.Name, value.substr(at)}));
            return;
        }
    }
}

void CheckRegistryEntry(TCheck& check, const TFileView& view, const TScriptLine* type, const TScriptLine* value)
{
    char letter = 'S';
    if (type && !type->Read.empty()) {
        const std::string& word = type->Read;
        letter = UpperAscii(word[0]);
        std::string first(1, word[0]);
        const TTypeName* known = nullptr;
        for (const TTypeName& name : TypeNames)
            if (UpperAscii(word) == name.Word) known = &name;
        if (known && known->Letter == 'B') {
            Add(check, view, type->Line, TSeverity::Note, TFindingCode::RegistryType,
                FillMsg(MsgCheckTypeBinary, {word, first}));
        } else if (known && known->Letter != 0) {
            Add(check, view, type->Line, TSeverity::Error, TFindingCode::RegistryType,
                WithSuggestion(FillMsg(MsgCheckTypeMeant, {word, first, known->Type}), std::string(1, known->Letter)));
        } else if (known) {
            Add(check, view, type->Line, TSeverity::Error, TFindingCode::RegistryType,
                FillMsg(MsgCheckTypeUnwritable, {word, first, known->Type}));
        } else if (std::string(TypeLetters).find(letter) == std::string::npos) {
            Add(check, view, type->Line, TSeverity::Warning, TFindingCode::RegistryType,
                FillMsg(MsgCheckTypeUnknown, {word, first}));
        }
    }
    if (letter != 'I' || !value) return;
    std::string text = ExpandAs(value->Read, TExpansion::DecodedParts);
    // A constant the check cannot know is reported on its own.
    if (text.empty() || text.find('%') != std::string::npos) return;
    uint32_t number = 0;
    if (!ParseRegistryInteger(text, number))
        Add(check, view, value->Line, TSeverity::Error, TFindingCode::NotANumber,
            FillMsg(MsgCheckNotANumber, {value->Name, value->Read}));
}

void CheckRunProgram(TCheck& check, const TFileView& view, const TScriptLine& run)
{
    const std::string& value = run.Read;
    size_t blank = value.find(' ');
    if (value.empty() || value[0] == '"' || blank == std::string::npos) return;
    std::string program = value.substr(0, blank);
    if (EndsLikeProgram(program) || ProgramExists(program)) return;
    // Where the path goes on: a later word that ends like a program, or a
    // longer part of the value that names a file here.
    for (size_t at = blank; at != std::string::npos; at = value.find(' ', at + 1)) {
        size_t next = value.find(' ', at + 1);
        std::string head = value.substr(0, next);
        if (!EndsLikeProgram(value.substr(at + 1, next == std::string::npos ? next : next - at - 1)) &&
            !ProgramExists(head))
            continue;
        std::string quoted = "\"" + head + "\"" + (next == std::string::npos ? std::string() : value.substr(next));
        Add(check, view, run.Line, TSeverity::Error, TFindingCode::RunPathBlank,
            FillMsg(MsgCheckRunBlank, {run.Name, program, value.substr(blank + 1), run.Name + "=" + quoted}));
        return;
    }
}

void CheckSourcePath(TCheck& check, const TFileView& view, const TScriptLine& line)
{
    std::string source = ExpandConstants(line.Read, ExpandPlain);
    // An environment variable of the workstations that is unknown here cannot be judged.
    if (source.empty() || source[0] == '%') return;
    bool full = source.compare(0, 2, "\\\\") == 0 ||
                (source.size() > 2 && source[1] == ':' && (source[2] == '\\' || source[2] == '/'));
    if (full) return;
    char here[MAX_PATH];
    DWORD length = GetFullPathNameA(source.c_str(), MAX_PATH, here, nullptr);
    std::string resolved = length > 0 && length < MAX_PATH ? std::string(here, length) : source;
    Add(check, view, line.Line, TSeverity::Warning, TFindingCode::RelativeSource,
        FillMsg(MsgCheckSourceRelative, {line.Name, line.Read, resolved}));
}

void CheckCheckOption(TCheck& check, const TFileView& view, const TScriptLine& line)
{
    bool known = true;
    ParseCheckOption(line.Read, known);
    if (!known)
        Add(check, view, line.Line, TSeverity::Warning, TFindingCode::CheckOptionValue,
            FillMsg(MsgCheckCheckValue, {line.Name, line.Read, Msg(WordStrict)}));
}

std::string DirectoriesFirst(const std::string& order)
{
    std::string fixed;
    for (char c : order)
        if (c != 'D') fixed += c;
    size_t files = fixed.find('F');
    fixed.insert(files == std::string::npos ? 0 : files, 1, 'D');
    return fixed;
}
