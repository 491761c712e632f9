// A run from a published source: the release taken whole and recorded, a
// file damaged on the share after publishing, files copied without
// publishing, an older release offered again, a workstation that holds a
// key, and the key itself named by a script.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "file_support.h"
#include "harness.h"
#include "release/manifest.h"
#include "release/release_key.h"
#include "release/release_read.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;

class ReleaseRun : public ::testing::Test {
protected:
    // The script in both places and the program on the share: the run's own
    // files are current; the application is the launch probe.
    void SetUp() override
    {
        Script("[Update]\r\nFile1=a.dat\r\nFile2=b.dat\r\n");
        CopyFileA((m_dir / "vantorel.exe").c_str(), (m_share / "vantorel.exe").c_str(), FALSE);
        CopyFileA(FixturePath("launch_probe.exe").c_str(), (m_dir / "launch_probe.exe").c_str(), FALSE);
        Put("a.dat", "a of release 1", 1);
        Put("b.dat", "b of release 1", 1);
    }
    void Script(const std::string& body, const std::string& options = "")
    {
        std::string text = "[Options]\r\nSourcePath=" + m_share.Path() +
                           "\r\nRun=launch_probe.exe\r\nRunFlags=wine\r\nLogFile=run.log\r\n" + options + body;
        for (const std::string& path : {m_dir / "setup.ini", m_share / "setup.ini"}) {
            WriteFileBytes(path, text);
            SetLastWriteTime(path, LocalStamp(0));
        }
    }
    void Put(const std::string& name, const std::string& bytes, int day)
    {
        WriteFileBytes(m_share / name, bytes);
        SetLastWriteTime(m_share / name, LocalStamp(day));
    }
    // Other bytes of the same size under the same last-write time: what the
    // listing cannot tell from the published file.
    void Damage(const std::string& name, const std::string& from, const std::string& to)
    {
        std::string bytes = ReadFileBytes(m_share / name);
        FILETIME time = LastWriteTime(m_share / name);
        ASSERT_EQ(from.size(), to.size());
        bytes.replace(bytes.find(from), from.size(), to);
        WriteFileBytes(m_share / name, bytes);
        SetLastWriteTime(m_share / name, time);
    }
    RunResult Program(const std::string& arguments) const
    {
        return RunProcess("\"" + (m_dir / "vantorel.exe") + "\" " + arguments, m_dir.Path(), "", 60000);
    }
    void Publish(const std::string& key = "")
    {
        // Without the separator: a backslash before the closing quote would escape it.
        std::string share = m_share.Path().substr(0, m_share.Path().size() - 1);
        RunResult published = Program("--publish \"" + share + "\"" + (key.empty() ? "" : " --key " + key));
        ASSERT_EQ(published.ExitCode, 0u) << published.Output;
    }
    RunResult Run() const { return m_dir.Start("setup.ini"); }
    bool Launched() const
    {
        for (int i = 0; i < 100 && !m_dir.Exists("launched.txt"); ++i) Sleep(50);
        return m_dir.Exists("launched.txt");
    }
    std::string Taken() const { return m_dir.Exists("setup.taken") ? m_dir.Read("setup.taken") : std::string(); }
    static std::string Record(int number) { return "Vantorel release taken 1\r\nrelease " + std::to_string(number) + "\r\n"; }

    ProgramDir m_dir;
    TempDir m_share;
};

TEST_F(ReleaseRun, APublishedReleaseIsTakenWholeAndRecordedAndNoOlderOneAfterIt)
{
    Publish();
    const std::string firstManifest = ReadFileBytes(m_share / ReleaseFileName);
    RunResult first = Run();
    ASSERT_EQ(first.ExitCode, 0u) << first.Output;
    EXPECT_EQ(m_dir.Read("a.dat"), "a of release 1");
    EXPECT_EQ(Taken(), Record(1));
    EXPECT_TRUE(m_dir.Exists("setup.ok"));
    EXPECT_NE(m_dir.Read("run.log").find("  script setup.ini  release 1  first run"), std::string::npos)
        << m_dir.Read("run.log");

    // The next release: published again, numbered 2, taken and recorded.
    Put("b.dat", "b of release 2", 2);
    Publish();
    EXPECT_EQ(ReadRelease(m_share.Path(), nullptr).Number, 2u);
    RunResult second = Run();
    ASSERT_EQ(second.ExitCode, 0u) << second.Output;
    EXPECT_EQ(ActionLines(second, "setup.ini"), (Lines{"=> Updating", "   files:", Ok("    -> b.dat..."),
                                                       Ok("=> Loading launch_probe.exe...")}));
    EXPECT_EQ(m_dir.Read("b.dat"), "b of release 2");
    EXPECT_EQ(Taken(), Record(2));

    // An old copy of the share put back: whole, but older.
    Put("b.dat", "b of release 1", 1);
    WriteFileBytes(m_share / ReleaseFileName, firstManifest);
    DeleteFileA((m_dir / "launched.txt").c_str());
    RunResult older = Run();
    EXPECT_EQ(older.ExitCode, 4u) << older.Output;
    EXPECT_TRUE(older.HasLine("Release 1 at \"" + m_share.Path() +
                              "\" is older than release 2, which this workstation took. Nothing is updated this time."))
        << older.Output;
    EXPECT_TRUE(Launched());
    EXPECT_EQ(m_dir.Read("b.dat"), "b of release 2");
    RunResult check = Program("--check setup.ini");
    EXPECT_EQ(check.ExitCode, 2u);
    EXPECT_TRUE(check.HasLine(m_share.Path() + ReleaseFileName +
                              ": error VC155: release 1 is older than release 2, which this workstation took; a run "
                              "takes nothing from there and starts the application as it is (exit code 4)"))
        << check.Output;
}

TEST_F(ReleaseRun, AFileDamagedOnTheShareAfterPublishingNeverReachesATarget)
{
    Publish();
    ASSERT_EQ(Run().ExitCode, 0u);
    Put("a.dat", "a of release 2", 2);
    Publish();
    Damage("a.dat", "release 2", "release 9");
    RunResult run = Run();
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_EQ(ActionLines(run, "setup.ini"),
              (Lines{"=> Updating", "   files:", Failed("    -> a.dat..."), "",
                     "ERROR: Source file \"" + m_share.Path() +
                         "a.dat\" is not the one release 2 lists: its bytes differ. The old file was kept.",
                     "", "Press any key to continue..."}));
    EXPECT_EQ(m_dir.Read("a.dat"), "a of release 1");
    EXPECT_FALSE(FileExists(m_dir / "a.dat.~vt"));
    EXPECT_FALSE(m_dir.Exists("setup.ok"));
    EXPECT_EQ(Taken(), Record(1));
}

TEST_F(ReleaseRun, FilesCopiedWithoutPublishingLeaveTheWorkstationAtItsRelease)
{
    Publish();
    ASSERT_EQ(Run().ExitCode, 0u);
    DeleteFileA((m_dir / "launched.txt").c_str());
    const std::string release = "Release 1 at \"" + m_share.Path() + "\" is not complete yet: ";
    struct Case {
        std::function<void()> Copy;
        std::string Part;
        std::function<void()> Undo;
    };
    const Case cases[] = {
        {[this] { Put("a.dat", "a of release 2, longer", 2); }, "\"a.dat\" differs from its entry in size",
         [this] { Put("a.dat", "a of release 1", 1); }},
        {[this] { Put("b.dat", "b of release 2", 2); }, "\"b.dat\" differs from its entry in its last-write time",
         [this] { Put("b.dat", "b of release 1", 1); }},
        {[this] { Put("c.dat", "new", 2); }, "\"c.dat\" is not listed in it",
         [this] { DeleteFileA((m_share / "c.dat").c_str()); }},
        {[this] { DeleteFileA((m_share / "b.dat").c_str()); }, "\"b.dat\", listed in it, is not there",
         [this] { Put("b.dat", "b of release 1", 1); }},
    };
    for (const Case& c : cases) {
        c.Copy();
        RunResult run = Run();
        EXPECT_EQ(run.ExitCode, 4u) << run.Output;
        EXPECT_EQ(run.Lines(), (Lines{run.Lines()[0], run.Lines()[1], "=> Initialization...",
                                      release + c.Part + ". Nothing is updated this time.",
                                      Ok("=> Loading launch_probe.exe...")}))
            << run.Output;
        EXPECT_TRUE(Launched()) << c.Part;
        DeleteFileA((m_dir / "launched.txt").c_str());
        EXPECT_EQ(m_dir.Read("a.dat"), "a of release 1");
        EXPECT_EQ(m_dir.Read("b.dat"), "b of release 1");
        EXPECT_FALSE(m_dir.Exists("setup.ok"));
        c.Undo();
    }
    std::string log = m_dir.Read("run.log");
    EXPECT_NE(log.find(release + "\"c.dat\" is not listed in it. Nothing is updated this time.\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("==== exit code 4, "), std::string::npos) << log;

    // A plan says so and ends with the same code; its JSON carries it.
    Put("c.dat", "new", 2);
    RunResult plan = Program("--plan setup.ini");
    EXPECT_EQ(plan.ExitCode, 4u) << plan.Output;
    EXPECT_TRUE(plan.HasLine("Source \"" + m_share.Path() + "\" holds release 1, published " +
                             ReadableUtc(ReadRelease(m_share.Path(), nullptr).Published) + ", not signed."))
        << plan.Output;
    EXPECT_TRUE(plan.HasLine("This workstation took release 1 last.")) << plan.Output;
    EXPECT_TRUE(plan.HasLine(release + "\"c.dat\" is not listed in it. Nothing is updated this time."));
    RunResult json = Program("--plan --format json setup.ini");
    EXPECT_EQ(json.ExitCode, 4u);
    EXPECT_NE(json.Output.find("\"workstation_release\": 1,\n      \"outcome\": \"not_updated\","), std::string::npos)
        << json.Output;
    EXPECT_EQ(Taken(), Record(1));
}

TEST_F(ReleaseRun, AWorkstationWithAKeyTakesOnlyWhatItsKeySigned)
{
    ASSERT_EQ(Program("--new-key admin.key").ExitCode, 0u);
    ASSERT_EQ(Program("--new-key other.key").ExitCode, 0u);
    CopyFileA((m_dir / "admin.key.pub").c_str(), (m_dir / "vantorel.pub").c_str(), FALSE);
    TEcPublicKey key{};
    std::string problem;
    ASSERT_TRUE(ReadPublicKeyFile(m_dir / "vantorel.pub", key, problem)) << problem;
    const std::string manifest = m_share.Path() + ReleaseFileName;
    const std::string required = "this workstation takes only releases signed with key " + KeyId(key) + " (vantorel.pub)";
    auto refused = [&](const std::function<void()>& prepare, const std::string& error) {
        prepare();
        RunResult run = Run();
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        EXPECT_EQ(run.Lines(), (Lines{run.Lines()[0], run.Lines()[1], "=> Initialization...",
                                      Failed("    -> vantorel.release..."), "", "ERROR: " + error, "",
                                      "Press any key to continue..."}))
            << run.Output;
        EXPECT_FALSE(m_dir.Exists("a.dat"));
        EXPECT_FALSE(m_dir.Exists("setup.ok") || m_dir.Exists("setup.taken"));
        EXPECT_FALSE(Launched());
    };
    refused([] {}, "The source \"" + m_share.Path() + "\" holds no release manifest, and " + required);
    refused([this] { Publish(); }, "Release manifest \"" + manifest + "\" is not signed; " + required);
    TEcPublicKey other{};
    ASSERT_TRUE(ReadPublicKeyFile(m_dir / "other.key.pub", other, problem));
    refused([this] { Publish("other.key"); }, "Release manifest \"" + manifest + "\" is signed with key " +
                                                  KeyId(other) + ", not with the key of vantorel.pub (" + KeyId(key) + ")");
    refused(
        [&] {
            Publish("admin.key");
            std::string bytes = ReadFileBytes(manifest);
            bytes[bytes.find(" a.dat\r\n") - 1] ^= 1;  // the last digit of its hash
            WriteFileBytes(manifest, bytes);
        },
        "Release manifest \"" + manifest + "\" was changed after it was signed");

    Publish("admin.key");
    RunResult plan = Program("--plan setup.ini");
    EXPECT_TRUE(plan.HasLine("This workstation takes only releases signed with key " + KeyId(key) + " (vantorel.pub)."))
        << plan.Output;
    RunResult good = Run();
    EXPECT_EQ(good.ExitCode, 0u) << good.Output;
    EXPECT_EQ(m_dir.Read("a.dat"), "a of release 1");
    EXPECT_EQ(Taken(), Record(4));
}

TEST_F(ReleaseRun, TheWorkstationKeyIsNeverTakenFromTheShare)
{
    ASSERT_EQ(Program("--new-key admin.key").ExitCode, 0u);
    ASSERT_EQ(Program("--new-key other.key").ExitCode, 0u);
    CopyFileA((m_dir / "admin.key.pub").c_str(), (m_dir / "vantorel.pub").c_str(), FALSE);
    const std::string key = m_dir.Read("vantorel.pub");
    // A signed release that carries another key, and a script that names it
    // every way a file could reach the program's directory.
    CopyFileA((m_dir / "other.key.pub").c_str(), (m_share / "vantorel.pub").c_str(), FALSE);
    Script("[Update]\r\nFile1=vantorel.pub\r\nFile2=*.pub\r\nFile3=a.dat\r\nFile4=a.dat\r\nFile4RenameTo=vantorel.pub\r\n"
           "[Delete]\r\nFile1=*.pub\r\n",
           "Language=.pub\r\n");
    Publish("admin.key");
    RunResult run = Run();
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(m_dir.Read("vantorel.pub"), key);
    EXPECT_FALSE(m_dir.Exists("_vantorel.pub") || m_dir.Exists("_vantorel.exe"));
    EXPECT_EQ(m_dir.Read("a.dat"), "a of release 1");
    EXPECT_EQ(Taken(), Record(1));
}

}  // namespace
