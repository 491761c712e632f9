#include <gtest/gtest.h>

#include <vector>

#include "actions/ini_values.h"
#include "core/console.h"
#include "core/handles.h"
#include "core/run_state.h"
#include "console_capture.h"
#include "harness.h"
#include "script/constants.h"
#include "run/dispatch.h"
#include "run/run_steps.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;


// Runs INI items in-process: the script and the target files are real files
// in a directory that stands for the program's directory.
class IniItemTest : public RunStateTest {
protected:
    void SetUp() override { ::Run.ExeDir = m_dir.Path(); }

    // Carries out Ini1 (the file `file`) of the section of `mode` whose other
    // keys are `lines`; gives the console lines.
    Lines Apply(TSectionMode mode, const std::string& file, const Lines& lines)
    {
        const char* section = mode == Insert ? "Insert" : mode == Update ? "Update" : "Delete";
        std::string script = std::string("[") + section + "]\r\nIni1=" + file + "\r\n";
        for (const auto& line : lines) script += line + "\r\n";
        WriteFileBytes(m_dir / "s.ini", script);
        ConsoleCapture console;
        TRunSteps steps;
        ProcessScriptItem(m_dir / "s.ini", section, TItemKind::Ini, 1, mode, steps);
        return console.Lines();
    }

    std::string Target() const { return m_dir / "t.ini"; }
    void WriteTarget(const std::string& text) const { WriteFileBytes(Target(), text); }
    std::string ReadTarget() const { return FileExists(Target()) ? ReadFileBytes(Target()) : std::string(); }
    std::string Stored(const char* section, const char* key) const
    {
        char buffer[1024] = {};
        GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof buffer, Target().c_str());
        return buffer;
    }

    TempDir m_dir;
};

TEST_F(IniItemTest, InsertTable)
{
    WriteTarget("[S]\r\nFull=old\r\nEmpty=\r\n");
    std::string before = ReadTarget();
    Lines out = Apply(Insert, Target(),
                      {"Ini1Val1Section=S", "Ini1Val1Name=Full", "Ini1Val1Value=new", "Ini1Val2Name=Empty",
                       "Ini1Val2Value=filled", "Ini1Val3Name=Absent", "Ini1Val3Value=added", "Ini1Val4Name=NoText",
                       "Ini1Val4Value="});
    EXPECT_EQ(out, (Lines{"    -> " + Target() + "...", ValueOk("Empty"), ValueOk("Absent")}));
    EXPECT_EQ(Stored("S", "Full"), "old");
    EXPECT_EQ(Stored("S", "Empty"), "filled");
    EXPECT_EQ(Stored("S", "Absent"), "added");
    EXPECT_EQ(Stored("S", "NoText"), "<none>");
    EXPECT_TRUE(::Run.RunOk);
}

TEST_F(IniItemTest, UpdateTable)
{
    WriteTarget("[S]\r\nSame=v\r\nCase=v\r\nClear=x\r\nEmpty=\r\nLong=" + std::string(300, 'z') + "\r\n");
    Lines out = Apply(Update, Target(),
                      {"Ini1Val1Section=S", "Ini1Val1Name=Same", "Ini1Val1Value=v", "Ini1Val2Name=Case",
                       "Ini1Val2Value=V", "Ini1Val3Name=Clear", "Ini1Val4Name=Empty", "Ini1Val4Value=",
                       "Ini1Val5Name=Absent", "Ini1Val6Name=Long", "Ini1Val6Value=" + std::string(259, 'z')});
    EXPECT_EQ(out, (Lines{"    -> " + Target() + "...", ValueOk("Case"), ValueOk("Clear")}));
    EXPECT_EQ(Stored("S", "Case"), "V");
    EXPECT_EQ(Stored("S", "Clear"), "");
    EXPECT_NE(ReadTarget().find("Clear=\r\n"), std::string::npos);  // rewritten empty, not deleted
    EXPECT_EQ(Stored("S", "Absent"), "<none>");
    EXPECT_EQ(Stored("S", "Long").size(), 300u);  // equal in its first 259 characters: left alone
}

TEST_F(IniItemTest, DeleteTable)
{
    WriteTarget("[S]\r\nGone=1\r\nEmpty=\r\nStays=2\r\n");
    Lines out = Apply(Delete, Target(),
                      {"Ini1Val1Section=S", "Ini1Val1Name=Absent", "Ini1Val2Name=Empty", "Ini1Val3Name=Gone",
                       "Ini1Val3Value=ignored"});
    EXPECT_EQ(out, (Lines{"    -> " + Target() + "...", ValueOk("Gone")}));
    EXPECT_EQ(Stored("S", "Gone"), "<none>");
    EXPECT_EQ(Stored("S", "Empty"), "");
    EXPECT_EQ(Stored("S", "Stays"), "2");
}

TEST_F(IniItemTest, SectionIsInheritedUntilAValueNamesItsOwn)
{
    Apply(Insert, Target(),
          {"Ini1Val1Section=A", "Ini1Val1Name=k1", "Ini1Val1Value=1", "Ini1Val2Name=k2", "Ini1Val2Value=2",
           "Ini1Val3Section=B", "Ini1Val3Name=k3", "Ini1Val3Value=3", "Ini1Val4Name=k4", "Ini1Val4Value=4"});
    EXPECT_EQ(ReadTarget(), "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nk3=3\r\nk4=4\r\n");
}

TEST_F(IniItemTest, ItemWithoutValuesEndsItsLineAndWritesNothing)
{
    EXPECT_EQ(Apply(Insert, Target(), {"Ini1Val1Section=A", "Ini1Val1Value=1"}), (Lines{"    -> " + Target() + "..."}));
    EXPECT_EQ(Apply(Update, Target(), {"Ini1Val1Name=k", "Ini1Val1Value=1"}), (Lines{"    -> " + Target() + "..."}));
    EXPECT_FALSE(FileExists(Target()));
    EXPECT_TRUE(::Run.RunOk);
}

TEST_F(IniItemTest, TextsAreExpandedAndDecoded)
{
    ConstTable.push_back({"sect", "Paths"});
    ConstTable.push_back({"root", "C:\\Ledger"});
    Lines out = Apply(Insert, Target(),
                      {"Ini1Val1Section=%sect%", "Ini1Val1Name=Data%sect%", "Ini1Val1Value=%root%\\data\\59x\\61y"});
    EXPECT_EQ(out[1], ValueOk("DataPaths"));
    EXPECT_EQ(Stored("Paths", "DataPaths"), "C:\\Ledger\\data;x=y");
}

TEST_F(IniItemTest, RelativeFileNameMeansTheProgramDirectory)
{
    Lines out = Apply(Insert, "rel.ini", {"Ini1Val1Section=S", "Ini1Val1Name=k", "Ini1Val1Value=v"});
    EXPECT_EQ(out[0], "    -> rel.ini...");
    EXPECT_EQ(ReadFileBytes(m_dir / "rel.ini"), "[S]\r\nk=v\r\n");
}

TEST_F(IniItemTest, EmptyKeyNameAddressesTheWholeSection)
{
    ConstTable.push_back({"nokey", ""});
    WriteTarget("[Keep]\r\na=1\r\n[Drop]\r\nfirst=1\r\nsecond=2\r\n");
    // Update: the section's first key name is compared with the value text.
    Lines out = Apply(Update, Target(), {"Ini1Val1Section=Drop", "Ini1Val1Name=%nokey%", "Ini1Val1Value=first"});
    EXPECT_EQ(out.size(), 1u);
    out = Apply(Delete, Target(), {"Ini1Val1Section=Drop", "Ini1Val1Name=%nokey%"});
    EXPECT_EQ(out, (Lines{"    -> " + Target() + "...", ValueOk("")}));
    EXPECT_EQ(ReadTarget(), "[Keep]\r\na=1\r\n");
}

TEST_F(IniItemTest, FailedWriteIsReportedAndEndsTheValueList)
{
    std::string missing = m_dir / "no such dir\\t.ini";
    Lines out = Apply(Insert, missing, {"Ini1Val1Section=S", "Ini1Val1Name=a", "Ini1Val1Value=1", "Ini1Val2Name=b",
                                     "Ini1Val2Value=2"});
    ASSERT_GE(out.size(), 4u) << ::testing::PrintToString(out);
    EXPECT_EQ(out[1], "       value \"a\"" + std::string(28, ' ') + "[ FAILED ]");
    EXPECT_EQ(out[3].rfind("ERROR: ", 0), 0u);
    EXPECT_EQ(::Run.LastErrorCode, ERROR_PATH_NOT_FOUND);
    for (const auto& line : out) EXPECT_EQ(line.find("\"b\""), std::string::npos);
    EXPECT_FALSE(::Run.RunOk);
}

}  // namespace
