#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "harness.h"
#include "run/undo_steps.h"

using namespace testing_support;

namespace {

// A copy of `name` journaled ahead of its turn, which keeps the old file at
// `kept` when one was there.
TJournalEntry AheadCopy(const TempDir& dir, int number, const std::string& name, bool targetBefore,
                        const std::string& kept = {})
{
    TJournalEntry entry;
    entry.Number = number;
    entry.Ahead = true;
    TChange& c = entry.Change;
    c.Kind = TChangeKind::File;
    c.FileOp = TFileOp::Copy;
    c.Path = c.Target = dir / name;
    c.Before.Known = true;
    c.Before.Present = targetBefore;
    if (!kept.empty()) c.KeepAside = dir / kept;
    return entry;
}

TEST(NeverMade, TheDiskTellsWhetherACopyJournaledAheadWasMade)
{
    TempDir dir;
    for (const char* name : {"a.dat", "b.dat", "c.dat", "c.old", "e.dat", "f.dat"}) WriteFileBytes(dir / name, name);
    ASSERT_TRUE(CreateHardLinkA((dir / "b.old").c_str(), (dir / "b.dat").c_str(), nullptr));
    std::vector<TJournalEntry> entries = {
        AheadCopy(dir, 1, "a.dat", true, "a.old"),  // never kept aside: not made
        AheadCopy(dir, 2, "b.dat", true, "b.old"),  // kept by a second name, never replaced: not made
        AheadCopy(dir, 3, "c.dat", true, "c.old"),  // the kept file is another: made
        AheadCopy(dir, 4, "d.dat", false),          // no target then, none now: not made
        AheadCopy(dir, 5, "e.dat", false),          // no target then, one now: made
        AheadCopy(dir, 6, "f.dat", true, "f.old"),  // marked undone: nothing to judge
    };
    entries[5].Undone = true;
    TJournalEntry atItsTurn = AheadCopy(dir, 7, "g.dat", true, "g.old");
    atItsTurn.Ahead = false;  // written at its turn: put back as ever
    entries.push_back(atItsTurn);
    EXPECT_EQ(NeverMade(entries), (std::vector<bool>{true, true, false, true, false, false, false}));
}

TEST(NeverMade, ALaterChangeThatMovedItsPathsLeavesTheJudgementToTheUndo)
{
    TempDir dir;
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    TJournalEntry copy = AheadCopy(dir, 1, "sub\\a.dat", true, "sub\\a.old");
    // The directory renamed after the copy: its undo brings the paths back first.
    TJournalEntry rename;
    rename.Number = 2;
    rename.Change.Kind = TChangeKind::Directory;
    rename.Change.Action = TChangeAction::Rename;
    rename.Change.Path = rename.Change.Target = dir / "sub";
    rename.Change.To = dir / "moved";
    EXPECT_EQ(NeverMade({copy, rename}), (std::vector<bool>{false, false}));
    rename.Undone = true;
    EXPECT_EQ(NeverMade({copy, rename}), (std::vector<bool>{true, false}));
    // A change of another file of the directory moves nothing of this one.
    TJournalEntry other = AheadCopy(dir, 3, "sub\\a.dat2", false);
    other.Ahead = false;
    EXPECT_EQ(NeverMade({copy, other}), (std::vector<bool>{true, false}));
}

}  // namespace
