#include "core/folded_index.h"

namespace {

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
