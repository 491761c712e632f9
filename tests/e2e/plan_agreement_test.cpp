// A plan must show exactly the steps the run that follows it makes, in the
// same order, with no failure the run does not have, also where an earlier
// step changes what a later one finds.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "core/handles.h"
#include "engine_support.h"
#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;

// The steps that ended with a status box, as "text [box]"; a box alone on its
// line belongs to the text above it.
Lines Steps(const RunResult& run)
{
    Lines steps;
    Lines lines = run.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].size() < 46 || lines[i][44] != '[') continue;
        std::string box = lines[i].substr(44);
        std::string text = lines[i].substr(0, 44);
        text.erase(text.find_last_not_of(' ') + 1);
        if (text.empty() && i > 0) text = lines[i - 1];
        steps.push_back(text + " " + box);
    }
    return steps;
}

class PlanAgreement : public ::testing::Test {
protected:
    void SetUp() override { InstallStandin(m_dir.Path()); }

    void Script(const std::string& body)
    {
        std::string text = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\n" + body;
        m_dir.Write("s.ini", text);
        WriteFileBytes(m_share / "s.ini", text);
        SetLastWriteTime(m_dir / "s.ini", LocalStamp(0));
        SetLastWriteTime(m_share / "s.ini", LocalStamp(0));
        CopyFileA((m_dir / m_dir.ExeName()).c_str(), (m_share / m_dir.ExeName()).c_str(), FALSE);
    }
    void Put(const std::string& path, const std::string& bytes, int day = 1)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day));
    }

    // Plans, runs, and holds the plan's steps to the run's: CHANGE where the
    // run shows OK, FAILED where it fails. A run shows no status for a
    // registry key it makes or removes, so those lines of the plan are left out.
    void ExpectAgreement(const Lines& expected)
    {
        RunResult plan = m_dir.Start("--plan s.ini");
        Lines planned;
        for (const std::string& step : Steps(plan)) {
            if (step.rfind("    -> " + m_key.ScriptPath(), 0) == 0) continue;
            std::string made = step;
            size_t box = made.rfind("[CHANGE]");
            if (box != std::string::npos) made.replace(box, 8, "[  OK  ]");
            planned.push_back(made);
        }
        RunResult run = m_dir.Start("s.ini", "kkkk");
        // A plan starts the engine to read its aliases, but saves nothing.
        Lines made;
        for (const std::string& step : Steps(run))
            if (step.rfind("=> Saving BDE configuration...", 0) != 0) made.push_back(step);
        EXPECT_EQ(planned, made) << "plan:\n" << plan.Output << "\nrun:\n" << run.Output;
        EXPECT_EQ(Steps(run), expected) << run.Output;
        EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    }

    ProgramDir m_dir;
    TempDir m_share;
    TestRegKey m_key;
    EnvironmentScope m_engineLog{"VANTOREL_STANDIN_LOG", m_dir / "calls.log"};
};

std::string Ok(const std::string& text)
{
    return text + " [  OK  ]";
}

TEST_F(PlanAgreement, FilesCopiedThenDeletedRenamedThenCopiedDeletedByAMaskThenInserted)
{
    Script("SectionOrder=DIUD\r\n"
           "[Delete]\r\nFile1=*.tmp\r\n"
           "[Insert]\r\nFile1=x.tmp\r\nFile2=new.txt\r\n"
           "[Update]\r\nFile1=old.dll\r\nFile1RenameTo=older.dll\r\nFile2=old.dll\r\n");
    Put(m_share / "x.tmp", "share x");
    Put(m_share / "new.txt", "new");
    Put(m_share / "old.dll", "same");
    Put(m_dir / "old.dll", "same");
    Put(m_dir / "x.tmp", "old x");
    Put(m_dir / "y.tmp", "old y");
    // The second Delete pass finds what the Insert section brought.
    ExpectAgreement({Ok("    -> x.tmp..."), Ok("    -> y.tmp..."), Ok("    -> x.tmp..."), Ok("    -> new.txt..."),
                     Ok("    -> rename old.dll to older.dll..."), Ok("    -> old.dll..."), Ok("    -> x.tmp...")});
    EXPECT_EQ(m_dir.Read("old.dll"), "same");
    EXPECT_TRUE(m_dir.Exists("older.dll"));
    EXPECT_FALSE(m_dir.Exists("x.tmp"));
}

TEST_F(PlanAgreement, DirectoriesMadeThenRenamedAndEmptiedThenRemovedThenMade)
{
    Script("SectionOrder=DIU\r\n"
           "[Delete]\r\nFile1=full\\*.*\r\nDir1=full\r\n"
           "[Insert]\r\nItemOrder=DF\r\nDir1=made\r\nDir2=full\r\nFile1=made\\a.txt\r\n"
           "[Update]\r\nDir1=made\r\nDir1RenameTo=renamed\r\n");
    CreateDirectoryA((m_dir / "full").c_str(), nullptr);
    Put(m_dir / "full\\one.txt", "1");
    Put(m_share / "a.txt", "a");
    ExpectAgreement({Ok("    -> one.txt..."), Ok("    -> full..."), Ok("    -> made..."), Ok("    -> full..."),
                     Ok("    -> a.txt..."), Ok("    -> rename made to renamed...")});
    EXPECT_EQ(m_dir.Read("renamed\\a.txt"), "a");
}

TEST_F(PlanAgreement, RegistryAndIniValuesWrittenThenDeletedAndAKeyMadeThenRemoved)
{
    std::string key = m_key.ScriptPath();
    Script("SectionOrder=IUD\r\n"
           "[Insert]\r\nReg1=" + key + "\\Made\r\nReg1Val1Name=A\r\nReg1Val1Value=1\r\n"
           "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=net\r\n"
           "[Update]\r\nReg1=" + key + "\\Made\r\nReg1Val1Name=A\r\nReg1Val1Value=2\r\n"
           "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=lan\r\n"
           "[Delete]\r\nReg1=" + key + "\\Made\r\nReg1Val1Name=A\r\nReg2=" + key + "\\Made\r\n"
           "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\n");
    ExpectAgreement({Ok("       value \"A\""), Ok("       value \"Mode\""), Ok("       value \"A\""),
                     Ok("       value \"Mode\""), Ok("       value \"A\""), Ok("       value \"Mode\"")});
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, m_key.SubKey() + "\\Made"));
}

// The run reads an INI file once for all its values: a copy over it makes it read again.
TEST_F(PlanAgreement, AnIniFileReadThenCopiedOverIsReadAgain)
{
    Script("SectionOrder=IU\r\n"
           "[Insert]\r\nIni1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=net\r\n"
           "[Update]\r\nFile1=app.ini\r\nIni1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\n"
           "Ini1Val1Value=lan\r\n");
    Put(m_dir / "app.ini", "[Main]\r\nMode=net\r\n", 1);
    Put(m_share / "app.ini", "[Main]\r\nMode=lan\r\n", 2);
    ExpectAgreement({Ok("    -> app.ini...")});
    EXPECT_EQ(m_dir.Read("app.ini"), "[Main]\r\nMode=lan\r\n");
}

TEST_F(PlanAgreement, AnAliasAddedThenDeletedALineAppendedThenFoundALibraryBroughtThenRegistered)
{
    Script("[Insert]\r\nFile1=ole_probe_ok.dll\r\nBDEAlias1=Ledger\r\nBDEAlias1Params=STANDARD;PATH:C:\\\r\n"
           "Text1=app.cfg\r\nText1Str1Prefix=Theme=\r\nText1Str1Full=Theme=dark\r\n"
           "Text2=app.cfg\r\nText2Str1Prefix=Theme=\r\nText2Str1Full=Theme=light\r\n"
           "ComSrv1=ole_probe_ok.dll\r\n"
           "[Delete]\r\nBDEAlias1=Ledger\r\n");
    CopyFileA(FixturePath("ole_probe_ok.dll").c_str(), (m_share / "ole_probe_ok.dll").c_str(), FALSE);
    ExpectAgreement({Ok("    -> ole_probe_ok.dll..."), Ok("   BDE initialization..."), Ok("    -> Ledger..."),
                     Ok("       value \"Theme=\""), Ok("    -> ole_probe_ok.dll..."), Ok("    -> Ledger..."),
                     Ok("=> Saving BDE configuration...")});
    EXPECT_EQ(m_dir.Read("app.cfg"), "Theme=dark");
}

TEST_F(PlanAgreement, ARenameOntoANameAnEarlierStepFreedAndACopyOntoAFileThatIsInUse)
{
    Script("SectionOrder=DU\r\n[Delete]\r\nFile1=b.txt\r\n"
           "[Update]\r\nFile1=a.txt\r\nFile1RenameTo=b.txt\r\nFile2=held.txt\r\n");
    Put(m_dir / "a.txt", "a");
    Put(m_dir / "b.txt", "b");
    Put(m_dir / "held.txt", "old");
    Put(m_share / "held.txt", "new", 2);
    UniqueFile held(CreateFileA((m_dir / "held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    RunResult plan = m_dir.Start("--plan s.ini");
    EXPECT_EQ(plan.ExitCode, 2u) << plan.Output;
    RunResult run = m_dir.Start("s.ini", "k");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    Lines planned = Steps(plan);
    ASSERT_EQ(planned.size(), 3u) << plan.Output;
    EXPECT_EQ(planned[1], "    -> rename a.txt to b.txt... [CHANGE]");
    EXPECT_EQ(planned[2], "    -> held.txt... [ FAILED ]");
    EXPECT_EQ(Steps(run).back(), "    -> held.txt... [ FAILED ]");
    EXPECT_TRUE(plan.HasLine("          ERROR: Sharing violation")) << plan.Output;
}

}  // namespace
