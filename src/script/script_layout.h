// The layout of a script: the action sections and their letters; the item
// kinds, each in one row with its letter, key words, sub-keys (where each is
// read and how it is expanded), its place in the default orders and the words
// a plan counts its changes with; the options; the flag words of File items,
// the built-in constants and the registry root names. The dispatcher, the
// item reader, the script check and the plan's summary all go by these tables:
// adding an item kind starts with one row here.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>
#include <string>

#include "core/messages.h"
#include "core/section_mode.h"

enum class TItemKind { File, Dir, Registry, Ini, Alias, Text, Server };

// What a change changes: the kinds a plan counts and a change record names.
enum class TChangeKind {
    File,
    Directory,
    RegistryKey,
    RegistryValue,
    IniValue,
    TextLine,
    Alias,
    Server,
    Restart,  // the program restarts from a new copy of itself (its file is the change that counts)
};

struct TSectionKind {
    char Letter;  // as SectionOrder names it
    TSectionMode Mode;
    unsigned Name;    // the section's name
    unsigned Banner;  // its banner line
};

inline constexpr TSectionKind SectionKinds[] = {
    {'I', TSectionMode::Insert, WordInsert, MsgInserting},
    {'U', TSectionMode::Update, WordUpdate, MsgUpdating},
    {'D', TSectionMode::Delete, WordDelete, MsgDeleting},
};

// Where a key is read.
enum TReadIn : unsigned {
    InInsert = 1,
    InUpdate = 2,
    InDelete = 4,
    InActions = InInsert | InUpdate | InDelete,
    InScriptOptions = 8,     // [Options] of the script the program was started with
    InIncludedOptions = 16,  // [Options] of an included script
    InOptions = InScriptOptions | InIncludedOptions,
    InSettingsOptions = 32,  // [Options] of the settings file too, when the script's lack the key
};

// The section bit of a mode.
unsigned ReadInBit(TSectionMode mode);

// How a value is expanded before it is used.
enum class TExpansion {
    AsWritten,     // taken as written (a registry type: its first letter counts)
    Plain,         // constants and environment variables
    Path,          // the same, then a relative path is made absolute; shown as Plain gives it
    Decoded,       // decimal escapes, then Plain
    DecodedParts,  // decimal escapes, then Plain on each NUL-separated part (multi-strings, binary data)
};

// A key of an item: "File1Flags" (Entry 0, Word WordFlags) or of an entry of
// it: "Reg1Val2Name" (Entry WordVal, Word WordName). Word 0 is the item's own key.
struct TSubKey {
    unsigned Entry;
    unsigned Word;
    unsigned ReadIn;
    TExpansion Expansion;
};

// A plan counts a kind's changes with these words ("1 file", "3 files").
struct TPlanWords {
    TChangeKind Change;
    unsigned One;
    unsigned Many;
};

struct TItemKindLayout {
    char Letter;  // as ItemOrder names it; the table's order is the default order
    TItemKind Kind;
    unsigned Prefix;      // the item key's word: File1, Reg2, ...
    unsigned Heading;     // the kind's heading line
    unsigned EntryWord;   // entries Reg1Val1...; 0: the kind has none
    unsigned EntryEnd;    // the entry key whose absence ends the entries
    unsigned EntryFirst;  // a key the first entry needs as well (0: none)
    bool InsertOnly;      // its entries fail in Update and Delete sections, whose default order leaves it out
    TSubKey Keys[4];
    size_t KeyCount;
    TPlanWords Words[2];
    size_t WordCount;

    std::span<const TSubKey> SubKeys() const { return {Keys, KeyCount}; }
    std::span<const TPlanWords> PlanWords() const { return {Words, WordCount}; }
};

inline constexpr TItemKindLayout ItemKinds[] = {
    {'F', TItemKind::File, WordFile, MsgFilesHeading, 0, 0, 0, false,
     {{0, 0, InActions, TExpansion::Path},
      {0, WordFlags, InActions, TExpansion::Plain},
      {0, WordRenameTo, InUpdate, TExpansion::Path}},
     3, {{TChangeKind::File, MsgPlanFilesOne, MsgPlanFilesMany}}, 1},
    {'D', TItemKind::Dir, WordDir, MsgDirsHeading, 0, 0, 0, false,
     {{0, 0, InActions, TExpansion::Path}, {0, WordRenameTo, InUpdate, TExpansion::Path}},
     2, {{TChangeKind::Directory, MsgPlanDirsOne, MsgPlanDirsMany}}, 1},
    {'R', TItemKind::Registry, WordReg, MsgRegistryHeading, WordVal, WordName, 0, false,
     {{0, 0, InActions, TExpansion::Plain},
      {WordVal, WordName, InActions, TExpansion::Plain},
      {WordVal, WordType, InInsert | InUpdate, TExpansion::AsWritten},
      {WordVal, WordValue, InInsert | InUpdate, TExpansion::DecodedParts}},
     4,
     {{TChangeKind::RegistryKey, MsgPlanKeysOne, MsgPlanKeysMany},
      {TChangeKind::RegistryValue, MsgPlanRegValuesOne, MsgPlanRegValuesMany}},
     2},
    {'I', TItemKind::Ini, WordIni, MsgIniHeading, WordVal, WordName, WordSection, false,
     {{0, 0, InActions, TExpansion::Path},
      {WordVal, WordSection, InActions, TExpansion::Plain},
      {WordVal, WordName, InActions, TExpansion::Plain},
      {WordVal, WordValue, InInsert | InUpdate, TExpansion::Decoded}},
     4, {{TChangeKind::IniValue, MsgPlanIniValuesOne, MsgPlanIniValuesMany}}, 1},
    {'B', TItemKind::Alias, WordBDEAlias, MsgAliasesHeading, 0, 0, 0, false,
     {{0, 0, InActions, TExpansion::Plain}, {0, WordParams, InActions, TExpansion::Decoded}},
     2, {{TChangeKind::Alias, MsgPlanAliasesOne, MsgPlanAliasesMany}}, 1},
    // Full is read in every section, though only Insert sections use it: a
    // text item elsewhere fails before it would be.
    {'T', TItemKind::Text, WordText, MsgTextHeading, WordStr, WordPrefix, 0, true,
     {{0, 0, InActions, TExpansion::Path},
      {WordStr, WordPrefix, InActions, TExpansion::Decoded},
      {WordStr, WordFull, InActions, TExpansion::Decoded}},
     3, {{TChangeKind::TextLine, MsgPlanLinesOne, MsgPlanLinesMany}}, 1},
    {'S', TItemKind::Server, WordComSrv, MsgOleHeading, 0, 0, 0, false,
     {{0, 0, InActions, TExpansion::Path}},
     1, {{TChangeKind::Server, MsgPlanServersOne, MsgPlanServersMany}}, 1},
};

// A key of the Options section (and ItemOrder, read in action sections).
struct TOptionKey {
    unsigned Word;
    bool Numbered;    // Include1, Include2, ...
    unsigned Suffix;  // RunFlags: WordRun + WordFlags
    unsigned ReadIn;
    bool Expanded;    // constants are expanded in the value
};

inline constexpr TOptionKey OptionKeys[] = {
    {WordSettings, false, 0, InScriptOptions, false},
    {WordWinHeader, false, 0, InScriptOptions, true},
    {WordSourcePath, false, 0, InScriptOptions, true},
    {WordLanguage, false, 0, InScriptOptions, false},
    {WordPause, false, 0, InScriptOptions, true},
    {WordSelfPause, false, 0, InScriptOptions, true},
    {WordSectionOrder, false, 0, InOptions, false},
    {WordInclude, true, 0, InOptions, true},
    {WordRun, false, 0, InScriptOptions, true},
    {WordRun, false, WordFlags, InScriptOptions, true},
    {WordLogFile, false, 0, InScriptOptions | InSettingsOptions, true},
    {WordLogSize, false, 0, InScriptOptions | InSettingsOptions, true},
    {WordCheck, false, 0, InScriptOptions | InSettingsOptions, false},
    {WordRollback, false, 0, InScriptOptions | InSettingsOptions, true},
    {WordStartAfterFailure, false, 0, InScriptOptions | InSettingsOptions, true},
    {WordItemOrder, false, 0, InActions, false},
};

inline constexpr const char* DefaultSectionOrder = "IUD";

// The kinds' letters in table order; kinds that fail outside Insert sections
// are left out of the Update and Delete order ("FDRIBTS", "FDRIBS").
std::string DefaultItemOrder(TSectionMode mode);

// Null for a letter that names nothing.
const TSectionKind* FindSectionKind(char letter);
const TItemKindLayout* FindItemKind(char letter);
const TItemKindLayout& ItemKindLayout(TItemKind kind);
// The sub-key of the kind with this entry and last word; null when it has none.
const TSubKey* FindSubKey(const TItemKindLayout& kind, unsigned entry, unsigned word);

// The flag words of File items.
inline constexpr unsigned FileFlagWords[] = {
    WordCheckVersion, WordKeepNewest, WordNotCheckSize, WordNotCheckDatetime, WordUntilReboot, Word9xOnly, WordNtOnly,
};

// The names of the built-in constants, in their slots' order.
inline constexpr unsigned BuiltInConstantWords[] = {
    WordWinDir, WordWinSysDir, WordEtcDir, WordTempDir, WordPfDir, WordCfDir, WordMediaDir, WordBootDir, WordSrcDir,
};

// Registry roots, spelt as the script must write them (case matters): fixed
// names of the system, not texts of the message table.
struct TRootName {
    const char* Full;
    const char* Short;
    HKEY Key;
};
extern const TRootName RootNames[7];
