// The share at nine in the morning: a source that changes while it is
// copied, two runs of one script at once (also across a self-update), and
// names that are devices rather than files.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "core/handles.h"
#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

// A program started without waiting for it; its output goes to a file.
class Background {
public:
    Background(const ProgramDir& dir, const std::string& arguments, const std::string& outputName)
        : m_output(dir / outputName)
    {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        UniqueFile out(CreateFileA(m_output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        UniqueFile in(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                  nullptr));
        EXPECT_TRUE(out && in);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.Get();
        startup.hStdOutput = startup.hStdError = out.Get();
        PROCESS_INFORMATION info{};
        std::string commandLine = "\"" + (dir / dir.ExeName()) + "\" " + arguments;
        BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      dir.Path().c_str(), &startup, &info);
        EXPECT_TRUE(started) << "error " << GetLastError();
        if (!started) return;
        UniqueKernelHandle thread(info.hThread);
        m_process.Reset(info.hProcess);
    }
    bool Running() const { return m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }
    // Waits for the end; the test's own bound must never be what ends a run.
    RunResult Wait(DWORD timeoutMs = 120000)
    {
        RunResult result;
        if (!m_process) return result;
        if (WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0) {
            result.TimedOut = true;
            TerminateProcess(m_process.Get(), 99);
            WaitForSingleObject(m_process.Get(), 10000);
        }
        GetExitCodeProcess(m_process.Get(), &result.ExitCode);
        result.Output = ReadFileBytes(m_output);
        return result;
    }

private:
    std::string m_output;
    UniqueKernelHandle m_process;
};

// Waits until no process of that exe name (unique to the test) runs any more.
bool WaitForProcessesNamed(const std::string& exeName, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        bool running = false;
        UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot && Process32First(snapshot.Get(), &entry); more;
             more = Process32Next(snapshot.Get(), &entry))
            if (ContainsNoCase(entry.szExeFile, exeName)) running = true;
        if (!running) return true;
        Sleep(50);
    }
    return false;
}

std::string Pattern(size_t size, char seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + (i * 7) % 31);
    return bytes;
}

int64_t SizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class ShareTest : public ::testing::Test {
protected:
    explicit ShareTest(const std::string& exeName = "vantorel.exe") : m_dir(exeName) {}

    // The script (its SourcePath naming the share) in both places, and the
    // program on the share, so that the run's own files are current.
    void Script(const std::string& body)
    {
        std::string text = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\n" + body;
        m_dir.Write("setup.ini", text);
        WriteFileBytes(m_share / "setup.ini", text);
        SetLastWriteTime(m_dir / "setup.ini", LocalStamp(0));
        SetLastWriteTime(m_share / "setup.ini", LocalStamp(0));
        CopyFileA((m_dir / m_dir.ExeName()).c_str(), (m_share / m_dir.ExeName()).c_str(), FALSE);
    }
    void Put(const std::string& path, const std::string& bytes, int day)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day));
    }
    void AddProbe()
    {
        CopyFileA(FixturePath("launch_probe.exe").c_str(), (m_dir / "launch_probe.exe").c_str(), FALSE);
    }
    // Waits until the copy onto `target` is under way: its scratch file holds
    // some bytes, and more than a chunk is still to come.
    bool WaitForCopyUnderWay(const Background& run, const std::string& target, int64_t total)
    {
        std::string partial = target + ".~vt";
        while (run.Running()) {
            int64_t size = SizeOf(partial);
            if (size > 0 && size < total - (4 << 20)) return true;
        }
        return false;
    }

    ProgramDir m_dir;
    TempDir m_share;
};

// --- a source that changes while it is copied -----------------------------

constexpr size_t BigSize = 64u << 20;

TEST_F(ShareTest, SourceTruncatedWhileCopiedKeepsTheOldTargetAndFailsNamingIt)
{
    Script("[Update]\r\nFile1=big.bin\r\n");
    Put(m_share / "big.bin", Pattern(BigSize, 'a'), 2);
    Put(m_dir / "big.bin", "the old file", 1);
    Background run(m_dir, "setup.ini", "out.txt");
    ASSERT_TRUE(WaitForCopyUnderWay(run, m_dir / "big.bin", BigSize)) << run.Wait().Output;
    {
        // An administrator copies a new release onto the share in place.
        UniqueFile source(CreateFileA((m_share / "big.bin").c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      0, nullptr));
        ASSERT_TRUE(static_cast<bool>(source));
        LONG high = 0;
        ASSERT_NE(SetFilePointer(source.Get(), 1 << 20, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        ASSERT_TRUE(SetEndOfFile(source.Get()));
    }
    RunResult result = run.Wait();
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, 2u) << result.Output;
    EXPECT_TRUE(result.HasLine(Failed("    -> big.bin..."))) << result.Output;
    EXPECT_TRUE(result.HasLine("ERROR: Source file \"" + (m_share / "big.bin") +
                               "\" changed while it was copied; the old file was kept, and the next run copies it "
                               "again."))
        << result.Output;
    EXPECT_TRUE(m_dir.Read("big.bin") == "the old file") << SizeOf(m_dir / "big.bin") << " bytes";
    EXPECT_FALSE(m_dir.Exists("big.bin.~vt"));
    EXPECT_FALSE(m_dir.Exists("setup.ok"));

    // The next run finds the share settled and copies the new version.
    RunResult next = m_dir.Start("setup.ini");
    EXPECT_EQ(next.ExitCode, 0u) << next.Output;
    EXPECT_TRUE(m_dir.Read("big.bin") == ReadFileBytes(m_share / "big.bin"));
}

TEST_F(ShareTest, SourceGrownWhileCopiedKeepsTheOldTarget)
{
    Script("[Update]\r\nFile1=big.bin\r\n");
    Put(m_share / "big.bin", Pattern(BigSize, 'a'), 2);
    Put(m_dir / "big.bin", "the old file", 1);
    Background run(m_dir, "setup.ini", "out.txt");
    ASSERT_TRUE(WaitForCopyUnderWay(run, m_dir / "big.bin", BigSize)) << run.Wait().Output;
    {
        UniqueFile source(CreateFileA((m_share / "big.bin").c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      0, nullptr));
        ASSERT_TRUE(static_cast<bool>(source));
        DWORD written = 0;
        std::string more(1 << 20, 'z');
        ASSERT_TRUE(WriteFile(source.Get(), more.data(), static_cast<DWORD>(more.size()), &written, nullptr));
    }
    RunResult result = run.Wait();
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, 2u) << result.Output;
    EXPECT_TRUE(result.LineStartingWith("ERROR: Source file \"" + (m_share / "big.bin") + "\" changed") != "")
        << result.Output;
    EXPECT_TRUE(m_dir.Read("big.bin") == "the old file") << SizeOf(m_dir / "big.bin") << " bytes";
    EXPECT_FALSE(m_dir.Exists("big.bin.~vt"));
}

// A release of the same size copied over the source in place while it is
// read: the byte count alone would pass a mix of both versions.
TEST_F(ShareTest, SourceRewrittenWithASameSizedReleaseKeepsTheOldTarget)
{
    Script("[Update]\r\nFile1=big.bin\r\n");
    Put(m_share / "big.bin", Pattern(BigSize, 'a'), 2);
    Put(m_dir / "big.bin", "the old file", 1);
    TempDir staging;
    const std::string release = Pattern(BigSize, 'n');
    Put(staging / "big.bin", release, 3);
    Background run(m_dir, "setup.ini", "out.txt");
    ASSERT_TRUE(WaitForCopyUnderWay(run, m_dir / "big.bin", BigSize)) << run.Wait().Output;
    ASSERT_TRUE(CopyFileA((staging / "big.bin").c_str(), (m_share / "big.bin").c_str(), FALSE)) << GetLastError();
    RunResult result = run.Wait();
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, 2u) << result.Output;
    EXPECT_TRUE(result.LineStartingWith("ERROR: Source file \"" + (m_share / "big.bin") + "\" changed") != "")
        << result.Output;
    EXPECT_TRUE(m_dir.Read("big.bin") == "the old file") << SizeOf(m_dir / "big.bin") << " bytes";
    RunResult next = m_dir.Start("setup.ini");
    EXPECT_EQ(next.ExitCode, 0u) << next.Output;
    EXPECT_TRUE(m_dir.Read("big.bin") == release);
}

// A new version put in place after the listing, before its copy begins: the
// decision is taken again on the new version, which is copied.
TEST_F(ShareTest, SourceReplacedBeforeItsCopyIsDecidedAgain)
{
    Script("[Update]\r\nFile1=*.bin\r\n");
    Put(m_share / "a.bin", Pattern(BigSize, 'a'), 2);
    Put(m_share / "b.bin", "b as listed", 2);
    Put(m_dir / "a.bin", "old a", 1);
    Put(m_dir / "b.bin", "old b", 1);
    Put(m_share / "b.tmp", "b, a complete new release", 3);
    Background run(m_dir, "setup.ini", "out.txt");
    ASSERT_TRUE(WaitForCopyUnderWay(run, m_dir / "a.bin", BigSize)) << run.Wait().Output;
    ASSERT_TRUE(MoveFileExA((m_share / "b.tmp").c_str(), (m_share / "b.bin").c_str(), MOVEFILE_REPLACE_EXISTING));
    RunResult result = run.Wait();
    EXPECT_EQ(result.ExitCode, 0u) << result.Output;
    EXPECT_TRUE(result.HasLine(Ok("    -> b.bin..."))) << result.Output;
    EXPECT_EQ(m_dir.Read("b.bin"), "b, a complete new release");
    EXPECT_EQ(LastWriteTime(m_dir / "b.bin").dwLowDateTime, LocalStamp(3).dwLowDateTime);
}

// --- two runs at once ------------------------------------------------------

TEST_F(ShareTest, TwoRunsStartedTogetherBothEndWellAndEachLaunches)
{
    // Twenty files of an update, with a pause before each, so that the second
    // run surely starts while the first is under way.
    std::string body = "Pause=150\r\nRun=launch_probe.exe --append\r\nRunFlags=wine\r\n[Update]\r\n";
    for (int i = 1; i <= 20; ++i) {
        std::string name = "f" + std::to_string(i) + ".dat";
        body += "File" + std::to_string(i) + "=" + name + "\r\n";
        Put(m_share / name, Pattern(1 << 20, static_cast<char>('a' + i)), 2);
        Put(m_dir / name, "old", 1);
    }
    Script(body);
    AddProbe();
    Background first(m_dir, "setup.ini", "first.txt");
    Sleep(300);
    Background second(m_dir, "setup.ini", "second.txt");
    RunResult one = first.Wait();
    RunResult two = second.Wait();
    EXPECT_FALSE(one.TimedOut || two.TimedOut);
    EXPECT_EQ(one.ExitCode, 0u) << one.Output;
    EXPECT_EQ(two.ExitCode, 0u) << two.Output;
    EXPECT_TRUE(two.HasLine(Ok("=> Waiting for another run to end..."))) << two.Output;
    // The first run copied everything; the second found it current.
    EXPECT_EQ(two.LineStartingWith("    -> "), "") << two.Output;
    for (int i = 1; i <= 20; ++i) {
        std::string name = "f" + std::to_string(i) + ".dat";
        EXPECT_TRUE(m_dir.Read(name) == ReadFileBytes(m_share / name)) << name;
        EXPECT_FALSE(m_dir.Exists(name + ".~vt")) << name;
    }
    for (int i = 0; i < 100 && Count(m_dir.Exists("launched.txt") ? m_dir.Read("launched.txt") : "", "--append") < 2;
         ++i)
        Sleep(50);
    EXPECT_EQ(Count(m_dir.Read("launched.txt"), "--append"), 2u);
}

class ShareSelfUpdate : public ShareTest {
protected:
    ShareSelfUpdate() : ShareTest(UniqueName()) {}
    static std::string UniqueName() { return "vtshare" + NewGuid().substr(1, 8) + ".exe"; }
};

// A second run waits while the first updates the program; it runs from the
// program file, so the first one's restarted copy cannot replace it. Nobody
// fails: the copy carries on as the new program, the second run brings the
// new program file with a restart of its own, and both users get the
// application.
TEST_F(ShareSelfUpdate, ASecondRunDuringTheSelfUpdateEndsWellAndTheProgramArrivesAfterIt)
{
    const std::string exe = m_dir.ExeName();
    const std::string next = ReadFileBytes(FixturePath("vantorel_next.exe"));
    Script("SelfPause=300\r\nLogFile=runs.log\r\nRun=launch_probe.exe --append\r\nRunFlags=wine\r\n");
    WriteFileBytes(m_share / exe, next);
    SetLastWriteTime(m_share / exe, LocalStamp(2));
    AddProbe();
    Background first(m_dir, "setup.ini", "first.txt");
    Background second(m_dir, "setup.ini", "second.txt");
    RunResult one = first.Wait();
    RunResult two = second.Wait();
    EXPECT_FALSE(one.TimedOut || two.TimedOut);
    EXPECT_EQ(one.ExitCode, 0u) << one.Output;
    EXPECT_EQ(two.ExitCode, 0u) << two.Output;
    ASSERT_TRUE(WaitForProcessesNamed("_" + exe, 60000));

    std::string log = m_dir.Read("runs.log");
    EXPECT_TRUE(m_dir.Read(exe) == next) << log;
    EXPECT_EQ(Count(log, "==== exit code 0"), Count(log, "==== ")/2) << log;
    // The first copy could not replace the program file while the second run ran from it.
    EXPECT_NE(log.find("       " + exe + " is in use by another run of the program; a later run replaces it."),
              std::string::npos)
        << log;
    for (int i = 0; i < 100 && Count(m_dir.Read("launched.txt"), "--append") < 2; ++i) Sleep(50);
    EXPECT_EQ(Count(m_dir.Read("launched.txt"), "--append"), 2u) << log;
    EXPECT_FALSE(m_dir.Exists(exe + ".~vt"));
    EXPECT_FALSE(m_dir.Exists("_" + exe + ".~vt"));
}

// --- names that are devices --------------------------------------------------

struct DeviceCase {
    const char* What;
    const char* Body;         // the script after [Options] SourcePath
    const char* Arguments;    // the script named on the command line
    const char* Line;         // the failed step's line
    const char* Named;        // the path the error names, relative to the program directory
};

TEST_F(ShareTest, DeviceNamesFailEveryItemKindAtOnce)
{
    const DeviceCase cases[] = {
        {"file", "[Update]\r\nFile1=aux.dat\r\n", "setup.ini", "    -> aux.dat...", "aux.dat"},
        {"file to delete", "[Delete]\r\nFile1=nul.txt\r\n", "setup.ini", "    -> nul.txt...", "nul.txt"},
        {"renamed file", "[Update]\r\nFile1=plain.txt\r\nFile1RenameTo=lpt1.txt\r\n", "setup.ini",
         "    -> rename plain.txt to lpt1.txt...", "lpt1.txt"},
        {"text", "[Insert]\r\nText1=aux.dat\r\nText1Str1Prefix=a\r\nText1Str1Full=a=1\r\n", "setup.ini",
         "    -> aux.dat...", "aux.dat"},
        {"INI", "[Update]\r\nIni1=com1.ini\r\nIni1Val1Section=S\r\nIni1Val1Name=k\r\nIni1Val1Value=v\r\n",
         "setup.ini", "    -> com1.ini...", "com1.ini"},
        {"server", "[Update]\r\nComSrv1=lpt2.dll\r\n", "setup.ini", "    -> lpt2.dll...", "lpt2.dll"},
        {"settings file", "Settings=prn.ini\r\n", "setup.ini", "    -> prn.ini...", "prn.ini"},
        {"include", "Include1=con.ini\r\n", "setup.ini", "    -> con.ini...", "con.ini"},
        {"script", "", "Aux.Ini", "    -> Aux.Ini...", "Aux.Ini"},
    };
    for (const DeviceCase& c : cases) {
        SCOPED_TRACE(c.What);
        Script(c.Body);
        Put(m_dir / "plain.txt", "p", 1);
        RunResult run = m_dir.Start(c.Arguments, "", 30000);
        EXPECT_FALSE(run.TimedOut);
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        EXPECT_TRUE(run.HasLine(Failed(c.Line))) << run.Output;
        EXPECT_TRUE(run.HasLine("ERROR: \"" + (m_dir / c.Named) +
                                "\" is a device or another object that is not a disk file; it is not opened."))
            << run.Output;
    }
}

// A file of a device's name on the share (a share served from another
// system can hold one) would be the device on the workstation.
TEST_F(ShareTest, ASourceFileWithADevicesNameIsRefused)
{
    Script("[Update]\r\nFile1=*.dat\r\n");
    UniqueFile odd(CreateFileA(("\\\\?\\" + (m_share / "com1.dat")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(odd)) << GetLastError();
    odd.Reset();
    RunResult run = m_dir.Start("setup.ini", "", 30000);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_TRUE(run.HasLine(Failed("    -> com1.dat..."))) << run.Output;
    EXPECT_TRUE(run.HasLine("ERROR: \"" + (m_dir / "com1.dat") +
                            "\" is a device or another object that is not a disk file; it is not opened."))
        << run.Output;
    DeleteFileA(("\\\\?\\" + (m_share / "com1.dat")).c_str());
}

}  // namespace
