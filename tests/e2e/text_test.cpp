// Text items run by the program: the file's bytes after each run and the
// lines the program printed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/errors.h"
#include "core/handles.h"
#include "harness.h"

using namespace testing_support;

namespace {

std::string Script(const std::vector<std::string>& lines)
{
    std::string text = "[Options]\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string Padded(const std::string& text)
{
    return text + std::string(text.size() < 44 ? 44 - text.size() : 0, ' ');
}

// The lines after the script's "=> Processing" line.
std::vector<std::string> FailureLines(const std::string& line, const std::string& message)
{
    return {Padded(line) + "[ FAILED ]", "", "ERROR: " + message, "", "Press any key to continue..."};
}

class TextRunTest : public ::testing::Test {
protected:
    RunResult RunScript(const std::vector<std::string>& lines)
    {
        m_dir.Write("s.ini", Script(lines));
        return m_dir.Start("s.ini");
    }
    std::string Text(const std::string& name) const { return ReadFileBytes(m_dir / name); }

    ProgramDir m_dir;
};

TEST_F(TextRunTest, InsertAddsMissingLinesOnceAndReportsEach)
{
    m_dir.Write("a.txt", "[x]\r\nmode=local\r\n");
    const std::vector<std::string> script = {
        "[Insert]",           "Text1=a.txt",          "Text1Str1Prefix=MODE=",  "Text1Str1Full=Mode=network",
        "Text1Str2Prefix=Server=", "Text1Str2Full=Server=fs1", "Text2=sub\\..\\b.txt", "Text2Str1Prefix=x",
        "Text2Str1Full=x=1",  "Text2Str2Prefix=y",    "Text2Str2Full=y=2"};
    RunResult run = RunScript(script);
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(Text("a.txt"), "[x]\r\nmode=local\r\n\r\nServer=fs1");
    EXPECT_EQ(Text("b.txt"), "x=1\r\ny=2");
    std::vector<std::string> expected = {"=> Inserting",
                                         "   text files:",
                                         "    -> a.txt...",
                                         Padded("       value \"Server=\"") + "[  OK  ]",
                                         "    -> sub\\..\\b.txt...",
                                         Padded("       value \"x\"") + "[  OK  ]",
                                         Padded("       value \"y\"") + "[  OK  ]"};
    EXPECT_EQ(ActionLines(run), expected);

    run = RunScript(script);
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(Text("a.txt"), "[x]\r\nmode=local\r\n\r\nServer=fs1");
    EXPECT_EQ(Text("b.txt"), "x=1\r\ny=2");
    expected = {"=> Inserting", "   text files:", "    -> a.txt...", "    -> sub\\..\\b.txt..."};
    EXPECT_EQ(ActionLines(run), expected);
}

TEST_F(TextRunTest, OutsideInsertOnlyAnExplicitItemOrderReachesTextItemsAndThenFails)
{
    RunResult run = RunScript({"SectionOrder=UI", "[Update]", "Text1=u.txt", "Text1Str1Prefix=A",
                               "Text1Str1Full=A"});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_FALSE(m_dir.Exists("u.txt"));

    run = RunScript({"SectionOrder=UI", "[Update]", "ItemOrder=t", "Text1=u.txt", "Text1Str1Prefix=A",
                     "Text1Str1Full=A", "Text2=v.txt", "[Insert]", "Text1=i.txt", "Text1Str1Prefix=I",
                     "Text1Str1Full=I"});
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> expected = {"=> Updating", "   text files:", "    -> u.txt..."};
    for (const std::string& line : FailureLines("       value \"A\"", "Capability not supported."))
        expected.push_back(line);
    EXPECT_EQ(ActionLines(run), expected);
    EXPECT_EQ(Text("u.txt"), "");
    EXPECT_FALSE(m_dir.Exists("v.txt"));
    EXPECT_FALSE(m_dir.Exists("i.txt"));
}

TEST_F(TextRunTest, FileThatCannotBeCreatedStopsTheRun)
{
    RunResult run = RunScript({"[Insert]", "Text1=no\\such\\t.txt", "Text1Str1Prefix=A", "Text1Str1Full=A",
                               "Text2=t2.txt"});
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> expected = {"=> Inserting", "   text files:"};
    for (const std::string& line : FailureLines("    -> no\\such\\t.txt...", "Can't open or create file \"" +
                                                                             (m_dir / "no\\such\\t.txt") +
                                                                             "\". Error 3."))
        expected.push_back(line);
    EXPECT_EQ(ActionLines(run), expected);
    EXPECT_FALSE(m_dir.Exists("t2.txt"));
}

TEST_F(TextRunTest, WriteErrorReachesTheGuardAndEndsTheRun)
{
    m_dir.Write("t.txt", "A");
    // A reader in this process that lets nobody write.
    UniqueFile reader(CreateFileA((m_dir / "t.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    RunResult run = RunScript({"[Insert]", "Text1=t.txt", "Text1Str1Prefix=A", "Text1Str1Full=A",
                               "Text1Str2Prefix=B", "Text1Str2Full=B", "Text2=t2.txt"});
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> expected = {"=> Inserting", "   text files:", "    -> t.txt..."};
    for (const std::string& line : FailureLines("       value \"B\"", SystemMessage(ERROR_SHARING_VIOLATION)))
        expected.push_back(line);
    EXPECT_EQ(ActionLines(run), expected);
    reader.Reset();
    EXPECT_EQ(Text("t.txt"), "A");
    EXPECT_FALSE(m_dir.Exists("t2.txt"));
    EXPECT_FALSE(m_dir.Exists("s.ok"));
}

}  // namespace
