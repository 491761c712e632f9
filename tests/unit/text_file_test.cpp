#include <gtest/gtest.h>

#include "actions/text_file.h"
#include "console_capture.h"
#include "core/errors.h"
#include "core/run_state.h"
#include "harness.h"
#include "script/constants.h"
#include "run/dispatch.h"
#include "run/run_steps.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

// Text items run in-process against a script in a temporary program directory.
class TextItemTest : public RunStateTest {
protected:
    void SetUp() override
    {
        ConstTable[SlotWinDir] = {"windir", "C:\\windows"};
        ConstTable.push_back({"empty", ""});
        ::Run.ExeDir = m_dir.Path();  // "::" because gtest fixtures have a Run() of their own
    }

    std::string Path(const std::string& name) const { return m_dir / name; }

    // Runs item 1 of section [S] with the given entry lines and gives what
    // was printed.
    std::string RunItem(const std::string& item, const std::string& entries, TSectionMode mode = Insert)
    {
        WriteFileBytes(Path("s.ini"), "[S]\r\nText1=" + item + "\r\n" + entries);
        ConsoleCapture console;
        TRunSteps steps;
        ProcessScriptItem(Path("s.ini"), "S", TItemKind::Text, 1, mode, steps);
        return console.Text();
    }

    // Runs one entry "Prefix"/"Full" on t.txt holding `before` and gives the
    // file's bytes afterwards.
    std::string Edit(const std::string& before, const std::string& prefix, const std::string& full)
    {
        WriteFileBytes(Path("t.txt"), before);
        RunItem("t.txt", "Text1Str1Prefix=" + prefix + "\r\nText1Str1Full=" + full + "\r\n");
        EXPECT_TRUE(::Run.RunOk);
        return ReadFileBytes(Path("t.txt"));
    }

    // A step line padded so that its status box starts at column 45.
    static std::string Padded(const std::string& line) { return line + std::string(44 - line.size(), ' '); }
    static std::string ValueOk(const std::string& prefix)
    {
        return Padded("       value \"" + prefix + "\"") + "[  OK  ]\r\n";
    }
    static std::string FailedWith(const std::string& message)
    {
        return "[ FAILED ]\r\n\r\nERROR: " + message + "\r\n\r\nPress any key to continue...\r\n";
    }

    TempDir m_dir;
};

TEST_F(TextItemTest, MissingFileIsCreatedAndItsLinesAreJoinedWithoutFinalLineEnd)
{
    const std::string entries =
        "Text1Str1Prefix=A=\r\nText1Str1Full=A=1\r\nText1Str2Prefix=B=\r\nText1Str2Full=B=2\r\n";
    std::string out = RunItem("t.txt", entries);
    EXPECT_TRUE(::Run.RunOk);
    EXPECT_EQ(ReadFileBytes(Path("t.txt")), "A=1\r\nB=2");
    EXPECT_EQ(out, "    -> t.txt...\r\n" + ValueOk("A=") + ValueOk("B="));

    // A second run finds both lines and neither writes nor prints a value line.
    out = RunItem("t.txt", entries);
    EXPECT_EQ(ReadFileBytes(Path("t.txt")), "A=1\r\nB=2");
    EXPECT_EQ(out, "    -> t.txt...\r\n");
}

TEST_F(TextItemTest, AppendedLineFollowsTheLastLineAsTheFileEnds)
{
    EXPECT_EQ(Edit("A\r\nB", "N=", "N=1"), "A\r\nB\r\nN=1");
    // A final line end: the last line read is B, so an empty line results.
    EXPECT_EQ(Edit("A\r\nB\r\n", "N=", "N=1"), "A\r\nB\r\n\r\nN=1");
    // A final empty line: the full line comes directly after it.
    EXPECT_EQ(Edit("A\r\n\r\n", "N=", "N=1"), "A\r\n\r\nN=1");
    EXPECT_EQ(Edit("", "N=", "N=1"), "N=1");
    EXPECT_EQ(Edit("A\n", "N=", "N=1"), "A\n\r\nN=1");
    EXPECT_EQ(Edit("A\r", "N=", "N=1"), "A\r\r\nN=1");
}

TEST_F(TextItemTest, LineEndsLoneCarriageReturnsAndCtrlZ)
{
    // Found lines leave the file alone; each case would append if misread.
    EXPECT_EQ(Edit("x\nKEY=1\ny", "KEY=", "KEY=2"), "x\nKEY=1\ny");
    EXPECT_EQ(Edit("x\r\nKEY=1", "KEY=", "KEY=2"), "x\r\nKEY=1");
    EXPECT_EQ(Edit("K\rEY=1", "KEY=", "KEY=2"), "K\rEY=1");
    EXPECT_EQ(Edit("x\x1a\r\nKEY=1", "KEY=", "KEY=2"), "x\x1a\r\nKEY=1");
    EXPECT_EQ(Edit("KEY=1\x1a", "KEY=", "KEY=2"), "KEY=1\x1a");
    // A lone CR does not end a line: "xKEY=1" does not begin with the prefix.
    EXPECT_EQ(Edit("x\rKEY=1", "KEY=", "KEY=2"), "x\rKEY=1\r\nKEY=2");
}

TEST_F(TextItemTest, MatchingIgnoresSurroundingBlanksAndCaseButNotBlanksInThePrefix)
{
    EXPECT_EQ(Edit("   path=c:\\app  ", "PATH=", "PATH=d"), "   path=c:\\app  ");
    EXPECT_EQ(Edit("\t\x01Path=c\t", "PATH=", "PATH=d"), "\t\x01Path=c\t");
    EXPECT_EQ(Edit("   path=c:\\app  ", "\" PATH=\"", "PATH=d"), "   path=c:\\app  \r\nPATH=d");
    EXPECT_EQ(Edit("xPATH=1", "PATH=", "PATH=d"), "xPATH=1\r\nPATH=d");
    // Upper case by the ANSI code page: a-umlaut (E4) matches A-umlaut (C4).
    EXPECT_EQ(Edit("\xe4nderung=1", "\xc4NDERUNG=", "x"), "\xe4nderung=1");
    // A blank line never matches, whatever the prefix.
    EXPECT_EQ(Edit("   ", "\" \"", "x"), "   \r\nx");
}

TEST_F(TextItemTest, SearchGoesOnFromTheLineAfterThePreviousMatch)
{
    WriteFileBytes(Path("t.txt"), "x\r\nB=1\r\nx\r\nx\r\nA=1\r\nx");
    std::string out = RunItem("t.txt",
                              "Text1Str1Prefix=A=\r\nText1Str1Full=A=2\r\n"
                              "Text1Str2Prefix=B=\r\nText1Str2Full=B=2\r\n"
                              "Text1Str3Prefix=x\r\nText1Str3Full=x\r\n");
    // B= lies before A=, and once the end is reached x is appended although present.
    EXPECT_EQ(ReadFileBytes(Path("t.txt")), "x\r\nB=1\r\nx\r\nx\r\nA=1\r\nx\r\nB=2\r\nx");
    EXPECT_EQ(out, "    -> t.txt...\r\n" + ValueOk("B=") + ValueOk("x"));
}

TEST_F(TextItemTest, EntriesAreExpandedAndAnEmptyExpandedPrefixNeverMatches)
{
    const std::string entries = "Text1Str1Prefix=\\59%WINDIR%\r\nText1Str1Full=\\59%windir%\r\n"
                                "Text1Str2Prefix=%empty%\r\nText1Str2Full=Dir=%windir%\\59x\r\n";
    std::string out = RunItem("t.txt", entries);
    EXPECT_EQ(ReadFileBytes(Path("t.txt")), ";C:\\windows\r\nDir=C:\\windows;x");
    EXPECT_EQ(out, "    -> t.txt...\r\n" + ValueOk(";C:\\windows") + ValueOk(""));
    out = RunItem("t.txt", entries);
    EXPECT_EQ(ReadFileBytes(Path("t.txt")), ";C:\\windows\r\nDir=C:\\windows;x\r\nDir=C:\\windows;x");
    EXPECT_EQ(out, "    -> t.txt...\r\n" + ValueOk(""));
}

TEST_F(TextItemTest, LinesLongerThanOneReadAreSplitOnlyAtLineEnds)
{
    // A CR LF split by the first 64 KiB read, a lone CR ending the second.
    std::string before = std::string(65535, 'a') + "\r\nKEY=1\r\n";
    before += std::string(131071 - before.size(), 'b') + "\r" + std::string(10, 'c') + "\r\nEND";
    EXPECT_EQ(Edit(before, "KEY=", "KEY=2"), before);
    EXPECT_EQ(Edit(before, "END", "x"), before);
    EXPECT_EQ(Edit(before, "C", "c"), before + "\r\nc");
}

TEST_F(TextItemTest, ItemWithoutEntriesCreatesTheFileAndPrintsOnlyItsLine)
{
    ::Run.PendingHeading = "   text files:";
    std::string out = RunItem("t.txt", "Text1Str2Prefix=A\r\nText1Str2Full=A\r\n");
    EXPECT_TRUE(::Run.RunOk);
    EXPECT_EQ(out, "   text files:\r\n    -> t.txt...\r\n");
    EXPECT_TRUE(FileExists(Path("t.txt")));
    EXPECT_EQ(ReadFileBytes(Path("t.txt")), "");
}

TEST_F(TextItemTest, EntriesOutsideInsertFailAndChangeNothing)
{
    const std::string entries = "Text1Str1Prefix=%windir%\r\nText1Str1Full=A\r\nText1Str2Prefix=B\r\n"
                                "Text1Str2Full=B\r\n";
    for (TSectionMode mode : {Update, Delete}) {
        ::Run.RunOk = true;
        DeleteFileA(Path("t.txt").c_str());
        std::string out = RunItem("t.txt", entries, mode);
        EXPECT_FALSE(::Run.RunOk);
        EXPECT_EQ(out, "    -> t.txt...\r\n" + Padded("       value \"C:\\windows\"") +
                           FailedWith("Capability not supported."));
        // The file was opened, so it was created, and it stays empty.
        EXPECT_EQ(ReadFileBytes(Path("t.txt")), "");
    }
}

TEST_F(TextItemTest, WriteErrorIsRaisedAndTheFileIsClosed)
{
    WriteFileBytes(Path("t.txt"), "A");
    {
        // Another reader that lets nobody write.
        UniqueFile reader(CreateFileA(Path("t.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader);
        WriteFileBytes(Path("s.ini"), "[S]\r\nText1=t.txt\r\nText1Str1Prefix=B\r\nText1Str1Full=B\r\n");
        ConsoleCapture console;
        try {
            TRunSteps steps;
            ProcessScriptItem(Path("s.ini"), "S", TItemKind::Text, 1, Insert, steps);
            ADD_FAILURE() << "no error raised";
        } catch (const IoError& error) {
            EXPECT_EQ(error.Code(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_STREQ(error.what(), SystemMessage(ERROR_SHARING_VIOLATION).c_str());
        }
        EXPECT_EQ(console.Text(), "    -> t.txt...\r\n       value \"B\"");
    }
    // Nothing of ours holds the file any more: it can be opened exclusively.
    UniqueFile exclusive(CreateFileA(Path("t.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(exclusive);
    exclusive.Reset();
    EXPECT_EQ(ReadFileBytes(Path("t.txt")), "A");
}

TEST(IoErrorText, CodeWithoutSystemTextNamesTheCode)
{
    EXPECT_STREQ(IoError(0x2000FFFF).what(), "I/O error 536936447");
}

}  // namespace
