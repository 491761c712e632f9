#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/handles.h"
#include "core/version.h"
#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

struct LogBlock {
    std::vector<std::string> Header;  // 1 date and time, 2 computer, 3 user, 4 script, 5 instance
    std::vector<std::string> Body;
    std::string Footer;
};

// The log's blocks; a block cut short or broken into by another is a failure.
std::vector<LogBlock> ReadBlocks(const std::string& path)
{
    static const std::regex header("==== (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)  computer (.*)  user (.*)  "
                                   "Vantorel " VANTOREL_VERSION_TEXT "  script (.*)  (first run|restarted copy)");
    std::vector<LogBlock> blocks;
    bool open = false;
    for (const std::string& line : SplitLines(FileExists(path) ? ReadFileBytes(path) : "")) {
        if (line.rfind("==== exit code", 0) == 0 || line.rfind("==== ended", 0) == 0) {
            EXPECT_TRUE(open) << "footer without a header in " << path;
            if (open) blocks.back().Footer = line;
            open = false;
        } else if (line.rfind("==== ", 0) == 0) {
            EXPECT_FALSE(open) << "a block broken into in " << path;
            std::smatch fields;
            EXPECT_TRUE(std::regex_match(line, fields, header)) << line;
            blocks.push_back({std::vector<std::string>(fields.begin(), fields.end()), {}, {}});
            blocks.back().Header.resize(6);
            open = true;
        } else if (open) {
            blocks.back().Body.push_back(line);
        }
    }
    EXPECT_FALSE(open) << "the last block has no footer in " << path;
    return blocks;
}

// What the log should hold of a run's output: the status word at column 45
// instead of the box, no key prompt and no blank lines at the end.
std::vector<std::string> LoggedLines(const RunResult& run)
{
    std::vector<std::string> lines;
    for (std::string line : run.Lines()) {
        for (auto [box, word] : {std::pair{"[  OK  ]", "OK"}, std::pair{"[ FAILED ]", "FAILED"}})
            if (line.size() == 44 + std::string(box).size() && line.substr(44) == box) line = line.substr(0, 44) + word;
        if (line != "Press any key to continue...") lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

std::string Now()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return stamp;
}

std::string Whoami(BOOL(WINAPI* query)(LPSTR, LPDWORD))
{
    char buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    query(buffer, &size);
    return buffer;
}

TEST(RunLog, GoodAndFailedRunsAppendBlocksThatReadAsTheirOutput)
{
    ProgramDir dir;
    CreateDirectoryA((dir / "logs").c_str(), nullptr);
    // The settings file names the log; constants and environment variables expand.
    dir.Write("shared.ini", "[Constants]\r\nlogdir=logs\r\n[Options]\r\nLogFile=%logdir%\\ws-%COMPUTERNAME%.log\r\n");
    dir.Write("good.ini", "[Options]\r\nSettings=shared.ini\r\n[Insert]\r\nDir1=made\r\n");
    dir.Write("bad.ini", "[Options]\r\nSettings=shared.ini\r\nRun=missing.exe\r\nRunFlags=wine\r\n");
    std::string before = Now();
    std::vector<RunResult> runs = {dir.Start("good.ini"), dir.Start("bad.ini")};
    std::string after = Now();
    ASSERT_EQ(runs[0].ExitCode, 0u) << runs[0].Output;
    ASSERT_EQ(runs[1].ExitCode, 2u) << runs[1].Output;

    auto blocks = ReadBlocks(dir / ("logs\\ws-" + Whoami(GetComputerNameA) + ".log"));
    ASSERT_EQ(blocks.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(before <= blocks[i].Header[1] && blocks[i].Header[1] <= after) << blocks[i].Header[1];
        EXPECT_EQ(blocks[i].Header[2], Whoami(GetComputerNameA));
        EXPECT_EQ(blocks[i].Header[3], Whoami(GetUserNameA));
        EXPECT_EQ(blocks[i].Header[4], i == 0 ? "good.ini" : "bad.ini");
        EXPECT_EQ(blocks[i].Header[5], "first run");
        EXPECT_EQ(blocks[i].Body, LoggedLines(runs[i]));
        EXPECT_TRUE(std::regex_match(blocks[i].Footer, std::regex(std::string("==== exit code ") +
                                                                  (i == 0 ? "0" : "2") + ", \\d+\\.\\d s")))
            << blocks[i].Footer;
    }
    EXPECT_EQ(blocks[0].Body.back(), "    -> made..." + std::string(30, ' ') + "OK");
    EXPECT_EQ(blocks[1].Body.back(), "File not found") << "the error text ends the failed block";
}

TEST(RunLog, CommandLineLogWinsAndTheConsoleStaysAsItWas)
{
    ProgramDir dir;
    dir.Write("s.ini", "[Options]\r\nLogFile=script.log\r\n");
    dir.Write("t.ini", "[Options]\r\n");
    dir.Start("--log cmd.log s.ini");
    EXPECT_EQ(ReadBlocks(dir / "cmd.log").size(), 1u);
    EXPECT_FALSE(dir.Exists("script.log"));
    EXPECT_EQ(dir.Start("--log t.log t.ini").Output, dir.Start("t.ini").Output);
    EXPECT_EQ(ReadBlocks(dir / "t.log").size(), 1u);
}

TEST(RunLog, SelfUpdateWritesBothInstancesToOneFile)
{
    const std::string exe = "vtlog" + NewGuid().substr(1, 8) + ".exe";
    ProgramDir dir(exe);
    TempDir share;
    std::string script = "[Options]\r\nSourcePath=" + share.Path() + "\r\nSelfPause=100\r\n";
    dir.Write("setup.ini", script);
    WriteFileBytes(share / "setup.ini", script);
    SetLastWriteTime(dir / "setup.ini", LocalStamp(1));
    SetLastWriteTime(share / "setup.ini", LocalStamp(1));
    WriteFileBytes(share / exe, ReadFileBytes(FixturePath("vantorel_next.exe")));
    EXPECT_EQ(dir.Start("--log run.log setup.ini").ExitCode, 0u);
    // The restarted copy was given the same log; wait for its block.
    for (int i = 0; i < 600 && ReadFileBytes(dir / "run.log").find("copy\r\n") == std::string::npos; ++i) Sleep(100);
    auto blocks = ReadBlocks(dir / "run.log");
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].Header[5], "first run");
    EXPECT_EQ(blocks[0].Body.back(), std::string(44, ' ') + "OK");
    EXPECT_EQ(blocks[0].Body[blocks[0].Body.size() - 2], "=> Repeating of Vantorel loading...");
    EXPECT_EQ(blocks[1].Header[5], "restarted copy");
    EXPECT_EQ(blocks[1].Body.back(), "=> Processing setup.ini...");
    EXPECT_EQ(blocks[1].Footer.substr(0, 17), "==== exit code 0,");
    for (int i = 0; i < 100 && !DeleteFileA((dir / ("_" + exe)).c_str()); ++i) Sleep(100);
}

TEST(RunLog, RunsWritingAtOnceKeepWholeBlocksAndRotateWithoutLoss)
{
    ProgramDir dir;
    const std::string old(16000, 'o');  // the first block takes it past 16 KB, all four stay below
    dir.Write("run.log", old);
    dir.Write("run.log.1", "older");
    // Held until every run waits for it, so that they all go for it at once.
    UniqueFile held(CreateFileA((dir / "run.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<RunResult> runs(4);
    std::vector<std::thread> threads;
    for (size_t n = 0; n < runs.size(); ++n) {
        std::string script = "[Options]\r\nLogSize=16\r\n[Insert]\r\n";
        for (int d = 1; d <= 20; ++d)
            script += "Dir" + std::to_string(d) + "=d" + std::to_string(n) + "\\" + std::to_string(d) + "\r\n";
        dir.Write("s" + std::to_string(n) + ".ini", script);
        threads.emplace_back([&, n] { runs[n] = dir.Start("--log run.log s" + std::to_string(n) + ".ini"); });
    }
    Sleep(1000);
    held.Reset();
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(dir.Read("run.log.1"), old);
    auto blocks = ReadBlocks(dir / "run.log");
    ASSERT_EQ(blocks.size(), runs.size());
    for (const LogBlock& block : blocks) {
        size_t n = static_cast<size_t>(block.Header[4][1] - '0');
        ASSERT_LT(n, runs.size());
        EXPECT_EQ(block.Body, LoggedLines(runs[n]));
    }
}

TEST(RunLog, UnwritableOrLockedLogNeverHoldsTheRunUp)
{
    ProgramDir dir;
    dir.Write("plain.ini", "[Options]\r\n");
    dir.Write("s.ini", "[Options]\r\nLogFile=nodir\\x.log\r\n");
    std::vector<std::string> lines = dir.Start("plain.ini").Lines();
    RunResult fromScript = dir.Start("s.ini");
    std::string notice = "Run log \"" + (dir / "nodir\\x.log") + "\" can't be written: Path not found. "
                         "The run goes on without it.";
    lines.insert(lines.begin() + 3, notice);
    for (std::string& line : lines) line = line == "=> Processing plain.ini..." ? "=> Processing s.ini..." : line;
    EXPECT_EQ(fromScript.ExitCode, 0u);
    EXPECT_EQ(fromScript.Lines(), lines);
    // Given on the command line, the notice follows the banner.
    EXPECT_EQ(dir.Start("--log nodir\\x.log plain.ini").Lines()[2], notice);
    EXPECT_FALSE(dir.Exists("nodir"));

    // Held by another writer: waited for a while, then the block is skipped.
    UniqueFile held(CreateFileA((dir / "held.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD start = GetTickCount();
    EXPECT_EQ(dir.Start("--log held.log plain.ini").ExitCode, 0u);
    EXPECT_LT(GetTickCount() - start, 8000u);
    std::thread release([&] {
        Sleep(700);
        held.Reset();
    });
    RunResult waited = dir.Start("--log held.log plain.ini");
    release.join();
    auto blocks = ReadBlocks(dir / "held.log");
    ASSERT_EQ(blocks.size(), 1u) << "only the run that outlasted the holder wrote";
    EXPECT_EQ(blocks[0].Body, LoggedLines(waited));
}

}  // namespace
