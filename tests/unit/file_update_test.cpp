#include <gtest/gtest.h>

#include "actions/file_copy.h"
#include "actions/file_decision.h"
#include "machine/file_version.h"
#include "core/handles.h"
#include "core/run_state.h"
#include "file_support.h"
#include "harness.h"
#include "run/file_items.h"
#include "run/run_steps.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

// A file item carried out as a run does.
bool UpdateFile(const std::string& name, const std::string& flags, TSectionMode mode)
{
    TRunSteps steps;
    return ::UpdateFile(name, flags, mode, steps);
}

// UpdateFile in this process: ExeDir is a temporary "program directory", the
// source directory another one.
class FileUpdateTest : public RunStateTest {
protected:
    void SetUp() override
    {
        ConstTable[SlotWinDir] = {"windir", m_windows.Path().substr(0, m_windows.Path().size() - 1)};
        ::Run.ExeDir = m_app.Path();
        ::Run.ExeName = "prog.exe";
        ::Run.ScriptName = "setup.ini";
        ::Run.SourceDir = m_share.Path();
        ::Run.SelfPauseMs = 0;
    }

    std::string App(const std::string& name) const { return m_app / name; }
    std::string Share(const std::string& name) const { return m_share / name; }

    // Writes a file and gives it a last-write time (days after the base date).
    // What a test writes stands for a change between two runs: the next
    // UpdateFile sees the directories as a new run would, listed afresh.
    static void Put(const std::string& path, const std::string& bytes, int day, int64_t ms = 0, int64_t ticks = 0)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day, ms, ticks));
        ::Run.Listings.reset();
    }
    static void PutFixture(const std::string& path, const std::string& fixture, int day)
    {
        Put(path, ReadFileBytes(FixturePath(fixture)), day);
    }

    TempDir m_app;
    TempDir m_share;
    TempDir m_windows;
};

TEST(FileVersions, VersionTextOfModulesAndOtherFiles)
{
    EXPECT_EQ(GetFileVersionText(FixturePath("ver_1_2_3_4.dll")), "1.2.3.4");
    EXPECT_EQ(GetFileVersionText(FixturePath("ver_2_0_0_0.dll")), "2.0.0.0");
    EXPECT_EQ(GetFileVersionText(FixturePath("hold_file.exe")), "");
    EXPECT_EQ(GetFileVersionText(FixturePath("no such file.dll")), "");
}

TEST(FileVersions, ComparisonIsNumericPartByPart)
{
    EXPECT_GT(CompareVersions("1.2.3.5", "1.2.3.4"), 0);
    EXPECT_LT(CompareVersions("1.2.3.4", "2.0.0.0"), 0);
    EXPECT_GT(CompareVersions("1.10", "1.9"), 0);   // not a text comparison
    EXPECT_LT(CompareVersions("2", "10"), 0);
    EXPECT_EQ(CompareVersions("1.2", "1.2.0.0"), 0);
    EXPECT_EQ(CompareVersions("", "0.0.0.0"), 0);
    EXPECT_GT(CompareVersions("65535.0.0.0", "65534.65535.65535.65535"), 0);
    // Malformed texts count as 0.0.0.0.
    EXPECT_EQ(CompareVersions("1.2.3.4.5", ""), 0);
    EXPECT_EQ(CompareVersions("1.x.3", "0"), 0);
    EXPECT_EQ(CompareVersions("-1", ""), 0);
    EXPECT_LT(CompareVersions("1.2.3.4.5", "0.0.0.1"), 0);
}

struct DecisionCase {
    const char* What;
    const char* SourceFixture;  // or null: SourceBytes
    const char* TargetFixture;  // or null: TargetBytes; "" for no target
    const char* SourceBytes;
    const char* TargetBytes;
    int64_t SourceMs;  // last-write times, milliseconds after a common base
    int64_t TargetMs;
    const char* Flags;
    TSectionMode Mode;
    bool Copied;
};

TEST_F(FileUpdateTest, DecisionOrderSizeVersionDate)
{
    const DecisionCase cases[] = {
        {"identical", nullptr, nullptr, "AAAA", "AAAA", 0, 0, "", Update, false},
        {"same size, source later", nullptr, nullptr, "BBBB", "AAAA", 5000, 0, "", Update, true},
        {"same size, source earlier", nullptr, nullptr, "BBBB", "AAAA", 0, 5000, "", Update, true},
        {"source earlier, keep_newest", nullptr, nullptr, "BBBB", "AAAA", 0, 5000, "keep_newest", Update, false},
        {"source later, keep_newest", nullptr, nullptr, "BBBB", "AAAA", 5000, 0, "keep_newest", Update, true},
        {"other date, not_check_datetime", nullptr, nullptr, "BBBB", "AAAA", 5000, 0, "not_check_datetime", Update,
         false},
        {"other size, same date", nullptr, nullptr, "BBBBB", "AAAA", 0, 0, "", Update, true},
        {"other size, not_check_size", nullptr, nullptr, "BBBBB", "AAAA", 0, 0, "not_check_size", Update, false},
        {"size comes before an older version", "ver_1_2_3_4_pad.dll", "ver_1_2_3_5.dll", nullptr, nullptr, 0, 0,
         "check_version keep_newest", Update, true},
        {"only a higher version", "ver_1_2_3_5.dll", "ver_1_2_3_4_pad.dll", nullptr, nullptr, 0, 0,
         "check_version,keep_newest,not_check_size,not_check_datetime", Update, true},
        {"a lower version is kept", "ver_1_2_3_4.dll", "ver_1_2_3_5_pad.dll", nullptr, nullptr, 5000, 0,
         "check_version keep_newest not_check_size not_check_datetime", Update, false},
        {"downgrade without keep_newest", "ver_1_2_3_4.dll", "ver_1_2_3_5.dll", nullptr, nullptr, 0, 0,
         "check_version", Update, true},
        {"equal versions fall through to the date", "ver_1_2_3_4.dll", "ver_1_2_3_4.dll", nullptr, nullptr, 0, 0,
         "check_version", Update, false},
        {"flag words regard case", nullptr, nullptr, "BBBB", "AAAA", 0, 5000, "KEEP_NEWEST", Update, true},
        {"missing target, nothing checked", nullptr, "", "BBBB", nullptr, 0, 0, "not_check_size not_check_datetime",
         Update, false},
        {"missing target", nullptr, "", "BBBB", nullptr, 0, 0, "", Update, true},
        {"1 ms apart", nullptr, nullptr, "BBBB", "AAAA", 1, 0, "", Update, true},
        {"insert over an existing target", nullptr, nullptr, "BBBBB", "AAAA", 0, 0, "", Insert, false},
        {"insert of a missing target", nullptr, "", "BBBB", nullptr, 0, 0, "", Insert, true},
    };
    for (const DecisionCase& c : cases) {
        SCOPED_TRACE(c.What);
        std::string source = Share("item.dll");
        std::string target = App("item.dll");
        DeleteFileA(target.c_str());
        std::string sourceBytes = c.SourceFixture ? ReadFileBytes(FixturePath(c.SourceFixture)) : c.SourceBytes;
        Put(source, sourceBytes, 0, c.SourceMs);
        bool hasTarget = !(c.TargetFixture && *c.TargetFixture == '\0');
        std::string targetBytes;
        if (hasTarget) {
            targetBytes = c.TargetFixture ? ReadFileBytes(FixturePath(c.TargetFixture)) : c.TargetBytes;
            Put(target, targetBytes, 0, c.TargetMs);
        }
        EXPECT_TRUE(UpdateFile("item.dll", c.Flags, c.Mode));
        if (c.Copied) {
            EXPECT_EQ(ReadFileBytes(target), sourceBytes);
        } else if (hasTarget) {
            EXPECT_EQ(ReadFileBytes(target), targetBytes);
        } else {
            EXPECT_FALSE(FileExists(target));
        }
    }
}

TEST_F(FileUpdateTest, DatesCompareToTheMillisecond)
{
    // Half a millisecond apart: the same date; the size is the same too.
    Put(Share("t.txt"), "new!", 3, 10, 5000);
    Put(App("t.txt"), "old!", 3, 10, 0);
    EXPECT_TRUE(UpdateFile("t.txt", "", Update));
    EXPECT_EQ(ReadFileBytes(App("t.txt")), "old!");
}

TEST_F(FileUpdateTest, MaskTakesVisibleFilesOfTheFlatSourceUnderTheirOwnNames)
{
    CreateDirectoryA(App("lib").c_str(), nullptr);
    Put(Share("a.dll"), "a-new", 2);
    Put(Share("b.dll"), "b-new", 2);
    Put(Share("c.txt"), "c-new", 2);
    Put(Share("h.dll"), "hidden", 2);
    SetFileAttributesA(Share("h.dll").c_str(), FILE_ATTRIBUTE_HIDDEN);
    Put(Share("s.dll"), "system", 2);
    SetFileAttributesA(Share("s.dll").c_str(), FILE_ATTRIBUTE_SYSTEM);
    CreateDirectoryA(Share("d.dll").c_str(), nullptr);
    Put(App("lib\\a.dll"), "a-old", 1);

    EXPECT_TRUE(UpdateFile("lib\\*.dll", "", Update));
    EXPECT_EQ(ReadFileBytes(App("lib\\a.dll")), "a-new");
    EXPECT_EQ(ReadFileBytes(App("lib\\b.dll")), "b-new");
    EXPECT_FALSE(FileExists(App("lib\\c.txt")));
    EXPECT_FALSE(FileExists(App("lib\\h.dll")));
    EXPECT_FALSE(FileExists(App("lib\\s.dll")));
    EXPECT_FALSE(DirectoryExists(App("lib\\d.dll")));

    // An absolute target directory and a constant: still the flat source.
    CreateDirectoryA(App("deep").c_str(), nullptr);
    CreateDirectoryA(App("deep\\er").c_str(), nullptr);
    EXPECT_TRUE(UpdateFile(App("deep\\er\\c.txt"), "", Update));
    EXPECT_EQ(ReadFileBytes(App("deep\\er\\c.txt")), "c-new");
    EXPECT_TRUE(UpdateFile("%windir%\\?.dll", "", Update));
    EXPECT_EQ(ReadFileBytes(m_windows / "b.dll"), "b-new");
}

TEST_F(FileUpdateTest, MissingOrEmptySourceFails)
{
    EXPECT_FALSE(UpdateFile("x.dll", "", Update));  // empty source directory
    EXPECT_FALSE(UpdateFile("*.dll", "", Insert));
    Put(Share("x.dll"), "hidden", 1);
    SetFileAttributesA(Share("x.dll").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(UpdateFile("x.dll", "", Update));
    ::Run.SourceDir = m_share / "no such dir\\";
    EXPECT_FALSE(UpdateFile("x.dll", "", Update));
    EXPECT_FALSE(FileExists(App("x.dll")));
    // An empty name is no item at all.
    EXPECT_TRUE(UpdateFile("", "", Update));
    // A missing target directory is not created.
    ::Run.SourceDir = m_share.Path();
    Put(Share("y.dll"), "y", 1);
    EXPECT_FALSE(UpdateFile("nodir\\y.dll", "", Update));
    EXPECT_EQ(::Run.LastErrorCode, ERROR_PATH_NOT_FOUND);
}

TEST_F(FileUpdateTest, ReadOnlyTargetIsReplacedAndTakesTheSourceAttributes)
{
    Put(Share("ro.txt"), "new contents", 2);
    Put(App("ro.txt"), "old", 1);
    SetFileAttributesA(App("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(UpdateFile("ro.txt", "", Update));
    EXPECT_EQ(ReadFileBytes(App("ro.txt")), "new contents");
    EXPECT_FALSE(GetFileAttributesA(App("ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY);

    // A read-only source gives a read-only target, which the next update overwrites.
    Put(Share("ro.txt"), "newer contents", 3);
    SetFileAttributesA(Share("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(UpdateFile("ro.txt", "", Update));
    EXPECT_TRUE(GetFileAttributesA(App("ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(Share("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    Put(Share("ro.txt"), "newest", 4);
    EXPECT_TRUE(UpdateFile("ro.txt", "", Update));
    EXPECT_EQ(ReadFileBytes(App("ro.txt")), "newest");
}

TEST_F(FileUpdateTest, FailedCopyLeavesTheOldTargetAndNoScratchFile)
{
    Put(Share("data.bin"), std::string(100000, 'n'), 2);
    Put(App("data.bin"), "old data", 1);
    {
        HeldFile unreadable(Share("data.bin"));  // the source cannot be read now
        EXPECT_FALSE(UpdateFile("data.bin", "", Update));
        EXPECT_EQ(::Run.LastErrorCode, ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(ReadFileBytes(App("data.bin")), "old data");
    EXPECT_FALSE(FileExists(PartialCopyPath(App("data.bin"))));
    // A read-only scratch file of an interrupted earlier run is no obstacle.
    Put(PartialCopyPath(App("data.bin")), "half", 1);
    SetFileAttributesA(PartialCopyPath(App("data.bin")).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(UpdateFile("data.bin", "", Update));
    EXPECT_EQ(ReadFileBytes(App("data.bin")), std::string(100000, 'n'));
    EXPECT_FALSE(FileExists(PartialCopyPath(App("data.bin"))));
}

// The copy holds the source to what the decision saw of it, keeps its
// attributes and time, and refuses a source that is no disk file.
TEST_F(FileUpdateTest, CopyIsHeldToTheDecidedFactsOfTheSource)
{
    Put(Share("f.bin"), "twelve bytes", 2);
    SetFileAttributesA(Share("f.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
    FILETIME written = LastWriteTime(Share("f.bin"));
    LocalFileTimeToFileTime(&written, &written);
    TSourceFacts decided{true, 11, written, 0};
    TFileResult stale = CopyWhole(Share("f.bin"), App("f.bin"), decided);
    EXPECT_EQ(stale.Problem, TCopyProblem::SourceReplaced);
    EXPECT_EQ(stale.Found.Size, 12);
    EXPECT_FALSE(FileExists(App("f.bin")) || FileExists(PartialCopyPath(App("f.bin"))));
    decided.Size = 12;
    EXPECT_TRUE(CopyWhole(Share("f.bin"), App("f.bin"), decided).Ok);
    EXPECT_EQ(ReadFileBytes(App("f.bin")), "twelve bytes");
    EXPECT_EQ(LastWriteTime(App("f.bin")).dwLowDateTime, LastWriteTime(Share("f.bin")).dwLowDateTime);
    EXPECT_TRUE(GetFileAttributesA(App("f.bin").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    std::string pipe = "\\\\.\\pipe\\vantorel-test-" + NewGuid();
    UniqueFile server(CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 2, 512, 512, 0, nullptr));
    EXPECT_EQ(CopyWhole(pipe, App("from-pipe.bin")).Problem, TCopyProblem::NotADiskFile);
}

TEST_F(FileUpdateTest, LockedTargetFailsWithSharingViolationOrIsScheduledForReboot)
{
    PendingRenameCleanup cleanup(LeafName(m_app.Path()));
    Put(Share("lock.dll"), "new", 2);
    Put(App("lock.dll"), "old", 1);
    HeldFile held(App("lock.dll"));
    EXPECT_FALSE(UpdateFile("lock.dll", "", Update));
    EXPECT_EQ(::Run.LastErrorCode, ERROR_SHARING_VIOLATION);

    EXPECT_FALSE(UpdateFile("lock.dll", "until_reboot", Update));  // still a failed item
    EXPECT_EQ(ReadFileBytes(App("_lock.dll")), "new");
    bool deletes = false, moves = false;
    for (const PendingRename& rename : PendingRenames()) {
        if (ContainsNoCase(rename.Source, App("lock.dll")) && rename.Target.empty()) deletes = true;
        if (ContainsNoCase(rename.Source, App("_lock.dll")) && ContainsNoCase(rename.Target, App("lock.dll")))
            moves = true;
    }
    EXPECT_TRUE(deletes);
    EXPECT_TRUE(moves);
    held.Release();
    EXPECT_EQ(ReadFileBytes(App("lock.dll")), "old");
}

TEST_F(FileUpdateTest, DeleteWalkIncludesHiddenSystemAndReadOnlyFiles)
{
    EXPECT_TRUE(UpdateFile("*.tmp", "", Delete));  // nothing matches
    Put(App("a.tmp"), "a", 1);
    Put(App("h.tmp"), "h", 1);
    SetFileAttributesA(App("h.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    Put(App("s.tmp"), "s", 1);
    SetFileAttributesA(App("s.tmp").c_str(), FILE_ATTRIBUTE_SYSTEM);
    CreateDirectoryA(App("d.tmp").c_str(), nullptr);
    Put(App("keep.txt"), "k", 1);
    EXPECT_TRUE(UpdateFile("*.tmp", "", Delete));
    EXPECT_FALSE(FileExists(App("a.tmp")));
    EXPECT_FALSE(FileExists(App("h.tmp")));
    EXPECT_FALSE(FileExists(App("s.tmp")));
    EXPECT_TRUE(DirectoryExists(App("d.tmp")));
    EXPECT_TRUE(FileExists(App("keep.txt")));
    // A leading "_" on a name that is not the program's own is left alone.
    Put(App("_x.txt"), "x", 1);
    EXPECT_TRUE(UpdateFile("_x.txt", "", Delete));
    EXPECT_FALSE(FileExists(App("_x.txt")));
}

TEST_F(FileUpdateTest, DeleteOfALockedFileIsScheduledOnTheNtFamily)
{
    PendingRenameCleanup cleanup(LeafName(m_app.Path()));
    Put(App("busy.log"), "b", 1);
    HeldFile held(App("busy.log"));
    EXPECT_FALSE(UpdateFile("busy.log", "", Delete));
    EXPECT_EQ(::Run.LastErrorCode, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(UpdateFile("busy.log", "until_reboot", Delete));
    bool scheduled = false;
    for (const PendingRename& rename : PendingRenames())
        if (ContainsNoCase(rename.Source, App("busy.log")) && rename.Target.empty()) scheduled = true;
    EXPECT_TRUE(scheduled);
    // Another match that can be deleted makes the item a success.
    Put(App("busy.lo_"), "x", 1);
    EXPECT_TRUE(UpdateFile("busy.lo?", "until_reboot", Delete));
    EXPECT_FALSE(FileExists(App("busy.lo_")));
    EXPECT_TRUE(FileExists(App("busy.log")));
}

// The reboot list of the 9x family, written into a directory of the test's own.
class RebootListTest : public FileUpdateTest {
protected:
    void SetUp() override
    {
        FileUpdateTest::SetUp();
        ::Run.NtFamily = false;
    }
    std::string ListValue(const std::string& key)
    {
        char buffer[1024] = {};
        GetPrivateProfileStringA("Rename", key.c_str(), "", buffer, sizeof buffer, (m_windows / "wininit.ini").c_str());
        return buffer;
    }
};

TEST_F(RebootListTest, DeletionsShareOneKeyAndReplacementsWriteTheDeletionFirst)
{
    Put(App("one.dll"), "1", 1);
    Put(App("two.dll"), "2", 1);
    HeldFile heldOne(App("one.dll"));
    HeldFile heldTwo(App("two.dll"));
    EXPECT_FALSE(UpdateFile("one.dll", "until_reboot", Delete));
    EXPECT_EQ(ListValue("NUL"), ShortPathOf(App("one.dll")));
    EXPECT_FALSE(UpdateFile("two.dll", "until_reboot", Delete));
    EXPECT_EQ(ListValue("NUL"), ShortPathOf(App("two.dll")));  // the later one wins

    Put(Share("one.dll"), "new one", 2);
    EXPECT_FALSE(UpdateFile("one.dll", "until_reboot", Update));
    EXPECT_EQ(ListValue("NUL"), ShortPathOf(App("one.dll")));
    EXPECT_EQ(ListValue(ShortPathOf(App("one.dll"))), ShortPathOf(App("_one.dll")));
    EXPECT_EQ(ReadFileBytes(App("_one.dll")), "new one");
}

TEST_F(RebootListTest, UpdatesReplaceTheTargetWithoutAReplacingRename)
{
    Put(Share("plain.txt"), "new", 2);
    Put(App("plain.txt"), "old", 1);
    EXPECT_TRUE(UpdateFile("plain.txt", "", Update));
    EXPECT_EQ(ReadFileBytes(App("plain.txt")), "new");
    EXPECT_FALSE(FileExists(PartialCopyPath(App("plain.txt"))));
    EXPECT_FALSE(FileExists(m_windows / "wininit.ini"));
}

TEST_F(FileUpdateTest, NewProgramFileIsStagedBesideTheRunningOne)
{
    Put(App("prog.exe"), "running", 1);
    Put(Share("prog.exe"), "new program", 2);
    EXPECT_TRUE(UpdateFile("prog.exe", "", Update));
    EXPECT_TRUE(::Run.SelfReplaced);
    EXPECT_EQ(::Run.SelfCopyPath, App("_prog.exe"));
    EXPECT_EQ(ReadFileBytes(App("_prog.exe")), "new program");
    EXPECT_EQ(ReadFileBytes(App("prog.exe")), "running");

    // The language file is current: it is copied for the restarted copy.
    ::Run.LanguageName = "prog.lng";
    Put(App("prog.lng"), "texts", 1);
    Put(Share("prog.lng"), "texts", 1);
    EXPECT_TRUE(UpdateFile("prog.lng", "", Update));
    EXPECT_EQ(ReadFileBytes(App("_prog.lng")), "texts");
    EXPECT_TRUE(::Run.SelfReplaced);
}

TEST_F(FileUpdateTest, NewLanguageFileAloneStillRestartsTheProgram)
{
    ::Run.LanguageName = "prog.lng";
    Put(App("prog.exe"), "running", 1);
    Put(Share("prog.exe"), "running", 1);
    Put(App("prog.lng"), "old texts", 1);
    Put(Share("prog.lng"), "new texts", 2);
    Put(App("_prog.exe"), "stale", 0);  // left by an earlier self-update, read-only
    SetFileAttributesA(App("_prog.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(UpdateFile("prog.exe", "", Update));
    EXPECT_FALSE(::Run.SelfReplaced);
    EXPECT_TRUE(UpdateFile("prog.lng", "", Update));
    EXPECT_TRUE(::Run.SelfReplaced);
    EXPECT_EQ(ReadFileBytes(App("_prog.lng")), "new texts");
    EXPECT_EQ(ReadFileBytes(App("_prog.exe")), "running");
    EXPECT_EQ(::Run.SelfCopyPath, App("_prog.exe"));
    EXPECT_EQ(ReadFileBytes(App("prog.lng")), "old texts");
}

TEST_F(FileUpdateTest, RestartedCopyReplacesTheFileItWasStartedFrom)
{
    ::Run.ExeName = "_prog.exe";
    ::Run.LanguageName = "_prog.lng";
    Put(App("_prog.exe"), "new program", 2);
    Put(App("prog.exe"), "old program", 1);
    Put(Share("prog.exe"), "new program", 2);
    Put(App("prog.lng"), "old", 1);
    Put(Share("prog.lng"), "new texts", 2);
    EXPECT_TRUE(UpdateFile("_prog.exe", "", Update));
    EXPECT_TRUE(UpdateFile("_prog.lng", "", Update));
    EXPECT_FALSE(::Run.SelfReplaced);
    EXPECT_EQ(ReadFileBytes(App("prog.exe")), "new program");
    EXPECT_EQ(ReadFileBytes(App("prog.lng")), "new texts");
    // Deleting never drops the underscore.
    Put(App("_prog.lng"), "copy", 1);
    EXPECT_TRUE(UpdateFile("_prog.lng", "", Delete));
    EXPECT_FALSE(FileExists(App("_prog.lng")));
    EXPECT_TRUE(FileExists(App("prog.lng")));
}

TEST_F(FileUpdateTest, ScriptIsReplacedOnlyWhenTheSourceCopyNamesAPathHoldingIt)
{
    Put(App("setup.ini"), "[Options]\r\nSourcePath=old\r\n", 1);
    // The source copy has no SourcePath: it is not taken.
    Put(Share("setup.ini"), "[Options]\r\nRun=x.exe\r\n", 2);
    EXPECT_FALSE(UpdateFile("setup.ini", "", Update));
    EXPECT_EQ(ReadFileBytes(App("setup.ini")), "[Options]\r\nSourcePath=old\r\n");

    // It names a directory that lacks the script.
    TempDir elsewhere;
    std::string pointsElsewhere = "[Options]\r\nSourcePath=" + elsewhere.Path() + "\r\n";
    // (A new date as well: the profile functions cache a file by its time.)
    Put(Share("setup.ini"), pointsElsewhere, 3);
    EXPECT_FALSE(UpdateFile("setup.ini", "", Update));
    EXPECT_EQ(ReadFileBytes(App("setup.ini")), "[Options]\r\nSourcePath=old\r\n");

    // It names a directory that holds it: the copy comes from the current source.
    WriteFileBytes(elsewhere / "setup.ini", "the next one");
    EXPECT_TRUE(UpdateFile("setup.ini", "", Update));
    EXPECT_EQ(ReadFileBytes(App("setup.ini")), pointsElsewhere);

    // The settings file takes the same road.
    ::Run.SettingsName = "site.ini";
    Put(Share("site.ini"), "[Constants]\r\n", 2);
    EXPECT_FALSE(UpdateFile("site.ini", "", Update));
    WriteFileBytes(elsewhere / "site.ini", "");
    EXPECT_TRUE(UpdateFile("site.ini", "", Update));
    EXPECT_EQ(ReadFileBytes(App("site.ini")), "[Constants]\r\n");
}

}  // namespace
