// Publishing a release (--publish) and making its key (--new-key): the
// manifest a workstation will read, its number, what it leaves out, a file it
// cannot read, a signed release against altered and foreign ones, and a
// publish broken off midway.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/handles.h"
#include "file_support.h"
#include "harness.h"
#include "release/manifest.h"
#include "release/release_key.h"
#include "release/release_read.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;

WIN32_FIND_DATAA Listed(const std::string& path)
{
    WIN32_FIND_DATAA data{};
    UniqueFind find(FindFirstFileA(path.c_str(), &data));
    EXPECT_TRUE(find) << path;
    return data;
}

class Publish : public ::testing::Test {
protected:
    // The share is a directory beside the program's, named relative to the
    // current directory the program is started in.
    RunResult Run(const std::string& arguments, DWORD timeoutMs = 60000)
    {
        return RunProcess("\"" + (m_program / "vantorel.exe") + "\" " + arguments, m_work.Path(), "", timeoutMs);
    }
    std::string Share() const { return m_work / "share\\"; }
    std::string Manifest() const { return ReadFileBytes(Share() + ReleaseFileName); }
    TRelease Read(const TEcPublicKey* key = nullptr) const { return ReadRelease(Share(), key); }

    void SetUp() override { CreateDirectoryA(Share().c_str(), nullptr); }

    ProgramDir m_program;
    TempDir m_work;
};

TEST_F(Publish, ListsEveryFileARunCanTakeAndCountsReleasesUp)
{
    WriteFileBytes(Share() + "a.txt", "hello\n");
    WriteFileBytes(Share() + "my notes.txt", "");
    CopyFileA(FixturePath("ver_1_2_3_4.dll").c_str(), (Share() + "Ledger.dll").c_str(), FALSE);
    WriteFileBytes(Share() + "hidden.dat", "h");
    SetFileAttributesA((Share() + "hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteFileBytes(Share() + "system.dat", "s");
    SetFileAttributesA((Share() + "system.dat").c_str(), FILE_ATTRIBUTE_SYSTEM);
    CreateDirectoryA((Share() + "sub").c_str(), nullptr);
    WriteFileBytes(Share() + "sub\\inner.txt", "i");

    RunResult first = Run("--publish share");
    ASSERT_EQ(first.ExitCode, 0u) << first.Output;
    Lines lines = first.Lines();
    ASSERT_EQ(lines.size(), 6u) << first.Output;
    EXPECT_EQ(lines[2], "=> Publishing " + Share());
    EXPECT_EQ(lines[3].rfind("Release 1 published: 3 files, " +
                                 std::to_string(6 + ReadFileBytes(FixturePath("ver_1_2_3_4.dll")).size()) + " bytes, in ",
                             0),
              0u)
        << first.Output;
    EXPECT_EQ(lines[4], "Hidden and system files left out: 2.");
    EXPECT_EQ(lines[5], "Not signed.");

    TRelease release = Read();
    ASSERT_EQ(release.Status, TReleaseStatus::Unsigned) << release.Problem;
    EXPECT_EQ(release.Number, 1u);
    ASSERT_EQ(release.Entries.size(), 3u);
    EXPECT_EQ(release.Entries[0].Name, "a.txt");
    EXPECT_EQ(HexText(release.Entries[0].Sha256), "5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03");
    EXPECT_EQ(release.Entries[0].Version, "");
    const TReleaseEntry* dll = FindReleaseEntry(release, "LEDGER.DLL");
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(dll->Name, "Ledger.dll");
    EXPECT_EQ(dll->Version, "1.2.3.4");
    WIN32_FIND_DATAA listed = Listed(Share() + "Ledger.dll");
    EXPECT_EQ(CompareWithListing(*dll, listed.nFileSizeLow, listed.ftLastWriteTime), TListingMatch::Same);
    EXPECT_EQ(release.Entries[2].Name, "my notes.txt");
    EXPECT_EQ(release.Entries[2].Size, 0);

    WriteFileBytes(Share() + "a.txt", "hello again\n");
    RunResult second = Run("--publish \"" + Share().substr(0, Share().size() - 1) + "\"");
    ASSERT_EQ(second.ExitCode, 0u) << second.Output;
    EXPECT_EQ(second.Lines()[3].rfind("Release 2 published: 3 files, ", 0), 0u) << second.Output;
    release = Read();
    EXPECT_EQ(release.Number, 2u);
    EXPECT_EQ(release.Entries[0].Size, 12);
    EXPECT_FALSE(FileExists(Share() + PendingReleaseFileName));
    // The manifest is an ordinary file of the share, not hidden like its pending copy.
    EXPECT_EQ(Listed(Share() + ReleaseFileName).dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(Publish, AFileThatCannotBeReadFailsItAndTheManifestInPlaceStaysWhole)
{
    WriteFileBytes(Share() + "a.txt", "a");
    ASSERT_EQ(Run("--publish share").ExitCode, 0u);
    std::string before = Manifest();
    WriteFileBytes(Share() + "busy.dat", "being copied");
    {
        HeldFile held(Share() + "busy.dat");
        RunResult run = Run("--publish share");
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        EXPECT_EQ(run.Lines().back(),
                  "ERROR: \"busy.dat\" cannot be read: Sharing violation. The manifest in place stays as it was.")
            << run.Output;
        EXPECT_EQ(Manifest(), before);
        EXPECT_FALSE(FileExists(Share() + PendingReleaseFileName));
    }
    RunResult again = Run("--publish share");
    EXPECT_EQ(again.ExitCode, 0u) << again.Output;
    EXPECT_EQ(Read().Number, 2u);

    RunResult missing = Run("--publish nowhere");
    EXPECT_EQ(missing.ExitCode, 2u);
    EXPECT_EQ(missing.Lines().back().rfind("ERROR: The directory \"" + m_work.Path() + "nowhere\\\" cannot be listed: ", 0),
              0u)
        << missing.Output;
}

TEST_F(Publish, SignedReleaseIsToldFromAlteredForeignAndUnsignedOnes)
{
    RunResult made = Run("--new-key admin.key");
    ASSERT_EQ(made.ExitCode, 0u) << made.Output;
    TEcPublicKey key{};
    std::string problem;
    ASSERT_TRUE(ReadPublicKeyFile(m_work / "admin.key.pub", key, problem)) << problem;
    EXPECT_EQ(made.Lines(), (Lines{made.Lines()[0], made.Lines()[1], "Key " + KeyId(key) + " made.",
                                   "  private key " + m_work.Path() + "admin.key: keep it with the administrator, never "
                                   "on the share",
                                   "  public key  " + m_work.Path() + "admin.key.pub: copy it as vantorel.pub into the "
                                   "program directory of every workstation"}));
    EXPECT_EQ(SplitLines(ReadFileBytes(m_work / "admin.key"))[0], "Vantorel release key 1: PRIVATE");
    EXPECT_EQ(SplitLines(ReadFileBytes(m_work / "admin.key.pub"))[0], "Vantorel release key 1: public");
    // The private file is no key for a workstation, the public one signs nothing.
    TEcPublicKey unused{};
    EXPECT_FALSE(ReadPublicKeyFile(m_work / "admin.key", unused, problem));

    // A key file is never written over, neither half of it.
    std::string privateBytes = ReadFileBytes(m_work / "admin.key");
    RunResult again = Run("--new-key admin.key");
    EXPECT_EQ(again.ExitCode, 2u);
    EXPECT_EQ(again.Lines().back(), "ERROR: \"" + m_work.Path() + "admin.key\" exists; a key file is never overwritten.");
    EXPECT_EQ(ReadFileBytes(m_work / "admin.key"), privateBytes);
    WriteFileBytes(m_work / "other.key.pub", "kept");
    EXPECT_EQ(Run("--new-key other.key").ExitCode, 2u);
    EXPECT_FALSE(FileExists(m_work / "other.key"));
    EXPECT_EQ(ReadFileBytes(m_work / "other.key.pub"), "kept");

    WriteFileBytes(Share() + "a.txt", "a");
    RunResult signedRun = Run("--publish share --key admin.key");
    ASSERT_EQ(signedRun.ExitCode, 0u) << signedRun.Output;
    EXPECT_EQ(signedRun.Lines().back(), "Signed with key " + KeyId(key) + ".");
    EXPECT_EQ(Read(&key).Status, TReleaseStatus::Good);

    std::string manifest = Manifest();
    std::string altered = manifest;
    altered[altered.find("a.txt") - 2] ^= 1;  // the last digit of the hash
    WriteFileBytes(Share() + ReleaseFileName, altered);
    EXPECT_EQ(Read(&key).Status, TReleaseStatus::Altered);

    ASSERT_EQ(Run("--new-key foreign.key").ExitCode, 0u);
    ASSERT_EQ(Run("--publish share --key foreign.key").ExitCode, 0u);
    EXPECT_EQ(Read(&key).Status, TReleaseStatus::ForeignKey);

    RunResult plain = Run("--publish share");
    ASSERT_EQ(plain.ExitCode, 0u) << plain.Output;
    EXPECT_EQ(plain.Lines().back(),
              "The release it replaces was signed: workstations holding vantorel.pub refuse this one.");
    TRelease unsignedRelease = Read(&key);
    EXPECT_EQ(unsignedRelease.Status, TReleaseStatus::Unsigned);
    EXPECT_EQ(unsignedRelease.Number, 3u);

    RunResult publicKey = Run("--publish share --key admin.key.pub");
    EXPECT_EQ(publicKey.ExitCode, 2u);
    EXPECT_EQ(publicKey.Lines().back(), "ERROR: Key file \"" + m_work.Path() +
                                            "admin.key.pub\": it holds only a public key; sign with the private key file");
    EXPECT_EQ(Read().Number, 3u);
}

TEST_F(Publish, APublishBrokenOffNeverLeavesAHalfManifest)
{
    WriteFileBytes(Share() + "a.txt", "a");
    ASSERT_EQ(Run("--publish share").ExitCode, 0u);
    const std::string before = Manifest();
    WriteFileBytes(Share() + "large.bin", std::string(48u << 20, 'x'));
    // Ended from outside at ever later moments (before, while and after the
    // files are read) until one gets to the end.
    for (DWORD delay : {30u, 120u, 250u, 400u, 700u, 1500u}) {
        Run("--publish share", delay);
        std::string now = Manifest();
        if (now == before) continue;
        // It got to the end: the new manifest, whole.
        TRelease release = Read();
        EXPECT_EQ(release.Status, TReleaseStatus::Unsigned) << delay << ": " << release.Problem;
        EXPECT_EQ(release.Entries.size(), 2u) << delay;
        break;
    }
    DWORD pending = GetFileAttributesA((Share() + PendingReleaseFileName).c_str());
    if (pending != INVALID_FILE_ATTRIBUTES) {
        EXPECT_NE(pending & FILE_ATTRIBUTE_HIDDEN, 0u);
    }
    // A leftover is written over by the next publish, which ends well.
    RunResult whole = Run("--publish share");
    ASSERT_EQ(whole.ExitCode, 0u) << whole.Output;
    EXPECT_EQ(Read().Entries.size(), 2u);
    EXPECT_FALSE(FileExists(Share() + PendingReleaseFileName));
}

TEST(CommandLine, PublishAndNewKeyOptions)
{
    ProgramDir dir;
    RunResult help = dir.Start("--help");
    EXPECT_TRUE(help.HasLine("  vantorel.exe --publish <directory> [--key <file>]")) << help.Output;
    EXPECT_TRUE(help.HasLine("  vantorel.exe --new-key <file>")) << help.Output;
    struct Case {
        const char* Arguments;
        std::string Problem;
    } cases[] = {
        {"--publish", "Option \"--publish\" needs a directory after it."},
        {"--new-key", "Option \"--new-key\" needs a file name after it."},
        {"--publish d --key", "Option \"--key\" needs a file name after it."},
        {"--key k s.ini", "Option \"--key\" is used only with \"--publish\"."},
        {"--publish C:\\my share", "Argument \"share\" is not read with \"--publish\"; a path with blanks needs quotes."},
        {"--publish d --log l.log", "Options \"--log\" and \"--publish\" cannot be given together."},
        {"--publish d --new-key k", "Options \"--publish\" and \"--new-key\" cannot be given together."},
        {"--check s.ini --publish d", "Options \"--check\" and \"--publish\" cannot be given together."},
    };
    for (const Case& c : cases) {
        RunResult run = dir.Start(c.Arguments);
        EXPECT_EQ(run.ExitCode, 1u) << c.Arguments;
        Lines lines = run.Lines();
        ASSERT_GE(lines.size(), 6u) << run.Output;
        EXPECT_EQ(lines[3], c.Problem) << run.Output;
        EXPECT_EQ(lines[5], "Usage:") << run.Output;
    }
}

}  // namespace
