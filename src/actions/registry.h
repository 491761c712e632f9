// Registry items: keys and values.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/section_mode.h"

struct TRegistryValue {
    std::string Name;  // constants expanded; "%default%" in any case is the unnamed value
    char TypeLetter = 'S';  // upper case: I number, S string, M multi-string, anything else binary
    std::string Text;  // escapes decoded, constants expanded; not read in Delete sections
};

struct TRegistryItem {
    std::string RawPath;  // the key path as written
    std::string Path;     // constants expanded; empty names no key
    HKEY Root = nullptr;  // the path split at its root (HKEY_CURRENT_USER without a recognised one)
    std::string SubKey;
    std::vector<TRegistryValue> Values;
};

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

// How an item's key is opened.
enum class TKeyOpening {
    OpenOrCreate,  // Insert and Update sections: the item line, then open, creating a missing key
    OpenOnly,      // Delete sections: the item line, then open; a missing key is reported
    ForWrite,      // before a value is written or deleted: make sure it is open for writing
    DeleteKey,     // Delete sections, item without values: delete the key itself
};

// Opens (or creates, or deletes) the item's key as asked; a failure is
// reported with the system's message. Gives success.
bool OpenRegistryKey(TRegistryItemKey& key, const TRegistryItem& item, TKeyOpening opening);

enum class TRegistryChangeKind { None, Write, Delete };
enum class TRegistryDifference { Missing, TypeDiffers, SizeDiffers, DataDiffers };

struct TRegistryChange {
    TRegistryChangeKind Kind = TRegistryChangeKind::None;
    TRegistryDifference Why = TRegistryDifference::Missing;  // for Write
    std::string Name;       // the value's name as the registry takes it ("" for the unnamed value)
    DWORD Type = REG_BINARY;
    std::string Bytes;      // the data to write
    DWORD StoredType = 0;   // what is stored now (Write of a present value)
    std::string StoredBytes;
};

// Compares the stored value with the item's: Insert writes a missing value,
// Update also one whose type or data differ, Delete deletes an existing one.
// A stored value longer than 260 bytes counts as missing.
// In a plan, what earlier steps would have written or deleted counts as
// stored.
TRegistryChange DecideRegistryValue(const TRegistryItemKey& key, const TRegistryItem& item,
                                    const TRegistryValue& value, TSectionMode mode);

// Writes or deletes the value (reopening the key for writing), printing the
// value line and its status; a failure clears RunOk.
void ApplyRegistryValue(TRegistryItemKey& key, const TRegistryItem& item, const TRegistryChange& change);

// Carries out one registry item: the key, then each value's decision and
// change, up to the first failure; a Delete item without values deletes the
// key. A key that cannot be opened in a Delete section is reported, but the
// run goes on.
void ProcessRegistryItem(const TRegistryItem& item, TSectionMode mode);

// The number a value text of type letter 'I' stands for: optional blanks and
// sign, then decimal digits or hexadecimal ones after "$", "x" or "0x". Any
// other text and any overflow give 0; negative numbers give their two's
// complement.
uint32_t RegistryInteger(const std::string& text);
