// Directory items: create with missing parents, remove only when empty,
// rename in Update sections, and silence when there is nothing to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "harness.h"

using namespace testing_support;

namespace {

class DirectoryTest : public ::testing::Test {
protected:
    RunResult RunScript(const std::vector<std::string>& lines)
    {
        Dir.Write("s.ini", Script(lines));
        return Dir.Start("s.ini", "k");
    }
    void MakeDir(const std::string& relative) { ASSERT_TRUE(CreateDirectoryA((Dir / relative).c_str(), nullptr)); }

    ProgramDir Dir;
};

TEST_F(DirectoryTest, NothingToDoPrintsNothing)
{
    MakeDir("present");
    RunResult run = RunScript({
        "[Options]", "SectionOrder=IUDU",
        "[Constants]", "nothing=",
        "[Insert]", "Dir1=present", "Dir2=%nothing%",
        // No new name, a missing directory.
        "[Update]", "Dir1=present", "Dir2=missing", "Dir2RenameTo=other",
        "[Delete]", "Dir1=missing", "Dir2=%nothing%",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(ActionLines(run), std::vector<std::string>{}) << run.Output;
    EXPECT_TRUE(Dir.Exists("present"));
    EXPECT_FALSE(Dir.Exists("other"));
    EXPECT_TRUE(Dir.Exists("s.ok"));
}

TEST_F(DirectoryTest, InsertCreatesEveryMissingLevelWithOneLine)
{
    TempDir base;
    std::string shown = base.Path() + "Vendor\\Tool\\Data";
    RunResult run = RunScript({
        "[Options]",
        "[Constants]", "base=" + base.Path(),
        "[Insert]", "Dir1=%base%Vendor\\Tool\\Data", "Dir2=rel\\sub\\", "Dir3=rel\\sub",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {
        // A line past the status column gets its box on the next line.
        "=> Inserting", "   directories:", "    -> " + shown + "...", Ok(""), Ok("    -> rel\\sub\\..."),
    };
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_TRUE(DirectoryExists(shown));
    EXPECT_TRUE(DirectoryExists(Dir / "rel\\sub"));
}

TEST_F(DirectoryTest, DeleteRemovesOnlyEmptyDirectories)
{
    MakeDir("empty");
    MakeDir("full");
    Dir.Write("full\\keep.txt", "kept");
    RunResult run = RunScript({
        "[Options]",
        "[Delete]", "Dir1=empty", "Dir2=full", "Dir3=never",
    });
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> lines = ActionLines(run);
    ASSERT_GE(lines.size(), 6u) << run.Output;
    EXPECT_EQ(lines[2], Ok("    -> empty..."));
    EXPECT_EQ(lines[3], Failed("    -> full..."));
    EXPECT_EQ(lines[5], "ERROR: Directory is not empty");
    EXPECT_FALSE(Dir.Exists("empty"));
    EXPECT_EQ(Dir.Read("full\\keep.txt"), "kept");
}

TEST_F(DirectoryTest, UpdateRenamesBelowTheProgramDirectoryAndShowsTheNamesAsWritten)
{
    MakeDir("Data");
    Dir.Write("Data\\f.txt", "inside");
    RunResult run = RunScript({
        "[Options]",
        "[Constants]", "suffix=.old",
        "[Update]", "Dir1=Data", "Dir1RenameTo=Data%suffix%",
    });
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {"=> Updating", "   directories:", Ok("    -> rename Data to Data.old...")};
    EXPECT_EQ(ActionLines(run), expected) << run.Output;
    EXPECT_EQ(Dir.Read("Data.old\\f.txt"), "inside");
    EXPECT_FALSE(Dir.Exists("Data"));
}

TEST_F(DirectoryTest, FailuresCarryTheSystemText)
{
    struct Case {
        const char* What;
        std::vector<std::string> Section;
        std::string Line;
        std::string Error;
    };
    std::vector<Case> cases = {
        {"create where a file stands", {"[Insert]", "Dir1=file.txt\\sub"}, "    -> file.txt\\sub...",
         "ERROR: File already exists"},
        {"create over a file", {"[Insert]", "Dir1=file.txt"}, "    -> file.txt...", "ERROR: File already exists"},
        {"rename onto an existing name", {"[Update]", "Dir1=a", "Dir1RenameTo=b"}, "    -> rename a to b...",
         "ERROR: File already exists"},
        {"rename to a name that expands to nothing",
         {"[Constants]", "nothing=", "[Update]", "Dir1=a", "Dir1RenameTo=%nothing%"}, "    -> rename a to ...",
         "ERROR: " + SystemMessage(ERROR_PATH_NOT_FOUND)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ProgramDir dir;
        dir.Write("file.txt", "");
        ASSERT_TRUE(CreateDirectoryA((dir / "a").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((dir / "b").c_str(), nullptr));
        std::vector<std::string> script = {"[Options]"};
        script.insert(script.end(), c.Section.begin(), c.Section.end());
        dir.Write("s.ini", Script(script));
        RunResult run = dir.Start("s.ini", "k");
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        std::vector<std::string> lines = ActionLines(run);
        ASSERT_GE(lines.size(), 5u) << run.Output;
        EXPECT_EQ(lines[2], Failed(c.Line));
        EXPECT_EQ(lines[4], c.Error);
        EXPECT_TRUE(dir.Exists("a") && dir.Exists("b") && dir.Exists("file.txt"));
    }
}

}  // namespace
