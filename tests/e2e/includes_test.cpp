// Included scripts: depth-first order, constants that reach the including
// script, failures that end every level, and scripts that include each other.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

using namespace testing_support;

namespace {

// Everything after the initialization line.
std::vector<std::string> LinesAfterStart(const RunResult& run)
{
    std::vector<std::string> lines = run.Lines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == "=> Initialization...")
            return std::vector<std::string>(lines.begin() + static_cast<long>(i) + 1, lines.end());
    ADD_FAILURE() << "no initialization line in:\n" << run.Output;
    return {};
}

// Each script creates a directory of its own name, so both the console and
// the disk show which scripts' sections ran.
std::vector<std::string> Creating(const std::string& dir)
{
    return {"[Insert]", "Dir1=" + dir};
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Includes, RunDepthFirstBeforeTheIncludingScript)
{
    ProgramDir dir;
    dir.Write("m.ini", Script(Join({"[Options]", "Include1=a.ini", "Include2=b.ini", "Include4=never.ini"},
                                   Creating("dm"))));
    dir.Write("a.ini", Script(Join({"[Options]", "Include1=c.ini"}, Creating("da"))));
    dir.Write("b.ini", Script(Creating("db")));
    dir.Write("c.ini", Script(Creating("dc")));
    RunResult run = dir.Start("m.ini", "k");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {
        "=> Processing a.ini...",
        "=> Processing c.ini...",
        "=> Inserting", "   directories:", Ok("    -> dc..."),
        "=> Inserting", "   directories:", Ok("    -> da..."),
        "=> Processing b.ini...",
        "=> Inserting", "   directories:", Ok("    -> db..."),
        "=> Processing m.ini...",
        "=> Inserting", "   directories:", Ok("    -> dm..."),
    };
    EXPECT_EQ(LinesAfterStart(run), expected) << run.Output;
}

TEST(Includes, FailingNestedIncludeEndsEveryLevel)
{
    ProgramDir dir;
    ASSERT_TRUE(CreateDirectoryA((dir / "full").c_str(), nullptr));
    dir.Write("full\\f.txt", "keeps the directory from being removed");
    dir.Write("m.ini", Script(Join({"[Options]", "Include1=a.ini", "Include2=b.ini", "Run=never.exe"},
                                   Creating("dm"))));
    dir.Write("a.ini", Script(Join({"[Options]", "Include1=c.ini"}, Creating("da"))));
    dir.Write("b.ini", Script(Creating("db")));
    dir.Write("c.ini", Script({"[Delete]", "Dir1=full", "Dir2=never"}));
    RunResult run = dir.Start("m.ini", "k");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> lines = LinesAfterStart(run);
    ASSERT_GE(lines.size(), 7u) << run.Output;
    EXPECT_EQ(lines[4], Failed("    -> full..."));
    EXPECT_EQ(lines[6], "ERROR: Directory is not empty");
    EXPECT_EQ(run.LineStartingWith("=> Processing b.ini"), "");
    EXPECT_EQ(run.LineStartingWith("=> Processing m.ini"), "");
    EXPECT_FALSE(dir.Exists("da") || dir.Exists("db") || dir.Exists("dm"));
}

TEST(Includes, IncludeConstantsReachTheIncludingScriptAndOnlyTheFileNameCounts)
{
    ProgramDir dir;
    dir.Write("m.ini", Script({
        "[Options]", "Include1=%srcdir%\\sub\\x.ini", "Include2=C:\\elsewhere\\x.ini",
        "[Constants]", "target=main",
        "[Insert]", "Dir1=%target%",
    }));
    dir.Write("x.ini", Script({"[Constants]", "target=fromInclude"}));
    RunResult run = dir.Start("m.ini", "k");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    // The same include named twice is processed twice.
    std::vector<std::string> expected = {
        "=> Processing x.ini...", "=> Processing x.ini...", "=> Processing m.ini...",
        "=> Inserting", "   directories:", Ok("    -> fromInclude..."),
    };
    EXPECT_EQ(LinesAfterStart(run), expected) << run.Output;
    EXPECT_TRUE(dir.Exists("fromInclude"));
    EXPECT_FALSE(dir.Exists("main"));
}

TEST(Includes, CyclesFailNamingTheChain)
{
    struct Case {
        const char* What;
        std::string Main, A, B;
        std::vector<std::string> Expected;
    };
    std::vector<Case> cases = {
        {"a script including itself", Script({"[Options]", "Include1=M.INI", "[Insert]", "Dir1=dm"}), "", "",
         {Failed("=> Processing M.INI..."), "", "ERROR: Include cycle: m.ini -> M.INI.", "",
          "Press any key to continue..."}},
        {"a cycle through two includes", Script({"[Options]", "Include1=a.ini", "[Insert]", "Dir1=dm"}),
         Script(Join({"[Options]", "Include1=b.ini"}, Creating("da"))),
         Script(Join({"[Options]", "Include1=a.ini"}, Creating("db"))),
         {"=> Processing a.ini...", "=> Processing b.ini...", Failed("=> Processing a.ini..."), "",
          "ERROR: Include cycle: m.ini -> a.ini -> b.ini -> a.ini.", "", "Press any key to continue..."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ProgramDir dir;
        dir.Write("m.ini", c.Main);
        if (!c.A.empty()) dir.Write("a.ini", c.A);
        if (!c.B.empty()) dir.Write("b.ini", c.B);
        RunResult run = dir.Start("m.ini", "k");
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        EXPECT_FALSE(run.TimedOut);
        EXPECT_EQ(LinesAfterStart(run), c.Expected) << run.Output;
        EXPECT_FALSE(dir.Exists("dm") || dir.Exists("da") || dir.Exists("db"));
    }
}

}  // namespace
