// Rollback=1: a failed run puts back everything it changed, a run ended at
// any moment is put back by the next one, and a run that ends well leaves
// nothing of its journal behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/handles.h"
#include "engine_support.h"
#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

// The names whose states differ, with both states cut short: what a failed
// comparison of two snapshots says.
std::string Differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after)
{
    std::string text;
    auto shown = [](const std::string& state) { return state.substr(0, 60); };
    for (const auto& [name, state] : before) {
        auto now = after.find(name);
        if (now == after.end())
            text += "gone: " + name + "\n";
        else if (now->second != state)
            text += "changed: " + name + " [" + shown(state) + "] -> [" + shown(now->second) + "]\n";
    }
    for (const auto& [name, state] : after)
        if (!before.count(name)) text += "new: " + name + " [" + shown(state) + "]\n";
    return text;
}

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The lines put back under "=> Finishing the rollback...", with their box
// (a plan shows as done what needs nothing more).
std::vector<std::string> UndoneSteps(const RunResult& run, const std::string& box)
{
    std::vector<std::string> steps;
    std::vector<std::string> lines = run.Lines();
    auto at = std::find(lines.begin(), lines.end(), "=> Finishing the rollback of an interrupted run...");
    for (auto line = at == lines.end() ? at : at + 1; line != lines.end() && line->rfind("    ", 0) == 0; ++line) {
        if (line->size() < 45 || (line->compare(44, box.size(), box) != 0 && line->compare(44, 8, "[  OK  ]") != 0))
            continue;
        std::string text = line->substr(0, 44);
        text.erase(text.find_last_not_of(' ') + 1);
        steps.push_back(text.empty() ? *(line - 1) : text);
    }
    return steps;
}

class Rollback : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallStandin(m_dir.Path());
        CopyFileA(FixturePath("launch_probe.exe").c_str(), (m_dir / "launch_probe.exe").c_str(), FALSE);
    }

    // The script in both places, its SourcePath naming the share, Rollback on.
    void Script(const std::string& options, const std::string& body)
    {
        std::string text = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\n" + options + body;
        m_dir.Write("s.ini", text);
        WriteFileBytes(m_share / "s.ini", text);
        SetLastWriteTime(m_dir / "s.ini", LocalStamp(0));
        SetLastWriteTime(m_share / "s.ini", LocalStamp(0));
        CopyFileA((m_dir / m_dir.ExeName()).c_str(), (m_share / m_dir.ExeName()).c_str(), FALSE);
    }
    void Put(const std::string& path, const std::string& bytes, int day = 1)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day));
    }
    // The program directory and the test's registry key, without what the
    // engine stand-in and a run log write of their own.
    std::map<std::string, std::string> Snapshot()
    {
        auto state = SnapshotFiles(m_dir.Path());
        for (const char* own : {"calls.log", "standin_aliases.cfg", "s.ok", "run.log"}) state.erase(own);
        for (auto& [name, entry] : SnapshotRegistry(HKEY_CURRENT_USER, m_key.SubKey())) state["reg\\" + name] = entry;
        return state;
    }
    std::vector<std::string> Aliases() const
    {
        std::vector<std::string> aliases;
        for (const std::string& line : ReadCallLog(m_dir / "standin_aliases.cfg"))
            if (!line.empty() && line[0] != ';') aliases.push_back(line);
        return aliases;
    }

    // A script that changes every kind there is and then fails at its last
    // item (a directory that is not empty).
    void EveryKindThenAFailure(const std::string& options)
    {
        std::string key = m_key.ScriptPath();
        Script("Rollback=1\r\n" + options,
               "[Insert]\r\nItemOrder=DFRIBT\r\nDir1=made\\deep\r\nFile1=made\\deep\\a.txt\r\nFile2=fresh.txt\r\n"
               "Reg1=" + key + "\\App\r\nReg1Val1Name=Port\r\nReg1Val1Type=I\r\nReg1Val1Value=8080\r\n"
               "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=net\r\n"
               "Ini2=new.ini\r\nIni2Val1Section=S\r\nIni2Val1Name=K\r\nIni2Val1Value=v\r\n"
               "BDEAlias1=Ledger\r\nBDEAlias1Params=STANDARD;PATH:C:\\data\r\n"
               "Text1=app.cfg\r\nText1Str1Prefix=Theme=\r\nText1Str1Full=Theme=dark\r\n"
               "Text2=notes.txt\r\nText2Str1Prefix=A=\r\nText2Str1Full=A=1\r\n"
               "[Update]\r\nFile1=b.txt\r\nFile2=old.dll\r\nFile2RenameTo=older.dll\r\nDir1=olddir\r\nDir1RenameTo=renamed\r\n"
               "Reg1=" + key + "\r\nReg1Val1Name=Existing\r\nReg1Val1Value=new\r\n"
               "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Level\r\nIni1Val1Value=2\r\n"
               "BDEAlias1=Old\r\nBDEAlias1Params=PARADOX;PATH:C:\\new\r\n"
               "[Delete]\r\nItemOrder=FRIBD\r\nFile1=gone.txt\r\nReg1=" + key + "\r\nReg1Val1Name=Legacy\r\n"
               "Reg2=" + key + "\\Sub\r\nIni1=app.ini\r\nIni1Val1Section=Old\r\nIni1Val1Name=Key\r\n"
               "BDEAlias1=Gone\r\nDir1=emptydir\r\nDir2=full\r\n");
        Put(m_share / "a.txt", "new a", 2);
        Put(m_share / "fresh.txt", "fresh", 2);
        Put(m_share / "b.txt", "new b, longer", 2);
        Put(m_dir / "b.txt", "old b");
        Put(m_dir / "old.dll", "old dll");
        CreateDirectoryA((m_dir / "olddir").c_str(), nullptr);
        Put(m_dir / "olddir\\inside.txt", "in");
        Put(m_dir / "gone.txt", "gone");
        SetFileAttributesA((m_dir / "gone.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        CreateDirectoryA((m_dir / "emptydir").c_str(), nullptr);
        CreateDirectoryA((m_dir / "full").c_str(), nullptr);
        Put(m_dir / "full\\keep.txt", "k");
        Put(m_dir / "app.ini", "[Main]\r\nLevel=1\r\n[Old]\r\nKey=x\r\n");
        Put(m_dir / "app.cfg", "X=1\r\n");
        WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey(), "Existing", REG_SZ, std::string("old") + '\0');
        WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey(), "Legacy", REG_DWORD, std::string("\x07\0\0\0", 4));
        WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey() + "\\Sub", "V", REG_BINARY, std::string("\x01\x02", 2));
        m_dir.Write("standin_aliases.cfg", "Old\tSTANDARD\tPATH:C:\\old\r\nGone\tSTANDARD\t\r\n");
    }

    ProgramDir m_dir;
    TempDir m_share;
    TestRegKey m_key;
    EnvironmentScope m_engineLog{"VANTOREL_STANDIN_LOG", m_dir / "calls.log"};
};

TEST_F(Rollback, AFailureAtTheLastItemPutsBackEveryChangeOfEveryKind)
{
    EveryKindThenAFailure("");
    auto before = Snapshot();
    auto aliases = Aliases();
    RunResult run = m_dir.Start("s.ini", "k");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_EQ(Differences(before, Snapshot()), "") << run.Output;
    EXPECT_EQ(Sorted(Aliases()), Sorted(aliases)) << run.Output;
    std::vector<std::string> lines = run.Lines();
    auto heading = std::find_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.rfind("=> Rolling back ", 0) == 0; });
    ASSERT_NE(heading, lines.end()) << run.Output;
    EXPECT_EQ(*heading, "=> Rolling back 24 changes...") << run.Output;
    auto error = std::find(heading, lines.end(), "ERROR: Directory is not empty");
    EXPECT_NE(error, lines.end()) << "the failure is told after the rollback:\n" << run.Output;
    EXPECT_FALSE(m_dir.Exists("s.journal"));
    EXPECT_FALSE(m_dir.Exists("s.ok"));
    EXPECT_FALSE(m_dir.Exists("launched.txt"));
}

TEST_F(Rollback, ARunEndedAtAnyMomentIsPutBackByTheNextRunExactlyOnce)
{
    // A pause before each item gives the run a middle to be ended in.
    EveryKindThenAFailure("Pause=150\r\n");
    auto before = Snapshot();
    auto aliases = Aliases();
    for (DWORD after : {900u, 1800u, 2700u}) {
        SCOPED_TRACE(after);
        RunResult killed = m_dir.Start("s.ini", "k", after);
        ASSERT_TRUE(killed.TimedOut) << killed.Output;
        ASSERT_TRUE(m_dir.Exists("s.journal")) << killed.Output;
        // A plan shows what the next run puts back first, as it will put it back.
        RunResult plan = m_dir.Start("--plan s.ini");
        RunResult next = m_dir.Start("s.ini", "k");
        EXPECT_EQ(UndoneSteps(plan, "[CHANGE]"), UndoneSteps(next, "[  OK  ]")) << plan.Output << next.Output;
        EXPECT_EQ(next.ExitCode, 2u) << next.Output;
        EXPECT_TRUE(next.HasLine("=> Finishing the rollback of an interrupted run...")) << next.Output;
        EXPECT_EQ(Differences(before, Snapshot()), "") << next.Output;
        EXPECT_EQ(Sorted(Aliases()), Sorted(aliases)) << next.Output;
        EXPECT_FALSE(m_dir.Exists("s.journal")) << next.Output;
    }
}

TEST_F(Rollback, ARunThatEndsWellKeepsItsChangesAndLeavesNothingOfTheJournal)
{
    Script("Rollback=1\r\nRun=launch_probe.exe\r\nRunFlags=wine\r\n", "[Update]\r\nFile1=b.txt\r\n[Delete]\r\nFile1=gone.txt\r\n");
    Put(m_share / "b.txt", "new b", 2);
    Put(m_dir / "b.txt", "old b");
    Put(m_dir / "gone.txt", "gone");
    RunResult run = m_dir.Start("s.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(m_dir.Read("b.txt"), "new b");
    EXPECT_FALSE(m_dir.Exists("gone.txt"));
    auto files = SnapshotFiles(m_dir.Path());
    for (const auto& [name, state] : files) EXPECT_EQ(name.find(".~vtk"), std::string::npos) << name;
    EXPECT_FALSE(m_dir.Exists("s.journal"));
    EXPECT_TRUE(m_dir.Exists("s.ok"));
}

TEST_F(Rollback, StartAfterFailureStartsTheApplicationOnceEverythingIsBackAndTheExitCodeStaysTheFailures)
{
    Script("Rollback=1\r\nStartAfterFailure=1\r\nRun=launch_probe.exe\r\nRunFlags=wine\r\nLogFile=run.log\r\n",
           "[Update]\r\nFile1=b.txt\r\nFile2=missing.dll\r\n");
    Put(m_share / "b.txt", "new b", 2);
    Put(m_dir / "b.txt", "old b");
    RunResult run = m_dir.Start("s.ini", "k");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_EQ(m_dir.Read("b.txt"), "old b");
    EXPECT_TRUE(run.HasLine("=> The application is started all the same (StartAfterFailure=1).")) << run.Output;
    EXPECT_TRUE(FileExists(m_dir / "launched.txt") || WaitForProcessesNamed("launch_probe.exe", 5000)) << run.Output;
    EXPECT_NE(m_dir.Read("run.log").find("started all the same"), std::string::npos);

    // Without Rollback the option does nothing, and the check says so.
    Script("StartAfterFailure=1\r\nRun=launch_probe.exe\r\nRunFlags=wine\r\n", "[Update]\r\nFile1=missing.dll\r\n");
    DeleteFileA((m_dir / "launched.txt").c_str());
    RunResult plain = m_dir.Start("s.ini", "k");
    EXPECT_EQ(plain.ExitCode, 2u);
    EXPECT_FALSE(m_dir.Exists("launched.txt"));
    RunResult check = m_dir.Start("--check s.ini");
    EXPECT_EQ(check.ExitCode, 2u) << check.Output;
    EXPECT_NE(check.Output.find("error VC160"), std::string::npos) << check.Output;
}

TEST_F(Rollback, APlanSaysTheRunWouldRollBack)
{
    Script("Rollback=1\r\n", "[Insert]\r\nDir1=data\r\n");
    RunResult plan = m_dir.Start("--plan s.ini");
    EXPECT_TRUE(plan.HasLine("=> On a failure the run would put back every change it made (Rollback=1)."))
        << plan.Output;
}

}  // namespace

namespace {

TEST(RollbackAcrossRestart, TheRestartedCopyGoesOnWithTheJournalAndPutsBackWhatBothChanged)
{
    ProgramDir dir("vtrb" + NewGuid().substr(1, 8) + ".exe");
    TempDir share;
    const std::string exe = dir.ExeName();
    const std::string next = ReadFileBytes(FixturePath("vantorel_next.exe"));
    std::string head = "[Options]\r\nSourcePath=" + share.Path() + "\r\nSelfPause=300\r\nRollback=1\r\nLogFile=run.log\r\n";
    dir.Write("setup.ini", head);
    SetLastWriteTime(dir / "setup.ini", LocalStamp(1));
    // The first process replaces the script, the restarted copy a file; then it fails.
    WriteFileBytes(share / "setup.ini", head + "[Update]\r\nFile1=b.txt\r\nFile2=missing.dll\r\n");
    SetLastWriteTime(share / "setup.ini", LocalStamp(2));
    WriteFileBytes(share / exe, next);
    SetLastWriteTime(share / exe, LocalStamp(2));
    WriteFileBytes(share / "b.txt", "new b");
    SetLastWriteTime(share / "b.txt", LocalStamp(2));
    dir.Write("b.txt", "old b");
    SetLastWriteTime(dir / "b.txt", LocalStamp(1));

    RunResult first = dir.Start("setup.ini");
    EXPECT_EQ(first.ExitCode, 0u) << first.Output;
    EXPECT_TRUE(first.HasLine("=> Repeating of Vantorel loading...")) << first.Output;
    // The restarted copy's block follows the first process's in the log.
    std::string log;
    for (DWORD waited = 0; waited < 60000; waited += 100) {
        log = dir.Read("run.log");
        size_t first = log.find("==== exit code");
        if (first != std::string::npos && log.find("==== exit code", first + 1) != std::string::npos) break;
        Sleep(100);
    }
    ASSERT_TRUE(WaitForProcessesNamed("_" + exe, 60000));
    EXPECT_NE(log.find("=> Rolling back 3 changes..."), std::string::npos) << log;
    EXPECT_NE(log.find("the program's own new file stays"), std::string::npos) << log;
    EXPECT_EQ(dir.Read("setup.ini"), head) << log;
    EXPECT_EQ(dir.Read("b.txt"), "old b") << log;
    EXPECT_EQ(dir.Read(exe), next) << "the program is not put back";
    EXPECT_FALSE(dir.Exists("setup.journal"));
    EXPECT_FALSE(dir.Exists("setup.ok"));
}

}  // namespace
