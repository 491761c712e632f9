#include "run/item_reader.h"

#include "actions/file_decision.h"
#include "core/messages.h"
#include "core/run_state.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/script_image.h"

namespace {

std::string Read(const TItemPlace& place, const std::string& key)
{
    return ReadScriptString(place.Script, place.Section, key);
}

// The key of entry m of the item: "Reg2Val3Name".
std::string EntryKey(unsigned kindWord, const TItemPlace& place, unsigned entryWord, int m, unsigned partWord)
{
    return Msg(kindWord) + std::to_string(place.Number) + Msg(entryWord) + std::to_string(m) + Msg(partWord);
}

std::string ItemKey(unsigned kindWord, const TItemPlace& place, unsigned partWord)
{
    return Msg(kindWord) + std::to_string(place.Number) + Msg(partWord);
}

bool Contains(const std::string& text, const std::string& word)
{
    return !word.empty() && text.find(word) != std::string::npos;
}

// Escapes decoded, then constants expanded: the texts written into files,
// the registry and the engine.
std::string DecodedAndExpanded(const std::string& text)
{
    return ExpandConstants(DecodeEscapes(text), ExpandPlain);
}

// Expands each NUL-separated part on its own: the environment step works on
// NUL-terminated text and would drop everything after the first NUL of a
// multi-string or binary value.
std::string ExpandEachPart(const std::string& text)
{
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t nul = text.find('\0', start);
        result += ExpandConstants(text.substr(start, nul == std::string::npos ? std::string::npos : nul - start),
                                  ExpandPlain);
        if (nul == std::string::npos) break;
        result += '\0';
        start = nul + 1;
    }
    return result;
}

// The first character in upper case (ASCII); 'S' for an empty text.
char TypeLetter(const std::string& text)
{
    if (text.empty()) return 'S';
    char c = text[0];
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

TFileItem NamedFileItem(const std::string& name, const std::string& flags, TSectionMode mode)
{
    TFileItem item;
    item.Flags = flags;
    std::string given = name;
    if (mode != TSectionMode::Delete) {
        std::string replaced = RestartedCopyTarget(name);
        if (!replaced.empty()) {
            given = replaced;
            item.WaitForPreviousInstance = true;
        }
    }
    item.Path = ExpandConstants(given, ExpandPath);
    return item;
}

TFileItemRead ReadFileItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TFileItemRead read;
    std::string flags = ExpandConstants(Read(place, ItemKey(WordFile, place, WordFlags)), ExpandPlain);
    bool only9x = Contains(flags, Msg(Word9xOnly));
    bool onlyNt = Contains(flags, Msg(WordNtOnly));
    if ((only9x && Run.NtFamily) || (onlyNt && !Run.NtFamily)) {
        read.Skipped = true;
        return read;
    }
    if (mode == TSectionMode::Update) {
        std::string renameTo = Read(place, ItemKey(WordFile, place, WordRenameTo));
        if (!renameTo.empty()) {
            read.IsRename = true;
            read.Rename.Path = ExpandConstants(value, ExpandPath);
            read.Rename.NewPath = ExpandConstants(renameTo, ExpandPath);
            read.Rename.Shown = ExpandConstants(value, ExpandPlain);
            read.Rename.NewShown = ExpandConstants(renameTo, ExpandPlain);
            return read;
        }
    }
    read.Update = NamedFileItem(value, flags, mode);
    return read;
}

TDirItem ReadDirItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TDirItem item;
    item.Shown = ExpandConstants(value, ExpandPlain);
    item.Path = ExpandConstants(value, ExpandPath);
    if (mode == TSectionMode::Update) {
        std::string newName = Read(place, ItemKey(WordDir, place, WordRenameTo));
        item.HasNewName = !newName.empty();
        item.NewShown = ExpandConstants(newName, ExpandPlain);
        item.NewPath = ExpandConstants(newName, ExpandPath);
    }
    return item;
}

TRegistryItem ReadRegistryItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TRegistryItem item;
    item.RawPath = value;
    item.Path = ExpandConstants(value, ExpandPlain);
    if (!item.Path.empty()) {
        TRootKey root = ParseRootKey(item.Path);
        item.Root = root.Root;
        item.SubKey = root.SubKey;
    }
    for (int m = 1;; ++m) {
        std::string name = Read(place, EntryKey(WordReg, place, WordVal, m, WordName));
        if (name.empty()) break;
        TRegistryValue entry;
        entry.Name = ExpandConstants(name, ExpandPlain);
        if (mode != TSectionMode::Delete) {
            entry.TypeLetter = TypeLetter(Read(place, EntryKey(WordReg, place, WordVal, m, WordType)));
            entry.Text = ExpandEachPart(DecodeEscapes(Read(place, EntryKey(WordReg, place, WordVal, m, WordValue))));
        }
        item.Values.push_back(std::move(entry));
    }
    return item;
}

TIniItem ReadIniItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TIniItem item;
    item.Shown = ExpandConstants(value, ExpandPlain);
    item.File = ExpandConstants(value, ExpandPath);
    std::string section;
    for (int m = 1;; ++m) {
        std::string ownSection = Read(place, EntryKey(WordIni, place, WordVal, m, WordSection));
        // A value without a section of its own stays in the section of the one before.
        if (!ownSection.empty() || m == 1) section = ownSection;
        if (section.empty()) break;
        std::string name = Read(place, EntryKey(WordIni, place, WordVal, m, WordName));
        if (name.empty()) break;
        TIniValue entry;
        entry.Section = ExpandConstants(section, ExpandPlain);
        entry.Name = ExpandConstants(name, ExpandPlain);
        if (mode != TSectionMode::Delete)
            entry.Value = DecodedAndExpanded(Read(place, EntryKey(WordIni, place, WordVal, m, WordValue)));
        item.Values.push_back(std::move(entry));
    }
    return item;
}

TAliasItem ReadAliasItem(const TItemPlace& place, const std::string& value)
{
    TAliasItem item;
    item.Name = ExpandConstants(value, ExpandPlain);
    std::string params = DecodedAndExpanded(Read(place, ItemKey(WordBDEAlias, place, WordParams)));
    size_t separator = params.find(';');
    if (separator == std::string::npos) {
        item.Params = params;
    } else {
        item.DriverType = params.substr(0, separator);
        item.Params = params.substr(separator + 1);
    }
    return item;
}

TTextItem ReadTextItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TTextItem item;
    item.Shown = ExpandConstants(value, ExpandPlain);
    item.Path = ExpandConstants(value, ExpandPath);
    for (int m = 1;; ++m) {
        std::string prefix = Read(place, EntryKey(WordText, place, WordStr, m, WordPrefix));
        if (prefix.empty()) break;
        TTextEntry entry;
        entry.Prefix = DecodedAndExpanded(prefix);
        if (mode == TSectionMode::Insert)
            entry.Full = DecodedAndExpanded(Read(place, EntryKey(WordText, place, WordStr, m, WordFull)));
        item.Entries.push_back(std::move(entry));
    }
    return item;
}

TServerItem ReadServerItem(const std::string& value)
{
    return TServerItem{ExpandConstants(value, ExpandPlain), ExpandConstants(value, ExpandPath)};
}
