#include "core/folded_index.h"

#include <windows.h>

#include "core/ansi_text.h"

namespace {

// A character of an ASCII name as FoldedName folds it.
wchar_t FoldedAscii(char c)
{
    return static_cast<wchar_t>(UpperAscii(c));
}

// FNV-1a over the UTF-16 units of a folded name.
size_t FoldedHash(std::wstring_view folded)
{
    uint64_t hash = 14695981039346656037ULL;
    for (wchar_t c : folded) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 1099511628211ULL;
    }
    return static_cast<size_t>(hash);
}

}  // namespace

std::wstring FoldedName(const std::string& name)
{
    std::wstring wide;
    if (IsAscii(name)) {
        wide.reserve(name.size());
        for (char c : name) wide.push_back(FoldedAscii(c));
        return wide;
    }
    // Not text in this code page: empty, which matches nothing a mask names.
    return FoldWide(ToWide(name));
}

std::wstring FoldWide(const std::wstring& wide)
{
    std::wstring upper(wide.size(), L'\0');
    int length = static_cast<int>(wide.size());
    if (length > 0 && LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), length) == length)
        return upper;
    upper = wide;  // without the mapping (old systems) only ASCII letters are folded
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return upper;
}

void FoldNameInto(const std::string& name, std::wstring& folded)
{
    if (!IsAscii(name)) {
        folded = FoldedName(name);
        return;
    }
    // Character by character into the room it has already (assigning chars
    // to a wide string would build a temporary one first).
    folded.resize(name.size());
    for (size_t i = 0; i < name.size(); ++i) folded[i] = FoldedAscii(name[i]);
}

void TFoldedNames::AddFolded(const std::string& name)
{
    if (!IsAscii(name)) {
        Add(FoldedName(name));
        return;
    }
    for (char c : name) Append(FoldedAscii(c));
    End();
}

TFoldedIndex BuildFoldedIndex(const TFoldedNames& names, const TFoldedNames& aliases)
{
    size_t count = 0;
    for (size_t i = 0; i < aliases.size(); ++i) count += aliases[i].empty() ? 1 : 2;
    // At least twice the names: probes stay short.
    size_t size = 16;
    while (size < 2 * count) size *= 2;
    TFoldedIndex index;
    index.Slots.assign(size, 0);
    auto add = [&index, size](std::wstring_view folded, size_t entry) {
        size_t slot = FoldedHash(folded) & (size - 1);
        while (index.Slots[slot] != 0) slot = (slot + 1) & (size - 1);
        index.Slots[slot] = static_cast<uint32_t>(entry + 1);
    };
    for (size_t i = 0; i < names.size(); ++i) {
        add(names[i], i);
        if (!aliases[i].empty()) add(aliases[i], i);
    }
    return index;
}

bool FindFolded(const TFoldedIndex& index, const TFoldedNames& names, const TFoldedNames& aliases,
                std::wstring_view folded, const std::function<bool(size_t)>& exact, size_t& entry)
{
    if (index.Slots.empty()) return false;
    size_t mask = index.Slots.size() - 1;
    bool found = false, exactFound = false;
    for (size_t slot = FoldedHash(folded) & mask; index.Slots[slot] != 0; slot = (slot + 1) & mask) {
        size_t i = index.Slots[slot] - 1;
        if (names[i] != folded && aliases[i] != folded) continue;
        bool spelled = exact(i);
        if (!found || (spelled && !exactFound) || (spelled == exactFound && i < entry)) {
            entry = i;
            found = true;
            exactFound = spelled;
        }
    }
    return found;
}
