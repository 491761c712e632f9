#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

// A program directory and its share: the share holds the program and the
// script as they are installed, so the update pass finds them current.
class FileItems : public ::testing::Test {
protected:
    explicit FileItems(const std::string& exeName = "vantorel.exe") : m_dir(exeName) {}

    // Writes the script (its SourcePath naming the share) into both places.
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

    ProgramDir m_dir;
    TempDir m_share;
};

TEST_F(FileItems, UpdatedFilesAreReportedAndCurrentOnesAreNot)
{
    Script("[Update]\r\nFile1=a.txt\r\nFile2=b.txt\r\nFile3=sub\\*.dat\r\n");
    Put(m_share / "a.txt", "new a", 2);
    Put(m_dir / "a.txt", "old a", 1);
    Put(m_share / "b.txt", "same b", 1);
    Put(m_dir / "b.txt", "same b", 1);
    Put(m_share / "c.dat", "c", 1);
    CreateDirectoryA((m_dir / "sub").c_str(), nullptr);
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    auto lines = run.Lines();
    auto at = std::find(lines.begin(), lines.end(), "=> Processing setup.ini...");
    ASSERT_NE(at, lines.end()) << run.Output;
    std::vector<std::string> rest(at + 1, lines.end());
    std::vector<std::string> expected = {"=> Updating", "   files:", Ok("    -> a.txt..."), Ok("    -> c.dat...")};
    EXPECT_EQ(rest, expected) << run.Output;
    EXPECT_EQ(m_dir.Read("a.txt"), "new a");
    EXPECT_EQ(m_dir.Read("sub\\c.dat"), "c");
    EXPECT_TRUE(m_dir.Exists("setup.ok"));
}

TEST_F(FileItems, MissingOrEmptySourceEndsTheRunAtTheProgramFile)
{
    for (bool exists : {false, true}) {
        SCOPED_TRACE(exists ? "empty source" : "missing source");
        TempDir empty;
        std::string source = exists ? empty.Path() : empty / "gone\\";
        m_dir.Write("setup.ini", "[Options]\r\nSourcePath=" + source + "\r\nRun=launch_probe.exe\r\n"
                                 "RunFlags=wine\r\n[Update]\r\nFile1=a.txt\r\n");
        RunResult run = m_dir.Start("setup.ini");
        EXPECT_EQ(run.ExitCode, 2u);
        EXPECT_TRUE(run.HasLine(Failed("    -> vantorel.exe..."))) << run.Output;
        EXPECT_TRUE(run.HasLine("ERROR: New version of file \"" + source + "vantorel.exe\" not found.")) << run.Output;
        EXPECT_EQ(run.LineStartingWith("=> Processing"), "");
        EXPECT_FALSE(m_dir.Exists("setup.ok"));
        EXPECT_FALSE(m_dir.Exists("launched.txt"));
    }
}

TEST_F(FileItems, LockedTargetReportsTheSharingViolationAndStopsTheRun)
{
    Script("[Update]\r\nFile1=lock.dat\r\nFile2=next.dat\r\n");
    Put(m_share / "lock.dat", "new", 2);
    Put(m_dir / "lock.dat", "old", 1);
    Put(m_share / "next.dat", "next", 2);
    HeldFile held(m_dir / "lock.dat");
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 2u);
    EXPECT_TRUE(run.HasLine(Failed("    -> lock.dat..."))) << run.Output;
    EXPECT_TRUE(run.HasLine("ERROR: Sharing violation")) << run.Output;
    EXPECT_FALSE(m_dir.Exists("next.dat"));
    EXPECT_FALSE(m_dir.Exists("lock.dat.~vt"));
    held.Release();
    EXPECT_EQ(m_dir.Read("lock.dat"), "old");
}

TEST_F(FileItems, AMatchThatCannotBeDeletedFailsTheRunAfterOthersWereDeleted)
{
    Script("Run=launch_probe.exe\r\nRunFlags=wine\r\n[Delete]\r\nFile1=*.tmp\r\nFile2=after.txt\r\n");
    Put(m_dir / "a.tmp", "a", 1);
    Put(m_dir / "b.tmp", "b", 1);
    Put(m_dir / "after.txt", "kept", 1);
    HeldFile held(m_dir / "b.tmp");
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_TRUE(run.HasLine(Ok("    -> a.tmp..."))) << run.Output;
    EXPECT_TRUE(run.HasLine(Failed("    -> b.tmp..."))) << run.Output;
    EXPECT_TRUE(m_dir.Exists("after.txt")) << "the run goes no further";
    EXPECT_FALSE(m_dir.Exists("setup.ok"));
    EXPECT_FALSE(m_dir.Exists("launched.txt"));
}

TEST_F(FileItems, UntilRebootSchedulesReplacementAndDeletionOnTheNtFamily)
{
    PendingRenameCleanup cleanup(LeafName(m_dir.Path()));
    Script("[Update]\r\nFile1=lock.dat\r\nFile1Flags=until_reboot\r\n");
    Put(m_share / "lock.dat", "new", 2);
    Put(m_dir / "lock.dat", "old", 1);
    {
        HeldFile held(m_dir / "lock.dat");
        RunResult run = m_dir.Start("setup.ini");
        EXPECT_EQ(run.ExitCode, 2u);  // the item itself still failed
        EXPECT_TRUE(run.HasLine(Failed("    -> lock.dat..."))) << run.Output;
        EXPECT_TRUE(run.HasLine("ERROR: Can't update or delete file \"" + (m_dir / "lock.dat") +
                                "\" now. An action will done at reboot the operating system."))
            << run.Output;
    }
    EXPECT_EQ(m_dir.Read("_lock.dat"), "new");
    EXPECT_EQ(m_dir.Read("lock.dat"), "old");
    int found = 0;
    for (const PendingRename& rename : PendingRenames()) {
        if (ContainsNoCase(rename.Source, m_dir / "lock.dat") && rename.Target.empty()) ++found;
        if (ContainsNoCase(rename.Source, m_dir / "_lock.dat") && ContainsNoCase(rename.Target, m_dir / "lock.dat"))
            ++found;
    }
    EXPECT_EQ(found, 2);

    Script("[Delete]\r\nFile1=*.log\r\nFile1Flags=until_reboot\r\n");
    Put(m_dir / "a.log", "a", 1);
    Put(m_dir / "busy.log", "b", 1);
    HeldFile held(m_dir / "busy.log");
    RunResult run = m_dir.Start("setup.ini");
    // One match deleted, the other scheduled: the item as a whole succeeded.
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(run.HasLine(Ok("    -> a.log..."))) << run.Output;
    EXPECT_TRUE(run.HasLine(Failed("    -> busy.log..."))) << run.Output;
    EXPECT_FALSE(m_dir.Exists("a.log"));
    bool scheduled = false;
    for (const PendingRename& rename : PendingRenames())
        if (ContainsNoCase(rename.Source, m_dir / "busy.log") && rename.Target.empty()) scheduled = true;
    EXPECT_TRUE(scheduled);
}

// The program presented the 9x family by Wine's per-program version setting.
class FileItems9x : public FileItems {
protected:
    FileItems9x() : FileItems(UniqueName()) {}
    static std::string UniqueName()
    {
        std::string guid = NewGuid();
        return "vt9x" + guid.substr(1, 8) + ".exe";
    }
    void SetUp() override
    {
        m_appKey = "Software\\Wine\\AppDefaults\\" + m_dir.ExeName();
        WriteRegValue(HKEY_CURRENT_USER, m_appKey, "Version", REG_SZ, std::string("win98") + '\0');
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        m_rebootList = std::string(windows) + "\\wininit.ini";
        m_listExisted = FileExists(m_rebootList);
    }
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, m_appKey.c_str());
        // Only the entries of this test go; a list that was not there before goes too.
        for (const std::string& key : m_keysWritten)
            WritePrivateProfileStringA("Rename", key.c_str(), nullptr, m_rebootList.c_str());
        if (!m_listExisted) DeleteFileA(m_rebootList.c_str());
    }
    std::string ListValue(const std::string& key)
    {
        char buffer[1024] = {};
        GetPrivateProfileStringA("Rename", key.c_str(), "", buffer, sizeof buffer, m_rebootList.c_str());
        return buffer;
    }

    std::string m_appKey;
    std::string m_rebootList;
    bool m_listExisted = false;
    std::vector<std::string> m_keysWritten;
};

TEST_F(FileItems9x, RebootListAndReplacementWithoutAReplacingRename)
{
    Script("[Update]\r\nFile1=plain.dat\r\n[Delete]\r\nFile1=busy.dat\r\nFile1Flags=until_reboot\r\n");
    Put(m_share / "plain.dat", "new plain", 2);
    Put(m_dir / "plain.dat", "old plain", 1);
    Put(m_dir / "busy.dat", "b", 1);
    HeldFile held(m_dir / "busy.dat");
    m_keysWritten = {"NUL"};
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_EQ(m_dir.Read("plain.dat"), "new plain");
    EXPECT_TRUE(run.HasLine("ERROR: Can't update or delete file \"" + (m_dir / "busy.dat") +
                            "\" now. An action will done at reboot the operating system."))
        << run.Output;
    EXPECT_EQ(ListValue("NUL"), ShortPathOf(m_dir / "busy.dat"));
    // Nothing went to the NT family's list.
    for (const PendingRename& rename : PendingRenames()) EXPECT_FALSE(ContainsNoCase(rename.Source, m_dir.Path()));
}

// Starts the program with its standard streams on the null device and
// without waiting for it.
HANDLE StartDetached(const ProgramDir& dir, const std::string& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + (dir / dir.ExeName()) + "\" " + arguments;
    BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.Path().c_str(),
                                  &startup, &info);
    CloseHandle(null);
    if (!started) return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

std::string Pattern(size_t size, char seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + (i * 7) % 31);
    return bytes;
}

// Scratch files of interrupted runs go at the next run, also beside targets
// that are current and need no copy (the long-path form of the name included).
TEST_F(FileItems, LeftoversOfInterruptedRunsAreRemovedBesideCurrentTargets)
{
    Script("[Update]\r\nFile1=*.txt\r\nFile2=sub\\d.dat\r\n");
    Put(m_share / "a.txt", "same a", 1);
    Put(m_dir / "a.txt", "same a", 1);
    Put(m_share / "d.dat", "same d", 1);
    CreateDirectoryA((m_dir / "sub").c_str(), nullptr);
    Put(m_dir / "sub\\d.dat", "same d", 1);
    Put(m_dir / "a.txt.~vt", "half", 1);
    Put(m_dir / "sub\\d.dat.~vt", "half", 1);
    Put(m_dir / "sub\\~vt0123abcd.tmp", "half", 1);
    Put(m_dir / "sub\\keep.tmp", "not ours", 1);
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(ActionLines(run, "setup.ini"), std::vector<std::string>{}) << run.Output;
    EXPECT_FALSE(m_dir.Exists("a.txt.~vt"));
    EXPECT_FALSE(m_dir.Exists("sub\\d.dat.~vt"));
    EXPECT_FALSE(m_dir.Exists("sub\\~vt0123abcd.tmp"));
    EXPECT_TRUE(m_dir.Exists("sub\\keep.tmp"));
    EXPECT_EQ(m_dir.Read("a.txt"), "same a");
}

TEST_F(FileItems, KilledMidCopyLeavesTheOldTargetAndTheNextRunCompletes)
{
    Script("[Update]\r\nFile1=big.bin\r\n");
    const std::string fresh = Pattern(96u << 20, 'a');
    Put(m_share / "big.bin", fresh, 2);
    Put(m_dir / "big.bin", "the old file", 1);
    HANDLE process = StartDetached(m_dir, "setup.ini");
    ASSERT_NE(process, nullptr);
    std::string partial = m_dir / "big.bin.~vt";
    bool sawPartial = false;
    for (int i = 0; i < 200000 && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; ++i) {
        if (GetFileAttributesA(partial.c_str()) != INVALID_FILE_ATTRIBUTES) {
            sawPartial = true;
            break;
        }
    }
    TerminateProcess(process, 9);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    EXPECT_TRUE(sawPartial) << "the copy ended before it could be interrupted";
    std::string target = m_dir.Read("big.bin");
    EXPECT_TRUE(target == "the old file" || target == fresh) << "target of " << target.size() << " bytes";
    if (sawPartial) {
        EXPECT_EQ(target, "the old file");
    }

    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(m_dir.Read("big.bin") == fresh);
    EXPECT_FALSE(m_dir.Exists("big.bin.~vt"));
}

TEST_F(FileItems, SourceRemovedDuringTheWalkLeavesEveryTargetOldOrNew)
{
    Script("[Update]\r\nFile1=*.bin\r\n");
    const std::string freshA = Pattern(48u << 20, 'a');
    const std::string freshB = Pattern(48u << 20, 'b');
    Put(m_share / "a.bin", freshA, 2);
    Put(m_share / "b.bin", freshB, 2);
    Put(m_dir / "a.bin", "old a", 1);
    Put(m_dir / "b.bin", "old b", 1);
    HANDLE process = StartDetached(m_dir, "setup.ini");
    ASSERT_NE(process, nullptr);
    // As soon as one copy is under way, the other source disappears.
    bool removed = false;
    while (!removed && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        for (const char* first : {"a", "b"}) {
            if (GetFileAttributesA((m_dir / (std::string(first) + ".bin.~vt")).c_str()) == INVALID_FILE_ATTRIBUTES)
                continue;
            std::string other = m_share / (std::string(first[0] == 'a' ? "b" : "a") + ".bin");
            removed = DeleteFileA(other.c_str()) != 0;
            break;
        }
    }
    DWORD code = 99;
    WaitForSingleObject(process, 60000);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    std::string a = m_dir.Read("a.bin");
    std::string b = m_dir.Read("b.bin");
    EXPECT_TRUE(a == "old a" || a == freshA) << a.size();
    EXPECT_TRUE(b == "old b" || b == freshB) << b.size();
    if (code == 0) {
        EXPECT_TRUE(a == freshA && b == freshB);
    } else {
        EXPECT_EQ(code, 2u);
        EXPECT_TRUE(a == "old a" || b == "old b");
    }
    EXPECT_TRUE(removed) << "no copy was seen under way";
    EXPECT_FALSE(m_dir.Exists("a.bin.~vt"));
    EXPECT_FALSE(m_dir.Exists("b.bin.~vt"));
}

// Copies are made ahead of their turn beside their targets; a step that fails
// still ends the run there, with the console of a run that copies one file at
// a time, every later target untouched and no scratch file left behind.
TEST_F(FileItems, AFailureAmongCopiesMadeAheadEndsTheRunThereWithNothingAfterItChanged)
{
    std::string items;
    for (int i = 1; i <= 24; ++i) {
        std::string name = "f" + std::to_string(100 + i) + ".dat";
        items += "File" + std::to_string(i) + "=" + name + "\r\n";
        Put(m_share / name, Pattern(64 << 10, static_cast<char>('a' + i)), 2);
        Put(m_dir / name, "old " + name, 1);
    }
    Script("[Update]\r\n" + items);
    HeldFile held(m_dir / "f106.dat");
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> expected = {"=> Updating", "   files:"};
    for (int i = 101; i <= 105; ++i) expected.push_back(Ok("    -> f" + std::to_string(i) + ".dat..."));
    expected.push_back(Failed("    -> f106.dat..."));
    std::vector<std::string> actions = ActionLines(run, "setup.ini");
    ASSERT_GE(actions.size(), expected.size()) << run.Output;
    EXPECT_EQ(std::vector<std::string>(actions.begin(), actions.begin() + expected.size()), expected) << run.Output;
    EXPECT_TRUE(run.HasLine("ERROR: Sharing violation")) << run.Output;
    held.Release();
    for (int i = 106; i <= 124; ++i) {
        std::string name = "f" + std::to_string(i) + ".dat";
        EXPECT_EQ(m_dir.Read(name), "old " + name);
    }
    for (const auto& [name, facts] : SnapshotFiles(m_dir.Path())) EXPECT_EQ(name.find(".~vt"), std::string::npos) << name;
}

// Ended at moments spread over a whole run of forty copies, every target is
// its old file or its new one, whole; the run after that completes the update
// and leaves no scratch file.
TEST_F(FileItems, ARunOfCopiesEndedAtAnyMomentLeavesEachTargetOldOrNewWhole)
{
    std::string items;
    std::vector<std::string> names;
    for (int i = 1; i <= 40; ++i) {
        names.push_back("k" + std::to_string(100 + i) + ".dat");
        items += "File" + std::to_string(i) + "=" + names.back() + "\r\n";
        Put(m_share / names.back(), Pattern(256 << 10, static_cast<char>('A' + i)), 2);
    }
    Script("[Update]\r\n" + items);
    auto putOld = [&] {
        for (const std::string& name : names) Put(m_dir / name, "old " + name, 1);
    };
    putOld();
    DWORD started = GetTickCount();
    ASSERT_EQ(m_dir.Start("setup.ini").ExitCode, 0u);
    DWORD whole = GetTickCount() - started;
    for (int cut = 1; cut <= 6; ++cut) {
        putOld();
        HANDLE process = StartDetached(m_dir, "setup.ini");
        ASSERT_NE(process, nullptr);
        Sleep(whole * cut / 7);
        TerminateProcess(process, 9);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
        for (const std::string& name : names) {
            std::string bytes = m_dir.Read(name);
            EXPECT_TRUE(bytes == "old " + name || bytes == ReadFileBytes(m_share / name))
                << name << " of " << bytes.size() << " bytes after a cut at " << cut << "/7";
        }
    }
    RunResult run = m_dir.Start("setup.ini");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    for (const std::string& name : names) EXPECT_EQ(m_dir.Read(name), ReadFileBytes(m_share / name)) << name;
    for (const auto& [name, facts] : SnapshotFiles(m_dir.Path())) EXPECT_EQ(name.find(".~vt"), std::string::npos) << name;
}

}  // namespace
