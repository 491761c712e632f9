#include <gtest/gtest.h>

#include "harness.h"
#include "report/log_reader.h"

using namespace testing_support;

namespace {

struct Collected : TBlockSink {
    std::vector<TLogBlock> Blocks;
    std::vector<std::pair<TUnreadableKind, uint64_t>> Unreadable;
    void OnBlock(const TLogBlock& block) override { Blocks.push_back(block); }
    void OnUnreadable(const TUnreadable& place) override { Unreadable.push_back({place.Kind, place.Line}); }
};

// The text fed in pieces of `piece` bytes (0: at once), as a file is read.
Collected Read(const std::string& text, size_t piece = 0,
               const std::vector<TLogLanguage>& languages = LoadLogLanguages())
{
    Collected sink;
    TLogParser parser(languages, sink);
    for (size_t at = 0; at < text.size(); at += piece == 0 ? text.size() : piece)
        parser.Feed(text.data() + at, std::min(text.size() - at, piece == 0 ? text.size() : piece));
    parser.Finish();
    return sink;
}

std::string Step(const std::string& text, const std::string& word)
{
    return text + std::string(text.size() < 44 ? 44 - text.size() : 0, ' ') + word;
}

const std::string Failed = "==== 2024-05-14 08:59:41  computer WS042  user j smith  Vantorel 1.5  script my ledger.ini"
                           "  release 42  shard 7  first run\r\n" +
                           Step("    -> ledger.exe...", "OK") + "\r\n   registry keys:\r\n    -> HKLM\\Software\\Acme...\r\n" +
                           Step("       value \"Port\"", "FAILED") + "\r\n\r\nERROR: Access denied\r\n"
                           "==== exit code 2, 1.3 s\r\n";
const std::string Restart = "==== 2024-05-14 09:00:00  computer WS7  user u  Vantorel 1.4  script a.ini  first run\r\n"
                            "=> Repeating of Vantorel loading...\r\n" + Step("", "OK") + "\r\n==== exit code 0, 0.2 s\r\n"
                            "==== 2024-05-14 09:00:01  computer WS7  user u  Vantorel 1.5  script a.ini  restarted copy\n"
                            "=> Initialization...\n" + Step("    -> " + std::string(50, 'n') + ".dll...", "") + "\n" +
                            Step("", "FAILED") + "\n\nERROR: System Error.  Code: 3.\nPath not found\n"
                            "==== ended while waiting for a key (Ctrl-C), 5.2 s";

TEST(LogReader, BlocksReadTheSameWhateverThePiecesTheyArriveIn)
{
    for (size_t piece : {0, 1, 7, 100}) {
        Collected read = Read(Failed + Restart, piece);
        ASSERT_EQ(read.Blocks.size(), 3u) << piece;
        EXPECT_TRUE(read.Unreadable.empty()) << piece;
        const TLogBlock& failed = read.Blocks[0];
        EXPECT_EQ(failed.Header.Stamp, "2024-05-14 08:59:41");
        EXPECT_EQ(failed.Header.User, "j smith");
        EXPECT_EQ(failed.Header.Script, "my ledger.ini");
        EXPECT_EQ(failed.Header.Release, "42");
        EXPECT_EQ(failed.FailedStep, "HKLM\\Software\\Acme: value \"Port\"");
        EXPECT_EQ(failed.Error, "Access denied");
        EXPECT_EQ(failed.Footer.ExitCode, 2);
        EXPECT_TRUE(read.Blocks[1].Restarting);
        const TLogBlock& copy = read.Blocks[2];
        EXPECT_EQ(copy.Header.Instance, TLogInstance::RestartedCopy);
        EXPECT_EQ(copy.Line, 13u);
        EXPECT_EQ(copy.FailedStep, std::string(50, 'n') + ".dll") << "the status word on a line of its own";
        EXPECT_EQ(copy.Error, "System Error.  Code: 3. Path not found");
        EXPECT_TRUE(copy.Footer.Interrupted);
        EXPECT_EQ(copy.Footer.Reason, "Ctrl-C");
    }
}

TEST(LogReader, WhatIsNoBlockIsCountedWhereItIsAndReadingGoesOn)
{
    const std::string older = "==== 2019-01-01 10:00:00  computer WS1  Vantorel 1.0  script a.ini  first run\r\n"
                              "text\r\n==== exit code 0, 1.0 s\r\n";
    const std::string badDate = "==== 2024-02-30 10:00:00  computer WS1  user u  Vantorel 1.5  script a.ini  plan\r\n";
    const std::string cp866 = "==== 2024-05-14 08:59:41  \xAA\xAE\xAC\xAF\xEC\xEE\xE2\xA5\xE0 WS1  user u  "
                              "Vantorel 1.5  script a.ini  first run\r\n==== exit code 0, 1.0 s\r\n";
    const std::string text = "stray text\r\nmore\r\n" +                       // 1: outside any block
                             Failed.substr(0, 150) + "\r\n" +                  // 3: cut off by the next header
                             older +                                           // 5: another format, its end included
                             "==== exit code 0, 1.0 s\r\n" +                   // 8: an end alone
                             badDate +                                         // 9: no real date
                             Failed.substr(0, 120) + std::string(5, '\0') +    // 10: garbage, then a header glued on
                             Failed + cp866 +                                  // 18: another code page
                             Failed.substr(0, 200) + std::string(20000, 'x') + "\r\n==== exit code 2, 1 s\r\n" +
                             Failed.substr(0, 150);                            // 20: a line too long; 25: cut off
    using K = TUnreadableKind;
    std::vector<std::pair<K, uint64_t>> expected = {{K::Stray, 1},          {K::CutOff, 3},         {K::NotUnderstood, 5},
                                                    {K::FooterAlone, 8},    {K::NotUnderstood, 9},  {K::NotUnderstood, 18},
                                                    {K::Garbage, 20},       {K::CutOff, 25}};
    for (size_t piece : {3, 4096}) {
        Collected read = Read(text, piece);
        ASSERT_EQ(read.Blocks.size(), 1u) << piece;
        EXPECT_EQ(read.Blocks[0].Line, 10u);
        EXPECT_EQ(read.Unreadable, expected) << piece;
    }
}

TEST(LogReader, AHeaderIsReadInTheTableInForceAndInEnglish)
{
    std::vector<TLogLanguage> languages = LoadLogLanguages();
    ASSERT_EQ(languages.size(), 1u) << "no language file: one table";
    TLogLanguage russian = languages[0];
    russian.HeaderParts = {"==== ", "  \xEA\xEE\xEC\xEF\xFC\xFE\xF2\xE5\xF0 ", "  user ", "  Vantorel ", "  script ", "  ", ""};
    russian.Instances[0] = "\xEF\xE5\xF0\xE2\xFB\xE9 \xE7\xE0\xEF\xF3\xF1\xEA";
    russian.FooterParts = {"==== \xEA\xEE\xE4 ", ", ", " \xF1"};
    russian.FailedWord = "\xCE\xD8\xC8\xC1\xCA\xC0";
    languages.insert(languages.begin(), russian);
    Collected read = Read("==== 2024-05-14 08:59:41  \xEA\xEE\xEC\xEF\xFC\xFE\xF2\xE5\xF0 WS1  user u  Vantorel 1.5  "
                          "script a.ini  \xEF\xE5\xF0\xE2\xFB\xE9 \xE7\xE0\xEF\xF3\xF1\xEA\r\n" +
                              Step("    -> a.dll...", "\xCE\xD8\xC8\xC1\xCA\xC0") + "\r\n==== \xEA\xEE\xE4 2, 1 \xF1\r\n" +
                              Failed,
                          0, languages);
    ASSERT_EQ(read.Blocks.size(), 2u);
    EXPECT_EQ(read.Blocks[0].Header.Language, 0u);
    EXPECT_EQ(read.Blocks[0].FailedStep, "a.dll");
    EXPECT_EQ(read.Blocks[1].Header.Language, 1u);
}

TEST(LogReader, ADirectoryGivesItsLogsRotatedFirstAndADeviceIsNeverOpened)
{
    TempDir dir;
    for (const char* name : {"b.LOG", "a.log", "a.log.1", "notes.txt", "a.log.2"}) WriteFileBytes(dir / name, "");
    CreateDirectoryA((dir / "sub.log").c_str(), nullptr);
    std::vector<std::string> files;
    ASSERT_EQ(ListLogFiles(dir.Path(), files), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(files, (std::vector<std::string>{dir / "a.log.1", dir / "a.log", dir / "b.LOG"}));
    EXPECT_NE(ListLogFiles(dir / "missing", files), static_cast<DWORD>(ERROR_SUCCESS));
    Collected sink;
    EXPECT_EQ(ReadLogFile(dir / "com1.log", LoadLogLanguages(), sink), static_cast<DWORD>(ERROR_BAD_DEVICE));
}

}  // namespace
