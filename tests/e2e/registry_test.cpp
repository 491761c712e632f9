// Registry items run by the program: what the registry holds afterwards and
// the lines each case prints.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;


std::string Bytes(std::initializer_list<int> codes)
{
    std::string bytes;
    for (int c : codes) bytes += static_cast<char>(c);
    return bytes;
}

class RegistryRun : public ::testing::Test {
protected:
    // Runs the script (lines joined) and gives the lines after "=> Processing".
    Lines RunScript(const Lines& lines, DWORD expectedExit = 0)
    {
        Dir.Write("s.ini", Script(lines));
        RunResult run = Dir.Start("s.ini", "kkk");
        EXPECT_EQ(run.ExitCode, expectedExit) << run.Output;
        return ActionLines(run);
    }
    RegValue Value(const std::string& relative, const std::string& name) const
    {
        return ReadRegValue(HKEY_CURRENT_USER, Key.SubKey() + relative, name);
    }
    std::string Path(const std::string& relative = "") const { return Key.ScriptPath() + relative; }
    static std::string ItemLine(const std::string& path) { return "    -> " + path + "..."; }

    ProgramDir Dir;
    TestRegKey Key;
};

TEST_F(RegistryRun, InsertThenUpdateThenDeleteValuesAndKeys)
{
    Lines out = RunScript({"[Constants]", "base=" + Path(), "[Insert]", "Reg1=%base%\\App",
                           "Reg1Val1Name=Dir", "Reg1Val1Value=C:\\Ledger",
                           "Reg1Val2Name=List", "Reg1Val2Type=M", "Reg1Val2Value=one\\0two\\0",
                           "Reg1Val3Name=Blob", "Reg1Val3Type=B", "Reg1Val3Value=\\0\\1\\200\\255",
                           "Reg1Val4Name=Port", "Reg1Val4Type=I", "Reg1Val4Value=0x1F90",
                           "Reg1Val5Name=%default%", "Reg1Val5Value=main"});
    EXPECT_EQ(out, (Lines{"=> Inserting", "   registry keys:", ItemLine(Path("\\App")), ValueOk("Dir"),
                          ValueOk("List"), ValueOk("Blob"), ValueOk("Port"), ValueOk("")}));
    EXPECT_EQ(Value("\\App", "Dir").Type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Value("\\App", "Dir").Data, std::string("C:\\Ledger\0", 10));
    EXPECT_EQ(Value("\\App", "List").Type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(Value("\\App", "List").Data, std::string("one\0two\0\0", 9));
    EXPECT_EQ(Value("\\App", "Blob").Type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(Value("\\App", "Blob").Data, Bytes({0, 1, 200, 255}));
    EXPECT_EQ(Value("\\App", "Port").Type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Value("\\App", "Port").Data, Bytes({0x90, 0x1F, 0, 0}));
    EXPECT_EQ(Value("\\App", "").Data, std::string("main\0", 5));

    // The same values again in Update: only what differs is written.
    out = RunScript({"[Update]", "Reg1=" + Path("\\App"), "Reg1Val1Name=Dir", "Reg1Val1Value=C:\\Ledger",
                     "Reg1Val2Name=List", "Reg1Val2Type=M", "Reg1Val2Value=one\\0two\\0three\\0",
                     "Reg1Val3Name=Blob", "Reg1Val3Type=B", "Reg1Val3Value=\\0\\1\\200\\255",
                     "Reg1Val4Name=Port", "Reg1Val4Type=I", "Reg1Val4Value=$1F90",
                     "Reg1Val5Name=%DEFAULT%", "Reg1Val5Value=Main"});
    EXPECT_EQ(out, (Lines{"=> Updating", "   registry keys:", ItemLine(Path("\\App")), ValueOk("List"),
                          ValueOk("")}));
    EXPECT_EQ(Value("\\App", "List").Data, std::string("one\0two\0three\0\0", 15));
    EXPECT_EQ(Value("\\App", "").Data, std::string("Main\0", 5));

    // Delete: listed values of Reg1 go, the key without values of Reg2 goes whole.
    WriteRegValue(HKEY_CURRENT_USER, Key.SubKey() + "\\Old", "x", REG_SZ, std::string("x\0", 2));
    out = RunScript({"[Delete]", "Reg1=" + Path("\\App"), "Reg1Val1Name=Blob", "Reg1Val2Name=Missing",
                     "Reg1Val3Name=Port", "Reg2=" + Path("\\Old")});
    EXPECT_EQ(out, (Lines{"=> Deleting", "   registry keys:", ItemLine(Path("\\App")), ValueOk("Blob"),
                          ValueOk("Port"), ItemLine(Path("\\Old"))}));
    EXPECT_FALSE(Value("\\App", "Blob").Exists);
    EXPECT_FALSE(Value("\\App", "Port").Exists);
    EXPECT_TRUE(Value("\\App", "Dir").Exists);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, Key.SubKey() + "\\Old"));
}

TEST_F(RegistryRun, MissingKeyInDeleteSectionIsReportedAndTheRunGoesOn)
{
    WriteRegValue(HKEY_CURRENT_USER, Key.SubKey() + "\\Old", "v", REG_SZ, std::string("x\0", 2));
    Lines out = RunScript({"[Delete]", "Reg1=" + Path("\\Missing"), "Reg1Val1Name=v", "Reg2=" + Path("\\Old")});
    ASSERT_GE(out.size(), 8u);
    EXPECT_EQ(out[2], ItemLine(Path("\\Missing")));
    EXPECT_EQ(out[3], Failed(""));
    EXPECT_EQ(out[5].rfind("ERROR: ", 0), 0u) << out[5];
    EXPECT_EQ(out[7], "Press any key to continue...");
    EXPECT_EQ(out.back(), ItemLine(Path("\\Old")));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, Key.SubKey() + "\\Old"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, Key.SubKey() + "\\Missing"));
}

TEST_F(RegistryRun, KeyThatCannotBeCreatedStopsTheRun)
{
    // Below a volatile key no lasting key can be created.
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (Key.SubKey() + "\\Volatile").c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_READ, nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(raw);
    Lines out = RunScript({"[Insert]", "Reg1=" + Path("\\Volatile\\Child"), "Reg1Val1Name=a", "Reg1Val1Value=1",
                           "[Update]", "Reg1=" + Path("\\Later"), "Reg1Val1Name=b", "Reg1Val1Value=2"},
                          2);
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[2], ItemLine(Path("\\Volatile\\Child")));
    EXPECT_EQ(out[3], Failed(""));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, Key.SubKey() + "\\Later"));
}

TEST_F(RegistryRun, LowerCaseRootIsAKeyUnderTheCurrentUser)
{
    std::string lower = "hklm\\" + Key.SubKey();
    Lines out = RunScript({"[Insert]", "Reg1=" + lower, "Reg1Val1Name=v", "Reg1Val1Value=1"});
    bool written = ReadRegValue(HKEY_CURRENT_USER, lower, "v").Exists;
    bool machine = ReadRegValue(HKEY_LOCAL_MACHINE, Key.SubKey(), "v").Exists;
    RegDeleteTreeA(HKEY_CURRENT_USER, lower.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "hklm\\Software\\VantorelTests");
    RegDeleteKeyA(HKEY_CURRENT_USER, "hklm\\Software");
    RegDeleteKeyA(HKEY_CURRENT_USER, "hklm");
    EXPECT_EQ(out, (Lines{"=> Inserting", "   registry keys:", ItemLine(lower), ValueOk("v")}));
    EXPECT_TRUE(written);
    EXPECT_FALSE(machine);
}

}  // namespace
