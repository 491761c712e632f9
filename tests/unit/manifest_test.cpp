// The release manifest: its text, reading it back, looking files up, and
// what a damaged, hostile or re-signed manifest reads as.
#include <gtest/gtest.h>

#include "release/manifest.h"
#include "release/release_read.h"

namespace {

TReleaseEntry Entry(const std::string& name, int64_t size, uint64_t ticks, const std::string& version, uint8_t fill)
{
    TReleaseEntry entry;
    entry.Name = name;
    entry.Size = size;
    entry.WriteTime = TicksFileTime(ticks);
    entry.Version = version;
    entry.Sha256.fill(fill);
    return entry;
}

TRelease Sample()
{
    TRelease release;
    release.Number = 7;
    release.Published = TicksFileTime(133599911810000000ull);
    release.Entries = {Entry("ledger.exe", 10240, 133599911811234567ull, "1.2.3.4", 0x9f),
                       Entry("my notes.txt", 0, 1, "", 0x00),
                       Entry("\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.dat", 9223372036854775807ll, 5, "65535.0", 0xab)};
    return release;
}

std::string SampleText()
{
    return FormatManifest(Sample());
}

TEST(Manifest, WrittenTextReadsBackWithEveryField)
{
    std::string text = SampleText();
    EXPECT_NE(text.find("\r\nfile 10240 133599911811234567 1.2.3.4 " + HexText(Sample().Entries[0].Sha256) +
                        " ledger.exe\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\npublished 133599911810000000 2024-05-12 12:39:41 UTC\r\n"), std::string::npos) << text;
    TRelease read = ParseManifest(text);
    ASSERT_EQ(read.Status, TReleaseStatus::Unsigned) << read.Problem;
    EXPECT_EQ(read.Number, 7u);
    EXPECT_EQ(FileTimeTicks(read.Published), 133599911810000000ull);
    ASSERT_EQ(read.Entries.size(), 3u);
    TRelease sample = Sample();
    for (size_t i = 0; i < 3; ++i) {
        const TReleaseEntry& want = sample.Entries[i];
        EXPECT_EQ(read.Entries[i].Name, want.Name);
        EXPECT_EQ(read.Entries[i].Size, want.Size);
        EXPECT_EQ(FileTimeTicks(read.Entries[i].WriteTime), FileTimeTicks(want.WriteTime));
        EXPECT_EQ(read.Entries[i].Version, want.Version);
        EXPECT_EQ(read.Entries[i].Sha256, want.Sha256);
    }
    EXPECT_FALSE(read.Signed);
}

TEST(Manifest, EntriesAreFoundWithoutRegardToCaseAndHeldToTheListing)
{
    TRelease read = ParseManifest(SampleText());
    ASSERT_EQ(read.Status, TReleaseStatus::Unsigned) << read.Problem;
    EXPECT_EQ(FindReleaseEntry(read, "LEDGER.exe"), &read.Entries[0]);
    EXPECT_EQ(FindReleaseEntry(read, "My Notes.TXT"), &read.Entries[1]);
    EXPECT_EQ(FindReleaseEntry(read, "ledger.ex"), nullptr);
    EXPECT_EQ(FindReleaseEntryUtf8(read, "\xD0\xBE\xD0\xA2\xD0\xA7\xD0\x81\xD0\xA2.DAT"), &read.Entries[2]);  // оТЧЁТ.DAT

    const TReleaseEntry& entry = read.Entries[0];
    EXPECT_EQ(CompareWithListing(entry, 10240, TicksFileTime(133599911811234567ull)), TListingMatch::Same);
    EXPECT_EQ(CompareWithListing(entry, 10241, TicksFileTime(133599911811234567ull)), TListingMatch::SizeDiffers);
    // One tick off is another file: a copy under way keeps no time exactly.
    EXPECT_EQ(CompareWithListing(entry, 10240, TicksFileTime(133599911811234568ull)), TListingMatch::TimeDiffers);
}

TEST(Manifest, EveryCutOfAManifestIsMalformed)
{
    std::string text = SampleText();
    for (size_t length = 0; length < text.size(); ++length) {
        TRelease read = ParseManifest(text.substr(0, length));
        EXPECT_EQ(read.Status, TReleaseStatus::Malformed) << length;
        EXPECT_FALSE(read.Problem.empty()) << length;
    }
}

TEST(Manifest, HostileManifestsGiveAClearStatus)
{
    const std::string text = SampleText();
    auto replaced = [&text](const std::string& from, const std::string& to) {
        std::string changed = text;
        size_t at = changed.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return changed.replace(at, from.size(), to);
    };
    const std::string ledger = "file 10240 133599911811234567 1.2.3.4 " + HexText(Sample().Entries[0].Sha256) + " ";
    struct Case {
        std::string Bytes;
        std::string Problem;
    } cases[] = {
        {std::string(MaxManifestBytes + 1, 'x'), "it is larger than 33554432 bytes"},
        {std::string("MZ\x90\0\x03\0\0\0", 8), "line 1 holds bytes that are not text"},
        {replaced("release 7", "release 0"), "line 3: expected \"release <number>\""},
        {replaced("release 7", "release 1000000000000000"), "line 3: expected \"release <number>\""},
        {replaced("release 7", "release 99999999999999999999999"), "line 3: expected \"release <number>\""},
        {replaced("release 7", "release 07"), "line 3: expected \"release <number>\""},
        {replaced("release 7", "release -7"), "line 3: expected \"release <number>\""},
        {replaced("files 3", "files 4"), "it lists 3 files, not the 4 it says"},
        {replaced("file 0 1 -", "file 0 1 1.2.3.4.5"), "line 7: expected \"file <size> <time> <version> <SHA-256> <name>\""},
        {replaced("file 10240 ", "file 9223372036854775808 "), "line 6: expected \"file <size> <time> <version> <SHA-256> <name>\""},
        {replaced(" ledger.exe", " ..\\system32\\ledger.exe"), "line 6: expected \"file <size> <time> <version> <SHA-256> <name>\""},
        {replaced(" ledger.exe", " ledger.exe "), "line 6: expected \"file <size> <time> <version> <SHA-256> <name>\""},
        {replaced(" my notes.txt", " LEDGER.EXE"), "line 7: a second entry for \"LEDGER.EXE\""},
        {replaced(" ledger.exe", " ledger\xC0.exe"), "line 6: expected \"file <size> <time> <version> <SHA-256> <name>\""},
        {replaced("ledger.exe", std::string("led\0ger.exe", 10)), "line 6 holds bytes that are not text"},
        {text + "end\r\n", "line 10: expected \"key <public key>\""},
        {text + "key " + std::string(128, '0') + "\r\n", "line 11: expected \"signature <signature>\""},
        {text.substr(0, text.size() - 2), "it is cut off: its last line is incomplete or \"end\" is missing"},
        {replaced("end\r\n", ""), "it is cut off: its last line is incomplete or \"end\" is missing"},
    };
    for (const Case& c : cases) {
        TRelease read = ParseManifest(c.Bytes);
        EXPECT_EQ(read.Status, TReleaseStatus::Malformed) << c.Problem;
        EXPECT_EQ(read.Problem, c.Problem) << c.Bytes.substr(0, 300);
    }
    // What an editor may do to an unsigned manifest is read as it was meant.
    TRelease edited = ParseManifest("\xEF\xBB\xBF" + replaced("\r\nrelease", "\n; checked by J.S.\n\nrelease"));
    EXPECT_EQ(edited.Status, TReleaseStatus::Unsigned) << edited.Problem;
    EXPECT_EQ(edited.Entries.size(), 3u);
}

TEST(Manifest, SignedManifestIsToldFromAlteredForeignAndUnsigned)
{
    TEcKeyPair pair;
    TEcKeyPair other;
    std::string problem;
    ASSERT_TRUE(MakeEcKeyPair(pair, problem)) << problem;
    ASSERT_TRUE(MakeEcKeyPair(other, problem)) << problem;
    TRelease release = Sample();
    release.Signed = true;
    release.SignedBy = pair.Public;
    std::string text = FormatManifest(release);
    ASSERT_TRUE(SignManifest(text, pair, problem)) << problem;

    TRelease good = CheckRelease(text, &pair.Public);
    EXPECT_EQ(good.Status, TReleaseStatus::Good) << good.Problem;
    EXPECT_TRUE(ReleaseAccepted(good, true));
    EXPECT_EQ(good.Entries.size(), 3u);
    EXPECT_EQ(CheckRelease(text, nullptr).Status, TReleaseStatus::Good);  // a workstation without a key
    EXPECT_EQ(CheckRelease(text, &other.Public).Status, TReleaseStatus::ForeignKey);

    // One byte changed anywhere before the signature: never Good.
    for (size_t at = 0; at < good.SignedLength; at += 7) {
        std::string altered = text;
        altered[at] = altered[at] == '7' ? '8' : '7';
        TReleaseStatus status = CheckRelease(altered, &pair.Public).Status;
        EXPECT_TRUE(status == TReleaseStatus::Altered || status == TReleaseStatus::Malformed ||
                    status == TReleaseStatus::ForeignKey)
            << at;
    }
    std::string altered = text;
    altered[altered.find("my notes") + 3] = 'N';
    EXPECT_EQ(CheckRelease(altered, &pair.Public).Status, TReleaseStatus::Altered);
    EXPECT_NE(DescribeRelease(CheckRelease(altered, &pair.Public), "S:\\vantorel.release", &pair.Public)
                  .find("was changed after it was signed"),
              std::string::npos);

    // The same release signed by another key, and not signed at all.
    release.SignedBy = other.Public;
    std::string foreign = FormatManifest(release);
    ASSERT_TRUE(SignManifest(foreign, other, problem)) << problem;
    TRelease byOther = CheckRelease(foreign, &pair.Public);
    EXPECT_EQ(byOther.Status, TReleaseStatus::ForeignKey);
    EXPECT_EQ(DescribeRelease(byOther, "S:\\vantorel.release", &pair.Public),
              "Release manifest \"S:\\vantorel.release\" is signed with key " + HexText(other.Public.data(), 8) +
                  ", not with the key of vantorel.pub (" + HexText(pair.Public.data(), 8) + ")");
    TRelease unsigned_ = CheckRelease(SampleText(), &pair.Public);
    EXPECT_EQ(unsigned_.Status, TReleaseStatus::Unsigned);
    EXPECT_FALSE(ReleaseAccepted(unsigned_, true));
    EXPECT_TRUE(ReleaseAccepted(unsigned_, false));

    // A key file whose public half is another key's signs nothing.
    TEcKeyPair mixed = pair;
    mixed.Public = other.Public;
    std::string mixedText = SampleText();
    EXPECT_FALSE(SignManifest(mixedText, mixed, problem));
    EXPECT_EQ(problem, "the public and the private key in the key file do not belong together");
}

}  // namespace
