#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/handles.h"
#include "file_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;

std::string Change(const std::string& text)
{
    return StepLine(text, "CHANGE");
}

// The step texts of the lines that end with the given box (a box alone on
// its line belongs to the text above it, too long to share a line with it).
Lines StepsWith(const RunResult& run, const std::string& box)
{
    Lines steps;
    Lines lines = run.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t at = lines[i].find("[" + box + "]");
        if (at != 44) continue;
        std::string text = lines[i].substr(0, at);
        text.erase(text.find_last_not_of(' ') + 1);
        steps.push_back(text.empty() && i > 0 ? lines[i - 1] : text);
    }
    return steps;
}

// A program directory whose share holds the program and the script as
// installed, so that only the items have work to do.
class Plan : public ::testing::Test {
protected:
    void Script(const std::string& body)
    {
        std::string text = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\n" + body;
        m_dir.Write("s.ini", text);
        WriteFileBytes(m_share / "s.ini", text);
        SetLastWriteTime(m_dir / "s.ini", LocalStamp(0));
        SetLastWriteTime(m_share / "s.ini", LocalStamp(0));
        CopyFileA((m_dir / m_dir.ExeName()).c_str(), (m_share / m_dir.ExeName()).c_str(), FALSE);
    }
    void Put(const std::string& path, const std::string& bytes, int day)
    {
        WriteFileBytes(path, bytes);
        SetLastWriteTime(path, LocalStamp(day));
    }
    std::map<std::string, std::string> Snapshot()
    {
        auto state = SnapshotFiles(m_dir.Path());
        for (auto& [name, entry] : SnapshotFiles(m_share.Path())) state["share\\" + name] = entry;
        for (auto& [name, entry] : SnapshotRegistry(HKEY_CURRENT_USER, m_key.SubKey())) state["reg\\" + name] = entry;
        return state;
    }

    ProgramDir m_dir;
    TempDir m_share;
    TestRegKey m_key;
};

TEST_F(Plan, ChangesNothingAndTheRunThatFollowsMakesExactlyWhatItShowed)
{
    std::string key = m_key.ScriptPath();
    Script("[Insert]\r\nFile1=data\\a.txt\r\nDir1=data\r\nItemOrder=DFRIT\r\n"
           "Reg1=" + key + "\\App\r\nReg1Val1Name=Port\r\nReg1Val1Type=I\r\nReg1Val1Value=8080\r\n"
           "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=net\r\n"
           "Text1=app.cfg\r\nText1Str1Prefix=Theme=\r\nText1Str1Full=Theme=dark\r\n"
           "[Update]\r\nFile1=b.txt\r\nReg1=" + key + "\r\nReg1Val1Name=Name\r\nReg1Val1Value=new\r\n"
           "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=lan\r\n"
           "[Delete]\r\nFile1=old.tmp\r\nReg1=" + key + "\r\nReg1Val1Name=Legacy\r\n");
    Put(m_share / "a.txt", "new a", 2);
    Put(m_share / "b.txt", "new b, longer", 2);
    Put(m_dir / "b.txt", "old b", 1);
    Put(m_dir / "old.tmp", "x", 1);
    WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey(), "Name", REG_SZ, std::string("old") + '\0');
    WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey(), "Legacy", REG_SZ, std::string("gone") + '\0');
    m_dir.Write("s.ok", "");

    auto before = Snapshot();
    RunResult plan = m_dir.Start("--plan s.ini");
    EXPECT_EQ(plan.ExitCode, 3u) << plan.Output;
    EXPECT_EQ(Snapshot(), before) << "the plan changed something:\n" << plan.Output;

    Lines announced = StepsWith(plan, "CHANGE");
    Lines expected = {"    -> data...", "    -> a.txt...", "    -> " + key + "\\App...", "       value \"Port\"",
                      "       value \"Mode\"", "       value \"Theme=\"", "    -> b.txt...", "       value \"Name\"",
                      "       value \"Mode\"", "    -> old.tmp...", "       value \"Legacy\""};
    EXPECT_EQ(announced, expected) << plan.Output;
    EXPECT_TRUE(plan.HasLine("          missing")) << plan.Output;
    EXPECT_TRUE(plan.HasLine("          sizes differ: 13 > 5")) << plan.Output;
    EXPECT_TRUE(plan.HasLine("          value differs: \"old\" -> \"new\"")) << plan.Output;
    EXPECT_TRUE(plan.HasLine("          value differs: \"net\" -> \"lan\"")) << plan.Output;
    EXPECT_EQ(plan.Lines().back(),
              "Plan: 3 files, 1 directory, 1 registry key, 3 registry values, 2 INI values, 1 text line would "
              "change.");

    RunResult run = m_dir.Start("s.ini");
    ASSERT_EQ(run.ExitCode, 0u) << run.Output;
    // A run prints no status for a key it creates; every other change has its box.
    Lines made = StepsWith(run, "  OK  ");
    expected.erase(std::find(expected.begin(), expected.end(), "    -> " + key + "\\App..."));
    EXPECT_EQ(made, expected) << run.Output;
    EXPECT_EQ(m_dir.Read("data\\a.txt"), "new a");
    EXPECT_EQ(m_dir.Read("app.cfg"), "Theme=dark");

    RunResult again = m_dir.Start("--plan s.ini");
    EXPECT_EQ(again.ExitCode, 0u) << again.Output;
    EXPECT_EQ(StepsWith(again, "CHANGE"), Lines{}) << again.Output;
    EXPECT_EQ(again.Lines().back(), "Plan: nothing would change.");
}

TEST_F(Plan, AStepThatWouldFailIsShownAndThePlanGoesOn)
{
    Script("[Insert]\r\nFile1=missing.dll\r\nDir1=full\r\n[Delete]\r\nDir1=full\r\nFile1=gone.tmp\r\n");
    CreateDirectoryA((m_dir / "full").c_str(), nullptr);
    Put(m_dir / "full\\keep.txt", "k", 1);
    Put(m_dir / "gone.tmp", "x", 1);
    RunResult plan = m_dir.Start("--plan s.ini");
    EXPECT_EQ(plan.ExitCode, 2u) << plan.Output;
    Lines expected = {"=> Inserting",
                      "   files:",
                      Failed("    -> missing.dll..."),
                      "          ERROR: New version of file \"" + m_share.Path() + "missing.dll\" not found.",
                      "=> Deleting",
                      "   files:",
                      Change("    -> gone.tmp..."),
                      "          present",
                      "   directories:",
                      Failed("    -> full..."),
                      "          ERROR: Directory is not empty",
                      "Plan: 1 file would change; 2 steps would fail."};
    EXPECT_EQ(ActionLines(plan), expected) << plan.Output;
    EXPECT_FALSE(plan.HasLine("Press any key to continue...")) << plan.Output;
    EXPECT_TRUE(m_dir.Exists("gone.tmp"));
}

TEST_F(Plan, ANewProgramAndScriptAreShownAndThePlanGoesOnAsTheRestartedCopy)
{
    Script("");
    // The share offers the next release and a new script with an item of its own.
    CopyFileA(FixturePath("vantorel_next.exe").c_str(), (m_share / m_dir.ExeName()).c_str(), FALSE);
    std::string newer = "[Options]\r\nSourcePath=" + m_share.Path() + "\r\n[Insert]\r\nDir1=fromshare\r\n";
    Put(m_share / "s.ini", newer, 3);
    RunResult plan = m_dir.Start("--plan s.ini");
    EXPECT_EQ(plan.ExitCode, 3u) << plan.Output;
    Lines lines = plan.Lines();
    auto at = std::find(lines.begin(), lines.end(), Change("    -> vantorel.exe..."));
    ASSERT_NE(at, lines.end()) << plan.Output;
    Lines expected = {Change("    -> vantorel.exe..."),
                      *(at + 1),
                      Change("    -> s.ini..."),
                      "          sizes differ: " + std::to_string(newer.size()) + " > " +
                          std::to_string(m_dir.Read("s.ini").size()),
                      "=> Repeating of Vantorel loading...",
                      Change(""),
                      "          the program restarts from _vantorel.exe",
                      "=> Processing s.ini...",
                      "=> Inserting",
                      "   directories:",
                      Change("    -> fromshare..."),
                      "          missing",
                      "Plan: 2 files, 1 directory would change."};
    EXPECT_EQ(Lines(at, lines.end()), expected) << plan.Output;
    EXPECT_FALSE(m_dir.Exists("_vantorel.exe"));
    EXPECT_FALSE(m_dir.Exists("fromshare"));
    EXPECT_NE(m_dir.Read("s.ini"), newer);
}

TEST(CommandLine, HelpVersionAndWrongOptions)
{
    ProgramDir dir;
    for (const char* help : {"--help", "-h", "/?", "/HELP", "/h", "-?", "--Help"}) {
        RunResult run = dir.Start(help);
        EXPECT_EQ(run.ExitCode, 0u) << help;
        EXPECT_TRUE(run.HasLine("Usage:")) << run.Output;
        EXPECT_TRUE(run.HasLine("  vantorel.exe --plan <script>")) << run.Output;
        EXPECT_TRUE(run.HasLine("\"vantorel.exe --help script\" shows its sections, keys, flags and types.")) << help;
    }
    // The script format where the README is not: the layout's keys, each with the sections that read it.
    RunResult reference = dir.Start("/? Script");
    EXPECT_EQ(reference.ExitCode, 0u);
    for (const char* line : {"Script reference", "  Check               1: each run checks its script; strict: errors "
                             "stop it", "R Reg<n>              a registry key: a root, \\, the path (HKLM\\Software\\Acme)",
                             "    Reg<n>Val<m>Type      Insert Update", "    e.g. Reg1=HKLM\\Software\\Acme\\Ledger",
                             "         Reg1Val1Type=I", "  I  a 32-bit number: decimal, or hexadecimal after $ or 0x "
                             "(up to FFFFFFFF)"})
        EXPECT_TRUE(reference.HasLine(line)) << line << "\n" << reference.Output;
    RunResult version = dir.Start("--version");
    EXPECT_EQ(version.ExitCode, 0u);
    EXPECT_EQ(version.Lines(), Lines{"Vantorel & Updater 1.5"});

    struct Case {
        const char* Arguments;
        std::string Problem;
    } cases[] = {
        {"--plna s.ini", "Unknown option \"--plna\"."},
        {"--plan", "No script is named after \"--plan\"."},
        {"--check", "No script is named after \"--check\"."},
        {"--log", "Option \"--log\" needs a file name after it."},
        {"--plan --check s.ini", "Options \"--plan\" and \"--check\" cannot be given together."},
    };
    for (const Case& c : cases) {
        RunResult run = dir.Start(c.Arguments);
        EXPECT_EQ(run.ExitCode, 1u) << c.Arguments;
        Lines lines = run.Lines();
        ASSERT_GE(lines.size(), 5u) << run.Output;
        EXPECT_EQ(lines[3], c.Problem) << run.Output;
        EXPECT_EQ(lines[5], "Usage:") << run.Output;
    }
}

TEST(CommandLine, CheckPrintsFindingsASummaryAndItsExitCode)
{
    ProgramDir dir;
    std::string head = "[Options]\r\nSourcePath=" + dir.Path() + "\r\n";
    dir.Write("clean.ini", head + "[Insert]\r\nDir1=data\r\n");
    RunResult clean = dir.Start("--check clean.ini");
    EXPECT_EQ(clean.ExitCode, 0u) << clean.Output;
    EXPECT_EQ(clean.Lines().back(), "Check: 0 errors, 0 warnings, 0 notes in clean.ini.") << clean.Output;

    dir.Write("typo.ini", head + "[Updtae]\r\nDir1=data\r\n");
    RunResult typo = dir.Start("--check typo.ini");
    EXPECT_EQ(typo.ExitCode, 3u) << typo.Output;
    EXPECT_TRUE(typo.HasLine("typo.ini(3): warning VC101: section [Updtae] is not read by this program; did you "
                             "mean \"Update\"?"))
        << typo.Output;

    dir.Write("error.ini", head + "[Update]\r\nItemOrder=FT\r\n");
    RunResult error = dir.Start("--check error.ini");
    EXPECT_EQ(error.ExitCode, 2u) << error.Output;
}

}  // namespace
