// A flat index of a directory listing's names, folded to the system's upper
// case, and of their 8.3 aliases, by open addressing: a look-up allocates
// nothing and follows no nodes, and a listing of thousands of names takes
// no block of memory of its own per name (under Wine every fresh 4 KB page
// costs a page fault of about 10 microseconds, and every block a trip
// through the heap's lock).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The name in the system's upper case, as the file functions compare names.
std::wstring FoldedName(const std::string& name);

// A wide name in the system's upper case: FoldedName once converted, and the
// key a release's manifest files its names by.
std::wstring FoldWide(const std::wstring& wide);

// FoldedName into `folded`, reusing its room.
void FoldNameInto(const std::string& name, std::wstring& folded);

// Names one after another in one text.
class TFoldedNames {
public:
    void Add(std::wstring_view name)
    {
        m_text.append(name);
        End();
    }
    // The name as FoldedName folds it, without a string of its own.
    void AddFolded(const std::string& name);
    // A name added character by character: Append each, then End.
    void Append(wchar_t c) { m_text.push_back(c); }
    void End() { m_starts.push_back(m_text.size()); }

    size_t size() const { return m_starts.size() - 1; }
    std::wstring_view operator[](size_t i) const
    {
        return std::wstring_view(m_text).substr(m_starts[i], m_starts[i + 1] - m_starts[i]);
    }

private:
    std::wstring m_text;
    std::vector<size_t> m_starts{0};  // where each name starts; the last one: where the next would
};

struct TFoldedIndex {
    std::vector<uint32_t> Slots;  // an entry's number + 1 in a used slot, 0 in a free one
};

// Indexes entry i under names[i] and, unless it is empty, under aliases[i]
// (both as long as the listing).
TFoldedIndex BuildFoldedIndex(const TFoldedNames& names, const TFoldedNames& aliases);

// The entry the system gives for a name folded to `folded`: of those whose
// name or alias is `folded`, the first for which `exact` says it is spelled
// as asked, else the first of them at all. False when there is none.
bool FindFolded(const TFoldedIndex& index, const TFoldedNames& names, const TFoldedNames& aliases,
                std::wstring_view folded, const std::function<bool(size_t)>& exact, size_t& entry);
