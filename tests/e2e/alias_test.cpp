// Alias items run against the engine stand-in, which is copied into each
// program directory (the current directory of the run, where the engine is
// looked for first) and records every call in a log.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/report.h"
#include "engine_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

const std::string InitLine = "   BDE initialization...";
const std::string SaveLine = "=> Saving BDE configuration...";
const std::string NoEngineError = "ERROR: BDE is not installed or corrupted.";

// The log's way of showing a string argument: bytes outside printable ASCII as \xNN.
std::string Shown(const std::string& bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\"";
}

class AliasTest : public ::testing::Test {
protected:
    ProgramDir Dir;
    EnvironmentScope Log{"VANTOREL_STANDIN_LOG", Dir / "calls.log"};

    void SetUp() override { InstallStandin(Dir.Path()); }

    // The stand-in's saved configuration: one "name<TAB>type<TAB>params" a line.
    void SaveAliases(const std::vector<std::string>& aliases)
    {
        std::string text;
        for (const std::string& alias : aliases) text += alias + "\r\n";
        Dir.Write("standin_aliases.cfg", text);
    }
    std::vector<std::string> SavedAliases() const
    {
        std::vector<std::string> aliases;
        for (const std::string& line : ReadCallLog(Dir / "standin_aliases.cfg"))
            if (!line.empty() && line[0] != ';') aliases.push_back(line);
        return aliases;
    }
    // The logged calls that change or save the configuration, in order.
    std::vector<std::string> Changes() const
    {
        std::vector<std::string> changes;
        for (const std::string& call : ReadCallLog(Dir / "calls.log"))
            if (call.rfind("DbiAddAlias", 0) == 0 || call.rfind("DbiDeleteAlias", 0) == 0 ||
                call.rfind("DbiCfgSave", 0) == 0 || call.rfind("DbiInitFn", 0) == 0 || call.rfind("DbiExit", 0) == 0)
                changes.push_back(call);
        return changes;
    }
    RunResult RunScript(const std::vector<std::string>& lines)
    {
        Dir.Write("s.ini", Script(lines));
        return Dir.Start("s.ini", "kkkk");
    }
};

TEST_F(AliasTest, InsertAddsAMissingAliasOnceAndTheConfigurationPersistsAcrossRuns)
{
    std::vector<std::string> script = {"[Insert]", "BDEAlias1=Demo", "BDEAlias1Params=PARADOX;PATH:%windir%\\data"};
    RunResult run = RunScript(script);
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> lines = run.Lines();
    std::vector<std::string> expected = {"=> Processing s.ini...", Ok(InitLine), "=> Inserting", "   BDE aliases:",
                                         Ok("    -> Demo..."), Ok(SaveLine)};
    std::vector<std::string> tail(lines.end() - static_cast<long>(expected.size()), lines.end());
    EXPECT_EQ(tail, expected) << run.Output;

    char windir[MAX_PATH] = {};
    GetWindowsDirectoryA(windir, MAX_PATH);
    std::string params = std::string("PATH:") + windir + "\\data";
    EXPECT_EQ(SavedAliases(), std::vector<std::string>{"Demo\tPARADOX\t" + params});
    std::vector<std::string> calls = ReadCallLog(Dir / "calls.log");
    ASSERT_EQ(calls.size(), 8u) << run.Output;
    EXPECT_EQ(calls[0], "DbiInitFn(500, NULL) = 0x0000");
    EXPECT_EQ(calls[1].rfind("DLLINITFUNCTION(1, ", 0), 0u) << calls[1];
    EXPECT_EQ(calls[2], "DbiOpenDatabaseList(ptr) = 0x0000");
    EXPECT_EQ(calls[3], "DbiGetNextRecord(ptr, 0, ptr, NULL) = 0x2202");
    EXPECT_EQ(calls[4], "DbiCloseCursor(ptr) = 0x0000");
    EXPECT_EQ(calls[5], "DbiAddAlias(NULL, \"Demo\", \"PARADOX\", " + Shown(params) + ", -1) = 0x0000");
    EXPECT_EQ(calls[6], "DbiCfgSave(NULL, NULL, -1) = 0x0000");
    EXPECT_EQ(calls[7], "DbiExit() = 0x0000");

    // Second run: the alias is there, so nothing is printed for it (not even
    // the banner and heading); the engine is still started and saved.
    DeleteFileA((Dir / "calls.log").c_str());
    run = RunScript(script);
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_FALSE(run.HasLine("=> Inserting")) << run.Output;
    EXPECT_FALSE(run.HasLine("   BDE aliases:")) << run.Output;
    EXPECT_EQ(run.Lines().back(), Ok(SaveLine));
    EXPECT_EQ(Changes(), (std::vector<std::string>{"DbiInitFn(500, NULL) = 0x0000",
                                                   "DbiCfgSave(NULL, NULL, -1) = 0x0000", "DbiExit() = 0x0000"}));
    EXPECT_EQ(SavedAliases().size(), 1u);
}

TEST_F(AliasTest, EngineStartsOnceBeforeThePendingBannerEvenAcrossSections)
{
    SaveAliases({"Old\tSTANDARD\tPATH:C:\\old"});
    RunResult run = RunScript({"[Insert]", "BDEAlias1=A", "BDEAlias2=B", "[Delete]", "BDEAlias1=Old"});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> lines = run.Lines();
    std::vector<std::string> expected = {Ok(InitLine),          "=> Inserting", "   BDE aliases:", Ok("    -> A..."),
                                         Ok("    -> B..."),     "=> Deleting",  "   BDE aliases:",
                                         Ok("    -> Old..."),   Ok(SaveLine)};
    std::vector<std::string> tail(lines.end() - static_cast<long>(expected.size()), lines.end());
    EXPECT_EQ(tail, expected) << run.Output;
    int starts = 0;
    for (const std::string& call : ReadCallLog(Dir / "calls.log")) starts += call.rfind("DbiInitFn", 0) == 0;
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(SavedAliases(), (std::vector<std::string>{"A\t\t", "B\t\t"}));
}

TEST_F(AliasTest, UpdateReplacesAnExistingAliasEvenWithTheSameParameters)
{
    SaveAliases({"Demo\tPARADOX\tPATH:C:\\same", "Keep\tSTANDARD\tPATH:C:\\keep"});
    RunResult run = RunScript({"[Update]", "BDEAlias1=Demo", "BDEAlias1Params=PARADOX;PATH:C:\\same"});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(run.HasLine(Ok("    -> Demo..."))) << run.Output;
    EXPECT_EQ(Changes(), (std::vector<std::string>{
                             "DbiInitFn(500, NULL) = 0x0000", "DbiDeleteAlias(NULL, \"Demo\") = 0x0000",
                             "DbiAddAlias(NULL, \"Demo\", \"PARADOX\", \"PATH:C:\\\\same\", -1) = 0x0000",
                             "DbiCfgSave(NULL, NULL, -1) = 0x0000", "DbiExit() = 0x0000"}));
    EXPECT_EQ(SavedAliases(),
              (std::vector<std::string>{"Keep\tSTANDARD\tPATH:C:\\keep", "Demo\tPARADOX\tPATH:C:\\same"}));
}

TEST_F(AliasTest, DeleteRemovesWhatExistsAndSaysNothingAboutWhatDoesNot)
{
    SaveAliases({"Gone\tSTANDARD\tPATH:C:\\a", "Stay\tSTANDARD\tPATH:C:\\b"});
    RunResult run = RunScript({"[Delete]", "BDEAlias1=Missing", "BDEAlias1Params=never;used", "BDEAlias2=Gone"});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> lines = run.Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"=> Deleting", "   BDE aliases:", Ok("    -> Gone..."), Ok(SaveLine)}))
        << run.Output;
    EXPECT_FALSE(run.HasLine(Ok("    -> Missing...")));
    EXPECT_EQ(Changes(), (std::vector<std::string>{"DbiInitFn(500, NULL) = 0x0000",
                                                   "DbiDeleteAlias(NULL, \"Gone\") = 0x0000",
                                                   "DbiCfgSave(NULL, NULL, -1) = 0x0000", "DbiExit() = 0x0000"}));
    EXPECT_EQ(SavedAliases(), std::vector<std::string>{"Stay\tSTANDARD\tPATH:C:\\b"});
}

TEST_F(AliasTest, NamesAreComparedByteForByteAndLongNamesNeverMatch)
{
    std::string name31(31, 'n');
    std::string name32(32, 'l');
    // The stand-in lists a stored 32-character name cut to 31 bytes.
    SaveAliases({"demo\tSTANDARD\tPATH:C:\\a", name31 + "\tSTANDARD\t", name32 + "\tSTANDARD\t"});
    RunResult run = RunScript(
        {"[Update]", "BDEAlias1=Demo", "[Delete]", "BDEAlias1=" + name31, "BDEAlias2=" + name32, "BDEAlias3=DEMO"});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(Changes(), (std::vector<std::string>{
                             "DbiInitFn(500, NULL) = 0x0000",
                             "DbiAddAlias(NULL, \"Demo\", \"\", \"\", -1) = 0x0000",
                             "DbiDeleteAlias(NULL, \"" + name31 + "\") = 0x0000",
                             "DbiCfgSave(NULL, NULL, -1) = 0x0000", "DbiExit() = 0x0000"}))
        << run.Output;
    EXPECT_EQ(SavedAliases(), (std::vector<std::string>{"demo\tSTANDARD\tPATH:C:\\a", name32 + "\tSTANDARD\t",
                                                        "Demo\t\t"}));

    // Inserting a 32-character name asks the engine, which refuses it.
    DeleteFileA((Dir / "calls.log").c_str());
    run = RunScript({"[Insert]", "BDEAlias1=" + name32});
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_TRUE(run.HasLine(Failed("    -> " + name32 + "..."))) << run.Output;
    EXPECT_TRUE(run.HasLine("ERROR: Invalid alias name (1 to 31 characters): " + name32)) << run.Output;
}

TEST_F(AliasTest, ParametersSplitAtTheFirstSemicolonAfterEscapesAndConstants)
{
    std::string part(200, 'p');
    Dir.Write("s.ini", Script({"[Constants]", "db=C:\\db;x", "part=" + part, "[Insert]",
                               "BDEAlias1=NoType", "BDEAlias1Params=PATH:C:\\a",
                               "BDEAlias2=EmptyType", "BDEAlias2Params=;PATH:C:\\b",
                               "BDEAlias3=Two", "BDEAlias3Params=PARADOX;PATH:%db%;OPEN MODE:READ",
                               "BDEAlias4=Escaped", "BDEAlias4Params=DBASE\\59PATH:C:\\c",
                               "BDEAlias5=Empty",
                               "BDEAlias6=Long", "BDEAlias6Params=T;%part%%part%"}));
    RunResult run = Dir.Start("s.ini", "k");
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(SavedAliases(), (std::vector<std::string>{"NoType\t\tPATH:C:\\a", "EmptyType\t\tPATH:C:\\b",
                                                        "Two\tPARADOX\tPATH:C:\\db;x;OPEN MODE:READ",
                                                        "Escaped\tDBASE\tPATH:C:\\c", "Empty\t\t",
                                                        "Long\tT\t" + part + part}))
        << "a parameter list longer than 259 characters reaches the engine whole";
}

TEST_F(AliasTest, TheEngineSeesTheNameAndParameterListInTheOemCodePage)
{
    std::string name = "Caf\xE9";
    std::string params = "\xC4rger;PATH:C:\\\xE9t\xE9";
    RunResult run = RunScript({"[Insert]", "BDEAlias1=" + name, "BDEAlias1Params=" + params});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(run.HasLine(Ok("    -> " + ToOem(name) + "..."))) << run.Output;
    // The driver type goes to the engine as written.
    std::string add = "DbiAddAlias(NULL, " + Shown(ToOem(name)) + ", " + Shown("\xC4rger") + ", " +
                      Shown(ToOem("PATH:C:\\\xE9t\xE9")) + ", -1) = 0x0000";
    EXPECT_EQ(Changes().at(1), add);
}

TEST_F(AliasTest, AFailedEngineCallStopsTheRunButTheConfigurationIsStillSaved)
{
    SaveAliases({"Old\tSTANDARD\t"});
    EnvironmentScope fail("VANTOREL_STANDIN_FAIL", "DbiAddAlias");
    RunResult run = RunScript({"[Update]", "BDEAlias1=Old", "BDEAlias2=Next"});
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> lines = run.Lines();
    std::vector<std::string> expected = {Failed("    -> Old..."), "", "ERROR: Simulated failure: DbiAddAlias", "",
                                         "Press any key to continue...", Ok(SaveLine)};
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<long>(expected.size()), lines.end()), expected)
        << run.Output;
    EXPECT_FALSE(run.HasLine(Ok("    -> Next..."))) << "the first failure ends the processing";
    EXPECT_TRUE(SavedAliases().empty()) << "the delete before the failed add was saved";
    EXPECT_FALSE(Dir.Exists("s.ok"));
}

TEST_F(AliasTest, AFailedSaveIsReportedAndTheEngineIsReleasedAllTheSame)
{
    EnvironmentScope fail("VANTOREL_STANDIN_FAIL", "DbiCfgSave");
    RunResult run = RunScript({"[Insert]", "BDEAlias1=New"});
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_TRUE(run.HasLine(Failed(SaveLine))) << run.Output;
    EXPECT_TRUE(run.HasLine("ERROR: Simulated failure: DbiCfgSave")) << run.Output;
    EXPECT_EQ(Changes().back(), "DbiExit() = 0x0000");
    EXPECT_FALSE(Dir.Exists("standin_aliases.cfg"));
    EXPECT_FALSE(Dir.Exists("s.ok"));
}

TEST_F(AliasTest, WithoutTheEngineOrItsTextsTheFixedMessageIsShown)
{
    {
        // The engine runs but cannot explain its failure.
        EnvironmentScope fail("VANTOREL_STANDIN_FAIL", "DbiAddAlias,DbiGetErrorString");
        RunResult run = RunScript({"[Insert]", "BDEAlias1=New"});
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        EXPECT_TRUE(run.HasLine(Failed("    -> New..."))) << run.Output;
        EXPECT_TRUE(run.HasLine(NoEngineError)) << run.Output;
    }

    ProgramDir bare;
    bare.Write("s.ini", Script({"[Insert]", "BDEAlias1=New", "BDEAlias2=Next"}));
    RunResult run = bare.Start("s.ini", "kkkk");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::vector<std::string> lines = run.Lines();
    auto init = std::find(lines.begin(), lines.end(), Failed(InitLine));
    ASSERT_NE(init, lines.end()) << run.Output;
    EXPECT_EQ(*(init + 2), NoEngineError);
    // The alias item still runs after the failed start and reports each failed call.
    EXPECT_TRUE(run.HasLine(Failed("    -> New..."))) << run.Output;
    EXPECT_FALSE(run.HasLine(Failed("    -> Next...")));
    EXPECT_EQ(run.LineStartingWith(SaveLine), "") << "an engine that never started is not saved";
    EXPECT_FALSE(bare.Exists("s.ok"));
}

}  // namespace
