// Holding a directory to its manifest: which files count, where the two part,
// and the workstation's record of the release it took.
#include <gtest/gtest.h>

#include "core/folded_index.h"
#include "harness.h"
#include "release/release_match.h"
#include "release/taken_release.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

constexpr uint64_t Stamp = 133599911811234567ull;

TSourceFile File(const std::string& name, int64_t size, uint64_t ticks = Stamp, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE)
{
    return {name, FoldedName(name), attributes, size, TicksFileTime(ticks)};
}

std::string Describe(const std::vector<TReleaseMismatch>& mismatches)
{
    std::string text;
    for (const TReleaseMismatch& m : mismatches) {
        const char* kind = m.Kind == TMismatchKind::Differs ? (m.How == TListingMatch::SizeDiffers ? "size" : "time")
                           : m.Kind == TMismatchKind::Unlisted ? "unlisted"
                                                               : "missing";
        text += std::string(text.empty() ? "" : ", ") + kind + " " + m.Name;
    }
    return text;
}

TEST(ReleaseMatch, EveryReleaseFileMustBeItsEntryAndEveryEntryItsFile)
{
    TRelease written;
    written.Number = 3;
    for (const auto& [name, size] : {std::pair{"ledger.exe", 100}, {"Report.dll", 20}, {"my notes.txt", 0}})
        written.Entries.push_back({name, size, TicksFileTime(Stamp), "", {}});
    TRelease release = ParseManifest(FormatManifest(written));  // the index a run reads

    // What publish leaves out is no release file: directories, hidden and
    // system files, devices' names, the manifest and its pending copy.
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN, directory = FILE_ATTRIBUTE_DIRECTORY;
    std::vector<TSourceFile> whole = {File(".", 0, 0, directory), File("ledger.exe", 100), File("REPORT.DLL", 20),
                                      File("my notes.txt", 0), File("vantorel.release", 900),
                                      File("VANTOREL.RELEASE.NEW", 9), File("thumbs.db", 5, 1, hidden),
                                      File("sub", 0, 0, directory), File("aux.dat", 3)};
    EXPECT_EQ(Describe(MatchRelease(release, whole, SIZE_MAX)), "");

    // Copying under way: one file grown, one rewritten in place (a tick
    // later), one new; one of the release hidden, as good as not there.
    std::vector<TSourceFile> copying = {File("ledger.exe", 101), File("new.dll", 7), File("Report.dll", 20, Stamp + 1),
                                        File("my notes.txt", 0, Stamp, hidden)};
    EXPECT_EQ(Describe(MatchRelease(release, copying, SIZE_MAX)),
              "size ledger.exe, unlisted new.dll, time Report.dll, missing my notes.txt");
    EXPECT_EQ(Describe(MatchRelease(release, copying, 1)), "size ledger.exe");
    EXPECT_EQ(Describe(MatchRelease(release, {}, 2)), "missing ledger.exe, missing Report.dll");
}

TEST(TakenRelease, RecordIsWrittenWholeAndAnythingElseIsDamaged)
{
    RunStateScope scope;
    EXPECT_EQ(TakenReleasePath("C:\\app\\", "ledger.ini"), "C:\\app\\ledger.taken");
    EXPECT_EQ(TakenReleasePath("C:\\app\\", "two.dots.ini"), "C:\\app\\two.dots.taken");
    TempDir dir;
    std::string path = dir / "ledger.taken";
    uint64_t number = 0;
    std::string problem;
    EXPECT_EQ(ReadTakenRelease(path, number, problem), TTakenRead::None);
    ASSERT_TRUE(WriteTakenRelease(path, 8));
    ASSERT_TRUE(WriteTakenRelease(path, 999999999999999ull));
    EXPECT_EQ(ReadFileBytes(path), "Vantorel release taken 1\r\nrelease 999999999999999\r\n");
    EXPECT_EQ(ReadTakenRelease(path, number, problem), TTakenRead::Read);
    EXPECT_EQ(number, 999999999999999ull);
    EXPECT_FALSE(FileExists(path + ".new"));

    for (std::string text : {"", "garbage", "Vantorel release taken 1\r\n", "Vantorel release taken 1\r\nrelease 0\r\n",
                             "Vantorel release taken 1\r\nrelease 08\r\n",
                             "Vantorel release taken 1\r\nrelease 1000000000000000\r\n",
                             "Vantorel release taken 2\r\nrelease 8\r\n"}) {
        WriteFileBytes(path, text);
        EXPECT_EQ(ReadTakenRelease(path, number, problem), TTakenRead::Damaged) << text;
        EXPECT_EQ(problem, "The record of the release this workstation took last, \"" + path +
                               "\", is damaged. Remove it to take any release again.");
    }
}

}  // namespace
