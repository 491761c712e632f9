#include "run/item_reader.h"

#include "actions/file_decision.h"
#include "core/messages.h"
#include "core/run_state.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/script_image.h"
#include "script/script_layout.h"

namespace {

// Reads the sub-keys of one item as the script layout describes them.
class TItemKeys {
public:
    TItemKeys(const TItemPlace& place, TItemKind kind, TSectionMode mode)
        : m_place(place), m_kind(ItemKindLayout(kind)), m_mode(mode),
          m_item(Msg(m_kind.Prefix) + std::to_string(place.Number))
    {
    }

    // The key as written ("File1Flags"; with an entry number "Reg1Val2Name");
    // empty when the section's mode does not read it.
    std::string Raw(unsigned word, int entry = 0) const
    {
        const TSubKey* key = FindSubKey(m_kind, entry ? m_kind.EntryWord : 0, word);
        if (!key || !(key->ReadIn & ReadInBit(m_mode))) return {};
        std::string name = m_item;
        if (entry) name += Msg(m_kind.EntryWord) + std::to_string(entry);
        name += Msg(word);
        return ReadScriptString(m_place.Script, m_place.Section, name);
    }

    // A text read by Raw, expanded as the layout says for that key.
    std::string Expanded(const std::string& raw, unsigned word, int entry = 0) const
    {
        const TSubKey* key = FindSubKey(m_kind, entry ? m_kind.EntryWord : 0, word);
        return key ? ExpandAs(raw, key->Expansion) : raw;
    }

    std::string Read(unsigned word, int entry = 0) const { return Expanded(Raw(word, entry), word, entry); }

private:
    const TItemPlace& m_place;
    const TItemKindLayout& m_kind;
    TSectionMode m_mode;
    std::string m_item;  // the item's own key ("File1")
};

bool Contains(const std::string& text, const std::string& word)
{
    return !word.empty() && text.find(word) != std::string::npos;
}

// The first character in upper case (ASCII); 'S' for an empty text.
char TypeLetter(const std::string& text)
{
    if (text.empty()) return 'S';
    char c = text[0];
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The item's own value as a line shows it, and as a path below the program's directory.
std::string Shown(const std::string& value)
{
    return ExpandAs(value, TExpansion::Plain);
}

std::string PathOf(const std::string& value)
{
    return ExpandAs(value, TExpansion::Path);
}

}  // namespace

TFileItem NamedFileItem(const std::string& name, const std::string& flags, TSectionMode mode)
{
    TFileItem item;
    item.Flags = flags;
    std::string replaced = mode != TSectionMode::Delete ? RestartedCopyTarget(name) : std::string();
    item.WaitForPreviousInstance = !replaced.empty();
    item.Path = PathOf(replaced.empty() ? name : replaced);
    return item;
}

TFileItemRead ReadFileItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TItemKeys keys(place, TItemKind::File, mode);
    TFileItemRead read;
    std::string flags = keys.Read(WordFlags);
    bool only9x = Contains(flags, Msg(Word9xOnly));
    bool onlyNt = Contains(flags, Msg(WordNtOnly));
    if ((only9x && Run.NtFamily) || (onlyNt && !Run.NtFamily)) {
        read.Skipped = true;
        return read;
    }
    std::string renameTo = keys.Raw(WordRenameTo);
    if (!renameTo.empty()) {
        read.IsRename = true;
        read.Rename.Path = PathOf(value);
        read.Rename.NewPath = keys.Expanded(renameTo, WordRenameTo);
        read.Rename.Shown = Shown(value);
        read.Rename.NewShown = Shown(renameTo);
        return read;
    }
    read.Update = NamedFileItem(value, flags, mode);
    return read;
}

TDirItem ReadDirItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TItemKeys keys(place, TItemKind::Dir, mode);
    TDirItem item;
    item.Shown = Shown(value);
    item.Path = PathOf(value);
    std::string newName = keys.Raw(WordRenameTo);
    item.HasNewName = !newName.empty();
    item.NewShown = Shown(newName);
    item.NewPath = keys.Expanded(newName, WordRenameTo);
    return item;
}

TRegistryItem ReadRegistryItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TItemKeys keys(place, TItemKind::Registry, mode);
    TRegistryItem item;
    item.RawPath = value;
    item.Path = Shown(value);
    if (!item.Path.empty()) {
        TRootKey root = ParseRootKey(item.Path);
        item.Root = root.Root;
        item.SubKey = root.SubKey;
    }
    for (int m = 1;; ++m) {
        std::string name = keys.Raw(WordName, m);
        if (name.empty()) break;
        TRegistryValue entry;
        entry.Name = keys.Expanded(name, WordName, m);
        entry.TypeLetter = TypeLetter(keys.Read(WordType, m));
        entry.Text = keys.Read(WordValue, m);
        item.Values.push_back(std::move(entry));
    }
    return item;
}

TIniItem ReadIniItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TItemKeys keys(place, TItemKind::Ini, mode);
    TIniItem item;
    item.Shown = Shown(value);
    item.File = PathOf(value);
    std::string section;
    for (int m = 1;; ++m) {
        std::string ownSection = keys.Raw(WordSection, m);
        // A value without a section of its own stays in the section of the one before.
        if (!ownSection.empty() || m == 1) section = ownSection;
        if (section.empty()) break;
        std::string name = keys.Raw(WordName, m);
        if (name.empty()) break;
        TIniValue entry;
        entry.Section = keys.Expanded(section, WordSection, m);
        entry.Name = keys.Expanded(name, WordName, m);
        entry.Value = keys.Read(WordValue, m);
        item.Values.push_back(std::move(entry));
    }
    return item;
}

TAliasItem ReadAliasItem(const TItemPlace& place, const std::string& value, TSectionMode mode)
{
    TItemKeys keys(place, TItemKind::Alias, mode);
    TAliasItem item;
    item.Name = Shown(value);
    std::string params = keys.Read(WordParams);
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
    TItemKeys keys(place, TItemKind::Text, mode);
    TTextItem item;
    item.Shown = Shown(value);
    item.Path = PathOf(value);
    for (int m = 1;; ++m) {
        std::string prefix = keys.Raw(WordPrefix, m);
        if (prefix.empty()) break;
        TTextEntry entry;
        entry.Prefix = keys.Expanded(prefix, WordPrefix, m);
        if (mode == TSectionMode::Insert) entry.Full = keys.Read(WordFull, m);
        item.Entries.push_back(std::move(entry));
    }
    return item;
}

TServerItem ReadServerItem(const std::string& value)
{
    return TServerItem{Shown(value), PathOf(value)};
}
