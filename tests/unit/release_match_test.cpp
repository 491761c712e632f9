// Holding a directory to its manifest: which files count, where the two part,
// and the workstation's record of the release it took.
#include <gtest/gtest.h>

#include "core/dir_listing.h"
#include "harness.h"
#include "release/release_match.h"
#include "release/taken_release.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

constexpr uint64_t Stamp = 133599911811234567ull;

TRelease Release(const std::vector<std::pair<std::string, int64_t>>& files)
{
    TRelease release;
    release.Number = 3;
    for (const auto& [name, size] : files) {
        TReleaseEntry entry;
        entry.Name = name;
        entry.Size = size;
        entry.WriteTime = TicksFileTime(Stamp);
        release.Entries.push_back(entry);
    }
    // Read back, so that the index is the one a run reads.
    return ParseManifest(FormatManifest(release));
}

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

TEST(ReleaseMatch, OnlyTheFilesPublishListsCount)
{
    EXPECT_TRUE(IsReleaseFile("ledger.exe", FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(IsReleaseFile("read only.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(IsReleaseFile("sub", FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(IsReleaseFile("..", FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(IsReleaseFile("desktop.ini", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(IsReleaseFile(".hidden", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(IsReleaseFile("VANTOREL.RELEASE", FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(IsReleaseFile("vantorel.release.new", FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(IsReleaseFile("aux.dat", FILE_ATTRIBUTE_ARCHIVE));
}

TEST(ReleaseMatch, EveryReleaseFileMustBeItsEntryAndEveryEntryItsFile)
{
    TRelease release = Release({{"ledger.exe", 100}, {"Report.dll", 20}, {"my notes.txt", 0}});
    std::vector<TSourceFile> whole = {File(".", 0, 0, FILE_ATTRIBUTE_DIRECTORY), File("ledger.exe", 100),
                                      File("REPORT.DLL", 20), File("my notes.txt", 0), File("vantorel.release", 900),
                                      File("thumbs.db", 5, 1, FILE_ATTRIBUTE_HIDDEN), File("sub", 0, 0, FILE_ATTRIBUTE_DIRECTORY)};
    EXPECT_EQ(Describe(MatchRelease(release, whole, SIZE_MAX)), "");

    // Copying under way: one file grown, one rewritten in place (a tick
    // later), one new; one of the release not there yet, another hidden.
    std::vector<TSourceFile> copying = {File("ledger.exe", 101), File("new.dll", 7), File("Report.dll", 20, Stamp + 1),
                                        File("my notes.txt", 0, Stamp, FILE_ATTRIBUTE_HIDDEN)};
    EXPECT_EQ(Describe(MatchRelease(release, copying, SIZE_MAX)),
              "size ledger.exe, unlisted new.dll, time Report.dll, missing my notes.txt");
    EXPECT_EQ(Describe(MatchRelease(release, copying, 1)), "size ledger.exe");
    EXPECT_EQ(Describe(MatchRelease(release, {}, SIZE_MAX)), "missing ledger.exe, missing Report.dll, missing my notes.txt");
}

TEST(ReleaseMatch, ListingByWideNamesGivesWhatTheSystemHas)
{
    TempDir dir;
    WriteFileBytes(dir / "a.txt", "abc");
    CreateDirectoryA((dir / "sub").c_str(), nullptr);
    std::vector<TSourceFile> files;
    ASSERT_EQ(ListSourceFiles(dir.Path(), files), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(files.size(), 2u);
    const TSourceFile& a = files[0].Name == "a.txt" ? files[0] : files[1];
    EXPECT_EQ(a.Name, "a.txt");
    EXPECT_EQ(a.Folded, L"A.TXT");
    EXPECT_EQ(a.Size, 3);
    EXPECT_NE(ListSourceFiles(dir / "missing\\", files), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(TakenRelease, RecordIsWrittenWholeAndReadBack)
{
    RunStateScope scope;
    EXPECT_EQ(TakenReleasePath("C:\\app\\", "ledger.ini"), "C:\\app\\ledger.taken");
    EXPECT_EQ(TakenReleasePath("C:\\app\\", "setup"), "C:\\app\\setup.taken");
    EXPECT_EQ(TakenReleasePath("C:\\app\\", "two.dots.ini"), "C:\\app\\two.dots.taken");

    TempDir dir;
    std::string path = dir / "ledger.taken";
    uint64_t number = 0;
    std::string problem;
    EXPECT_EQ(ReadTakenRelease(path, number, problem), TTakenRead::None);
    ASSERT_TRUE(WriteTakenRelease(path, 8));
    EXPECT_EQ(ReadFileBytes(path), "Vantorel release taken 1\r\nrelease 8\r\n");
    ASSERT_TRUE(WriteTakenRelease(path, 999999999999999ull));
    EXPECT_EQ(ReadTakenRelease(path, number, problem), TTakenRead::Read);
    EXPECT_EQ(number, 999999999999999ull);
    EXPECT_FALSE(FileExists(path + ".new"));
}

TEST(TakenRelease, AnythingButARecordIsDamaged)
{
    TempDir dir;
    std::string path = dir / "ledger.taken";
    for (const char* text : {"", "garbage", "Vantorel release taken 1\r\n", "Vantorel release taken 1\r\nrelease 0\r\n",
                             "Vantorel release taken 1\r\nrelease 08\r\n", "Vantorel release taken 1\r\nrelease -1\r\n",
                             "Vantorel release taken 1\r\nrelease 1000000000000000\r\n",
                             "Vantorel release taken 2\r\nrelease 8\r\n"}) {
        WriteFileBytes(path, text);
        uint64_t number = 0;
        std::string problem;
        EXPECT_EQ(ReadTakenRelease(path, number, problem), TTakenRead::Damaged) << text;
        EXPECT_EQ(problem, "The record of the release this workstation took last, \"" + path +
                               "\", is damaged. Remove it to take any release again.");
    }
    WriteFileBytes(path, std::string(5000, 'x'));
    uint64_t number = 0;
    std::string problem;
    EXPECT_EQ(ReadTakenRelease(path, number, problem), TTakenRead::Damaged);
}

}  // namespace
