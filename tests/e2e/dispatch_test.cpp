// The walk over sections, passes, item kinds and items, seen from the console
// and from what the items did. Directory items and file renames serve as
// probes: they print one line each and leave a visible trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

using namespace testing_support;

namespace {

std::string ComputerName()
{
    char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameA(buffer, &size)) return {};
    return std::string(buffer, size);
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = ComputerName();
        ASSERT_FALSE(Computer.empty());
    }
    RunResult RunScript(const std::vector<std::string>& lines)
    {
        Dir.Write("s.ini", Script(lines));
        return Dir.Start("s.ini", "k");
    }
    void MakeDir(const std::string& relative) { ASSERT_TRUE(CreateDirectoryA((Dir / relative).c_str(), nullptr)); }

    ProgramDir Dir;
    std::string Computer;
};

TEST_F(DispatchTest, DefaultOrderRunsEachSectionThenItsComputerSection)
{
    MakeDir("u");
    MakeDir("upc");
    MakeDir("d");
    MakeDir("dpc");
    RunResult run = RunScript({
        "[Options]",
        "[Delete." + Computer + "]", "Dir1=dpc",
        "[Delete]", "Dir1=d",
        "[Update." + Computer + "]", "Dir1=upc", "Dir1RenameTo=upc2",
        "[Update]", "Dir1=u", "Dir1RenameTo=u2",
        "[Insert." + Computer + "]", "Dir1=ipc",
        "[Insert]", "Dir1=i",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::string pass2 = " [ " + Computer + " ]";
    std::vector<std::string> expected = {
        "=> Inserting", "   directories:", Ok("    -> i..."),
        pass2, "   directories:", Ok("    -> ipc..."),
        "=> Updating", "   directories:", Ok("    -> rename u to u2..."),
        pass2, "   directories:", Ok("    -> rename upc to upc2..."),
        "=> Deleting", "   directories:", Ok("    -> d..."),
        pass2, "   directories:", Ok("    -> dpc..."),
    };
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_TRUE(Dir.Exists("i") && Dir.Exists("ipc") && Dir.Exists("u2") && Dir.Exists("upc2"));
    EXPECT_FALSE(Dir.Exists("d") || Dir.Exists("dpc"));
}

TEST_F(DispatchTest, SectionOrderIsCaseFreeRepeatsAndPassesOverUnknownLetters)
{
    MakeDir("d");
    RunResult run = RunScript({
        "[Options]", "SectionOrder=dxuu",
        "[Insert]", "Dir1=i",
        "[Update." + Computer + "]", "Dir1=d2", "Dir1RenameTo=d3",
        "[Update]", "Dir1=d", "Dir1RenameTo=d2",
        "[Delete]", "Dir1=nothing-here",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    // Delete finds nothing; the first Update pass renames d to d2, its
    // computer pass d2 to d3; the repeated Update finds neither name.
    std::vector<std::string> expected = {
        "=> Updating", "   directories:", Ok("    -> rename d to d2..."),
        " [ " + Computer + " ]", "   directories:", Ok("    -> rename d2 to d3..."),
    };
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_TRUE(Dir.Exists("d3"));
    EXPECT_FALSE(Dir.Exists("i"));
}

TEST_F(DispatchTest, ItemOrderBelongsToEachPassAndFallsBackToTheDefault)
{
    Dir.Write("a.txt", "a");
    Dir.Write("b.txt", "b");
    MakeDir("x");
    RunResult run = RunScript({
        "[Options]", "SectionOrder=U",
        // Kinds in the given order, an unknown letter passed over; F is not named
        // here, so the general pass leaves a.txt alone.
        "[Update]", "ItemOrder=qd", "File1=a.txt", "File1RenameTo=a2.txt", "Dir1=x", "Dir1RenameTo=y",
        // No ItemOrder: the Update default, files before directories.
        "[Update." + Computer + "]", "Dir1=y", "Dir1RenameTo=z", "File1=b.txt", "File1RenameTo=b2.txt",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {
        "=> Updating", "   directories:", Ok("    -> rename x to y..."),
        " [ " + Computer + " ]", "   files:", Ok("    -> rename b.txt to b2.txt..."),
        "   directories:", Ok("    -> rename y to z..."),
    };
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_TRUE(Dir.Exists("a.txt"));
    EXPECT_TRUE(Dir.Exists("b2.txt"));
}

TEST_F(DispatchTest, NumberingEndsAtTheFirstGap)
{
    RunResult run = RunScript({
        "[Options]", "SectionOrder=I",
        "[Insert]", "Dir2=never", "Dir1=", "Reg1=", "ComSrv2=never.dll",
        "[Insert." + Computer + "]", "Dir1=one", "Dir2=two", "Dir4=four",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {
        "=> Inserting [ " + Computer + " ]", "   directories:", Ok("    -> one..."), Ok("    -> two..."),
    };
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_FALSE(Dir.Exists("never"));
    EXPECT_FALSE(Dir.Exists("four"));
}

TEST_F(DispatchTest, BannersAndHeadingsShowOnlyAbovePrintedItems)
{
    MakeDir("present");
    Dir.Write("skipped.txt", "");
    Dir.Write("moved.txt", "");
    RunResult run = RunScript({
        "[Options]", "SectionOrder=IUD",
        // Nothing to do in Insert: neither its banner nor its heading appears.
        "[Insert]", "Dir1=present",
        // A file item for the other system family is skipped without a line,
        // and the heading waits for the next printed file item.
        "[Update]", "File1=skipped.txt", "File1RenameTo=gone.txt", "File1Flags=9x_only",
        "File2=moved.txt", "File2RenameTo=moved2.txt", "File2Flags=%windir% nt_only",
        "File3=absent.txt", "File3RenameTo=other.txt",
        "[Delete." + Computer + "]", "Dir1=present",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {
        "=> Updating", "   files:", Ok("    -> rename moved.txt to moved2.txt..."),
        "=> Deleting [ " + Computer + " ]", "   directories:", Ok("    -> present..."),
    };
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_TRUE(Dir.Exists("skipped.txt"));
    EXPECT_FALSE(Dir.Exists("other.txt"));
}

TEST_F(DispatchTest, FirstFailureStopsEveryLaterItemAndSection)
{
    Dir.Write("blocker", "a file where a directory should go");
    Dir.Write("old.txt", "");
    RunResult run = RunScript({
        "[Options]", "Run=never.exe",
        "[Insert]", "Dir1=first", "Dir2=blocker", "Dir3=third", "ComSrv1=never.dll",
        "[Insert." + Computer + "]", "Dir1=pc",
        "[Update]", "File1=old.txt", "File1RenameTo=new.txt",
    });
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> lines = ActionLines(run);
    ASSERT_GE(lines.size(), 5u) << run.Output;
    EXPECT_EQ(lines[2], Ok("    -> first..."));
    EXPECT_EQ(lines[3], Failed("    -> blocker..."));
    EXPECT_EQ(lines[5], "ERROR: File already exists");
    EXPECT_EQ(run.LineStartingWith("    -> third"), "");
    EXPECT_EQ(run.LineStartingWith("    -> never"), "");
    EXPECT_EQ(run.LineStartingWith(" [ "), "");
    EXPECT_FALSE(Dir.Exists("third") || Dir.Exists("pc") || Dir.Exists("new.txt"));
    EXPECT_FALSE(Dir.Exists("s.ok"));
}

TEST_F(DispatchTest, FileRenameFailsOnAnExistingTargetAndStopsTheRun)
{
    Dir.Write("a.txt", "a");
    Dir.Write("b.txt", "b");
    RunResult run = RunScript({
        "[Options]", "SectionOrder=U",
        "[Update]", "File1=a.txt", "File1RenameTo=b.txt", "Dir1=after",
    });
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> lines = ActionLines(run);
    ASSERT_GE(lines.size(), 5u) << run.Output;
    EXPECT_EQ(lines[2], Failed("    -> rename a.txt to b.txt..."));
    EXPECT_EQ(lines[4], "ERROR: File already exists");
    EXPECT_EQ(Dir.Read("b.txt"), "b");
    EXPECT_FALSE(Dir.Exists("after"));
}

// The file to rename is looked for where it is renamed: below the program's
// directory, whatever directory the program was started from.
TEST_F(DispatchTest, FileRenameLooksInTheProgramDirectoryNotTheCurrentOne)
{
    TempDir elsewhere;
    WriteFileBytes(elsewhere / "decoy.txt", "decoy");
    Dir.Write("real.txt", "real");
    Dir.Write("s.ini", Script({
        "[Options]", "SectionOrder=U",
        "[Update]", "File1=decoy.txt", "File1RenameTo=decoy2.txt", "File2=real.txt", "File2RenameTo=real2.txt",
    }));
    RunResult run = RunProcess("\"" + (Dir / Dir.ExeName()) + "\" s.ini", elsewhere.Path(), "k", 60000);
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {"=> Updating", "   files:", Ok("    -> rename real.txt to real2.txt...")};
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_EQ(Dir.Read("real2.txt"), "real");
    EXPECT_TRUE(FileExists(elsewhere / "decoy.txt"));
}

// The layout example of the script format, run on this computer: one file,
// one registry value, one text line, then the computer's server, then a file
// rename and a directory rename; the Delete section is not named.
TEST_F(DispatchTest, WorkedExampleEndToEnd)
{
    TempDir source;
    TestRegKey key;
    std::string script = Script({
        "[Options]", "SectionOrder=IU", "SourcePath=" + source.Path(),
        "[Insert]", "File1=app.exe", "File1Flags=check_version", "Reg1=" + key.ScriptPath(),
        "Reg1Val1Name=InstallDir", "Reg1Val1Type=S", "Reg1Val1Value=%pfdir%\\ExampleApp", "Text1=example.ini",
        "Text1Str1Prefix=Mode=", "Text1Str1Full=Mode=Network",
        "[Insert." + Computer + "]", "ComSrv1=lib\\server.dll",
        "[Update]", "File1=old.dll", "File1RenameTo=older.dll", "Dir1=cache", "Dir1RenameTo=cache.old",
        "[Delete]", "Dir1=kept",
    });
    Dir.Write("s.ini", script);
    WriteFileBytes(source / "s.ini", script);
    SetLastWriteTime(source / "s.ini", LastWriteTime(Dir / "s.ini"));
    ASSERT_TRUE(CopyFileA((Dir / Dir.ExeName()).c_str(), (source / Dir.ExeName()).c_str(), FALSE));
    WriteFileBytes(source / "app.exe", "new application");
    MakeDir("lib");
    ASSERT_TRUE(CopyFileA(FixturePath("ole_probe_ok.dll").c_str(), (Dir / "lib\\server.dll").c_str(), FALSE));
    Dir.Write("old.dll", "old");
    MakeDir("cache");
    MakeDir("kept");

    RunResult run = Dir.Start("s.ini", "k");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {
        "=> Inserting",
        "   files:", Ok("    -> app.exe..."),
        "   registry keys:", "    -> " + key.ScriptPath() + "...", Ok("       value \"InstallDir\""),
        "   text files:", "    -> example.ini...", Ok("       value \"Mode=\""),
        " [ " + Computer + " ]", "   OLE DLL files:", Ok("    -> lib\\server.dll..."),
        "=> Updating",
        "   files:", Ok("    -> rename old.dll to older.dll..."),
        "   directories:", Ok("    -> rename cache to cache.old..."),
    };
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_EQ(Dir.Read("app.exe"), "new application");
    EXPECT_TRUE(ReadRegValue(HKEY_CURRENT_USER, key.SubKey(), "InstallDir").Exists);
    EXPECT_EQ(Dir.Read("example.ini"), "Mode=Network");
    EXPECT_NE(Dir.Read("lib\\server.dll.calls").find("register"), std::string::npos);
    EXPECT_TRUE(Dir.Exists("older.dll") && Dir.Exists("cache.old") && Dir.Exists("kept"));
}

}  // namespace
