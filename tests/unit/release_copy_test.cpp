// A copy held to a release's digest brings only the bytes it stands for, and
// the workstation's public key is never taken from a source.
#include <gtest/gtest.h>

#include "actions/file_copy.h"
#include "actions/file_decision.h"
#include "actions/file_update.h"
#include "core/run_state.h"
#include "file_support.h"
#include "harness.h"
#include "machine/live_machine.h"
#include "release/manifest.h"
#include "run/file_items.h"
#include "run/run_steps.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

TSha256Digest Digest(const std::string& bytes)
{
    TSha256Digest digest{};
    std::string problem;
    EXPECT_TRUE(Sha256Of(bytes.data(), bytes.size(), digest, problem)) << problem;
    return digest;
}

class ReleaseCopyTest : public RunStateTest {
protected:
    void SetUp() override
    {
        ::Run.ExeDir = m_app.Path();
        ::Run.ExeName = "prog.exe";
        ::Run.ScriptName = "setup.ini";
        ::Run.SourceDir = m_share.Path();
    }
    std::string App(const std::string& name) const { return m_app / name; }
    std::string Share(const std::string& name) const { return m_share / name; }
    static void Put(const std::string& path, const std::string& bytes, int day)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day));
        ::Run.Listings.reset();
    }

    TempDir m_app;
    TempDir m_share;
};

TEST_F(ReleaseCopyTest, BytesOtherThanTheManifestListsNeverTakeTheTargetsPlace)
{
    Put(Share("a.dll"), "released bytes", 2);
    Put(App("a.dll"), "old", 1);
    TSourceFacts facts;
    facts.Hashed = true;
    facts.Sha256 = Digest("other bytes!!!");
    TFileResult refused = CopyWhole(Share("a.dll"), App("a.dll"), facts);
    EXPECT_EQ(refused.Problem, TCopyProblem::BytesDiffer);
    EXPECT_EQ(ReadFileBytes(App("a.dll")), "old");
    EXPECT_FALSE(FileExists(PartialCopyPath(App("a.dll"))));
    facts.Sha256 = Digest("released bytes");
    EXPECT_TRUE(CopyWhole(Share("a.dll"), App("a.dll"), facts).Ok);
    EXPECT_EQ(ReadFileBytes(App("a.dll")), "released bytes");
    // More than one chunk of the copy's reads.
    std::string large(3u << 20, 'x');
    large[2u << 20] = 'y';
    Put(Share("large.bin"), large, 2);
    facts.Sha256 = Digest(large);
    EXPECT_TRUE(CopyWhole(Share("large.bin"), App("large.bin"), facts).Ok);
    EXPECT_EQ(ReadFileBytes(App("large.bin")), large);
}

TEST_F(ReleaseCopyTest, AHeldReleaseGivesTheSourcesVersion)
{
    std::string library = ReadFileBytes(FixturePath("ver_1_2_3_4.dll"));
    Put(App("lib.dll"), library, 1);
    Put(Share("lib.dll"), library, 2);
    TFileFlags flags = ParseFileFlags("check_version not_check_datetime");
    TListedFile match{"lib.dll", static_cast<int64_t>(library.size()), {}, FILE_ATTRIBUTE_ARCHIVE};
    TLiveMachine machine;
    EXPECT_FALSE(DecideCopy(match, Share("lib.dll"), App("lib.dll"), flags, machine).Copy);
    TRelease release;
    release.Number = 2;
    release.Entries.push_back({"LIB.DLL", match.Size, {}, "9.0.0.0", {}});
    machine.HoldToRelease(::Run.SourceDir, std::make_shared<TRelease>(ParseManifest(FormatManifest(release))));
    TCopyDecision decision = DecideCopy(match, Share("lib.dll"), App("lib.dll"), flags, machine);
    EXPECT_TRUE(decision.Copy);
    EXPECT_EQ(decision.Reason.SourceVersion, "9.0.0.0");
}

TEST_F(ReleaseCopyTest, TheWorkstationKeyIsNeverCopiedOverDeletedOrRenamed)
{
    Put(App("vantorel.pub"), "the workstation's key", 1);
    Put(Share("vantorel.pub"), "a key from the share", 2);
    EXPECT_TRUE(IsWorkstationKey(App("vantorel.pub")));
    EXPECT_TRUE(IsWorkstationKey(App("VANTOREL.PUB")));
    EXPECT_TRUE(IsWorkstationKey(ShortPathOf(App("vantorel.pub"))));
    EXPECT_TRUE(IsWorkstationKey(App("sub\\..\\vantorel.pub")));
    EXPECT_FALSE(IsWorkstationKey(Share("vantorel.pub")));
    EXPECT_FALSE(IsWorkstationKey(App("vantorel.pub.old")));

    TRunSteps steps;
    EXPECT_TRUE(::UpdateFile("vantorel.pub", "", Update, steps));
    EXPECT_TRUE(::UpdateFile("*.pub", "", Insert, steps));
    // As the language file a self-update would bring.
    ::Run.LanguageName = "vantorel.pub";
    EXPECT_TRUE(::UpdateFile("vantorel.pub", "", Update, steps));
    EXPECT_FALSE(::Run.SelfReplaced);
    EXPECT_FALSE(FileExists(App("_vantorel.pub")));
    EXPECT_TRUE(::UpdateFile("*.pub", "", Delete, steps));
    Put(App("other.pub"), "x", 1);
    EXPECT_TRUE(RenameFile({App("vantorel.pub"), App("kept.pub"), "vantorel.pub", "kept.pub"}, steps));
    EXPECT_TRUE(RenameFile({App("other.pub"), App("vantorel.pub"), "other.pub", "vantorel.pub"}, steps));
    EXPECT_EQ(ReadFileBytes(App("vantorel.pub")), "the workstation's key");
    EXPECT_TRUE(FileExists(App("other.pub")));
}

}  // namespace
