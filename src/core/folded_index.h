// A flat index of a directory listing's names, folded to the system's upper
// case, and of their 8.3 aliases, by open addressing: a look-up allocates
// nothing and follows no nodes, and a listing of thousands of names takes
// no block of memory of its own per name (under Wine every fresh 4 KB page
// costs a page fault of about 10 microseconds).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TFoldedIndex {
    std::vector<uint32_t> Slots;  // an entry's number + 1 in a used slot, 0 in a free one
};

// Indexes entry i under names[i] and, unless it is empty, under aliases[i]
// (both vectors as long as the listing).
TFoldedIndex BuildFoldedIndex(const std::vector<std::wstring>& names, const std::vector<std::wstring>& aliases);

// The entry the system gives for a name folded to `folded`: of those whose
// name or alias is `folded`, the first for which `exact` says it is spelled
// as asked, else the first of them at all. False when there is none.
bool FindFolded(const TFoldedIndex& index, const std::vector<std::wstring>& names,
                const std::vector<std::wstring>& aliases, const std::wstring& folded,
                const std::function<bool(size_t)>& exact, size_t& entry);
