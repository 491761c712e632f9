// Rollback=1 with the copies a walk will come to journaled ahead of their
// turns: what is put back, and said, is what was made; a record whose change
// was never made is passed over by the run and by the next one, and leaves
// nothing behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "file_support.h"
#include "harness.h"
#include "core/paths.h"
#include "run/journal.h"
#include "run/kept_files.h"

using namespace testing_support;

namespace {

// The names whose states differ between two snapshots.
std::string Differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after)
{
    std::string text;
    for (const auto& [name, state] : before)
        if (!after.count(name) || after.at(name) != state) text += "changed or gone: " + name + "\n";
    for (const auto& [name, state] : after)
        if (!before.count(name)) text += "new: " + name + "\n";
    return text;
}

// The step lines under the heading, without their dots (a long line has its
// status on the next one, a plan's line its reason).
std::vector<std::string> StepsUnder(const RunResult& run, const std::string& heading)
{
    std::vector<std::string> steps;
    bool in = false;
    for (const std::string& line : run.Lines()) {
        if (in && line.rfind(' ', 0) != 0) break;
        if (in && line.rfind("    -> ", 0) == 0) steps.push_back(line.substr(0, line.find("...")));
        in = in || line == heading;
    }
    return steps;
}

class RollbackAhead : public ::testing::Test {
protected:
    void Script(const std::string& body)
    {
        std::string text = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\nRollback=1\r\n" + body;
        for (const std::string& path : {m_dir / "s.ini", m_share / "s.ini"}) Put(path, text, 0);
        CopyFileA((m_dir / m_dir.ExeName()).c_str(), (m_share / m_dir.ExeName()).c_str(), FALSE);
    }
    void Put(const std::string& path, const std::string& bytes, int day)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day));
    }
    // An old file in the program directory and a newer one on the share.
    void Replaced(const std::string& name)
    {
        Put(m_dir / name, "old " + name, 1);
        Put(m_share / name, "new " + name + " on the share", 2);
    }

    ProgramDir m_dir;
    TempDir m_share;
};

TEST_F(RollbackAhead, AFailureMidWalkPutsBackTheCopiesMadeAndLeavesThoseJournaledAheadAsTheyWere)
{
    Script("[Update]\r\nFile1=a*.dat\r\nFile2=missing.dll\r\nFile3=z*.dat\r\n");
    for (int i = 10; i < 22; ++i)
        for (const char* prefix : {"a", "z"}) Replaced(prefix + std::to_string(i) + ".dat");
    SetFileAttributesA((m_dir / "a10.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((m_dir / "z10.dat").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    auto before = SnapshotFiles(m_dir.Path());

    RunResult run = m_dir.Start("s.ini", "k");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> undone = StepsUnder(run, "=> Rolling back 12 changes...");
    ASSERT_EQ(undone.size(), 12u) << "only the copies made are put back, and said:\n" << run.Output;
    EXPECT_EQ(undone.front(), "    -> " + (m_dir / "a21.dat")) << "the newest first";
    EXPECT_EQ(undone.back(), "    -> " + (m_dir / "a10.dat"));
    EXPECT_EQ(Differences(before, SnapshotFiles(m_dir.Path())), "")
        << "bytes, times and attributes as before; no journal, kept file or keep directory left\n" << run.Output;
}

TEST_F(RollbackAhead, ACopyDecidedOtherwiseAtItsTurnIsJournaledAnewAndPutBack)
{
    // c.dat is told ahead as a new file; then the rename before it puts one there.
    Script("[Update]\r\nFile1=a.dat\r\nFile2=x.dat\r\nFile2RenameTo=c.dat\r\nFile3=c.dat\r\nFile4=missing.dll\r\n");
    Replaced("a.dat");
    Put(m_dir / "x.dat", "x, to become c", 1);
    Put(m_share / "c.dat", "new c on the share", 2);
    auto before = SnapshotFiles(m_dir.Path());

    RunResult run = m_dir.Start("s.ini", "k");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_EQ(StepsUnder(run, "=> Rolling back 3 changes...").size(), 3u) << run.Output;
    EXPECT_EQ(Differences(before, SnapshotFiles(m_dir.Path())), "") << run.Output;
    EXPECT_EQ(m_dir.Read("x.dat"), "x, to become c");
}

TEST_F(RollbackAhead, TheNextRunPassesOverRecordsWrittenAheadWhoseChangesWereNeverMade)
{
    Script("[Update]\r\n");
    std::string journalPath = m_dir / "s.journal";
    TJournal journal(journalPath);
    // A journal as a run ended at some moment leaves it: of the copies of
    // m.dat and p.dat the old files are kept and the new ones in place; n.dat
    // got its second name ahead and o.dat not even that; q.dat, new, was never made.
    int number = 0;
    for (const char* name : {"m.dat", "n.dat", "o.dat", "p.dat", "q.dat"}) {
        TJournalEntry entry;
        entry.Number = ++number;
        entry.Ahead = number > 1;
        TChange& c = entry.Change;
        c.Kind = TChangeKind::File;
        c.Action = TChangeAction::Replace;
        c.FileOp = TFileOp::Copy;
        c.Path = c.Target = m_dir / name;
        c.Before.Known = true;
        c.Before.Present = number < 5;
        if (c.Before.Present) {
            Put(c.Path, std::string("old ") + name, 1);
            c.Before.Attributes = GetFileAttributesA(c.Path.c_str());
            c.KeepAside = KeptName(c.Path, number, journalPath);
        }
        ASSERT_EQ(journal.Write(entry), 0u);
    }
    journal.Close();
    auto before = SnapshotFiles(m_dir.Path());
    for (const char* name : {"m.dat", "p.dat"}) {
        std::string kept = KeptName(m_dir / name, name[0] == 'm' ? 1 : 4, journalPath);
        for (std::string directory : {KeepDirectoryOf(kept), DirectoryPart(kept)})
            CreateDirectoryA(directory.substr(0, directory.size() - 1).c_str(), nullptr);
        ASSERT_TRUE(MoveFileA((m_dir / name).c_str(), kept.c_str()));
        Put(m_dir / name, "new", 2);
    }
    ASSERT_TRUE(CreateHardLinkA(KeptName(m_dir / "n.dat", 2, journalPath).c_str(), (m_dir / "n.dat").c_str(), nullptr));
    before.erase("s.journal");

    RunResult plan = m_dir.Start("--plan s.ini");
    RunResult run = m_dir.Start("s.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    const std::string heading = "=> Finishing the rollback of an interrupted run...";
    std::vector<std::string> expected = {"    -> " + (m_dir / "p.dat"), "    -> " + (m_dir / "m.dat")};
    EXPECT_EQ(StepsUnder(run, heading), expected) << run.Output;
    EXPECT_EQ(StepsUnder(plan, heading), expected) << plan.Output;
    auto after = SnapshotFiles(m_dir.Path());
    after.erase("s.ok");
    EXPECT_EQ(Differences(before, after), "") << run.Output;
}

}  // namespace
