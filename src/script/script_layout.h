// The layout of a script: the action sections and their letters, the item
// kinds with their letters, key words and entries, the default orders, the
// flag words of File items, the built-in constants and the registry root
// names. The dispatcher, the item reader and the script check all go by
// these tables.
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/messages.h"
#include "core/section_mode.h"

enum class TItemKind { File, Dir, Registry, Ini, Alias, Text, Server };

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

struct TItemKindLayout {
    char Letter;  // as ItemOrder names it
    TItemKind Kind;
    unsigned Prefix;      // the item key's word: File1, Reg2, ...
    unsigned Heading;     // the kind's heading line
    unsigned EntryWord;   // entries Reg1Val1...; 0: the kind has none
    unsigned EntryEnd;    // the entry key whose absence ends the entries
    unsigned EntryFirst;  // a key the first entry needs as well (0: none)
    bool InsertOnly;      // its entries fail in Update and Delete sections
};

inline constexpr TItemKindLayout ItemKinds[] = {
    {'F', TItemKind::File, WordFile, MsgFilesHeading, 0, 0, 0, false},
    {'D', TItemKind::Dir, WordDir, MsgDirsHeading, 0, 0, 0, false},
    {'R', TItemKind::Registry, WordReg, MsgRegistryHeading, WordVal, WordName, 0, false},
    {'I', TItemKind::Ini, WordIni, MsgIniHeading, WordVal, WordName, WordSection, false},
    {'B', TItemKind::Alias, WordBDEAlias, MsgAliasesHeading, 0, 0, 0, false},
    {'T', TItemKind::Text, WordText, MsgTextHeading, WordStr, WordPrefix, 0, true},
    {'S', TItemKind::Server, WordComSrv, MsgOleHeading, 0, 0, 0, false},
};

inline constexpr const char* DefaultSectionOrder = "IUD";

// "FDRIBTS" for Insert sections, "FDRIBS" for the others.
const char* DefaultItemOrder(TSectionMode mode);

// Null for a letter that names nothing.
const TSectionKind* FindSectionKind(char letter);
const TItemKindLayout* FindItemKind(char letter);
const TItemKindLayout& ItemKindLayout(TItemKind kind);

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
