#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "file_support.h"
#include "harness.h"
#include "machine/live_machine.h"
#include "run/rollback.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

class RollbackAhead : public RunStateTest {
protected:
    // A copy onto an existing target, as its decision gives it.
    TChange Copy(const std::string& name)
    {
        WriteFileBytes(m_dir / name, "old " + name);
        TChange change;
        change.Kind = TChangeKind::File;
        change.Action = TChangeAction::Replace;
        change.FileOp = TFileOp::Copy;
        change.Path = change.Target = m_dir / name;
        change.From = "Z:\\share\\" + name;
        change.FromState.Known = change.FromState.Present = change.FromState.Dated = true;
        change.FromState.Size = 100;
        change.FromState.WriteTime = LocalStamp(2);
        change.Before.Known = change.Before.Present = true;
        return change;
    }

    TempDir m_dir;
    TLiveMachine m_machine;
};

TEST_F(RollbackAhead, TheCopiesAWalkWillComeToAreJournaledTogetherAndEachTurnClaimsItsRecord)
{
    TChange first = Copy("a.dat"), second = Copy("b.dat"), third = Copy("c.dat");
    SetFileAttributesA((m_dir / "c.dat").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    DWORD attributes = GetFileAttributesA((m_dir / "c.dat").c_str());
    std::string journal = m_dir / "s.journal";
    TRollback rollback(journal, m_machine);
    for (const TChange* change : {&first, &second, &third}) rollback.Ahead(*change);
    rollback.SendAhead();

    TChange made = first;
    ASSERT_FALSE(rollback.Before(made).Failed);
    EXPECT_TRUE(made.KeepAside.empty()) << "the old file has its second name already: the copy only replaces";
    TJournalContents read = ReadJournal(journal);
    ASSERT_EQ(read.Entries.size(), 3u) << "the turn of a copy journaled ahead writes no record";
    for (const TJournalEntry& entry : read.Entries) {
        EXPECT_TRUE(entry.Ahead);
        EXPECT_TRUE(SameFile(entry.Change.KeepAside, entry.Change.Path)) << entry.Change.KeepAside;
    }

    // The second target changed before its turn: its record covers nothing any more.
    WriteFileBytes(m_dir / "b.dat", "changed meanwhile");
    NoteFileChanged(m_dir / "b.dat");
    made = second;
    ASSERT_FALSE(rollback.Before(made).Failed);
    EXPECT_FALSE(made.KeepAside.empty()) << "journaled anew, to be kept at its turn";
    EXPECT_FALSE(FileExists(read.Entries[1].Change.KeepAside)) << "the second name given ahead went";

    // The walk ends before the third one's turn.
    rollback.EndAhead();
    read = ReadJournal(journal);
    ASSERT_EQ(read.Entries.size(), 4u);
    EXPECT_FALSE(read.Entries[0].Undone);
    EXPECT_TRUE(read.Entries[1].Undone);
    EXPECT_TRUE(read.Entries[2].Undone);
    EXPECT_FALSE(read.Entries[3].Ahead);
    EXPECT_EQ(read.Entries[3].Change.Before.Size, 17) << "the target as it is at the turn";
    EXPECT_FALSE(FileExists(read.Entries[2].Change.KeepAside));
    EXPECT_EQ(ReadFileBytes(m_dir / "c.dat"), "old c.dat");
    EXPECT_EQ(GetFileAttributesA((m_dir / "c.dat").c_str()), attributes)
        << "the attributes the two names shared are the old ones";
    SetFileAttributesA((m_dir / "c.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
