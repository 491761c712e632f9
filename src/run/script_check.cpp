#include "run/script_check.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>

#include "core/ansi_text.h"
#include "actions/file_decision.h"
#include "core/handles.h"
#include "machine/live_machine.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/include_chain.h"
#include "script/profile.h"
#include "script/script_image.h"
#include "script/script_layout.h"
#include "script/settings.h"

namespace {

// ---------------------------------------------------------------------------
// The script layout as a run reads it. Everything the check knows about
// sections, keys, item kinds, flags and registry roots is in these tables.

// Where a key is read.
enum TReadIn : unsigned {
    InInsert = 1,
    InUpdate = 2,
    InDelete = 4,
    InActions = InInsert | InUpdate | InDelete,
    InScriptOptions = 8,     // [Options] of the script the program was started with
    InIncludedOptions = 16,  // [Options] of an included script
    InOptions = InScriptOptions | InIncludedOptions,
};

struct TSectionLayout {
    unsigned Name;
    char Mode;  // 'O' options, 'C' constants, 'I', 'U', 'D' action sections
};

constexpr TSectionLayout SectionLayouts[] = {
    {WordOptions, 'O'}, {WordConstants, 'C'}, {WordInsert, 'I'}, {WordUpdate, 'U'}, {WordDelete, 'D'},
};

// A key name: a word, an item number, an entry word and number, a last word.
struct TKeyLayout {
    unsigned Prefix;
    bool Numbered;
    unsigned EntryWord;  // 0: no entry number
    unsigned Suffix;     // 0: the name ends after the numbers
    char Kind;           // item kind; 0 for options and ItemOrder
    unsigned ReadIn;
    bool Expanded;       // constants are expanded in the value
};

constexpr TKeyLayout KeyLayouts[] = {
    {WordSettings, false, 0, 0, 0, InScriptOptions, false},
    {WordWinHeader, false, 0, 0, 0, InScriptOptions, true},
    {WordSourcePath, false, 0, 0, 0, InScriptOptions, true},
    {WordLanguage, false, 0, 0, 0, InScriptOptions, false},
    {WordPause, false, 0, 0, 0, InScriptOptions, true},
    {WordSelfPause, false, 0, 0, 0, InScriptOptions, true},
    {WordSectionOrder, false, 0, 0, 0, InOptions, false},
    {WordInclude, true, 0, 0, 0, InOptions, true},
    {WordRun, false, 0, 0, 0, InScriptOptions, true},
    {WordRun, false, 0, WordFlags, 0, InScriptOptions, true},
    {WordLogFile, false, 0, 0, 0, InScriptOptions, true},
    {WordLogSize, false, 0, 0, 0, InScriptOptions, true},
    {WordItemOrder, false, 0, 0, 0, InActions, false},
    {WordFile, true, 0, 0, 'F', InActions, true},
    {WordFile, true, 0, WordFlags, 'F', InActions, true},
    {WordFile, true, 0, WordRenameTo, 'F', InUpdate, true},
    {WordDir, true, 0, 0, 'D', InActions, true},
    {WordDir, true, 0, WordRenameTo, 'D', InUpdate, true},
    {WordReg, true, 0, 0, 'R', InActions, true},
    {WordReg, true, WordVal, WordName, 'R', InActions, true},
    {WordReg, true, WordVal, WordType, 'R', InInsert | InUpdate, false},
    {WordReg, true, WordVal, WordValue, 'R', InInsert | InUpdate, true},
    {WordIni, true, 0, 0, 'I', InActions, true},
    {WordIni, true, WordVal, WordSection, 'I', InActions, true},
    {WordIni, true, WordVal, WordName, 'I', InActions, true},
    {WordIni, true, WordVal, WordValue, 'I', InInsert | InUpdate, true},
    {WordBDEAlias, true, 0, 0, 'B', InActions, true},
    {WordBDEAlias, true, 0, WordParams, 'B', InActions, true},
    {WordText, true, 0, 0, 'T', InActions, true},
    {WordText, true, WordStr, WordPrefix, 'T', InActions, true},
    {WordText, true, WordStr, WordFull, 'T', InActions, true},
    {WordComSrv, true, 0, 0, 'S', InActions, true},
};

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

// Suggestions are made for names at most this far from a known one, and
// closer than a third of the known name's length.
constexpr size_t MaxSuggestionDistance = 2;

// ---------------------------------------------------------------------------
// Texts and names.

// Script names match without regard to ASCII case, as the reads match them.
std::string FoldedName(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded) c = UpperAscii(c);
    return folded;
}

bool SameName(const std::string& a, const std::string& b)
{
    return FoldedName(a) == FoldedName(b);
}

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Edit distance without regard to ASCII case; swapping two neighbours counts one.
size_t EditDistance(const std::string& a, const std::string& b)
{
    std::string x = FoldedName(a);
    std::string y = FoldedName(b);
    std::vector<std::vector<size_t>> d(x.size() + 1, std::vector<size_t>(y.size() + 1));
    for (size_t i = 0; i <= x.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= y.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= x.size(); ++i)
        for (size_t j = 1; j <= y.size(); ++j) {
            size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[x.size()][y.size()];
}

// The known name nearest to the written one, when it is close; else empty.
std::string Nearest(const std::string& written, const std::vector<std::string>& known)
{
    std::string best;
    size_t bestDistance = MaxSuggestionDistance + 1;
    for (const std::string& candidate : known) {
        size_t distance = EditDistance(written, candidate);
        if (distance == 0 || distance >= bestDistance || distance * 3 >= candidate.size()) continue;
        best = candidate;
        bestDistance = distance;
    }
    return best;
}

std::string WithSuggestion(const std::string& text, const std::string& suggestion)
{
    return suggestion.empty() ? text : text + FillMsg(MsgCheckDidYouMean, {suggestion});
}

// ---------------------------------------------------------------------------
// Key names against the layout table.

struct TKeyMatch {
    const TKeyLayout* Layout = nullptr;
    int Item = 0;
    int Entry = 0;
};

// Reads a number as the run writes it: decimal, from 1, without leading zeros.
bool TakeNumber(const std::string& name, size_t& at, int& number)
{
    if (at >= name.size() || name[at] < '1' || name[at] > '9') return false;
    long long value = 0;
    while (at < name.size() && IsDigit(name[at])) {
        value = value * 10 + (name[at++] - '0');
        if (value > 1000000000) return false;  // no script has that many items
    }
    number = static_cast<int>(value);
    return true;
}

bool TakeWord(const std::string& folded, size_t& at, unsigned word)
{
    if (word == 0) return true;
    std::string text = FoldedName(Msg(word));
    if (text.empty() || folded.compare(at, text.size(), text) != 0) return false;
    at += text.size();
    return true;
}

bool MatchLayout(const std::string& name, const TKeyLayout& layout, TKeyMatch& match)
{
    std::string folded = FoldedName(name);
    size_t at = 0;
    match = TKeyMatch{&layout, 0, 0};
    if (!TakeWord(folded, at, layout.Prefix)) return false;
    if (layout.Numbered && !TakeNumber(folded, at, match.Item)) return false;
    if (layout.EntryWord != 0 && (!TakeWord(folded, at, layout.EntryWord) || !TakeNumber(folded, at, match.Entry)))
        return false;
    if (!TakeWord(folded, at, layout.Suffix)) return false;
    return at == folded.size();
}

// The layout the key follows among those the section can hold.
bool MatchKey(const std::string& name, bool optionsSection, TKeyMatch& match)
{
    for (const TKeyLayout& layout : KeyLayouts) {
        bool forOptions = (layout.ReadIn & InOptions) != 0;
        if (forOptions == optionsSection && MatchLayout(name, layout, match)) return true;
    }
    return false;
}

std::string KeyName(const TKeyLayout& layout, int item, int entry)
{
    std::string name = Msg(layout.Prefix);
    if (layout.Numbered) name += std::to_string(item);
    if (layout.EntryWord != 0) name += Msg(layout.EntryWord) + std::to_string(entry);
    if (layout.Suffix != 0) name += Msg(layout.Suffix);
    return name;
}

// The known key nearest to an unknown one, with the numbers it was written with.
std::string NearestKey(const std::string& name, bool optionsSection)
{
    std::vector<int> numbers;
    for (size_t at = 0; at < name.size();) {
        if (!IsDigit(name[at])) {
            ++at;
            continue;
        }
        long long value = 0;
        while (at < name.size() && IsDigit(name[at])) value = std::min(value * 10 + (name[at++] - '0'), 1000000000LL);
        numbers.push_back(value == 0 ? 1 : static_cast<int>(value));
    }
    std::vector<std::string> known;
    for (const TKeyLayout& layout : KeyLayouts) {
        if (((layout.ReadIn & InOptions) != 0) != optionsSection) continue;
        int item = numbers.size() > 0 ? numbers[0] : 1;
        int entry = numbers.size() > 1 ? numbers[1] : 1;
        known.push_back(KeyName(layout, item, entry));
    }
    return Nearest(name, known);
}

// ---------------------------------------------------------------------------
// Files.

// The first file matching the name or mask that the run would take from the
// source (hidden and system files are passed over); empty when none.
// The machine as a run's decisions read it.
TLiveMachine& Machine()
{
    static TLiveMachine machine;
    return machine;
}

std::string FirstVisibleMatch(const std::string& pattern)
{
    std::vector<TListedFile> matches = Machine().Matches(pattern, false, true);
    return matches.empty() ? std::string() : DirectoryPart(pattern) + matches.front().Name;
}

std::string FullPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    // A path the system cannot complete is shown as it is.
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
}

// A directory path for comparing: upper case, backslashes, no trailing one.
std::string ComparableDirectory(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    path = UpperAnsi(path);
    return path;
}

// ---------------------------------------------------------------------------
// The check's state.

enum class TRole { Script, Settings, Include };

struct TFileView {
    std::string Path;   // where it is read from
    std::string Shown;  // how findings name it
    size_t Order = 0;   // place in the report
    std::vector<TScriptSection> Sections;
};

// Which copy of a script file the run would read: the source's when it
// differs there, so that the run's update pass would fetch it.
struct TCopy {
    std::string Path;
    std::string Shown;
    bool AtSource = false;
    bool MissingAtSource = false;
};

struct TReference {
    size_t Order = 0;
    std::string Shown;
    int Line = 0;
    std::string Name;
};

struct TCheck {
    std::string SourceDir;
    std::vector<TFinding> Findings;
    std::vector<size_t> FindingOrder;  // per finding, the place of its file
    std::deque<TFileView> Views;       // stable addresses
    std::map<std::string, const TFileView*> Includes;  // by folded name: each is reported once
    std::vector<TReference> References;
};

void Add(TCheck& check, const TFileView& view, int line, TSeverity severity, int code, const std::string& text)
{
    check.Findings.push_back(TFinding{view.Shown, line, severity, code, text});
    check.FindingOrder.push_back(view.Order);
}

TFileView& OpenView(TCheck& check, const std::string& path, const std::string& shown)
{
    TFileView& view = check.Views.emplace_back();
    view.Path = path;
    view.Shown = shown;
    view.Order = check.Views.size() - 1;
    if (!ListScriptSections(path, view.Sections)) Add(check, view, 0, TSeverity::Error, 100, Msg(MsgCheckUnreadable));
    return view;
}

// The line of the first key of that name in the first section of that name; 0 when none.
int KeyLine(const TFileView& view, const std::string& section, const std::string& key)
{
    for (const TScriptSection& candidate : view.Sections) {
        if (candidate.Line == 0 || !SameName(candidate.Name, section)) continue;
        for (const TScriptLine& line : candidate.Lines)
            if (SameName(line.Name, key)) return line.Line;
        return 0;
    }
    return 0;
}

std::string ReadOption(const std::string& path, unsigned key)
{
    return ReadScriptString(path, Msg(WordOptions), Msg(key));
}

// The source directory as the run sets it from the script: a backslash
// added, then constants expanded; the program's directory when empty. Sets
// the srcdir constant as the run does.
std::string SetSourceDir(const std::string& scriptPath)
{
    std::string source = SourceDirOf(scriptPath);
    SetSrcDirConstant(source);
    return source;
}

TCopy ChooseCopy(const TCheck& check, const std::string& name)
{
    TCopy copy;
    copy.Path = Run.ExeDir + name;
    copy.Shown = name;
    std::vector<TListedFile> matches = Machine().Matches(check.SourceDir + FileNamePart(name), false, true);
    if (matches.empty()) {
        copy.MissingAtSource = true;
        return copy;
    }
    // The run's own decision for its own files: no flags.
    std::string source = check.SourceDir + matches.front().Name;
    if (!DecideCopy(matches.front(), source, copy.Path, TFileFlags{}, Machine()).Copy) return copy;
    copy.Path = source;
    copy.Shown = FullPath(source);
    copy.AtSource = true;
    return copy;
}

// ---------------------------------------------------------------------------
// Values.

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
            Add(check, view, line.Line, TSeverity::Warning, 114, FillMsg(MsgCheckUnclosedPercent, {opened}));
        if (close == std::string::npos) return;
        at = close;
    }
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

void CheckRegistryPath(TCheck& check, const TFileView& view, int line, const std::string& path);

// The lookups of a [Constants] value, as the loader pairs them.
void CheckLookups(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& value)
{
    std::string folded = FoldedName(value);
    for (const TLookupLayout& lookup : LookupLayouts) {
        const std::string open = std::string("<") + lookup.Word + ">";
        const std::string close = std::string("</") + lookup.Word + ">";
        // A tag in another letter case is text to the loader; one finding a value is enough.
        bool otherCase = false;
        for (const std::string& tag : {open, close}) {
            std::string foldedTag = FoldedName(tag);
            for (size_t at = folded.find(foldedTag); at != std::string::npos && !otherCase;
                 at = folded.find(foldedTag, at + 1)) {
                std::string written = value.substr(at, tag.size());
                if (written == tag) continue;
                Add(check, view, line.Line, TSeverity::Warning, 114, FillMsg(MsgCheckTagCase, {written, tag}));
                otherCase = true;
            }
        }
        size_t at = 0;
        for (;;) {
            size_t opening = value.find(open, at);
            size_t closing = value.find(close, at);
            if (closing != std::string::npos && (opening == std::string::npos || closing < opening)) {
                Add(check, view, line.Line, TSeverity::Warning, 114, FillMsg(MsgCheckStrayCloseTag, {close}));
                at = closing + close.size();
                continue;
            }
            if (opening == std::string::npos) break;
            closing = value.find(close, opening + open.size());
            if (closing == std::string::npos) {
                Add(check, view, line.Line, TSeverity::Warning, 114,
                    FillMsg(MsgCheckUnclosedTag, {value.substr(opening), close}));
                break;
            }
            std::string params = value.substr(opening + open.size(), closing - opening - open.size());
            size_t fields = FieldCount(params, lookup);
            if (fields < lookup.MinFields || fields > lookup.MaxFields)
                Add(check, view, line.Line, TSeverity::Warning, 114,
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
    std::string folded = FoldedName(line.Read);
    for (const TLookupLayout& lookup : LookupLayouts) {
        std::string open = FoldedName(std::string("<") + lookup.Word + ">");
        size_t at = folded.find(open);
        if (at == std::string::npos) continue;
        Add(check, view, line.Line, TSeverity::Warning, 114,
            FillMsg(MsgCheckTagOutside, {Msg(WordConstants), line.Read.substr(at, open.size())}));
    }
}

// Length of the value without one pair of enclosing quotes.
size_t UnquotedLength(const std::string& value)
{
    bool quoted = value.size() > 1 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
    return quoted ? value.size() - 2 : value.size();
}

// The checks every read value of an options or action section gets.
void CheckValue(TCheck& check, const TFileView& view, const TScriptLine& line, bool expanded, bool defaultAllowed)
{
    size_t length = UnquotedLength(line.Value);
    if (line.Read.size() < length)
        Add(check, view, line.Line, TSeverity::Warning, 121,
            FillMsg(MsgCheckValueCut, {line.Name, std::to_string(length), std::to_string(line.Read.size())}));
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
        Add(check, view, line, TSeverity::Error, 110, FillMsg(MsgCheckRootAlone, {path}));
    } else if (!otherCase.empty()) {
        Add(check, view, line, TSeverity::Error, 110, WithSuggestion(FillMsg(MsgCheckRootCase, {first}), otherCase));
    } else {
        Add(check, view, line, TSeverity::Warning, 110,
            WithSuggestion(FillMsg(MsgCheckNoRoot, {path}), Nearest(first, roots)));
    }
}

// ---------------------------------------------------------------------------
// Numbered items and entries.

// What is written under one number.
struct TSlot {
    int FirstLine = 0;
    std::string FirstKey;     // as written
    bool Present = false;     // the key that keeps the list going is there and not empty
    std::string EndKey;       // the key that ends the list here (when not present)
    bool EndKeyEmpty = false; // written, but empty
};

void Note(TSlot& slot, const TScriptLine& line)
{
    if (slot.FirstLine == 0 || line.Line < slot.FirstLine) {
        slot.FirstLine = line.Line;
        slot.FirstKey = line.Name;
    }
}

// The first number a run does not read: it reads 1, 2, ... up to the first
// that is not present.
int FirstUnread(const std::map<int, TSlot>& slots)
{
    int stop = 1;
    for (auto found = slots.find(stop); found != slots.end() && found->second.Present; found = slots.find(++stop)) {
    }
    return stop;
}

// Every number written after one that is not present is never read; each
// gap is reported at its first number, naming the key that ends the list
// there. `endKeyOf` names the key that a number without any key lacks. An
// empty key that ends the list with nothing after it is no mistake.
void CheckGaps(TCheck& check, const TFileView& view, const std::map<int, TSlot>& slots, int code,
               const std::function<std::string(int)>& endKeyOf)
{
    int stop = FirstUnread(slots);
    for (const auto& [number, slot] : slots) {
        if (number < stop) continue;
        if (number == stop) {
            if (!slot.EndKeyEmpty)
                Add(check, view, slot.FirstLine, TSeverity::Warning, code,
                    FillMsg(MsgCheckGapMissing, {slot.FirstKey, slot.EndKey}));
            continue;
        }
        auto before = slots.find(number - 1);
        if (before == slots.end())
            Add(check, view, slot.FirstLine, TSeverity::Warning, code,
                FillMsg(MsgCheckGapMissing, {slot.FirstKey, endKeyOf(number - 1)}));
        else if (number - 1 == stop && before->second.EndKeyEmpty)
            Add(check, view, slot.FirstLine, TSeverity::Warning, code,
                FillMsg(MsgCheckGapEmpty, {slot.FirstKey, before->second.EndKey}));
    }
}

struct TItem {
    TSlot Slot;
    const TScriptLine* Key = nullptr;                  // Prefix{n}
    std::map<unsigned, const TScriptLine*> Parts;      // Prefix{n}Suffix by suffix word
    std::map<int, TSlot> EntrySlots;
    std::map<int, std::map<unsigned, const TScriptLine*>> Entries;  // by entry number, then suffix word
};

struct TKindKeys {
    const TItemKindLayout* Kind = nullptr;
    std::map<int, TItem> Items;
    int Stop = 1;  // the first item number not read
};

std::string ItemKeyName(unsigned prefix, int number)
{
    return Msg(prefix) + std::to_string(number);
}

// The key that keeps entry `entry` of the item going: the entry's last key
// (Name, Prefix), for the first entry of an INI item its Section before that.
std::string EntryEndKey(const TItemKindLayout& kind, int item, int entry, bool first)
{
    unsigned word = first && kind.EntryFirst != 0 ? kind.EntryFirst : kind.EntryEnd;
    return Msg(kind.Prefix) + std::to_string(item) + Msg(kind.EntryWord) + std::to_string(entry) + Msg(word);
}

// ---------------------------------------------------------------------------
// Sections.

// The key lines the reads see: the first line of each name; comment lines
// are left out. Later lines of a name are reported.
std::vector<const TScriptLine*> ReadKeys(TCheck& check, const TFileView& view, const TScriptSection& section)
{
    std::vector<const TScriptLine*> keys;
    std::map<std::string, int> seen;
    for (const TScriptLine& line : section.Lines) {
        if (!line.Name.empty() && line.Name[0] == ';') continue;
        auto [first, fresh] = seen.emplace(FoldedName(line.Name), line.Line);
        if (!fresh) {
            Add(check, view, line.Line, TSeverity::Warning, 124,
                FillMsg(MsgCheckKeyAgain, {line.Name, std::to_string(first->second)}));
            continue;
        }
        keys.push_back(&line);
        if (!line.HasEquals)
            Add(check, view, line.Line, TSeverity::Warning, 125, FillMsg(MsgCheckNoEquals, {line.Name}));
    }
    return keys;
}

// Letters of an order key that name nothing are passed over by the run.
void CheckLetters(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& known, int code,
                  unsigned message, unsigned word)
{
    std::string reported;
    for (char c : line.Read) {
        if (!IsAsciiAlnum(c) || known.find(UpperAscii(c)) != std::string::npos) continue;
        if (reported.find(c) != std::string::npos) continue;
        reported += c;
        Add(check, view, line.Line, TSeverity::Warning, code, FillMsg(message, {std::string(1, c), Msg(word)}));
    }
}

void CheckOptions(TCheck& check, const TFileView& view, const TScriptSection& section, TRole role)
{
    std::map<int, TSlot> includes;
    const TScriptLine* run = nullptr;
    const TScriptLine* runFlags = nullptr;
    for (const TScriptLine* line : ReadKeys(check, view, section)) {
        if (!line->HasEquals) continue;
        TKeyMatch match;
        if (!MatchKey(line->Name, true, match)) {
            Add(check, view, line->Line, TSeverity::Warning, 104,
                WithSuggestion(FillMsg(MsgCheckUnknownKey, {line->Name}), NearestKey(line->Name, true)));
            continue;
        }
        const TKeyLayout& layout = *match.Layout;
        if (role == TRole::Include && (layout.ReadIn & InIncludedOptions) == 0) {
            Add(check, view, line->Line, TSeverity::Warning, 104, FillMsg(MsgCheckIncludedOption, {line->Name}));
            continue;
        }
        CheckValue(check, view, *line, layout.Expanded, false);
        if (layout.Prefix == WordInclude) {
            TSlot& slot = includes[match.Item];
            Note(slot, *line);
            slot.Present = !line->Read.empty();
            slot.EndKey = line->Name;
            slot.EndKeyEmpty = true;
        } else if (layout.Prefix == WordSectionOrder) {
            std::string letters;
            for (const TSectionKind& kind : SectionKinds) letters += kind.Letter;
            CheckLetters(check, view, *line, letters, 107, MsgCheckSectionLetter, WordSectionOrder);
        } else if (layout.Prefix == WordRun) {
            (layout.Suffix == 0 ? run : runFlags) = line;
        }
    }
    CheckGaps(check, view, includes, 102, [](int n) { return ItemKeyName(WordInclude, n); });
    if (role == TRole::Script && run && !run->Read.empty()) {
        std::string flags = runFlags ? ExpandConstants(runFlags->Read, ExpandPlain) : std::string();
        if (flags.find(Msg(WordWine)) == std::string::npos)
            Add(check, view, run->Line, TSeverity::Note, 120,
                FillMsg(MsgCheckRunWithoutWine, {Msg(WordRun), Msg(WordRun) + Msg(WordFlags), Msg(WordWine)}));
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
        auto [first, fresh] = defined.emplace(FoldedName(line.Name), line.Line);
        if (!fresh)
            Add(check, view, line.Line, TSeverity::Warning, 115,
                FillMsg(MsgCheckConstantTwice, {line.Name, std::to_string(first->second)}));
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
            Add(check, view, line.Line, TSeverity::Warning, 105,
                WithSuggestion(FillMsg(MsgCheckUnknownFlag, {word}), Nearest(word, known)));
    }
    std::string only9x = Msg(Word9xOnly);
    std::string onlyNt = Msg(WordNtOnly);
    if (!only9x.empty() && !onlyNt.empty() && flags.find(only9x) != std::string::npos &&
        flags.find(onlyNt) != std::string::npos)
        Add(check, view, line.Line, TSeverity::Warning, 106, FillMsg(MsgCheckFlagsExclusive, {only9x, onlyNt}));
}

unsigned ModeBit(char mode)
{
    return mode == 'I' ? InInsert : mode == 'U' ? InUpdate : InDelete;
}

void CheckFileItems(TCheck& check, const TFileView& view, const TKindKeys& files, const TKindKeys* dirs,
                    const std::string& order, char mode)
{
    // Only Insert sections create directories; with the default orders the
    // files come first.
    size_t fileAt = order.find('F');
    size_t dirAt = order.find('D');
    bool dirsLater = mode == 'I' && dirs && dirAt != std::string::npos && fileAt < dirAt;
    for (const auto& [number, item] : files.Items) {
        if (number >= files.Stop) break;
        auto flags = item.Parts.find(WordFlags);
        if (flags != item.Parts.end()) CheckFlags(check, view, *flags->second);
        if (mode == 'D') continue;
        auto renameTo = item.Parts.find(WordRenameTo);
        if (mode == 'U' && renameTo != item.Parts.end() && !renameTo->second->Read.empty()) continue;
        std::string target = ExpandConstants(item.Key->Read, ExpandPath);
        std::string pattern = FileNamePart(target);
        if (FirstVisibleMatch(check.SourceDir + pattern).empty())
            Add(check, view, item.Key->Line, TSeverity::Error, 118,
                FillMsg(MsgCheckSourceMissing, {FormatMsg(MsgNewVersionNotFound, check.SourceDir + pattern)}));
        if (!dirsLater) continue;
        std::string directory = DirectoryPart(target);
        if (directory.empty() || IsDirectoryPath(directory)) continue;
        std::string wanted = ComparableDirectory(directory);
        for (const auto& [n, dir] : dirs->Items) {
            if (n >= dirs->Stop) break;
            std::string created = ComparableDirectory(ExpandConstants(dir.Key->Read, ExpandPath));
            if (created != wanted && created.compare(0, wanted.size() + 1, wanted + "\\") != 0) continue;
            Add(check, view, item.Key->Line, TSeverity::Error, 119,
                FillMsg(MsgCheckDirLater, {directory.substr(0, directory.size() - 1), dir.Key->Name}));
            break;
        }
    }
}

void CheckActions(TCheck& check, const TFileView& view, const TScriptSection& section, char mode)
{
    std::vector<TKindKeys> kinds;
    for (const TItemKindLayout& kind : ItemKinds) kinds.push_back(TKindKeys{&kind, {}});
    const TScriptLine* orderLine = nullptr;
    for (const TScriptLine* line : ReadKeys(check, view, section)) {
        if (!line->HasEquals) continue;
        TKeyMatch match;
        if (!MatchKey(line->Name, false, match)) {
            Add(check, view, line->Line, TSeverity::Warning, 104,
                WithSuggestion(FillMsg(MsgCheckUnknownKey, {line->Name}), NearestKey(line->Name, false)));
            continue;
        }
        const TKeyLayout& layout = *match.Layout;
        if ((layout.ReadIn & ModeBit(mode)) == 0) {
            if (layout.Suffix == WordRenameTo)
                Add(check, view, line->Line, TSeverity::Warning, 111,
                    FillMsg(MsgCheckUpdateOnly, {line->Name, Msg(WordUpdate)}));
            else
                Add(check, view, line->Line, TSeverity::Warning, 112,
                    FillMsg(MsgCheckNotInDelete, {line->Name, Msg(WordDelete)}));
            continue;
        }
        bool valueName = layout.Kind == 'R' && layout.Suffix == WordName;
        CheckValue(check, view, *line, layout.Expanded, valueName);
        if (layout.Kind == 0) {
            orderLine = line;
            continue;
        }
        TKindKeys& keys = *std::find_if(kinds.begin(), kinds.end(),
                                        [&layout](const TKindKeys& k) { return k.Kind->Letter == layout.Kind; });
        TItem& item = keys.Items[match.Item];
        Note(item.Slot, *line);
        if (layout.EntryWord != 0) {
            item.Entries[match.Entry][layout.Suffix] = line;
            Note(item.EntrySlots[match.Entry], *line);
        } else if (layout.Suffix != 0) {
            item.Parts[layout.Suffix] = line;
        } else {
            item.Key = line;
        }
    }

    std::string order = orderLine ? orderLine->Read : std::string();
    for (char& c : order) c = UpperAscii(c);
    if (orderLine) {
        std::string letters;
        for (const TItemKindLayout& kind : ItemKinds) letters += kind.Letter;
        CheckLetters(check, view, *orderLine, letters, 108, MsgCheckItemLetter, WordItemOrder);
        for (const TItemKindLayout& kind : ItemKinds)
            if (kind.InsertOnly && mode != 'I' && order.find(kind.Letter) != std::string::npos)
                Add(check, view, orderLine->Line, TSeverity::Error, 109,
                    FillMsg(MsgCheckTextInOrder, {Msg(WordItemOrder), std::string(1, kind.Letter), Msg(MsgNotSupported)}));
    }
    if (order.empty()) order = DefaultItemOrder(FindSectionKind(mode)->Mode);

    const TKindKeys* dirs = nullptr;
    for (TKindKeys& keys : kinds) {
        const TItemKindLayout& kind = *keys.Kind;
        if (keys.Items.empty()) continue;
        if (kind.Letter == 'D') dirs = &keys;
        if (order.find(kind.Letter) == std::string::npos) {
            const TSlot* first = nullptr;
            for (const auto& [number, item] : keys.Items)
                if (!first || item.Slot.FirstLine < first->FirstLine) first = &item.Slot;
            Add(check, view, first->FirstLine, TSeverity::Warning, 122,
                FillMsg(MsgCheckKindNotInOrder,
                     {first->FirstKey, Msg(WordItemOrder), orderLine ? orderLine->Read : order,
                      std::string(1, kind.Letter)}));
            keys.Items.clear();
            continue;
        }
        std::map<int, TSlot> slots;
        for (auto& [number, item] : keys.Items) {
            item.Slot.Present = item.Key && !item.Key->Read.empty();
            item.Slot.EndKey = item.Key ? item.Key->Name : ItemKeyName(kind.Prefix, number);
            item.Slot.EndKeyEmpty = item.Key != nullptr;
            slots[number] = item.Slot;
        }
        CheckGaps(check, view, slots, 102, [&kind](int n) { return ItemKeyName(kind.Prefix, n); });
        keys.Stop = FirstUnread(slots);
        for (auto& [number, item] : keys.Items) {
            if (number >= keys.Stop) break;
            if (kind.Letter == 'R')
                CheckRegistryPath(check, view, item.Key->Line, ExpandConstants(item.Key->Read, ExpandPlain));
            if (kind.EntryWord == 0) continue;
            for (auto& [entry, slot] : item.EntrySlots) {
                const auto& parts = item.Entries[entry];
                auto end = parts.find(kind.EntryEnd);
                auto first = kind.EntryFirst != 0 && entry == 1 ? parts.find(kind.EntryFirst) : parts.end();
                bool firstMissing = kind.EntryFirst != 0 && entry == 1 &&
                                    (first == parts.end() || first->second->Read.empty());
                const TScriptLine* ending = firstMissing ? (first == parts.end() ? nullptr : first->second)
                                                         : (end == parts.end() ? nullptr : end->second);
                slot.Present = !firstMissing && ending && !ending->Read.empty();
                slot.EndKey = ending ? ending->Name : EntryEndKey(kind, number, entry, firstMissing);
                slot.EndKeyEmpty = ending != nullptr;
            }
            CheckGaps(check, view, item.EntrySlots, 103,
                      [&kind, number](int n) { return EntryEndKey(kind, number, n, n == 1); });
        }
    }
    for (const TKindKeys& keys : kinds)
        if (keys.Kind->Letter == 'F' && !keys.Items.empty()) CheckFileItems(check, view, keys, dirs, order, mode);
}

// The section's mode by its name: "Update" and "Update.<computer>" are both
// Update sections; 0 for a section the run never reads.
char SectionMode(const std::string& name)
{
    size_t dot = name.find('.');
    std::string head = name.substr(0, dot);
    for (const TSectionLayout& layout : SectionLayouts) {
        if (!SameName(head, Msg(layout.Name))) continue;
        if (dot == std::string::npos) return layout.Mode;
        bool action = layout.Mode == 'I' || layout.Mode == 'U' || layout.Mode == 'D';
        return action && dot + 1 < name.size() ? layout.Mode : 0;
    }
    return 0;
}

std::string NearestSection(const std::string& name, TRole role)
{
    std::vector<std::string> known;
    for (const TSectionLayout& layout : SectionLayouts)
        if (role != TRole::Settings || layout.Mode == 'C') known.push_back(Msg(layout.Name));
    size_t dot = name.find('.');
    std::string head = Nearest(name.substr(0, dot), known);
    if (head.empty() || dot == std::string::npos) return head;
    return head + name.substr(dot);
}

void CheckContents(TCheck& check, const TFileView& view, TRole role)
{
    std::map<std::string, int> seen;
    for (const TScriptSection& section : view.Sections) {
        if (section.Line == 0) {
            for (const TScriptLine& line : section.Lines)
                if (line.Name.empty() || line.Name[0] != ';')
                    Add(check, view, line.Line, TSeverity::Warning, 101, FillMsg(MsgCheckAboveSections, {line.Name}));
            continue;
        }
        auto [first, fresh] = seen.emplace(FoldedName(section.Name), section.Line);
        if (!fresh) {
            Add(check, view, section.Line, TSeverity::Warning, 123,
                FillMsg(MsgCheckSectionAgain, {section.Name, std::to_string(first->second)}));
            continue;
        }
        char mode = SectionMode(section.Name);
        if (role == TRole::Settings && mode != 'C') {
            Add(check, view, section.Line, TSeverity::Warning, 101,
                WithSuggestion(FillMsg(MsgCheckSettingsSection, {section.Name, Msg(WordConstants)}),
                               mode == 0 ? NearestSection(section.Name, role) : std::string()));
            continue;
        }
        switch (mode) {
        case 'O':
            CheckOptions(check, view, section, role);
            break;
        case 'C':
            CheckConstants(check, view, section);
            break;
        case 'I':
        case 'U':
        case 'D':
            CheckActions(check, view, section, mode);
            break;
        default:
            Add(check, view, section.Line, TSeverity::Warning, 101,
                WithSuggestion(FillMsg(MsgCheckUnknownSection, {section.Name}), NearestSection(section.Name, role)));
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// The walk over the files, in the order of a run.

void WalkIncludes(TCheck& check, const TFileView& view, std::vector<std::string>& chain)
{
    std::string options = Msg(WordOptions);
    std::string word = Msg(WordInclude);
    for (int n = 1;; ++n) {
        std::string key = word + std::to_string(n);
        std::string value = ReadScriptString(view.Path, options, key);
        if (value.empty()) return;
        int line = KeyLine(view, options, key);
        std::string name = FileNamePart(ExpandConstants(value, ExpandPlain));
        if (InChain(chain, name)) {
            Add(check, view, line, TSeverity::Error, 117,
                FillMsg(MsgCheckIncludeCycle, {FormatMsg(MsgIncludeCycle, DescribeChain(chain, name))}));
            continue;
        }
        TCopy copy = ChooseCopy(check, name);
        if (copy.MissingAtSource) {
            Add(check, view, line, TSeverity::Error, 116,
                FillMsg(MsgCheckIncludeMissing, {name, FormatMsg(MsgNewVersionNotFound, check.SourceDir + name)}));
            continue;
        }
        LoadConstants(copy.Path);
        // Named twice, an include is processed twice but reported once.
        auto [known, first] = check.Includes.emplace(FoldedName(name), nullptr);
        if (first) known->second = &OpenView(check, copy.Path, copy.Shown);
        const TFileView& included = *known->second;
        chain.push_back(name);
        WalkIncludes(check, included, chain);
        chain.pop_back();
        if (first) CheckContents(check, included, TRole::Include);
    }
}

// The program's own files must be at the source, or the run's first step fails.
void CheckOwnFile(TCheck& check, const TFileView& view, const std::string& name, unsigned key)
{
    if (name.empty() || !FirstVisibleMatch(check.SourceDir + FileNamePart(name)).empty()) return;
    Add(check, view, KeyLine(view, Msg(WordOptions), Msg(key)), TSeverity::Error, 126,
        FillMsg(MsgCheckOwnFileMissing,
             {FileNamePart(name), FormatMsg(MsgNewVersionNotFound, check.SourceDir + FileNamePart(name))}));
}

// A new script or settings file is taken only when the source's copy of the
// script names a source path that holds it too.
void CheckNewCopyTaken(TCheck& check, const TFileView& view, const TCopy& script, const std::string& settingsName,
                       const std::string& fileName)
{
    std::string newSource = ReadOption(script.Path, WordSourcePath);
    if (!newSource.empty()) {
        LoadConstants(script.Path);
        if (!settingsName.empty()) LoadConstants(check.SourceDir + FileNamePart(settingsName));
        newSource = ExpandConstants(newSource, ExpandPlain);
        if (!newSource.empty() && newSource.back() != '\\') newSource += '\\';
        if (IsFilePath(newSource + fileName)) return;
    }
    Add(check, view, KeyLine(view, Msg(WordOptions), Msg(WordSourcePath)), TSeverity::Error, 127,
        FillMsg(MsgCheckNewCopyRefused, {fileName, Msg(WordSourcePath)}));
}

void CheckAll(TCheck& check, TCheckResult& result)
{
    const std::string& scriptName = result.Script;
    std::string localScript = Run.ExeDir + scriptName;
    if (!IsFilePath(localScript)) {
        TFileView& view = check.Views.emplace_back();
        view.Shown = scriptName;
        Add(check, view, 0, TSeverity::Error, 100, Msg(MsgCheckUnreadable));
        return;
    }

    // The update pass: the program directory's copies say where the source is.
    LoadConstants(localScript);
    std::string settingsName = ReadOption(localScript, WordSettings);
    if (!settingsName.empty()) LoadConstants(Run.ExeDir + settingsName);
    check.SourceDir = SetSourceDir(localScript);
    std::string language = ReadOption(localScript, WordLanguage);
    std::string languageName = language.empty() ? std::string() : LanguageFileName(Run.ExeName, language);

    TCopy script = ChooseCopy(check, scriptName);
    TCopy settings;
    if (!settingsName.empty()) settings = ChooseCopy(check, settingsName);
    TFileView& scriptView = OpenView(check, script.Path, script.Shown);
    CheckOwnFile(check, scriptView, Run.ExeName, WordSourcePath);
    CheckOwnFile(check, scriptView, languageName, WordLanguage);
    CheckOwnFile(check, scriptView, settingsName, WordSettings);
    CheckOwnFile(check, scriptView, scriptName, WordSourcePath);
    if (settings.AtSource) CheckNewCopyTaken(check, scriptView, script, settingsName, FileNamePart(settingsName));
    if (script.AtSource) CheckNewCopyTaken(check, scriptView, script, settingsName, FileNamePart(scriptName));

    // Processing: the copies the update pass has put in place.
    LoadConstants(script.Path);
    std::string processedSettings = ReadOption(script.Path, WordSettings);
    const TFileView* settingsView = nullptr;
    if (!processedSettings.empty()) {
        bool fetched = SameName(processedSettings, settingsName) && settings.AtSource;
        std::string path = fetched ? settings.Path : Run.ExeDir + processedSettings;
        LoadConstants(path);
        // A settings file that is nowhere has been reported as missing at the source.
        if (IsFilePath(path)) settingsView = &OpenView(check, path, fetched ? settings.Shown : processedSettings);
    }
    check.SourceDir = SetSourceDir(script.Path);

    std::vector<std::string> chain{FileNamePart(scriptName)};
    WalkIncludes(check, scriptView, chain);
    result.IncludedScripts = check.Includes.size();
    CheckContents(check, scriptView, TRole::Script);
    if (settingsView) CheckContents(check, *settingsView, TRole::Settings);
}

// References to constants are judged at the end, against every constant any
// loaded file defines, the built-in names and this computer's environment.
void ResolveReferences(TCheck& check)
{
    std::set<std::string> known;
    for (const TConst& entry : ConstTable)
        if (!entry.Name.empty()) known.insert(FoldedName(entry.Name));
    for (unsigned word : BuiltInConstantWords) known.insert(FoldedName(Msg(word)));
    for (const TReference& reference : check.References) {
        if (known.count(FoldedName(reference.Name))) continue;
        char buffer[2];
        // An empty variable gives 0 as well, without an error of its own.
        SetLastError(ERROR_SUCCESS);
        if (GetEnvironmentVariableA(reference.Name.c_str(), buffer, sizeof buffer) != 0) continue;
        if (GetLastError() != ERROR_ENVVAR_NOT_FOUND) continue;
        check.Findings.push_back(TFinding{reference.Shown, reference.Line, TSeverity::Warning, 113,
                                          FillMsg(MsgCheckUndefined, {reference.Name})});
        check.FindingOrder.push_back(reference.Order);
    }
}

// Keeps the constants table as it was before the check.
class ConstantsScope {
public:
    ConstantsScope() : m_saved(ConstTable) {}
    ~ConstantsScope() { ConstTable = m_saved; }
    ConstantsScope(const ConstantsScope&) = delete;
    ConstantsScope& operator=(const ConstantsScope&) = delete;

private:
    std::vector<TConst> m_saved;
};

}  // namespace

TCheckResult CheckScript(const std::string& scriptName)
{
    ConstantsScope constants;
    TCheck check;
    TCheckResult result;
    result.Script = scriptName;
    CheckAll(check, result);
    ResolveReferences(check);

    // By file, then by line; a finding met twice (an include named twice) once.
    std::vector<size_t> index(check.Findings.size());
    for (size_t i = 0; i < index.size(); ++i) index[i] = i;
    std::stable_sort(index.begin(), index.end(), [&check](size_t a, size_t b) {
        if (check.FindingOrder[a] != check.FindingOrder[b]) return check.FindingOrder[a] < check.FindingOrder[b];
        return check.Findings[a].Line < check.Findings[b].Line;
    });
    for (size_t i : index) {
        const TFinding& finding = check.Findings[i];
        bool repeated = std::any_of(result.Findings.begin(), result.Findings.end(), [&finding](const TFinding& f) {
            return f.File == finding.File && f.Line == finding.Line && f.Code == finding.Code && f.Text == finding.Text;
        });
        if (!repeated) result.Findings.push_back(finding);
    }
    return result;
}

std::string FormatFinding(const TFinding& finding)
{
    unsigned severity = finding.Severity == TSeverity::Error     ? MsgCheckError
                        : finding.Severity == TSeverity::Warning ? MsgCheckWarning
                                                                 : MsgCheckNote;
    std::string code = "VC" + std::to_string(finding.Code);
    if (finding.Line > 0)
        return FillMsg(MsgCheckLine, {finding.File, std::to_string(finding.Line), Msg(severity), code, finding.Text});
    return FillMsg(MsgCheckLineNoNumber, {finding.File, Msg(severity), code, finding.Text});
}

std::string FormatCheckSummary(const TCheckResult& result)
{
    size_t counts[3] = {0, 0, 0};
    for (const TFinding& finding : result.Findings) ++counts[static_cast<int>(finding.Severity)];
    auto count = [](size_t n, unsigned one, unsigned many) { return FillMsg(n == 1 ? one : many, {std::to_string(n)}); };
    std::string includes = result.IncludedScripts == 0
                               ? std::string()
                               : count(result.IncludedScripts, MsgCheckIncludedOne, MsgCheckIncludedMany);
    return FillMsg(MsgCheckSummary, {count(counts[0], MsgCheckErrorOne, MsgCheckErrorMany),
                                  count(counts[1], MsgCheckWarningOne, MsgCheckWarningMany),
                                  count(counts[2], MsgCheckNoteOne, MsgCheckNoteMany), result.Script, includes});
}

int CheckExitCode(const TCheckResult& result)
{
    auto any = [&result](TSeverity severity) {
        return std::any_of(result.Findings.begin(), result.Findings.end(),
                           [severity](const TFinding& f) { return f.Severity == severity; });
    };
    if (any(TSeverity::Error)) return 2;
    if (any(TSeverity::Warning)) return 3;
    return 0;
}
