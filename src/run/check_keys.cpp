#include "run/check_keys.h"

#include <algorithm>

#include "core/ansi_text.h"
#include "core/messages.h"

namespace {

// Suggestions are made for names at most this far from a known one, and
// closer than a third of the known name's length.
constexpr size_t MaxSuggestionDistance = 2;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Edit distance without regard to ASCII case; swapping two neighbours counts one.
size_t EditDistance(const std::string& a, const std::string& b)
{
    std::string x = FoldedScriptName(a);
    std::string y = FoldedScriptName(b);
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

// Every key the program reads, from the layout's tables: the options first,
// then each item kind's sub-keys.
const std::vector<TKeyLayout>& KeyLayouts()
{
    static const std::vector<TKeyLayout> layouts = [] {
        std::vector<TKeyLayout> all;
        for (const TOptionKey& key : OptionKeys)
            all.push_back({key.Word, key.Numbered, 0, key.Suffix, 0, key.ReadIn, key.Expanded});
        for (const TItemKindLayout& kind : ItemKinds)
            for (const TSubKey& key : kind.SubKeys())
                all.push_back({kind.Prefix, true, key.Entry, key.Word, kind.Letter, key.ReadIn,
                               key.Expansion != TExpansion::AsWritten});
        return all;
    }();
    return layouts;
}

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
    std::string text = FoldedScriptName(Msg(word));
    if (text.empty() || folded.compare(at, text.size(), text) != 0) return false;
    at += text.size();
    return true;
}

bool MatchLayout(const std::string& name, const TKeyLayout& layout, TKeyMatch& match)
{
    std::string folded = FoldedScriptName(name);
    size_t at = 0;
    match = TKeyMatch{&layout, 0, 0};
    if (!TakeWord(folded, at, layout.Prefix)) return false;
    if (layout.Numbered && !TakeNumber(folded, at, match.Item)) return false;
    if (layout.EntryWord != 0 && (!TakeWord(folded, at, layout.EntryWord) || !TakeNumber(folded, at, match.Entry)))
        return false;
    if (!TakeWord(folded, at, layout.Suffix)) return false;
    return at == folded.size();
}

std::string KeyName(const TKeyLayout& layout, int item, int entry)
{
    std::string name = Msg(layout.Prefix);
    if (layout.Numbered) name += std::to_string(item);
    if (layout.EntryWord != 0) name += Msg(layout.EntryWord) + std::to_string(entry);
    if (layout.Suffix != 0) name += Msg(layout.Suffix);
    return name;
}

bool ForOptions(const TKeyLayout& layout)
{
    return (layout.ReadIn & InOptions) != 0;
}

}  // namespace

std::string FoldedScriptName(const std::string& name)
{
    return UpperAscii(name);
}

bool SameName(const std::string& a, const std::string& b)
{
    return FoldedScriptName(a) == FoldedScriptName(b);
}

bool IsAsciiAlnum(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

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

bool MatchKey(const std::string& name, bool optionsSection, TKeyMatch& match)
{
    for (const TKeyLayout& layout : KeyLayouts())
        if (ForOptions(layout) == optionsSection && MatchLayout(name, layout, match)) return true;
    return false;
}

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
    for (const TKeyLayout& layout : KeyLayouts()) {
        if (ForOptions(layout) != optionsSection) continue;
        int item = numbers.size() > 0 ? numbers[0] : 1;
        int entry = numbers.size() > 1 ? numbers[1] : 1;
        known.push_back(KeyName(layout, item, entry));
    }
    return Nearest(name, known);
}

std::string ItemKeyName(unsigned prefix, int number)
{
    return Msg(prefix) + std::to_string(number);
}

std::string EntryEndKey(const TItemKindLayout& kind, int item, int entry, bool first)
{
    unsigned word = first && kind.EntryFirst != 0 ? kind.EntryFirst : kind.EntryEnd;
    return Msg(kind.Prefix) + std::to_string(item) + Msg(kind.EntryWord) + std::to_string(entry) + Msg(word);
}
