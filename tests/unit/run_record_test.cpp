#include <gtest/gtest.h>

#include "engine_support.h"
#include "harness.h"
#include "run_record.h"

using namespace testing_support;

namespace {

TEST(RunRecord, PlaceholdersAreNumberedByFirstAppearanceAcrossCallsAndCase)
{
    std::vector<VolatileText> values{{"C:\\T\\a", "TEMP", true}, {"C:\\T\\b", "TEMP", true}};
    PlaceholderNumbers numbers;
    EXPECT_EQ(ReplaceVolatileText("b=C:\\T\\b a=C:\\T\\a b=c:\\t\\B", values, numbers),
              "b=<TEMP1> a=<TEMP2> b=<TEMP1>");
    // A later run of the same test keeps the numbers.
    EXPECT_EQ(ReplaceVolatileText("C:\\T\\a\\x", values, numbers), "<TEMP2>\\x");
    PlaceholderNumbers fresh;
    EXPECT_EQ(ReplaceVolatileText("C:\\T\\a\\x", values, fresh), "<TEMP1>\\x");
}

TEST(RunRecord, TheLongestValueWinsWhereSeveralStartAtOnePlace)
{
    std::vector<VolatileText> values{{"Z:\\src", "SOURCE"},
                                     {"Z:\\src\\build", "BUILD"},
                                     {"C:\\users\\me\\Temp", "TMP"},
                                     {"C:\\users\\me\\Temp\\vantorel-test-{G}", "TEMP", true},
                                     {"{G}", "GUID", true}};
    PlaceholderNumbers numbers;
    EXPECT_EQ(ReplaceVolatileText("Z:\\src\\build\\x Z:\\src\\y C:\\users\\me\\Temp\\vantorel-test-{G}\\s.ini "
                                  "C:\\users\\me\\Temp\\z key\\{G}",
                                  values, numbers),
              "<BUILD>\\x <SOURCE>\\y <TEMP1>\\s.ini <TMP>\\z key\\<GUID1>");
}

TEST(RunRecord, AWholeWordValueMatchesOnlyBetweenOtherCharacters)
{
    std::vector<VolatileText> values{{"VM", "COMPUTER", false, true}};
    PlaceholderNumbers numbers;
    EXPECT_EQ(ReplaceVolatileText("VM [ VM ] VMS AVM [Update.vm]\r\nVM", values, numbers),
              "<COMPUTER> [ <COMPUTER> ] VMS AVM [Update.<COMPUTER>]\r\n<COMPUTER>");
    EXPECT_EQ(ReplaceVolatileText("", values, numbers), "");
}

class RunRecordFile : public ::testing::Test {
protected:
    std::string Record() const
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return m_dir / (std::string(info->test_suite_name()) + "." + info->name() + ".txt");
    }
    TempDir m_dir;
};

TEST_F(RunRecordFile, RunsOfATestGoToOneFileStartedAfreshWithTheirPlaceholders)
{
    WriteFileBytes(Record(), "left over from an earlier recording\r\n");
    EnvironmentScope recording("VANTOREL_RECORD_DIR", m_dir.Path());
    TempDir program;
    RunResult first;
    first.ExitCode = 2;
    first.Output = "=> Processing " + program / "s.ini...\r\n";
    RecordRun("\"" + program / "vantorel.exe\" s.ini", first);
    RunResult second;
    second.TimedOut = true;
    second.Output = "no line end in " + m_dir.Path();
    RecordRun("\"" + program / "vantorel.exe\"", second);

    EXPECT_EQ(ReadFileBytes(Record()),
              "== run 1: \"<TEMP1>\\vantorel.exe\" s.ini\r\n"
              "exit code 2, timed out: no\r\n"
              "=> Processing <TEMP1>\\s.ini...\r\n"
              "== end of run 1\r\n"
              "== run 2: \"<TEMP1>\\vantorel.exe\"\r\n"
              "exit code 0, timed out: yes\r\n"
              "no line end in <TEMP2>\\\r\n"
              "== end of run 2 (the output has no line break at its end)\r\n");
}

TEST_F(RunRecordFile, NothingIsWrittenWhenRecordingIsOff)
{
    EnvironmentScope off("VANTOREL_RECORD_DIR", "");
    RecordRun("\"x.exe\"", RunResult{});
    EXPECT_FALSE(FileExists(Record()));
}

}  // namespace
