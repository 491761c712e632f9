#include "run/check_values.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "core/ansi_text.h"
#include "core/messages.h"
#include "run/check_keys.h"
#include "run/check_traps.h"
#include "script/expand.h"
#include "script/script_layout.h"

namespace {

// The system's usual short name for HKEY_USERS, which the run does not know.
constexpr const char* UsersShortSlip = "HKU";
constexpr const char* UsersShort = "HKUS";

// Lookup tags of [Constants] values (fixed words of the format, see
// constants.cpp) in the order the loader resolves them, and how many
// ";"-separated fields each takes.
struct TLookupLayout {
    const char* Word;
    size_t MinFields;
    size_t MaxFields;
    bool KeyFirst;  // the first field is a registry key
};
constexpr TLookupLayout LookupLayouts[] = {{"Reg", 1, 3, true}, {"Ini", 3, 4, false}};

bool IsReferenceChar(char c)
{
    if (static_cast<unsigned char>(c) <= ' ') return false;
    for (const char* separators = "\\/:;<>|\"=,%*?"; *separators; ++separators)
        if (c == *separators) return false;
    return true;
}

bool StartsName(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// The name a "%" opens when it looks like a reference: a letter first, at
// least two characters of a name.
std::string OpenedName(const std::string& text, size_t percent)
{
    size_t end = percent + 1;
    while (end < text.size() && IsReferenceChar(text[end])) ++end;
    std::string name = text.substr(percent + 1, end - percent - 1);
    return name.size() >= 2 && StartsName(name[0]) ? name : std::string();
}

// Field count of the parameters of a lookup; lookups of the kinds resolved
// before it are replaced by their results first, so their fields do not count.
size_t FieldCount(std::string params, const TLookupLayout& lookup)
{
    for (const TLookupLayout* earlier = LookupLayouts; earlier != &lookup; ++earlier) {
        const std::string open = std::string("<") + earlier->Word + ">";
        const std::string close = std::string("</") + earlier->Word + ">";
        for (size_t at; (at = params.find(open)) != std::string::npos;) {
            size_t end = params.find(close, at);
            if (end == std::string::npos) break;
            params.erase(at, end + close.size() - at);
        }
    }
    return static_cast<size_t>(std::count(params.begin(), params.end(), ';')) + 1;
}

std::string FirstField(const std::string& params)
{
    return params.substr(0, params.find(';'));
}

// Length of the value without one pair of enclosing quotes.
size_t UnquotedLength(const std::string& value)
{
    bool quoted = value.size() > 1 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
    return quoted ? value.size() - 2 : value.size();
}

}  // namespace

// Collects the %name% references of a value for the end of the check, when
// every constant is known, and reports a "%" that opens a name it never closes.
void CheckReferences(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& text,
                     bool defaultAllowed)
{
    size_t at = 0;
    while ((at = text.find('%', at)) != std::string::npos) {
        size_t close = text.find('%', at + 1);
        std::string between = close == std::string::npos ? std::string() : text.substr(at + 1, close - at - 1);
        bool isName = !between.empty() && std::all_of(between.begin(), between.end(), IsReferenceChar);
        if (isName) {
            bool meantDefault = defaultAllowed && SameName("%" + between + "%", Msg(WordDefault));
            if (!meantDefault) check.References.push_back(TReference{view.Order, view.Shown, line.Line, between});
            at = close + 1;
            continue;
        }
        std::string opened = OpenedName(text, at);
        if (!opened.empty())
            Add(check, view, line.Line, TSeverity::Warning, TFindingCode::LookupForm, FillMsg(MsgCheckUnclosedPercent, {opened}));
        if (close == std::string::npos) return;
        at = close;
    }
}

namespace {

// The lookups of a [Constants] value, as the loader pairs them.
void CheckLookups(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& value)
{
    std::string folded = FoldedScriptName(value);
    for (const TLookupLayout& lookup : LookupLayouts) {
        const std::string open = std::string("<") + lookup.Word + ">";
        const std::string close = std::string("</") + lookup.Word + ">";
        // A tag in another letter case is text to the loader; one finding a value is enough.
        bool otherCase = false;
        for (const std::string& tag : {open, close}) {
            std::string foldedTag = FoldedScriptName(tag);
            for (size_t at = folded.find(foldedTag); at != std::string::npos && !otherCase;
                 at = folded.find(foldedTag, at + 1)) {
                std::string written = value.substr(at, tag.size());
                if (written == tag) continue;
                Add(check, view, line.Line, TSeverity::Warning, TFindingCode::LookupForm, FillMsg(MsgCheckTagCase, {written, tag}));
                otherCase = true;
            }
        }
        size_t at = 0;
        for (;;) {
            size_t opening = value.find(open, at);
            size_t closing = value.find(close, at);
            if (closing != std::string::npos && (opening == std::string::npos || closing < opening)) {
                Add(check, view, line.Line, TSeverity::Warning, TFindingCode::LookupForm, FillMsg(MsgCheckStrayCloseTag, {close}));
                at = closing + close.size();
                continue;
            }
            if (opening == std::string::npos) break;
            closing = value.find(close, opening + open.size());
            if (closing == std::string::npos) {
                Add(check, view, line.Line, TSeverity::Warning, TFindingCode::LookupForm,
                    FillMsg(MsgCheckUnclosedTag, {value.substr(opening), close}));
                break;
            }
            std::string params = value.substr(opening + open.size(), closing - opening - open.size());
            size_t fields = FieldCount(params, lookup);
            if (fields < lookup.MinFields || fields > lookup.MaxFields)
                Add(check, view, line.Line, TSeverity::Warning, TFindingCode::LookupForm,
                    FillMsg(MsgCheckTagForm, {open + params + close, std::to_string(fields),
                                           std::to_string(lookup.MinFields), std::to_string(lookup.MaxFields)}));
            else if (lookup.KeyFirst)
                CheckRegistryPath(check, view, line.Line, ExpandConstants(FirstField(params), ExpandPlain));
            at = closing + close.size();
        }
    }
}

// A lookup tag outside [Constants] is plain text.
void CheckLookupsOutside(TCheck& check, const TFileView& view, const TScriptLine& line)
{
    std::string folded = FoldedScriptName(line.Read);
    for (const TLookupLayout& lookup : LookupLayouts) {
        std::string open = FoldedScriptName(std::string("<") + lookup.Word + ">");
        size_t at = folded.find(open);
        if (at == std::string::npos) continue;
        Add(check, view, line.Line, TSeverity::Warning, TFindingCode::LookupForm,
            FillMsg(MsgCheckTagOutside, {Msg(WordConstants), line.Read.substr(at, open.size())}));
    }
}

}  // namespace

// The checks every read value of an options or action section gets.
void CheckValue(TCheck& check, const TFileView& view, const TScriptLine& line, bool expanded, bool defaultAllowed)
{
    size_t length = UnquotedLength(line.Value);
    if (line.Read.size() < length)
        Add(check, view, line.Line, TSeverity::Warning, TFindingCode::ValueCut,
            FillMsg(MsgCheckValueCut, {line.Name, std::to_string(length), std::to_string(line.Read.size())}));
    CheckInlineComment(check, view, line, line.Value);
    if (!expanded) return;
    CheckLookupsOutside(check, view, line);
    CheckReferences(check, view, line, line.Read, defaultAllowed);
}

void CheckRegistryPath(TCheck& check, const TFileView& view, int line, const std::string& path)
{
    if (path.empty()) return;
    size_t slash = path.find('\\');
    std::string first = path.substr(0, slash);
    bool exact = false;
    std::string otherCase;
    std::vector<std::string> roots;
    for (const TRootName& root : RootNames) roots.insert(roots.end(), {root.Full, root.Short});
    for (const std::string& root : roots) {
        if (first == root)
            exact = true;
        else if (SameName(first, root))
            otherCase = root;
    }
    if (SameName(first, UsersShortSlip)) otherCase = UsersShort;
    if (exact && slash != std::string::npos) return;
    if (exact) {
        Add(check, view, line, TSeverity::Error, TFindingCode::RegistryRoot, FillMsg(MsgCheckRootAlone, {path}));
    } else if (!otherCase.empty()) {
        Add(check, view, line, TSeverity::Error, TFindingCode::RegistryRoot, WithSuggestion(FillMsg(MsgCheckRootCase, {first}), otherCase));
    } else {
        Add(check, view, line, TSeverity::Warning, TFindingCode::RegistryRoot,
            WithSuggestion(FillMsg(MsgCheckNoRoot, {path}), Nearest(first, roots)));
    }
}

void CheckConstants(TCheck& check, const TFileView& view, const TScriptSection& section)
{
    std::map<std::string, int> defined;
    for (const TScriptLine& line : section.Lines) {
        if (!line.Name.empty() && line.Name[0] == ';') continue;
        // The loader cuts a value at a second "=".
        std::string value = line.Value.substr(0, line.Value.find('='));
        if (line.Name.empty()) continue;  // the loader skips a nameless entry
        auto [first, fresh] = defined.emplace(FoldedScriptName(line.Name), line.Line);
        if (!fresh)
            Add(check, view, line.Line, TSeverity::Warning, TFindingCode::ConstantTwice,
                FillMsg(MsgCheckConstantTwice, {line.Name, std::to_string(first->second)}));
        CheckInlineComment(check, view, line, value);
        CheckLookups(check, view, line, value);
        CheckReferences(check, view, line, value, false);
    }
}

// A flag word is found anywhere in the text by the run, so only words that
// hold none of the known ones are ignored there.
void CheckFlags(TCheck& check, const TFileView& view, const TScriptLine& line)
{
    std::string flags = ExpandConstants(line.Read, ExpandPlain);
    std::vector<std::string> known;
    for (unsigned word : FileFlagWords) known.push_back(Msg(word));
    // A hyphen belongs to the word: "keep-newest" is a misspelt flag, not two.
    auto inWord = [](char c) { return IsAsciiAlnum(c) || c == '_' || c == '-'; };
    for (size_t at = 0; at < flags.size();) {
        if (!inWord(flags[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < flags.size() && inWord(flags[end])) ++end;
        std::string word = flags.substr(at, end - at);
        at = end;
        bool holdsKnown = std::any_of(known.begin(), known.end(), [&word](const std::string& flag) {
            return !flag.empty() && word.find(flag) != std::string::npos;
        });
        if (!holdsKnown)
            Add(check, view, line.Line, TSeverity::Warning, TFindingCode::UnknownFlag,
                WithSuggestion(FillMsg(MsgCheckUnknownFlag, {word}), Nearest(word, known)));
    }
    std::string only9x = Msg(Word9xOnly);
    std::string onlyNt = Msg(WordNtOnly);
    if (!only9x.empty() && !onlyNt.empty() && flags.find(only9x) != std::string::npos &&
        flags.find(onlyNt) != std::string::npos)
        Add(check, view, line.Line, TSeverity::Warning, TFindingCode::FlagsExclusive, FillMsg(MsgCheckFlagsExclusive, {only9x, onlyNt}));
}

