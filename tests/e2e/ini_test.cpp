// INI items run by the program: the files they leave and the lines they print.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;


class IniRun : public ::testing::Test {
protected:
    Lines RunScript(const Lines& lines, DWORD expectedExit = 0)
    {
        Dir.Write("s.ini", Script(lines));
        RunResult run = Dir.Start("s.ini", "k");
        EXPECT_EQ(run.ExitCode, expectedExit) << run.Output;
        return ActionLines(run);
    }

    ProgramDir Dir;
};

TEST_F(IniRun, InsertThenUpdateThenDeleteInAFileBesideTheProgram)
{
    Lines out = RunScript({"[Constants]", "db=C:\\Data", "[Insert]", "Ini1=app.ini",
                           "Ini1Val1Section=Database", "Ini1Val1Name=Path", "Ini1Val1Value=%db%\\main.gdb",
                           "Ini1Val2Name=Timeout", "Ini1Val2Value=30",
                           "Ini1Val3Section=UI", "Ini1Val3Name=Lang", "Ini1Val3Value=en"});
    EXPECT_EQ(out, (Lines{"=> Inserting", "   ini-files:", "    -> app.ini...", ValueOk("Path"), ValueOk("Timeout"),
                          ValueOk("Lang")}));
    EXPECT_EQ(Dir.Read("app.ini"), "[Database]\r\nPath=C:\\Data\\main.gdb\r\nTimeout=30\r\n[UI]\r\nLang=en\r\n");

    // Inserting again changes nothing and prints only the item line.
    out = RunScript({"[Insert]", "Ini1=app.ini", "Ini1Val1Section=Database", "Ini1Val1Name=Timeout",
                     "Ini1Val1Value=99"});
    EXPECT_EQ(out, (Lines{"=> Inserting", "   ini-files:", "    -> app.ini..."}));

    out = RunScript({"[Update]", "Ini1=app.ini", "Ini1Val1Section=Database", "Ini1Val1Name=Timeout",
                     "Ini1Val1Value=30", "Ini1Val2Section=ui", "Ini1Val2Name=LANG", "Ini1Val2Value=EN"});
    EXPECT_EQ(out, (Lines{"=> Updating", "   ini-files:", "    -> app.ini...", ValueOk("LANG")}));
    EXPECT_EQ(Dir.Read("app.ini"), "[Database]\r\nPath=C:\\Data\\main.gdb\r\nTimeout=30\r\n[UI]\r\nLang=EN\r\n");

    out = RunScript({"[Delete]", "Ini1=app.ini", "Ini1Val1Section=Database", "Ini1Val1Name=Missing",
                     "Ini1Val2Name=Timeout"});
    EXPECT_EQ(out, (Lines{"=> Deleting", "   ini-files:", "    -> app.ini...", ValueOk("Timeout")}));
    EXPECT_EQ(Dir.Read("app.ini"), "[Database]\r\nPath=C:\\Data\\main.gdb\r\n[UI]\r\nLang=EN\r\n");
}

TEST_F(IniRun, FailedWriteStopsTheRun)
{
    Lines out = RunScript({"[Insert]", "Ini1=missing\\app.ini", "Ini1Val1Section=S", "Ini1Val1Name=k",
                           "Ini1Val1Value=v", "Ini2=second.ini", "Ini2Val1Section=S", "Ini2Val1Name=k",
                           "Ini2Val1Value=v"},
                          2);
    ASSERT_GE(out.size(), 8u);
    EXPECT_EQ(out[2], "    -> missing\\app.ini...");
    EXPECT_EQ(out[3], Failed("       value \"k\""));
    EXPECT_EQ(out[5].rfind("ERROR: ", 0), 0u) << out[5];
    EXPECT_EQ(out[7], "Press any key to continue...");
    EXPECT_FALSE(Dir.Exists("second.ini"));
}

}  // namespace
