#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/folded_index.h"

namespace {

TFoldedNames Names(const std::vector<std::wstring>& list)
{
    TFoldedNames names;
    for (const std::wstring& name : list) names.Add(name);
    return names;
}

size_t Found(const TFoldedIndex& index, const TFoldedNames& names, const TFoldedNames& aliases,
             std::wstring_view folded, size_t spelled)
{
    size_t entry = 99999;
    bool found = FindFolded(index, names, aliases, folded, [spelled](size_t i) { return i == spelled; }, entry);
    return found ? entry : static_cast<size_t>(-1);
}

}  // namespace

// The entry spelled as asked wins, else the first by name or alias; a
// crowded index (names that differ in their last character, probes that
// wrap around its end) finds each of them.
TEST(FoldedIndex, TheSpelledEntryThenTheFirstByNameOrAlias)
{
    TFoldedNames names = Names({L"A.TXT", L"LONGNAME.TXT", L"A.TXT", L"B.TXT"});
    TFoldedNames aliases = Names({L"", L"LONGNA~1.TXT", L"", L"A.TXT"});
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(aliases[0], L"");
    EXPECT_EQ(aliases[1], L"LONGNA~1.TXT");
    TFoldedIndex index = BuildFoldedIndex(names, aliases);
    EXPECT_EQ(Found(index, names, aliases, L"A.TXT", 99), 0u);
    EXPECT_EQ(Found(index, names, aliases, L"A.TXT", 3), 3u);
    EXPECT_EQ(Found(index, names, aliases, L"LONGNA~1.TXT", 99), 1u);
    EXPECT_EQ(Found(index, names, aliases, L"C.TXT", 99), static_cast<size_t>(-1));

    TFoldedNames many, none;
    for (int i = 0; i < 3000; ++i) {
        many.Add(L"F" + std::to_wstring(i) + L".DAT");
        none.End();
    }
    TFoldedIndex large = BuildFoldedIndex(many, none);
    EXPECT_GE(large.Slots.size(), 2 * many.size());
    for (size_t i = 0; i < many.size(); ++i) ASSERT_EQ(Found(large, many, none, many[i], 99), i);
    EXPECT_EQ(Found(large, many, none, L"F3000.DAT", 99), static_cast<size_t>(-1));
    EXPECT_EQ(Found(TFoldedIndex{}, many, none, many[0], 99), static_cast<size_t>(-1));
}
