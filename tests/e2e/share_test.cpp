// The share at nine in the morning: a source that changes while it is
// copied, two runs of one script at once (also across a self-update), and
// names that are devices rather than files.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "core/handles.h"
#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

// A program run not waited for; its output goes to a file of the directory.
class Background {
public:
    Background(const ProgramDir& dir, const std::string& output) : m_output(dir / output)
    {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        UniqueFile out(CreateFileA(m_output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   CREATE_ALWAYS, 0, nullptr));
        UniqueFile in(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.Get();
        startup.hStdOutput = startup.hStdError = out.Get();
        PROCESS_INFORMATION info{};
        std::string command = "\"" + (dir / dir.ExeName()) + "\" setup.ini";
        EXPECT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.Path().c_str(),
                                   &startup, &info));
        UniqueKernelHandle thread(info.hThread);
        m_process.Reset(info.hProcess);
    }
    bool Running() const { return WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }
    // The test's own bound must never be what ends a run.
    RunResult Wait()
    {
        RunResult result;
        result.TimedOut = WaitForSingleObject(m_process.Get(), 120000) != WAIT_OBJECT_0;
        if (result.TimedOut) TerminateProcess(m_process.Get(), 99);
        GetExitCodeProcess(m_process.Get(), &result.ExitCode);
        result.Output = ReadFileBytes(m_output);
        return result;
    }

private:
    std::string m_output;
    UniqueKernelHandle m_process;
};

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

    // The script in both places and the program on the share: the run's own files are current.
    void Script(const std::string& body)
    {
        std::string text = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\n" + body;
        for (const std::string& path : {m_dir / "setup.ini", m_share / "setup.ini"}) Put(path, text, 0);
        CopyFileA((m_dir / m_dir.ExeName()).c_str(), (m_share / m_dir.ExeName()).c_str(), FALSE);
        CopyFileA(FixturePath("launch_probe.exe").c_str(), (m_dir / "launch_probe.exe").c_str(), FALSE);
    }
    void Put(const std::string& path, const std::string& bytes, int day)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day));
    }
    // Waits until the copy onto `target` is under way with more than a chunk still to come.
    static bool CopyUnderWay(const Background& run, const std::string& target, int64_t total)
    {
        while (run.Running()) {
            int64_t size = SizeOf(target + ".~vt");
            if (size > 0 && size < total - (4 << 20)) return true;
        }
        return false;
    }
    size_t Launches() const { return m_dir.Exists("launched.txt") ? Count(m_dir.Read("launched.txt"), "--append") : 0; }

    ProgramDir m_dir;
    TempDir m_share;
};

// An administrator truncates the source, appends to it, or copies a release
// of the same size over it while it is read: the byte count alone would pass
// a mix of two versions.
TEST_F(ShareTest, ASourceChangedWhileCopiedKeepsTheOldTargetAndFailsNamingIt)
{
    const size_t size = 64u << 20;
    TempDir staging;
    Put(staging / "big.bin", Pattern(size, 'n'), 3);
    const std::function<bool(const std::string&)> changes[] = {
        [](const std::string& source) {
            UniqueFile file(CreateFileA(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
            return file && SetFilePointer(file.Get(), 1 << 20, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                   SetEndOfFile(file.Get());
        },
        [](const std::string& source) {
            UniqueFile file(CreateFileA(source.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
            DWORD written = 0;
            return file && WriteFile(file.Get(), "more", 4, &written, nullptr);
        },
        [&staging](const std::string& source) {
            return CopyFileA((staging / "big.bin").c_str(), source.c_str(), FALSE) != 0;
        },
    };
    Script("[Update]\r\nFile1=big.bin\r\n");
    for (const auto& change : changes) {
        RunResult result;
        // On a loaded machine the copy may read its last byte before the
        // change lands; such a run copies the whole old source, rightly, and
        // the change is tried again on a fresh run.
        for (int attempt = 0; attempt < 5; ++attempt) {
            Put(m_share / "big.bin", Pattern(size, 'a'), 2);
            Put(m_dir / "big.bin", "the old file", 1);
            Background run(m_dir, "out.txt");
            ASSERT_TRUE(CopyUnderWay(run, m_dir / "big.bin", size)) << run.Wait().Output;
            ASSERT_TRUE(change(m_share / "big.bin"));
            result = run.Wait();
            if (result.ExitCode != 0 || m_dir.Read("big.bin") != Pattern(size, 'a')) break;
        }
        EXPECT_FALSE(result.TimedOut);
        EXPECT_EQ(result.ExitCode, 2u) << result.Output;
        EXPECT_TRUE(result.HasLine(Failed("    -> big.bin..."))) << result.Output;
        EXPECT_TRUE(result.HasLine("ERROR: Source file \"" + (m_share / "big.bin") + "\" changed while it was "
                                   "copied; the old file was kept, and the next run copies it again."))
            << result.Output;
        EXPECT_TRUE(m_dir.Read("big.bin") == "the old file") << SizeOf(m_dir / "big.bin") << " bytes";
        EXPECT_FALSE(m_dir.Exists("big.bin.~vt"));
    }
    // The share settled, the next run copies what it holds.
    EXPECT_EQ(m_dir.Start("setup.ini").ExitCode, 0u);
    EXPECT_TRUE(m_dir.Read("big.bin") == ReadFileBytes(m_share / "big.bin"));
}

// A new version put in place after the listing, before its copy begins: the
// decision is taken again on the new version, which is copied.
TEST_F(ShareTest, ASourceReplacedBeforeItsCopyIsDecidedAgain)
{
    Script("[Update]\r\nFile1=*.bin\r\n");
    Put(m_share / "a.bin", Pattern(64u << 20, 'a'), 2);
    Put(m_share / "b.bin", "b as listed", 2);
    Put(m_share / "b.tmp", "b, a complete new release", 3);
    Background run(m_dir, "out.txt");
    ASSERT_TRUE(CopyUnderWay(run, m_dir / "a.bin", 64 << 20)) << run.Wait().Output;
    ASSERT_TRUE(MoveFileExA((m_share / "b.tmp").c_str(), (m_share / "b.bin").c_str(), MOVEFILE_REPLACE_EXISTING));
    RunResult result = run.Wait();
    EXPECT_EQ(result.ExitCode, 0u) << result.Output;
    EXPECT_TRUE(result.HasLine(Ok("    -> b.bin..."))) << result.Output;
    EXPECT_EQ(m_dir.Read("b.bin"), "b, a complete new release");
}

TEST_F(ShareTest, TwoRunsStartedTogetherBothEndWellAndEachLaunches)
{
    // A pause before each of twenty files: the second run surely starts while the first is under way.
    std::string body = "Pause=150\r\nRun=launch_probe.exe --append\r\nRunFlags=wine\r\n[Update]\r\n";
    for (int i = 1; i <= 20; ++i) {
        std::string name = "f" + std::to_string(i) + ".dat";
        body += "File" + std::to_string(i) + "=" + name + "\r\n";
        Put(m_share / name, Pattern(1 << 20, static_cast<char>('a' + i)), 2);
    }
    Script(body);
    Background first(m_dir, "first.txt");
    Sleep(300);
    Background second(m_dir, "second.txt");
    RunResult one = first.Wait();
    RunResult two = second.Wait();
    EXPECT_EQ(one.ExitCode, 0u) << one.Output;
    EXPECT_EQ(two.ExitCode, 0u) << two.Output;
    EXPECT_TRUE(two.HasLine(Ok("=> Waiting for another run to end..."))) << two.Output;
    EXPECT_EQ(two.LineStartingWith("    -> "), "") << two.Output;  // the first copied everything
    for (int i = 1; i <= 20; ++i) {
        std::string name = "f" + std::to_string(i) + ".dat";
        EXPECT_TRUE(m_dir.Read(name) == ReadFileBytes(m_share / name) && !m_dir.Exists(name + ".~vt")) << name;
    }
    for (int i = 0; i < 100 && Launches() < 2; ++i) Sleep(50);
    EXPECT_EQ(Launches(), 2u);
}

class ShareSelfUpdate : public ShareTest {
protected:
    ShareSelfUpdate() : ShareTest("vtshare" + NewGuid().substr(1, 8) + ".exe") {}
};

// The second run runs from the program file, so the first run's restarted
// copy cannot replace it: the copy carries on as the new program, and the
// second run brings the new file with a restart of its own.
TEST_F(ShareSelfUpdate, ASecondRunDuringTheSelfUpdateEndsWellAndTheProgramArrivesAfterIt)
{
    const std::string exe = m_dir.ExeName();
    const std::string next = ReadFileBytes(FixturePath("vantorel_next.exe"));
    Script("SelfPause=300\r\nLogFile=runs.log\r\nRun=launch_probe.exe --append\r\nRunFlags=wine\r\n");
    Put(m_share / exe, next, 2);
    Background first(m_dir, "first.txt");
    Background second(m_dir, "second.txt");
    EXPECT_EQ(first.Wait().ExitCode, 0u);
    EXPECT_EQ(second.Wait().ExitCode, 0u);
    ASSERT_TRUE(WaitForProcessesNamed("_" + exe, 60000));
    for (int i = 0; i < 100 && Launches() < 2; ++i) Sleep(50);
    std::string log = m_dir.Read("runs.log");
    EXPECT_EQ(Launches(), 2u) << log;
    EXPECT_TRUE(m_dir.Read(exe) == next) << log;
    EXPECT_EQ(Count(log, "==== exit code 0"), 4u) << log;  // both runs and both restarted copies
    EXPECT_NE(log.find("       " + exe + " is in use by another run of the program; a later run replaces it."),
              std::string::npos)
        << log;
}

// Every item kind, the script, the settings file and includes refuse a
// device's name at once, as does a source file of such a name on the share.
TEST_F(ShareTest, DeviceNamesFailAtOnce)
{
    struct Case {
        const char* Body;
        const char* Script;
        const char* Line;
        const char* Named;
    };
    const Case cases[] = {
        {"[Update]\r\nFile1=aux.dat\r\n", "setup.ini", "    -> aux.dat...", "aux.dat"},
        {"[Delete]\r\nFile1=nul.txt\r\n", "setup.ini", "    -> nul.txt...", "nul.txt"},
        {"[Update]\r\nFile1=x.txt\r\nFile1RenameTo=lpt1.txt\r\n", "setup.ini", "    -> rename x.txt to lpt1.txt...",
         "lpt1.txt"},
        {"[Insert]\r\nText1=aux.dat\r\nText1Str1Prefix=a\r\nText1Str1Full=a=1\r\n", "setup.ini", "    -> aux.dat...",
         "aux.dat"},
        {"[Update]\r\nIni1=com1.ini\r\nIni1Val1Section=S\r\nIni1Val1Name=k\r\nIni1Val1Value=v\r\n", "setup.ini",
         "    -> com1.ini...", "com1.ini"},
        {"[Update]\r\nComSrv1=lpt2.dll\r\n", "setup.ini", "    -> lpt2.dll...", "lpt2.dll"},
        {"Settings=prn.ini\r\n", "setup.ini", "    -> prn.ini...", "prn.ini"},
        {"Include1=con.ini\r\n", "setup.ini", "    -> con.ini...", "con.ini"},
        {"", "Aux.Ini", "    -> Aux.Ini...", "Aux.Ini"},
        {"[Update]\r\nFile1=*.dat\r\n", "setup.ini", "    -> com1.dat...", "com1.dat"},
    };
    // The system's literal form makes a file of a device's name, as another system serving the share can hold.
    UniqueFile odd(CreateFileA(("\\\\?\\" + (m_share / "com1.dat")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                               nullptr));
    ASSERT_TRUE(odd);
    odd.Reset();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Body);
        Script(c.Body);
        Put(m_dir / "x.txt", "x", 1);
        RunResult run = m_dir.Start(c.Script, "", 30000);
        EXPECT_FALSE(run.TimedOut);
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        EXPECT_TRUE(run.HasLine(Failed(c.Line))) << run.Output;
        EXPECT_TRUE(run.HasLine("ERROR: \"" + (m_dir / c.Named) +
                                "\" is a device or another object that is not a disk file; it is not opened."))
            << run.Output;
    }
    DeleteFileA(("\\\\?\\" + (m_share / "com1.dat")).c_str());
}

}  // namespace
