#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

std::string ComputerName()
{
    char buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    GetComputerNameA(buffer, &size);
    return buffer;
}

TEST(Report, RunLogsOfRealRunsGiveTheTableFromTheCurrentDirectory)
{
    ProgramDir dir;
    CreateDirectoryA((dir / "logs").c_str(), nullptr);
    dir.Write("good.ini", "[Options]\r\nLogFile=logs\\ws.log\r\n[Insert]\r\nDir1=made\r\n");
    dir.Write("bad.ini", "[Options]\r\nLogFile=logs\\ws.log\r\nRun=missing.exe\r\nRunFlags=wine\r\n");
    ASSERT_EQ(dir.Start("good.ini").ExitCode, 0u);
    Sleep(1100);  // the failure is the later run, by its header's second
    ASSERT_EQ(dir.Start("bad.ini").ExitCode, 2u);
    const char other[] = "==== 2024-05-14 08:00:00  computer WS9  user u  Vantorel 1.4  script a.ini  first run\r\n"
                                 "\0\0\0\r\n==== exit code 0, 1.0 s\r\n"
                                 "==== 2024-05-14 09:00:00  computer WS9  user u  Vantorel 1.4  script a.ini  first run\r\n"
                                 "==== exit code 0, 1.0 s\r\n";
    dir.Write("logs\\other.log", std::string(other, sizeof other - 1));
    TempDir current;
    CreateDirectoryA((current / "out").c_str(), nullptr);
    RunResult run = RunProcess("\"" + (dir / "vantorel.exe") + "\" --report \"" + (dir / "logs") +
                                   "\" missing.log --format csv --stale-days 10000 --out out\\r.csv",
                               current.Path(), "", 60000);
    ASSERT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{
                               "Vantorel & Updater 1.5", "Brings the application up to date, then starts it.",
                               "Log file \"missing.log\" can't be read: File not found. It is skipped.",
                               "Report written to " + (current / "out\\r.csv"),
                               "Workstations: 2; failed 1, not updated 0, succeeded 1, only planned or checked 0, not "
                               "seen for more than 10000 days 0; blocks 3, log files 2.",
                               "Unreadable blocks: 1 (" + (dir / "logs\\other.log") + " line 1, garbage in the block)."}));
    std::vector<std::string> rows = SplitLines(ReadFileBytes(current / "out\\r.csv"));
    ASSERT_EQ(rows.size(), 3u);
    std::string local = rows[1].find("\"WS9\"") == 0 ? rows[2] : rows[1];
    EXPECT_EQ(local.find("\"" + ComputerName() + "\",\"failed\",\"failed\","), 0u) << local;
    // The system's text of the error follows on the next line of the log.
    EXPECT_NE(local.find(",2,\"Loading missing.exe\",\"System Error.  Code: 2. File not found\",\"\",2,1,\"20"),
              std::string::npos)
        << local;
    EXPECT_FALSE(FileExists(dir / "vantorel-report.html"));
}

TEST(Report, WrongCommandLinesAndAnUnwritableFileAreTold)
{
    ProgramDir dir;
    struct Case {
        const char* Arguments;
        std::string Problem;
    } cases[] = {
        {"--report", "No log file or directory is named after \"--report\"."},
        {"--out r.html s.ini", "Option \"--out\" is for \"--report\" only."},
        {"--report logs --format xml", "Option \"--format\" needs html, csv or json after it."},
        {"--report logs --stale-days -1", "Option \"--stale-days\" needs a number of days after it."},
        {"--report logs --log x.log", "Options \"--report\" and \"--log\" cannot be given together."},
        {"--plan --report logs", "Options \"--plan\" and \"--report\" cannot be given together."},
    };
    for (const Case& c : cases) {
        RunResult run = dir.Start(c.Arguments);
        EXPECT_EQ(run.ExitCode, 1u) << c.Arguments;
        ASSERT_GE(run.Lines().size(), 4u) << run.Output;
        EXPECT_EQ(run.Lines()[3], c.Problem) << run.Output;
    }
    EXPECT_TRUE(dir.Start("--help").HasLine("  vantorel.exe --report <log file or directory>... [--out <file>]"));

    RunResult unwritable = dir.Start("--report . --out nodir\\r.html");
    EXPECT_EQ(unwritable.ExitCode, 2u);
    EXPECT_EQ(unwritable.Lines().back(),
              "The report can't be written to \"" + (dir / "nodir\\r.html") + "\": Path not found.");
    RunResult noList = dir.Start("--report . --computers none.txt");
    EXPECT_EQ(noList.ExitCode, 2u);
    EXPECT_EQ(noList.Lines().back(), "The list of workstations \"none.txt\" can't be read: File not found.");
}

}  // namespace
