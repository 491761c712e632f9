#include "run/check_items.h"

#include <windows.h>

#include <algorithm>

#include "core/ansi_text.h"
#include "core/messages.h"
#include "core/paths.h"
#include "machine/live_machine.h"
#include "run/check_keys.h"
#include "run/check_traps.h"
#include "run/check_values.h"
#include "script/expand.h"

namespace {

// The machine as a run's decisions read it.
TLiveMachine& Machine()
{
    static TLiveMachine machine;
    return machine;
}

// A directory path for comparing: upper case, backslashes, no trailing one.
std::string ComparableDirectory(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    path = UpperAnsi(path);
    return path;
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

unsigned ModeBit(char mode)
{
    return mode == 'I' ? InInsert : mode == 'U' ? InUpdate : InDelete;
}

void CheckFileItems(TCheck& check, const TFileView& view, const TKindKeys& files, const TKindKeys* dirs,
                    const std::string& order, char mode, const std::string& section)
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
            Add(check, view, item.Key->Line, TSeverity::Error, TFindingCode::SourceMissing,
                FillMsg(MsgCheckSourceMissing, {FormatMsg(MsgNewVersionNotFound, check.SourceDir + pattern)}));
        if (!dirsLater) continue;
        std::string directory = DirectoryPart(target);
        if (directory.empty() || IsDirectoryPath(directory)) continue;
        std::string wanted = ComparableDirectory(directory);
        for (const auto& [n, dir] : dirs->Items) {
            if (n >= dirs->Stop) break;
            std::string created = ComparableDirectory(ExpandConstants(dir.Key->Read, ExpandPath));
            if (created != wanted && created.compare(0, wanted.size() + 1, wanted + "\\") != 0) continue;
            Add(check, view, item.Key->Line, TSeverity::Error, TFindingCode::DirectoryLater,
                FillMsg(MsgCheckDirLater, {directory.substr(0, directory.size() - 1), dir.Key->Name}) +
                    FillMsg(MsgCheckDirLaterFix, {Msg(WordItemOrder), DirectoriesFirst(order), section}));
            break;
        }
    }
}

}  // namespace

std::string FirstVisibleMatch(const std::string& pattern)
{
    std::vector<TListedFile> matches = Machine().Matches(pattern, false, true);
    return matches.empty() ? std::string() : DirectoryPart(pattern) + matches.front().Name;
}

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
void CheckGaps(TCheck& check, const TFileView& view, const std::map<int, TSlot>& slots, TFindingCode code,
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

// The key lines the reads see: the first line of each name; comment lines
// are left out. Later lines of a name are reported.
std::vector<const TScriptLine*> ReadKeys(TCheck& check, const TFileView& view, const TScriptSection& section)
{
    std::vector<const TScriptLine*> keys;
    std::map<std::string, int> seen;
    for (const TScriptLine& line : section.Lines) {
        if (!line.Name.empty() && line.Name[0] == ';') continue;
        auto [first, fresh] = seen.emplace(FoldedScriptName(line.Name), line.Line);
        if (!fresh) {
            Add(check, view, line.Line, TSeverity::Warning, TFindingCode::KeyTwice,
                FillMsg(MsgCheckKeyAgain, {line.Name, std::to_string(first->second)}));
            continue;
        }
        keys.push_back(&line);
        if (!line.HasEquals)
            Add(check, view, line.Line, TSeverity::Warning, TFindingCode::NoEquals, FillMsg(MsgCheckNoEquals, {line.Name}));
    }
    return keys;
}

// Letters of an order key that name nothing are passed over by the run.
void CheckLetters(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& known, TFindingCode code,
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

void CheckActions(TCheck& check, const TFileView& view, const TScriptSection& section, char mode)
{
    std::vector<TKindKeys> kinds;
    for (const TItemKindLayout& kind : ItemKinds) kinds.push_back(TKindKeys{&kind, {}});
    const TScriptLine* orderLine = nullptr;
    for (const TScriptLine* line : ReadKeys(check, view, section)) {
        if (!line->HasEquals) continue;
        TKeyMatch match;
        if (!MatchKey(line->Name, false, match)) {
            Add(check, view, line->Line, TSeverity::Warning, TFindingCode::UnreadKey,
                WithSuggestion(FillMsg(MsgCheckUnknownKey, {line->Name}), NearestKey(line->Name, false)));
            continue;
        }
        const TKeyLayout& layout = *match.Layout;
        if ((layout.ReadIn & ModeBit(mode)) == 0) {
            if (layout.Suffix == WordRenameTo)
                Add(check, view, line->Line, TSeverity::Warning, TFindingCode::UpdateOnlyKey,
                    FillMsg(MsgCheckUpdateOnly, {line->Name, Msg(WordUpdate)}));
            else
                Add(check, view, line->Line, TSeverity::Warning, TFindingCode::NotInDelete,
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
        CheckLetters(check, view, *orderLine, letters, TFindingCode::ItemLetter, MsgCheckItemLetter, WordItemOrder);
        for (const TItemKindLayout& kind : ItemKinds)
            if (kind.InsertOnly && mode != 'I' && order.find(kind.Letter) != std::string::npos)
                Add(check, view, orderLine->Line, TSeverity::Error, TFindingCode::InsertOnlyInOrder,
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
            Add(check, view, first->FirstLine, TSeverity::Warning, TFindingCode::KindNotInOrder,
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
        CheckGaps(check, view, slots, TFindingCode::ItemGap, [&kind](int n) { return ItemKeyName(kind.Prefix, n); });
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
            CheckGaps(check, view, item.EntrySlots, TFindingCode::EntryGap,
                      [&kind, number](int n) { return EntryEndKey(kind, number, n, n == 1); });
            if (kind.Letter != 'R') continue;
            int entriesRead = FirstUnread(item.EntrySlots);
            for (const auto& [entry, parts] : item.Entries) {
                if (entry >= entriesRead) break;
                auto part = [&parts](unsigned word) {
                    auto found = parts.find(word);
                    return found == parts.end() ? nullptr : found->second;
                };
                CheckRegistryEntry(check, view, part(WordType), part(WordValue));
            }
        }
    }
    for (const TKindKeys& keys : kinds)
        if (keys.Kind->Letter == 'F' && !keys.Items.empty())
            CheckFileItems(check, view, keys, dirs, order, mode, section.Name);
}

