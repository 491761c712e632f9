#include "script/script_layout.h"

const TRootName RootNames[7] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    // Four letters: the system's usual HKU is no root name here.
    {"HKEY_USERS", "HKUS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", "HKPD", HKEY_PERFORMANCE_DATA},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_DYN_DATA", "HKDD", HKEY_DYN_DATA},
};

unsigned ReadInBit(TSectionMode mode)
{
    switch (mode) {
    case TSectionMode::Insert: return InInsert;
    case TSectionMode::Update: return InUpdate;
    case TSectionMode::Delete: return InDelete;
    }
    return 0;
}

std::string DefaultItemOrder(TSectionMode mode)
{
    std::string order;
    for (const TItemKindLayout& kind : ItemKinds)
        if (mode == TSectionMode::Insert || !kind.InsertOnly) order += kind.Letter;
    return order;
}

const TSectionKind* FindSectionKind(char letter)
{
    for (const TSectionKind& kind : SectionKinds)
        if (kind.Letter == letter) return &kind;
    return nullptr;
}

const TItemKindLayout* FindItemKind(char letter)
{
    for (const TItemKindLayout& kind : ItemKinds)
        if (kind.Letter == letter) return &kind;
    return nullptr;
}

const TItemKindLayout& ItemKindLayout(TItemKind kind)
{
    for (const TItemKindLayout& layout : ItemKinds)
        if (layout.Kind == kind) return layout;
    return ItemKinds[0];
}

const TSubKey* FindSubKey(const TItemKindLayout& kind, unsigned entry, unsigned word)
{
    for (const TSubKey& key : kind.SubKeys())
        if (key.Entry == entry && key.Word == word) return &key;
    return nullptr;
}
