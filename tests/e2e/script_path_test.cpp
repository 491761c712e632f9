// The script named by a full path or a path from the current directory, as a
// scheduled task or an administrator at a prompt names it: the run does what
// the name means, or fails with the script's path; never a run that does
// nothing and ends well.
#include <gtest/gtest.h>

#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

const std::string MakesData = "[Options]\r\n[Insert]\r\nDir1=data\r\n";

TEST(ScriptPath, AFullPathOrOneFromTheCurrentDirectoryRunsAsTheScriptsOwnName)
{
    ProgramDir dir;
    dir.Write("s.ini", MakesData);
    RunResult full = dir.Start("\"" + (dir / "s.ini") + "\"");
    EXPECT_EQ(full.ExitCode, 0u) << full.Output;
    EXPECT_TRUE(full.HasLine("=> Processing s.ini...")) << full.Output;
    EXPECT_TRUE(dir.Exists("data"));
    EXPECT_TRUE(dir.Exists("s.ok"));

    // From the directory above, as a prompt there gives it.
    RemoveDirectoryA((dir / "data").c_str());
    std::string relative = LeafName(dir.Path()) + "\\s.ini";
    RunResult fromHere = RunProcess("\"" + (dir / dir.ExeName()) + "\" " + relative, dir / "..", "", 60000);
    EXPECT_EQ(fromHere.ExitCode, 0u) << fromHere.Output;
    EXPECT_TRUE(fromHere.HasLine("=> Processing s.ini...")) << fromHere.Output;
    EXPECT_TRUE(dir.Exists("data"));
}

TEST(ScriptPath, AScriptOutsideTheProgramDirectoryIsUsedWhereItIsAndNeverReplaced)
{
    ProgramDir dir;
    TempDir scripts;
    TempDir share;
    std::string own = "[Options]\r\nSourcePath=" + share.Path() + "\r\n[Insert]\r\nDir1=data\r\n";
    WriteFileBytes(scripts / "s.ini", own);
    WriteFileBytes(share / "s.ini", "[Options]\r\nSourcePath=" + share.Path() + "\r\n[Insert]\r\nDir1=other\r\n");
    CopyFileA((dir / dir.ExeName()).c_str(), (share / dir.ExeName()).c_str(), FALSE);
    RunResult run = dir.Start("\"" + (scripts / "s.ini") + "\"");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(run.HasLine("=> Processing " + scripts.Path() + "s.ini...")) << run.Output;
    EXPECT_EQ(ReadFileBytes(scripts / "s.ini"), own);
    EXPECT_TRUE(dir.Exists("data"));  // relative names stay the program directory's
    EXPECT_FALSE(dir.Exists("other"));
    EXPECT_TRUE(FileExists(scripts / "s.ok"));
    EXPECT_FALSE(dir.Exists("s.ok"));
}

TEST(ScriptPath, AScriptThatCannotBeReadFailsWithItsPath)
{
    ProgramDir dir;
    TempDir scripts;
    dir.Write("s.ok", "");
    RunResult missing = dir.Start("\"" + (scripts / "s.ini") + "\"");
    EXPECT_EQ(missing.ExitCode, 2u) << missing.Output;
    EXPECT_TRUE(missing.HasLine("ERROR: The script \"" + (scripts / "s.ini") + "\" cannot be read: File not found."))
        << missing.Output;
    EXPECT_FALSE(FileExists(scripts / "s.ok"));

    // Held by an editor that shares nothing: it used to read as empty, and the run to end well.
    dir.Write("s.ini", MakesData);
    HeldFile held(dir / "s.ini");
    RunResult locked = dir.Start("s.ini");
    EXPECT_EQ(locked.ExitCode, 2u) << locked.Output;
    EXPECT_EQ(locked.LineStartingWith("ERROR: "),
              "ERROR: The script \"" + (dir / "s.ini") + "\" cannot be read: Sharing violation.")
        << locked.Output;
    EXPECT_FALSE(dir.Exists("data"));
    EXPECT_FALSE(dir.Exists("s.ok"));
}

}  // namespace
