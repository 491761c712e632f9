#include "run/script_reference.h"

#include <vector>

#include "core/messages.h"
#include "core/report.h"
#include "script/script_layout.h"

namespace {

// The words that explain each option and item kind; the names are the layout's.
struct TOptionText {
    unsigned Word;
    unsigned Suffix;
    unsigned Text;
};
constexpr TOptionText OptionTexts[] = {
    {WordSettings, 0, MsgRefOptSettings},         {WordWinHeader, 0, MsgRefOptWinHeader},
    {WordSourcePath, 0, MsgRefOptSourcePath},     {WordLanguage, 0, MsgRefOptLanguage},
    {WordPause, 0, MsgRefOptPause},               {WordSelfPause, 0, MsgRefOptSelfPause},
    {WordSectionOrder, 0, MsgRefOptSectionOrder}, {WordInclude, 0, MsgRefOptInclude},
    {WordRun, 0, MsgRefOptRun},                   {WordRun, WordFlags, MsgRefOptRunFlags},
    {WordLogFile, 0, MsgRefOptLogFile},           {WordLogSize, 0, MsgRefOptLogSize},
    {WordCheck, 0, MsgRefOptCheck},               {WordRollback, 0, MsgRefOptRollback},
    {WordStartAfterFailure, 0, MsgRefOptStartAfterFailure}, {WordItemOrder, 0, MsgRefOptItemOrder},
};

struct TKindText {
    TItemKind Kind;
    unsigned Text;
    unsigned Example;
};
constexpr TKindText KindTexts[] = {
    {TItemKind::File, MsgRefKindFile, MsgRefExampleFile},
    {TItemKind::Dir, MsgRefKindDir, MsgRefExampleDir},
    {TItemKind::Registry, MsgRefKindRegistry, MsgRefExampleRegistry},
    {TItemKind::Ini, MsgRefKindIni, MsgRefExampleIni},
    {TItemKind::Alias, MsgRefKindAlias, MsgRefExampleAlias},
    {TItemKind::Text, MsgRefKindText, MsgRefExampleText},
    {TItemKind::Server, MsgRefKindServer, MsgRefExampleServer},
};

// The name column's width: the longest key pattern ("Reg<n>Val<m>Section") and a blank.
constexpr size_t NameColumn = 20;

std::string Padded(std::string text, size_t width)
{
    if (text.size() < width) text.append(width - text.size(), ' ');
    else text += ' ';
    return text;
}

std::string Joined(const std::vector<std::string>& words, const std::string& between = " ")
{
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : between) + word;
    return text;
}

// The parts on indented lines that fit a console of 80 columns.
void WriteWrapped(const std::vector<std::string>& parts, const std::string& between)
{
    constexpr size_t Width = 78;
    const std::string indent = "  ";
    std::string line;
    for (const std::string& part : parts) {
        if (!line.empty() && line.size() + between.size() + part.size() > Width) {
            WriteLine(line);
            line.clear();
        }
        line += (line.empty() ? indent : between) + part;
    }
    if (!line.empty()) WriteLine(line);
}

// An example as the script holds it: one key a line.
void WriteExample(unsigned id)
{
    std::string example = Msg(id);
    std::string lead = FillMsg(MsgRefExample, {""});
    for (size_t at = 0; at < example.size();) {
        size_t end = example.find("  ", at);
        if (end == std::string::npos) end = example.size();
        WriteLine(lead + example.substr(at, end - at));
        lead.assign(lead.size(), ' ');
        at = end + 2;
    }
}

std::string Section(unsigned word)
{
    return "[" + Msg(word) + "]";
}

// "Include<n>", "RunFlags"
std::string OptionName(const TOptionKey& key)
{
    return Msg(key.Word) + (key.Numbered ? "<n>" : "") + (key.Suffix ? Msg(key.Suffix) : "");
}

// "Reg<n>Val<m>Name"
std::string SubKeyName(const TItemKindLayout& kind, const TSubKey& key)
{
    std::string name = Msg(kind.Prefix) + "<n>";
    if (key.Entry != 0) name += Msg(key.Entry) + "<m>";
    return name + (key.Word ? Msg(key.Word) : "");
}

// The sections that read a key: "Insert Update Delete".
std::string ReadInSections(unsigned readIn)
{
    std::vector<std::string> names;
    for (const TSectionKind& kind : SectionKinds)
        if (readIn & ReadInBit(kind.Mode)) names.push_back(Msg(kind.Name));
    return Joined(names);
}

void WriteOptions()
{
    WriteLine(Section(WordOptions));
    for (const TOptionKey& key : OptionKeys) {
        unsigned text = 0;
        for (const TOptionText& entry : OptionTexts)
            if (entry.Word == key.Word && entry.Suffix == key.Suffix) text = entry.Text;
        WriteLine("  " + Padded(OptionName(key), NameColumn) + (text ? Msg(text) : std::string()));
    }
}

void WriteConstantsAndSections()
{
    WriteLine(Section(WordConstants));
    WriteLine("  " + Padded(Msg(MsgRefConstantLine), NameColumn) + Msg(MsgRefConstantText));
    std::vector<std::string> builtIn{Msg(MsgRefBuiltIn)};
    for (unsigned word : BuiltInConstantWords) builtIn.push_back(Msg(word));
    WriteWrapped(builtIn, " ");
    WriteLine(Msg(MsgRefLookupReg));
    WriteLine(Msg(MsgRefLookupIni));
    std::vector<std::string> names;
    for (const TSectionKind& kind : SectionKinds) names.push_back(Section(kind.Name));
    WriteLine(FillMsg(MsgRefActionSections, {Joined(names), Msg(SectionKinds[0].Name)}));
    WriteLine(FillMsg(MsgRefActionModes, {Msg(WordInsert), Msg(WordUpdate), Msg(WordDelete)}));
    WriteLine(FillMsg(MsgRefSectionOrder, {Msg(WordSectionOrder), DefaultSectionOrder}));
    WriteLine(Msg(MsgRefNumbering));
}

void WriteItemKinds()
{
    WriteLine(FillMsg(MsgRefKinds, {Msg(WordItemOrder), DefaultItemOrder(TSectionMode::Insert),
                                    DefaultItemOrder(TSectionMode::Update), Msg(WordUpdate), Msg(WordDelete)}));
    for (const TItemKindLayout& kind : ItemKinds) {
        const TKindText* text = nullptr;
        for (const TKindText& entry : KindTexts)
            if (entry.Kind == kind.Kind) text = &entry;
        std::string item = std::string(1, kind.Letter) + " " + Msg(kind.Prefix) + "<n>";
        WriteLine(Padded(item, NameColumn + 2) + (text ? Msg(text->Text) : std::string()));
        for (const TSubKey& key : kind.SubKeys())
            if (key.Word != 0)
                WriteLine("    " + Padded(SubKeyName(kind, key), NameColumn + 2) + ReadInSections(key.ReadIn));
        if (text) WriteExample(text->Example);
    }
}

void WriteWordsAndEscapes()
{
    std::vector<std::string> flags;
    for (unsigned word : FileFlagWords) flags.push_back(Msg(word));
    WriteLine(FillMsg(MsgRefFlags, {Msg(WordFile) + "<n>" + Msg(WordFlags)}));
    WriteWrapped(flags, " ");
    WriteLine(FillMsg(MsgRefTypes, {Msg(WordReg) + "<n>" + Msg(WordVal) + "<m>" + Msg(WordType)}));
    for (unsigned id : {MsgRefTypeString, MsgRefTypeNumber, MsgRefTypeMulti, MsgRefTypeBinary}) WriteLine(Msg(id));
    std::vector<std::string> roots;
    for (const TRootName& root : RootNames) roots.push_back(std::string(root.Short) + " " + root.Full);
    WriteLine(Msg(MsgRefRoots));
    WriteWrapped(roots, ", ");
    WriteLine(Msg(MsgRefEscapes));
    WriteLine(Msg(MsgRefEscapeExamples));
    WriteLine(Msg(MsgRefRelative));
}

}  // namespace

void WriteScriptReference(const std::string& exeName)
{
    WriteLine(Msg(MsgRefTitle));
    WriteLine(Msg(MsgRefFormat));
    WriteLine(Msg(MsgRefEncoding));
    WriteLine(Msg(MsgRefComments));
    WriteLine(FillMsg(MsgRefCheckIt, {exeName}));
    WriteLine();
    WriteOptions();
    WriteConstantsAndSections();
    WriteLine();
    WriteItemKinds();
    WriteLine();
    WriteWordsAndEscapes();
}
