#include <gtest/gtest.h>

#include <string>

#include "file_support.h"
#include "harness.h"
#include "run/journal.h"

using namespace testing_support;

namespace {

TJournalEntry Entry(int number)
{
    TJournalEntry entry;
    entry.Number = number;
    TChange& c = entry.Change;
    c.Kind = TChangeKind::RegistryValue;
    c.Action = TChangeAction::Replace;
    c.Target = "HKCU\\Software\\X\\Name";
    c.Root = HKEY_CURRENT_USER;
    c.SubKey = "Software\\X";
    c.Name = "Na=me\t%";
    c.Before.Known = c.Before.Present = true;
    c.Before.Type = REG_BINARY;
    c.Before.Data = std::string("a\r\nb\0c%20=\x01\xFF", 12);
    c.KeepAside = "C:\\app\\x.dll.~vtk3";
    entry.FileBefore.Known = entry.FileBefore.Present = entry.FileBefore.Dated = true;
    entry.FileBefore.Size = 1234567890123;
    entry.FileBefore.WriteTime = {0x89ABCDEF, 0x01234567};
    entry.Levels = {"Software\\X\\Y", "Software\\X"};
    TState value;
    value.Known = value.Present = true;
    value.Type = REG_SZ;
    value.Data = std::string("v\0", 2);
    entry.Values = {{"first", value}, {"", value}};
    return entry;
}

TEST(Journal, EntriesComeBackWholeWithEveryByteOfTheirData)
{
    TempDir dir;
    TJournal journal(dir / "s.journal");
    ASSERT_EQ(journal.Write(Entry(1)), 0u);
    ASSERT_EQ(journal.Write(Entry(2)), 0u);
    ASSERT_EQ(journal.MarkUndone(2), 0u);
    ASSERT_EQ(journal.MarkScheduled(1), 0u);
    journal.Close();

    TJournalContents read = ReadJournal(dir / "s.journal");
    ASSERT_TRUE(read.Exists);
    ASSERT_EQ(read.Entries.size(), 2u);
    const TJournalEntry& first = read.Entries[0];
    TJournalEntry expected = Entry(1);
    EXPECT_EQ(first.Change.Kind, expected.Change.Kind);
    EXPECT_EQ(first.Change.Action, expected.Change.Action);
    EXPECT_EQ(first.Change.Name, expected.Change.Name);
    EXPECT_EQ(first.Change.Root, HKEY_CURRENT_USER);
    EXPECT_EQ(first.Change.Before.Data, expected.Change.Before.Data);
    EXPECT_EQ(first.Change.Before.Type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(first.Change.KeepAside, expected.Change.KeepAside);
    EXPECT_EQ(first.FileBefore.Size, expected.FileBefore.Size);
    EXPECT_EQ(first.FileBefore.WriteTime.dwHighDateTime, expected.FileBefore.WriteTime.dwHighDateTime);
    EXPECT_EQ(first.FileBefore.WriteTime.dwLowDateTime, expected.FileBefore.WriteTime.dwLowDateTime);
    EXPECT_EQ(first.Levels, expected.Levels);
    ASSERT_EQ(first.Values.size(), 2u);
    EXPECT_EQ(first.Values[1].first, "");
    EXPECT_EQ(first.Values[1].second.Data, std::string("v\0", 2));
    EXPECT_TRUE(first.Scheduled);
    EXPECT_FALSE(first.Undone);
    EXPECT_TRUE(read.Entries[1].Undone);
    EXPECT_FALSE(read.HandedOver);
    EXPECT_FALSE(read.Committed);
}

TEST(Journal, ARecordCutOffOrDamagedWasNeverWritten)
{
    TempDir dir;
    std::string path = dir / "s.journal";
    {
        TJournal journal(path);
        journal.Write(Entry(1));
        journal.Write(Entry(2));
        journal.MarkHandedOver();
    }
    std::string text = ReadFileBytes(path);
    // A power failure in the middle of the handover and of the second record.
    std::string cut = text.substr(0, text.rfind("handover") + 4);
    WriteFileBytes(path, cut);
    TJournalContents read = ReadJournal(path);
    EXPECT_EQ(read.Entries.size(), 2u);
    EXPECT_FALSE(read.HandedOver);

    std::string damaged = text;
    damaged[damaged.find("n=2") + 2] = '7';  // the checksum no longer fits
    WriteFileBytes(path, damaged);
    read = ReadJournal(path);
    ASSERT_EQ(read.Entries.size(), 1u);
    EXPECT_EQ(read.Entries[0].Number, 1);
    EXPECT_TRUE(read.HandedOver);

    WriteFileBytes(path, std::string("garbage\r\n\xFF\xFE\r\nchange\tn=x\t#00000000\r\n", 36));
    EXPECT_TRUE(ReadJournal(path).Entries.empty());
}

TEST(Journal, ACopyThatTookItOverAndACommitAreTold)
{
    TempDir dir;
    TJournal journal(dir / "s.journal");
    journal.Write(Entry(1));
    journal.MarkHandedOver();
    journal.MarkContinued();
    EXPECT_FALSE(ReadJournal(dir / "s.journal").HandedOver);
    journal.MarkCommitted();
    EXPECT_TRUE(ReadJournal(dir / "s.journal").Committed);
    EXPECT_TRUE(journal.Remove());
    EXPECT_FALSE(ReadJournal(dir / "s.journal").Exists);
    EXPECT_FALSE(ReadJournal(dir / "aux.journal").Exists) << "a device's name is never opened";
}

}  // namespace

namespace {

TEST(Journal, ABatchGoesInOneWriteAndARecordWrittenAheadSaysSo)
{
    TempDir dir;
    TJournal journal(dir / "s.journal");
    TJournalBatch batch;
    TJournalEntry ahead = Entry(1);
    ahead.Ahead = true;
    batch.Add(ahead);
    batch.Add(Entry(2));
    batch.AddUndone(1);
    ASSERT_EQ(journal.Write(batch), 0u);
    EXPECT_EQ(journal.Write(TJournalBatch{}), 0u);
    journal.Close();

    TJournalContents read = ReadJournal(dir / "s.journal");
    ASSERT_EQ(read.Entries.size(), 2u);
    EXPECT_TRUE(read.Entries[0].Ahead);
    EXPECT_TRUE(read.Entries[0].Undone);
    EXPECT_FALSE(read.Entries[1].Ahead) << "a record of an older run has no such field";
    EXPECT_EQ(ReadFileBytes(dir / "s.journal").find("ahead", ReadFileBytes(dir / "s.journal").find("n=2")),
              std::string::npos);
}

TEST(Journal, ARecordAfterOneCutOffStartsOnALineOfItsOwn)
{
    TempDir dir;
    std::string path = dir / "s.journal";
    {
        TJournal journal(path);
        journal.Write(Entry(1));
        journal.Write(Entry(2));
    }
    // The second record's write broke off half-way; the next run goes on with the file.
    std::string text = ReadFileBytes(path);
    WriteFileBytes(path, text.substr(0, text.find("n=2") + 40));
    TJournal next(path);
    ASSERT_EQ(next.Write(Entry(3)), 0u);
    next.Close();

    TJournalContents read = ReadJournal(path);
    ASSERT_EQ(read.Entries.size(), 2u) << "the record written after the cut one is read";
    EXPECT_EQ(read.Entries[0].Number, 1);
    EXPECT_EQ(read.Entries[1].Number, 3);
}

}  // namespace
