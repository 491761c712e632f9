// Registry items: keys and values.
#pragma once

#include <cstdint>
#include <string>

#include "core/handles.h"

// Carries out registry item number `item` of the section `section` of the
// script: the key path is ItemValue, the values are the item's
// Reg<n>Val<m>Name/Type/Value keys. Prints its own lines; a failure clears
// RunOk (a key that cannot be opened in a Delete section does not).
void ProcessRegistryItem(const std::string& scriptPath, const std::string& section, int item, char mode);

// The key one registry item works on. When it was opened for writing it is
// flushed before it is closed, on every path out of the item.
struct TRegistryItemKey {
    UniqueHKey Key;
    bool KeyOpenForWrite = false;
    TRegistryItemKey() = default;
    ~TRegistryItemKey();
    TRegistryItemKey(const TRegistryItemKey&) = delete;
    TRegistryItemKey& operator=(const TRegistryItemKey&) = delete;
};

// Opens the key named by the raw (unexpanded) path. Modes: 'I' and 'U' print
// the item line, open for reading and create the key when it is missing; 'O'
// prints the item line and only opens; 'W' makes sure the key is open with
// write access (reopening or creating it); 'D' deletes the key. Sets
// LastErrorCode; a failure is reported with the system's message. Gives
// success.
bool OpenRegistryKey(TRegistryItemKey& item, const std::string& rawPath, char mode);

// Applies one value of the item: `typeLetter` 'I' (32-bit number), 'S'
// (string), 'M' (multi-string) or any other (binary); `mode` is the section's
// letter. Writes only what is missing ('I'), missing or different ('U'), or
// deletes what exists ('D'); a change prints the value line and its status,
// a failure clears RunOk. Reopens the key through ItemValue for writing.
void SetRegistryValue(TRegistryItemKey& item, const std::string& name, const std::string& text, char typeLetter,
                      char mode);

// The number a value text of type letter 'I' stands for: optional blanks and
// sign, then decimal digits or hexadecimal ones after "$", "x" or "0x". Any
// other text and any overflow give 0; negative numbers give their two's
// complement.
uint32_t RegistryInteger(const std::string& text);
