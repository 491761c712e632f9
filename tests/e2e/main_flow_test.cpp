#include <gtest/gtest.h>

#include "harness.h"

using namespace testing_support;

namespace {

TEST(MainFlow, MissingArgumentFailsWithCodeOneAndKeepsTheMarker)
{
    ProgramDir dir;
    dir.Write("x.ok", "");
    RunResult run = dir.Start("", "k");
    EXPECT_EQ(run.ExitCode, 1u);
    auto lines = run.Lines();
    ASSERT_GE(lines.size(), 7u) << run.Output;
    EXPECT_EQ(lines[0], "Vantorel & Updater 1.5");
    EXPECT_EQ(lines[2], "=> Initialization...                        [ FAILED ]");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "ERROR: Inifile name is needed as parameter.");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "Press any key to continue...");
    EXPECT_TRUE(dir.Exists("x.ok"));
}

TEST(MainFlow, ScriptWithoutRunEndsWellAndCreatesTheMarker)
{
    ProgramDir dir;
    dir.Write("x.ini", "[Options]\r\n");
    RunResult run = dir.Start("x.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(run.HasLine("=> Initialization...")) << run.Output;
    EXPECT_TRUE(run.HasLine("=> Processing x.ini...")) << run.Output;
    EXPECT_EQ(run.LineStartingWith("=> Loading"), "");
    EXPECT_TRUE(dir.Exists("x.ok"));
}

}  // namespace
