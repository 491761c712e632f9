// The script check inside every run: Check=1 lists the findings in the run
// log and counts them on the screen; Check=strict stops a run with an error
// before it changes anything.
#include <gtest/gtest.h>

#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

// A script whose source is its own program directory, so that only the items have work to do.
std::string ScriptWith(const std::string& options, const std::string& insert)
{
    return "[Options]\r\n" + options + "[Insert]\r\nDir1=made\r\n" + insert;
}

TEST(RunCheck, FindingsGoToTheLogAndTheirCountsToTheScreen)
{
    ProgramDir dir;
    TestRegKey key;
    dir.Write("s.ini", ScriptWith("Check=1\r\nLogFile=run.log\r\n", "Reg1=" + key.ScriptPath() +
                                                                         "\r\nReg1Val1Name=Port\r\nReg1Val1Type=REG_"
                                                                         "DWORD\r\nReg1Val1Value=8443\r\n"));
    RunResult run = dir.Start("s.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(run.Lines()[3], "=> Check: 1 error, 0 warnings, 0 notes in s.ini. The run log lists them.")
        << run.Output;
    EXPECT_TRUE(dir.Exists("made"));  // without "strict" the run goes on
    std::vector<std::string> log = SplitLines(dir.Read("run.log"));
    ASSERT_GE(log.size(), 6u);
    EXPECT_NE(log[0].find("  script s.ini  findings 1  first run"), std::string::npos) << log[0];
    EXPECT_EQ(log[4], "s.ini(8): error VC130: type \"REG_DWORD\" is read by its first letter \"R\": the value is "
                      "written as binary data (REG_BINARY), not as REG_DWORD; did you mean \"I\"?");
    EXPECT_EQ(log[5], "=> Check: 1 error, 0 warnings, 0 notes in s.ini.");

    // Without a log the check itself lists them; a script with notes alone shows nothing.
    dir.Write("s.ini", ScriptWith("Check=1\r\nPause=x ; none\r\n", ""));
    EXPECT_TRUE(dir.Start("s.ini").HasLine("=> Check: 1 error, 0 warnings, 0 notes in s.ini. \"vantorel.exe --check "
                                           "s.ini\" lists them."));
    dir.Write("s.ini", ScriptWith("Check=strict\r\nRun=absent.exe\r\n", ""));
    RunResult clean = dir.Start("s.ini");
    EXPECT_EQ(clean.ExitCode, 0u) << clean.Output;
    EXPECT_EQ(clean.LineStartingWith("=> Check"), "") << clean.Output;
}

TEST(RunCheck, StrictStopsEveryTrapBeforeAnyChange)
{
    TestRegKey key;
    const std::string values = "Reg1=" + key.ScriptPath() + "\\Never\r\nReg1Val1Name=P\r\n";
    struct Trap {
        const char* Name;
        std::string Options;
        std::string Insert;
    } traps[] = {
        {"UTF-8 without a byte-order mark", "", "Text1=t.txt\r\nText1Str1Prefix=City=\r\nText1Str1Full=City=\xD0\x9C\r\n"},
        {"a type as the registry editor names it", "", values + "Reg1Val1Type=REG_DWORD\r\nReg1Val1Value=1\r\n"},
        {"a number that is none", "", values + "Reg1Val1Type=I\r\nReg1Val1Value=eighty\r\n"},
        {"a comment after a value", "", "Ini1=x.ini\r\nIni1Val1Section=S\r\nIni1Val1Name=k\r\nIni1Val1Value=v ; c\r\n"},
        {"an unquoted program path with a blank", "Run=C:\\Program Files\\Ledger\\ledger.exe /auto\r\nRunFlags=wine\r\n",
         ""},
    };
    for (const Trap& trap : traps) {
        ProgramDir dir;
        dir.Write("s.ok", "");
        dir.Write("s.ini", ScriptWith("Check=strict\r\n" + trap.Options, trap.Insert));
        RunResult run = dir.Start("s.ini");
        EXPECT_EQ(run.ExitCode, 2u) << trap.Name << "\n" << run.Output;
        EXPECT_EQ(run.Lines()[3], Failed("=> Checking s.ini...")) << trap.Name << "\n" << run.Output;
        EXPECT_EQ(run.LineStartingWith("ERROR: "),
                  "ERROR: Check: 1 error, 0 warnings, 0 notes in s.ini. With Check=strict a run changes nothing while "
                  "its script has errors. \"vantorel.exe --check s.ini\" lists them.")
            << trap.Name;
        EXPECT_FALSE(dir.Exists("made")) << trap.Name;
        EXPECT_FALSE(dir.Exists("s.ok")) << trap.Name;
        RunResult plan = dir.Start("--plan s.ini");
        EXPECT_EQ(plan.ExitCode, 2u) << trap.Name << "\n" << plan.Output;
        EXPECT_TRUE(plan.HasLine(Failed("=> Checking s.ini..."))) << plan.Output;
    }
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, key.SubKey() + "\\Never"));

    // A warning is no error: the run goes on.
    ProgramDir dir;
    dir.Write("s.ini", ScriptWith("Check=strict\r\nSourcePath=.\r\n", ""));
    RunResult warned = dir.Start("s.ini");
    EXPECT_EQ(warned.ExitCode, 0u) << warned.Output;
    EXPECT_TRUE(dir.Exists("made"));
}

// The restarted copy of a self-update runs as "_<program>": it checks the program it replaces.
TEST(RunCheck, TheRestartedCopyOfASelfUpdateChecksAndGoesOn)
{
    ProgramDir dir("vtcheck" + NewGuid().substr(1, 8) + ".exe");
    TempDir share;
    std::string script = ScriptWith("SourcePath=" + share.Path() + "\r\nCheck=strict\r\nLogFile=run.log\r\n", "");
    dir.Write("s.ini", script);
    WriteFileBytes(share / "s.ini", script);
    SetLastWriteTime(dir / "s.ini", LocalStamp(1));
    SetLastWriteTime(share / "s.ini", LocalStamp(1));
    CopyFileA((dir / dir.ExeName()).c_str(), (share / dir.ExeName()).c_str(), FALSE);
    SetLastWriteTime(share / dir.ExeName(), LocalStamp(2));
    RunResult run = dir.Start("s.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(WaitForProcessesNamed("_" + dir.ExeName(), 60000));
    EXPECT_TRUE(dir.Exists("made"));
    EXPECT_TRUE(dir.Exists("s.ok"));
    EXPECT_NE(dir.Read("run.log").find("  script s.ini  findings 0  restarted copy"), std::string::npos)
        << dir.Read("run.log");
}

}  // namespace
