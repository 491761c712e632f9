#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

// Polls for a file to appear.
bool WaitForFile(const std::string& path, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (FileExists(path)) return true;
        Sleep(50);
    }
    return false;
}

class SelfUpdate : public ::testing::Test {
protected:
    SelfUpdate() : m_dir(UniqueName()) {}
    static std::string UniqueName()
    {
        return "vtself" + NewGuid().substr(1, 8) + ".exe";
    }
    std::string Exe() const { return m_dir.ExeName(); }
    std::string Staged() const { return "_" + m_dir.ExeName(); }

    ProgramDir m_dir;
    TempDir m_share;
};

TEST_F(SelfUpdate, FirstInstanceStagesAndRestartsAndTheCopyReplacesTheProgram)
{
    const std::string next = ReadFileBytes(FixturePath("vantorel_next.exe"));
    const std::string current = m_dir.Read(Exe());
    ASSERT_NE(next, current);
    // The share holds the next release and a newer script that asks for one
    // more file, so the restarted copy shows that it read the new script.
    std::string head = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\nSelfPause=300\r\nRun=launch_probe.exe\r\n"
                       "RunFlags=wine\r\n";
    m_dir.Write("setup.ini", head);
    SetLastWriteTime(m_dir / "setup.ini", LocalStamp(1));
    WriteFileBytes(m_share / "setup.ini", head + "[Update]\r\nFile1=data.txt\r\n");
    SetLastWriteTime(m_share / "setup.ini", LocalStamp(2));
    WriteFileBytes(m_share / Exe(), next);
    SetLastWriteTime(m_share / Exe(), LocalStamp(2));
    WriteFileBytes(m_share / "data.txt", "from the share");
    CopyFileA(FixturePath("launch_probe.exe").c_str(), (m_dir / "launch_probe.exe").c_str(), FALSE);

    RunResult first = m_dir.Start("setup.ini");
    EXPECT_EQ(first.ExitCode, 0u) << first.Output;
    auto lines = first.Lines();
    std::vector<std::string> expected = {
        "=> Initialization...",
        "    -> " + Exe() + "...",
        "    -> setup.ini...",
        "=> Repeating of Vantorel loading...",
        std::string(44, ' ') + "[  OK  ]",
    };
    ASSERT_GE(lines.size(), 2 + expected.size()) << first.Output;
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[2 + i].substr(0, expected[i].size()), expected[i]) << first.Output;
    EXPECT_EQ(first.LineStartingWith("=> Processing"), "");
    EXPECT_EQ(ReadFileBytes(m_dir / Staged()), next);

    // The restarted copy replaces the program, processes the new script and
    // launches the application.
    EXPECT_TRUE(WaitForFile(m_dir / "launched.txt", 60000));
    EXPECT_TRUE(WaitForProcessesNamed(Staged(), 60000));
    EXPECT_EQ(m_dir.Read(Exe()), next);
    EXPECT_EQ(m_dir.Read("data.txt"), "from the share");
    EXPECT_EQ(m_dir.Read("setup.ini"), ReadFileBytes(m_share / "setup.ini"));
    EXPECT_TRUE(m_dir.Exists("setup.ok"));
    EXPECT_FALSE(m_dir.Exists(Exe() + ".~vt"));

    // The next run finds everything current: no restart, straight to work.
    DeleteFileA((m_dir / "launched.txt").c_str());
    RunResult again = m_dir.Start("setup.ini");
    EXPECT_EQ(again.ExitCode, 0u) << again.Output;
    EXPECT_TRUE(again.HasLine("=> Processing setup.ini...")) << again.Output;
    EXPECT_EQ(again.LineStartingWith("=> Repeating"), "");
    EXPECT_EQ(again.LineStartingWith("    -> "), "") << again.Output;
}

TEST_F(SelfUpdate, ScriptFromTheShareWithoutASourcePathIsRefused)
{
    std::string script = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\n";
    m_dir.Write("setup.ini", script);
    SetLastWriteTime(m_dir / "setup.ini", LocalStamp(1));
    WriteFileBytes(m_share / "setup.ini", "[Options]\r\nRun=elsewhere.exe\r\n");
    SetLastWriteTime(m_share / "setup.ini", LocalStamp(2));
    CopyFileA((m_dir / Exe()).c_str(), (m_share / Exe()).c_str(), FALSE);
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_TRUE(run.LineStartingWith("    -> setup.ini...").find("[ FAILED ]") != std::string::npos) << run.Output;
    EXPECT_EQ(m_dir.Read("setup.ini"), script);
    EXPECT_FALSE(m_dir.Exists(Staged()));
}

}  // namespace
