#include <gtest/gtest.h>

#include <algorithm>

#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

// The launched application ends on its own; wait for its record.
std::string WaitForLaunchRecord(const ProgramDir& dir)
{
    for (int i = 0; i < 200 && !dir.Exists("launched.txt"); ++i) Sleep(50);
    Sleep(50);
    return dir.Exists("launched.txt") ? dir.Read("launched.txt") : std::string();
}

void AddProbe(const ProgramDir& dir)
{
    CopyFileA(FixturePath("launch_probe.exe").c_str(), (dir / "launch_probe.exe").c_str(), FALSE);
}

TEST(MainFlow, MissingArgumentFailsWithCodeOneAndKeepsTheMarker)
{
    ProgramDir dir;
    dir.Write("x.ok", "");
    RunResult run = dir.Start("", "k");
    EXPECT_EQ(run.ExitCode, 1u);
    auto lines = run.Lines();
    ASSERT_GE(lines.size(), 7u) << run.Output;
    EXPECT_EQ(lines[0], "Vantorel & Updater 1.5");
    EXPECT_EQ(lines[2], Failed("=> Initialization..."));
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "ERROR: Inifile name is needed as parameter.");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "Press any key to continue...");
    EXPECT_TRUE(dir.Exists("x.ok"));
}

TEST(MainFlow, UnattendedRunDoesNotWaitWhenInputIsAtItsEnd)
{
    ProgramDir dir;
    RunResult run = dir.Start("", "", 20000);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 1u);
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

TEST(MainFlow, MarkerNameReplacesOrAddsTheExtension)
{
    ProgramDir dir;
    dir.Write("setup", "[Options]\r\n");
    dir.Write("two.dots.ini", "[Options]\r\n");
    EXPECT_EQ(dir.Start("setup").ExitCode, 0u);
    EXPECT_TRUE(dir.Exists("setup.ok"));
    EXPECT_EQ(dir.Start("two.dots.ini").ExitCode, 0u);
    EXPECT_TRUE(dir.Exists("two.dots.ok"));
}

TEST(MainFlow, LaunchSplitsAtTheFirstBlankAndStartsInTheProgramDirectory)
{
    ProgramDir dir;
    AddProbe(dir);
    dir.Write("x.ini", "[Options]\r\nRun=launch_probe.exe one \"two three\"\r\nRunFlags=wine\r\n");
    RunResult run = dir.Start("x.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(run.HasLine(Ok("=> Loading launch_probe.exe..."))) << run.Output;
    std::string record = WaitForLaunchRecord(dir);
    EXPECT_EQ(record, "launch_probe.exe one \"two three\"\r\n" + dir.Path().substr(0, dir.Path().size() - 1) +
                          "\r\n");
    EXPECT_TRUE(dir.Exists("x.ok"));
}

TEST(MainFlow, QuotedProgramWithBlankIsShownUpToTheBlankAndStartedWhole)
{
    ProgramDir dir;
    CreateDirectoryA((dir / "sub dir").c_str(), nullptr);
    CopyFileA(FixturePath("launch_probe.exe").c_str(), (dir / "sub dir\\launch_probe.exe").c_str(), FALSE);
    dir.Write("x.ini", "[Options]\r\nRun=\"sub dir\\launch_probe.exe\" arg\r\nRunFlags=wine\r\n");
    RunResult run = dir.Start("x.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(run.HasLine(Ok("=> Loading \"sub..."))) << run.Output;
    std::string record = WaitForLaunchRecord(dir);
    EXPECT_EQ(record.substr(0, record.find("\r\n")), "\"sub dir\\launch_probe.exe\" arg");
}

TEST(MainFlow, UnderWineRunFlagsMustNameWineInLowerCase)
{
    for (const char* flags : {"", "Wine", "WINE only"}) {
        ProgramDir dir;
        AddProbe(dir);
        dir.Write("x.ini", std::string("[Options]\r\nRun=launch_probe.exe\r\nRunFlags=") + flags + "\r\n");
        RunResult run = dir.Start("x.ini");
        EXPECT_EQ(run.ExitCode, 0u) << flags;
        EXPECT_EQ(run.LineStartingWith("=> Loading"), "") << flags;
        EXPECT_TRUE(dir.Exists("x.ok")) << flags;
        Sleep(200);
        EXPECT_FALSE(dir.Exists("launched.txt")) << flags;
    }
}

TEST(MainFlow, FailedLaunchReportsTheSystemErrorAndEndsWithCodeTwo)
{
    ProgramDir dir;
    dir.Write("x.ok", "");
    dir.Write("x.ini", "[Options]\r\nRun=missing.exe /a\r\nRunFlags=wine\r\n");
    RunResult run = dir.Start("x.ini");
    EXPECT_EQ(run.ExitCode, 2u);
    EXPECT_TRUE(run.HasLine(Failed("=> Loading missing.exe..."))) << run.Output;
    EXPECT_TRUE(run.HasLine("ERROR: System Error.  Code: 2.")) << run.Output;
    std::string code2 = run.Lines()[run.Lines().size() - 3];
    EXPECT_FALSE(code2.empty()) << "the system's text for the code follows on its own line:\n" << run.Output;
    EXPECT_FALSE(dir.Exists("x.ok")) << "the marker of an earlier good run is removed";
}

TEST(MainFlow, BuiltInConstantsExpandInTheLaunchCommand)
{
    ProgramDir dir;
    dir.Write("x.ini",
              "[Options]\r\nRun=%windir%|%winsysdir%|%etcdir%|%tempdir%|%pfdir%|%cfdir%|%mediadir%|%bootdir%\r\n"
              "RunFlags=wine\r\n");
    RunResult run = dir.Start("x.ini");
    EXPECT_EQ(run.ExitCode, 2u);
    char windir[MAX_PATH], sysdir[MAX_PATH], temp[MAX_PATH];
    GetWindowsDirectoryA(windir, MAX_PATH);
    GetSystemDirectoryA(sysdir, MAX_PATH);
    GetTempPathA(MAX_PATH, temp);
    std::string expected = std::string("=> Loading ") + windir + "|" + sysdir + "|" + sysdir + "\\drivers\\etc|" +
                           temp + "|C:\\Program Files|C:\\Program Files\\Common Files|%mediadir%|C:\\...";
    auto lines = run.Lines();
    auto loading = std::find(lines.begin(), lines.end(), expected);
    ASSERT_NE(loading, lines.end()) << run.Output;
    // A step text longer than the status column puts the box on the next line.
    ASSERT_NE(loading + 1, lines.end());
    EXPECT_EQ(*(loading + 1), std::string(44, ' ') + "[ FAILED ]");
}

// The restart command line quotes the staged program and the script: with a
// blank in the program directory an unquoted line would start "app.exe"
// beside "app dir" instead, and a script name with a blank would be cut.
TEST(MainFlow, RestartQuotesTheProgramPathAndTheScriptName)
{
    TempDir root;
    const std::string exe = "vtquote" + NewGuid().substr(1, 8) + ".exe";
    const std::string dir = root / "app dir\\";
    const std::string share = root / "share\\";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(share.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(BuiltProgramPath().c_str(), (dir + exe).c_str(), FALSE));
    // The decoy that an unquoted command line would start.
    ASSERT_TRUE(CopyFileA(FixturePath("launch_probe.exe").c_str(), (root / "app.exe").c_str(), FALSE));

    const std::string script = "[Options]\r\nSourcePath=" + share + "\r\n";
    WriteFileBytes(dir + "my setup.ini", script);
    WriteFileBytes(share + "my setup.ini", script);
    SetLastWriteTime(dir + "my setup.ini", LocalStamp(1));
    SetLastWriteTime(share + "my setup.ini", LocalStamp(1));
    const std::string next = ReadFileBytes(FixturePath("vantorel_next.exe"));
    WriteFileBytes(share + exe, next);

    RunResult first = RunProcess("\"" + dir + exe + "\" \"my setup.ini\"", dir, "", 60000);
    EXPECT_EQ(first.ExitCode, 0u) << first.Output;
    EXPECT_TRUE(first.HasLine("=> Repeating of Vantorel loading...")) << first.Output;

    // The restarted copy marks its good end with the marker of the whole script name.
    DeleteFileA((dir + "my setup.ok").c_str());
    for (int i = 0; i < 400 && !FileExists(dir + "my setup.ok"); ++i) Sleep(50);
    EXPECT_TRUE(FileExists(dir + "my setup.ok"));
    for (int i = 0; i < 200 && ReadFileBytes(dir + exe) != next; ++i) Sleep(50);
    EXPECT_EQ(ReadFileBytes(dir + exe), next) << "the restarted copy replaced the program";
    EXPECT_FALSE(FileExists(root / "launched.txt")) << "the decoy beside the program directory ran";
    EXPECT_FALSE(FileExists(dir + "launched.txt"));
    // Let the restarted copy end before the directory goes.
    for (int i = 0; i < 100; ++i) {
        HANDLE probe = CreateFileA((dir + "_" + exe).c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            break;
        }
        Sleep(100);
    }
}

}  // namespace
