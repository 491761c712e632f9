// The names of a script as the check compares them, and its keys held to the
// script layout's tables: which key a written name is, where it is read, and
// the known name nearest to a misspelt one.
#pragma once

#include <string>
#include <vector>

#include "script/script_layout.h"

// Script names match without regard to ASCII case, as the reads match them.
std::string FoldedScriptName(const std::string& name);
bool SameName(const std::string& a, const std::string& b);
bool IsAsciiAlnum(char c);

// The known name nearest to the written one (at most two letters added,
// removed, changed or swapped, and fewer than a third of its length); empty
// when none is that close.
std::string Nearest(const std::string& written, const std::vector<std::string>& known);
// The text with "; did you mean ..." when there is a suggestion.
std::string WithSuggestion(const std::string& text, const std::string& suggestion);

// A key name: a word, an item number, an entry word and number, a last word.
struct TKeyLayout {
    unsigned Prefix;
    bool Numbered;
    unsigned EntryWord;  // 0: no entry number
    unsigned Suffix;     // 0: the name ends after the numbers
    char Kind;           // the item kind's letter; 0 for options and ItemOrder
    unsigned ReadIn;
    bool Expanded;       // constants are expanded in the value
};

struct TKeyMatch {
    const TKeyLayout* Layout = nullptr;
    int Item = 0;
    int Entry = 0;
};

// The layout the key follows among those an options section (or an action
// section) can hold.
bool MatchKey(const std::string& name, bool optionsSection, TKeyMatch& match);

// The known key nearest to an unknown one, with the numbers it was written with.
std::string NearestKey(const std::string& name, bool optionsSection);

// "File3"
std::string ItemKeyName(unsigned prefix, int number);

// The key that keeps entry `entry` of the item going: the entry's last key
// (Name, Prefix), for the first entry of an INI item its Section before that.
std::string EntryEndKey(const TItemKindLayout& kind, int item, int entry, bool first);
