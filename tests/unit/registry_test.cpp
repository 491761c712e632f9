#include <gtest/gtest.h>

#include <vector>

#include "actions/registry.h"
#include "core/console.h"
#include "core/run_state.h"
#include "console_capture.h"
#include "harness.h"
#include "script/constants.h"
#include "run/dispatch.h"
#include "run/run_steps.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

std::string Bytes(std::initializer_list<int> codes)
{
    std::string bytes;
    for (int c : codes) bytes += static_cast<char>(c);
    return bytes;
}

// Runs registry items in-process against the real registry: the script is a
// real file, the console goes to a file of the test's own.
class RegistryItemTest : public RunStateTest {
protected:
    void SetUp() override { ::Run.ExeDir = m_dir.Path(); }

    // Carries out item `item` of the section of `mode` whose keys are `lines`;
    // gives the console lines.
    std::vector<std::string> Apply(TSectionMode mode, const std::string& keyPath, const std::vector<std::string>& lines,
                                   int item = 1)
    {
        const char* section = mode == Insert ? "Insert" : mode == Update ? "Update" : "Delete";
        std::string script =
            std::string("[") + section + "]\r\nReg" + std::to_string(item) + "=" + keyPath + "\r\n";
        for (const auto& line : lines) script += line + "\r\n";
        WriteFileBytes(m_dir / "s.ini", script);
        ConsoleCapture console;
        TRunSteps steps;
        ProcessScriptItem(m_dir / "s.ini", section, TItemKind::Registry, item, mode, steps);
        return console.Lines();
    }

    std::string ItemLine(const std::string& path) const { return "    -> " + path + "..."; }
    RegValue Value(const std::string& name) const { return ReadRegValue(HKEY_CURRENT_USER, m_key.SubKey(), name); }
    void Store(const std::string& name, DWORD type, const std::string& data) const
    {
        WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey(), name, type, data);
    }

    TempDir m_dir;
    TestRegKey m_key;
};

using Lines = std::vector<std::string>;

TEST(RegistryIntegerTest, PrefixesSignsAndEdgeTexts)
{
    EXPECT_EQ(RegistryInteger("255"), 255u);
    EXPECT_EQ(RegistryInteger("$FF"), 255u);
    EXPECT_EQ(RegistryInteger("0xff"), 255u);
    EXPECT_EQ(RegistryInteger("0XfF"), 255u);
    EXPECT_EQ(RegistryInteger("xFF"), 255u);
    EXPECT_EQ(RegistryInteger("XFF"), 255u);
    EXPECT_EQ(RegistryInteger("  +42"), 42u);
    EXPECT_EQ(RegistryInteger("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(RegistryInteger("-$10"), 0xFFFFFFF0u);
    EXPECT_EQ(RegistryInteger("2147483647"), 0x7FFFFFFFu);
    EXPECT_EQ(RegistryInteger("-2147483648"), 0x80000000u);
    EXPECT_EQ(RegistryInteger("$FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(RegistryInteger("0x0000000012"), 0x12u);  // leading zeros do not overflow
    EXPECT_EQ(RegistryInteger("007"), 7u);
}

TEST(RegistryIntegerTest, AnythingElseAndOverflowGiveZero)
{
    for (const char* text : {"", " ", "-", "+", "$", "0x", "x", "12abc", "12 ", "1-", "--1", "0x0x1", "$G", "1.5",
                             "2147483648", "-2147483649", "4294967296", "$100000000", "99999999999999999999"})
        EXPECT_EQ(RegistryInteger(text), 0u) << '"' << text << '"';
}

TEST_F(RegistryItemTest, EveryTypeIsStoredWithExactBytes)
{
    ConstTable.push_back({"app", "Ledger"});
    Lines out = Apply(Insert, m_key.ScriptPath(),
                      {"Reg1Val1Name=Str", "Reg1Val1Value=%app%\\data",
                       "Reg1Val2Name=Multi", "Reg1Val2Type=M", "Reg1Val2Value=first\\0second\\0",
                       "Reg1Val3Name=Bin", "Reg1Val3Type=Binary", "Reg1Val3Value=\\1\\2\\255\\0x",
                       "Reg1Val4Name=Hex", "Reg1Val4Type=integer", "Reg1Val4Value=$FF",
                       "Reg1Val5Name=Minus", "Reg1Val5Type=I", "Reg1Val5Value=-1",
                       "Reg1Val6Name=Junk", "Reg1Val6Type=I", "Reg1Val6Value=12abc",
                       "Reg1Val7Name=Empty", "Reg1Val7Type=", "Reg1Val7Value=",
                       "Reg1Val8Name=EmptyBin", "Reg1Val8Type=D"});
    EXPECT_EQ(out, (Lines{ItemLine(m_key.ScriptPath()), Ok("       value \"Str\""), Ok("       value \"Multi\""),
                          Ok("       value \"Bin\""), Ok("       value \"Hex\""), Ok("       value \"Minus\""),
                          Ok("       value \"Junk\""), Ok("       value \"Empty\""), Ok("       value \"EmptyBin\"")}));
    EXPECT_TRUE(::Run.RunOk);
    auto check = [&](const char* name, DWORD type, const std::string& data) {
        RegValue value = Value(name);
        EXPECT_TRUE(value.Exists) << name;
        EXPECT_EQ(value.Type, type) << name;
        EXPECT_EQ(value.Data, data) << name;
    };
    check("Str", REG_SZ, std::string("Ledger\\data\0", 12));
    check("Multi", REG_MULTI_SZ, std::string("first\0second\0\0", 14));
    check("Bin", REG_BINARY, Bytes({1, 2, 255, 0, 'x'}));
    check("Hex", REG_DWORD, Bytes({255, 0, 0, 0}));
    check("Minus", REG_DWORD, Bytes({255, 255, 255, 255}));
    check("Junk", REG_DWORD, Bytes({0, 0, 0, 0}));
    check("Empty", REG_SZ, std::string(1, '\0'));
    check("EmptyBin", REG_BINARY, "");
}

TEST_F(RegistryItemTest, TypeLettersAndNumberedKeysOfLaterItems)
{
    Apply(Insert, m_key.ScriptPath(),
          {"Reg1Val1Name=wrong item", "Reg2Val1Name=s", "Reg2Val1Type=string", "Reg2Val1Value=1",
           "Reg2Val2Name=i", "Reg2Val2Type=int", "Reg2Val2Value=1", "Reg2Val3Name=m", "Reg2Val3Type=multi",
           "Reg2Val3Value=1", "Reg2Val4Name=x", "Reg2Val4Type=X", "Reg2Val4Value=1"},
          2);
    EXPECT_EQ(Value("s").Type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Value("i").Type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Value("m").Type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(Value("x").Type, static_cast<DWORD>(REG_BINARY));
    EXPECT_FALSE(Value("wrong item").Exists);
}

TEST_F(RegistryItemTest, MultiStringKeepsEverythingAfterTheFirstNulWhenExpanded)
{
    SetEnvironmentVariableA("VANTOREL_REG_TEST", "env");
    Apply(Insert, m_key.ScriptPath(), {"Reg1Val1Name=M", "Reg1Val1Type=M", "Reg1Val1Value=a\\0%VANTOREL_REG_TEST%\\0"});
    SetEnvironmentVariableA("VANTOREL_REG_TEST", nullptr);
    EXPECT_EQ(Value("M").Data, std::string("a\0env\0\0", 7));
}

TEST_F(RegistryItemTest, InsertTable)
{
    Store("Kept", REG_SZ, std::string("old\0", 4));
    Store("Other", REG_DWORD, Bytes({1, 0, 0, 0}));
    Lines out = Apply(Insert, m_key.ScriptPath(),
                      {"Reg1Val1Name=Kept", "Reg1Val1Value=new", "Reg1Val2Name=Other", "Reg1Val2Value=text",
                       "Reg1Val3Name=New", "Reg1Val3Value=v"});
    EXPECT_EQ(out, (Lines{ItemLine(m_key.ScriptPath()), Ok("       value \"New\"")}));
    EXPECT_EQ(Value("Kept").Data, std::string("old\0", 4));
    EXPECT_EQ(Value("Other").Type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(Value("New").Data, std::string("v\0", 2));
}

TEST_F(RegistryItemTest, UpdateTable)
{
    Store("Same", REG_SZ, std::string("v\0", 2));
    Store("SameDword", REG_DWORD, Bytes({255, 0, 0, 0}));
    Store("SameMulti", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    Store("SameBin", REG_BINARY, Bytes({1, 2}));
    Store("Expand", REG_EXPAND_SZ, std::string("v\0", 2));
    Store("Case", REG_SZ, std::string("V\0", 2));
    Store("Longer", REG_SZ, std::string("vv\0", 3));
    Store("OtherDword", REG_DWORD, Bytes({254, 0, 0, 0}));
    Store("Long", REG_SZ, std::string(300, 'z') + '\0');
    Lines out = Apply(Update, m_key.ScriptPath(),
                      {"Reg1Val1Name=Same", "Reg1Val1Value=v", "Reg1Val2Name=SameDword", "Reg1Val2Type=I",
                       "Reg1Val2Value=255", "Reg1Val3Name=SameMulti", "Reg1Val3Type=M", "Reg1Val3Value=a\\0b\\0",
                       "Reg1Val4Name=SameBin", "Reg1Val4Type=B", "Reg1Val4Value=\\1\\2",
                       "Reg1Val5Name=Expand", "Reg1Val5Value=v", "Reg1Val6Name=Case", "Reg1Val6Value=v",
                       "Reg1Val7Name=Longer", "Reg1Val7Value=v", "Reg1Val8Name=OtherDword", "Reg1Val8Type=I",
                       "Reg1Val8Value=0xff", "Reg1Val9Name=Long", "Reg1Val9Value=short",
                       "Reg1Val10Name=Missing", "Reg1Val10Value=m"});
    EXPECT_EQ(out, (Lines{ItemLine(m_key.ScriptPath()), Ok("       value \"Expand\""), Ok("       value \"Case\""),
                          Ok("       value \"Longer\""), Ok("       value \"OtherDword\""),
                          Ok("       value \"Long\""), Ok("       value \"Missing\"")}));
    EXPECT_EQ(Value("Expand").Type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Value("Case").Data, std::string("v\0", 2));
    EXPECT_EQ(Value("Longer").Data, std::string("v\0", 2));
    EXPECT_EQ(Value("OtherDword").Data, Bytes({255, 0, 0, 0}));
    EXPECT_EQ(Value("Long").Data, std::string("short\0", 6));
    EXPECT_EQ(Value("Missing").Data, std::string("m\0", 2));
    EXPECT_TRUE(::Run.RunOk);
}

TEST_F(RegistryItemTest, DeleteTableDeletesListedValuesAndKeepsTheKey)
{
    Store("Gone", REG_SZ, std::string("x\0", 2));
    Store("Stays", REG_SZ, std::string("y\0", 2));
    Store("Long", REG_BINARY, std::string(261, 'b'));
    Lines out = Apply(Delete, m_key.ScriptPath(),
                      {"Reg1Val1Name=Gone", "Reg1Val1Type=S", "Reg1Val2Name=NotThere", "Reg1Val3Name=Long"});
    EXPECT_EQ(out, (Lines{ItemLine(m_key.ScriptPath()), Ok("       value \"Gone\"")}));
    EXPECT_FALSE(Value("Gone").Exists);
    EXPECT_TRUE(Value("Stays").Exists);
    EXPECT_TRUE(Value("Long").Exists);  // too long to be read, so counted as absent
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, m_key.SubKey()));
}

TEST_F(RegistryItemTest, ItemsWithoutValuesCreateOrDeleteTheKeyWithoutStatus)
{
    std::string child = m_key.ScriptPath() + "\\Child";
    EXPECT_EQ(Apply(Update, child, {}), (Lines{ItemLine(child)}));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, m_key.SubKey() + "\\Child"));
    EXPECT_EQ(Apply(Insert, child, {}), (Lines{ItemLine(child)}));

    EXPECT_EQ(Apply(Delete, child, {}), (Lines{ItemLine(child)}));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, m_key.SubKey() + "\\Child"));
    EXPECT_TRUE(::Run.RunOk);
}

TEST_F(RegistryItemTest, DeleteSectionKeyThatCannotBeOpenedIsReportedAndTheRunGoesOn)
{
    std::string missing = m_key.ScriptPath() + "\\Missing";
    Lines out = Apply(Delete, missing, {"Reg1Val1Name=A"});
    // The path is longer than the status column: the box goes to a line of its own.
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[0], ItemLine(missing));
    EXPECT_EQ(out[1], Failed(""));
    EXPECT_EQ(out[3].rfind("ERROR: ", 0), 0u);
    EXPECT_TRUE(::Run.RunOk);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, m_key.SubKey() + "\\Missing"));
}

TEST_F(RegistryItemTest, DeletingAKeyWithSubkeysFailsTheRun)
{
    Store("v", REG_SZ, std::string("x\0", 2));
    WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey() + "\\Sub", "v", REG_SZ, std::string("x\0", 2));
    Lines out = Apply(Delete, m_key.ScriptPath(), {});
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[0], ItemLine(m_key.ScriptPath()));
    EXPECT_EQ(out[1], Failed(""));
    EXPECT_FALSE(::Run.RunOk);
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, m_key.SubKey() + "\\Sub"));
}

TEST_F(RegistryItemTest, DefaultValueNameInAnyCaseUnlessExpandedAway)
{
    Lines out = Apply(Insert, m_key.ScriptPath(),
                      {"Reg1Val1Name=%DEFAULT%", "Reg1Val1Value=dflt", "Reg1Val2Name=%Default%",
                       "Reg1Val2Value=second"});
    EXPECT_EQ(out, (Lines{ItemLine(m_key.ScriptPath()), Ok("       value \"\"")}));
    EXPECT_EQ(Value("").Data, std::string("dflt\0", 5));

    ConstTable.push_back({"default", "Named"});
    Apply(Insert, m_key.ScriptPath(), {"Reg1Val1Name=%default%", "Reg1Val1Value=n"});
    EXPECT_EQ(Value("Named").Data, std::string("n\0", 2));
}

TEST_F(RegistryItemTest, RootNamesAreCaseSensitiveAndUnknownRootsMeanCurrentUser)
{
    std::string full = "HKEY_CURRENT_USER\\" + m_key.SubKey();
    Apply(Insert, full, {"Reg1Val1Name=a", "Reg1Val1Value=1"});
    EXPECT_TRUE(Value("a").Exists);

    // "hklm" in lower case is no root: a key of that name under HKEY_CURRENT_USER.
    std::string lower = "hklm\\" + m_key.SubKey();
    Apply(Insert, lower, {"Reg1Val1Name=b", "Reg1Val1Value=1"});
    EXPECT_TRUE(ReadRegValue(HKEY_CURRENT_USER, lower, "b").Exists);
    EXPECT_FALSE(ReadRegValue(HKEY_LOCAL_MACHINE, m_key.SubKey(), "b").Exists);
    RegDeleteTreeA(HKEY_CURRENT_USER, lower.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "hklm\\Software\\VantorelTests");
    RegDeleteKeyA(HKEY_CURRENT_USER, "hklm\\Software");
    RegDeleteKeyA(HKEY_CURRENT_USER, "hklm");

    // A path without root is below HKEY_CURRENT_USER as a whole.
    Apply(Insert, m_key.SubKey(), {"Reg1Val1Name=c", "Reg1Val1Value=1"});
    EXPECT_TRUE(Value("c").Exists);
    EXPECT_TRUE(::Run.RunOk);
}

TEST_F(RegistryItemTest, ShortNameOfUsersIsHkusNotHku)
{
    std::string sub = ".DEFAULT\\" + m_key.SubKey();
    Apply(Insert, "HKUS\\" + sub, {"Reg1Val1Name=u", "Reg1Val1Value=1"});
    EXPECT_TRUE(ReadRegValue(HKEY_USERS, sub, "u").Exists);
    RegDeleteTreeA(HKEY_USERS, sub.c_str());
    RegDeleteKeyA(HKEY_USERS, ".DEFAULT\\Software\\VantorelTests");

    std::string hku = "HKU\\" + m_key.SubKey();
    Apply(Insert, hku, {"Reg1Val1Name=h", "Reg1Val1Value=1"});
    EXPECT_TRUE(ReadRegValue(HKEY_CURRENT_USER, hku, "h").Exists);
    // Parents go only when empty: a parallel run may hold keys below them.
    RegDeleteTreeA(HKEY_CURRENT_USER, hku.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "HKU\\Software\\VantorelTests");
    RegDeleteKeyA(HKEY_CURRENT_USER, "HKU\\Software");
    RegDeleteKeyA(HKEY_CURRENT_USER, "HKU");
}

TEST_F(RegistryItemTest, KeyThatCannotBeCreatedFailsTheRun)
{
    ConstTable.push_back({"nothing", ""});
    Lines out = Apply(Update, "%nothing%", {"Reg1Val1Name=a", "Reg1Val1Value=1"});
    ASSERT_GE(out.size(), 3u) << out[0];
    EXPECT_EQ(out[0], std::string(44, ' ') + "[ FAILED ]");  // an empty path prints no item line
    EXPECT_FALSE(::Run.RunOk);
}

TEST_F(RegistryItemTest, KeyBelowAVolatileKeyCannotBeCreated)
{
    HKEY raw = nullptr;
    std::string volatileKey = m_key.SubKey() + "\\Volatile";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, volatileKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_READ,
                              nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    UniqueHKey owner(raw);
    Lines out = Apply(Insert, "HKCU\\" + volatileKey + "\\Child", {"Reg1Val1Name=a", "Reg1Val1Value=1"});
    ASSERT_GE(out.size(), 4u) << ::testing::PrintToString(out);
    EXPECT_EQ(out[0], ItemLine("HKCU\\" + volatileKey + "\\Child"));
    EXPECT_EQ(out[1], Failed(""));
    EXPECT_EQ(out[3].rfind("ERROR: ", 0), 0u);
    EXPECT_FALSE(::Run.RunOk);
}

TEST_F(RegistryItemTest, FailedWriteStopsTheValueList)
{
    // Under Wine the performance-data root opens, answers every query, and takes no values.
    Lines out = Apply(Update, "HKPD\\", {"Reg1Val1Name=VantorelTest", "Reg1Val1Value=1", "Reg1Val2Name=Second",
                                      "Reg1Val2Value=2"});
    ASSERT_GE(out.size(), 4u) << ::testing::PrintToString(out);
    EXPECT_EQ(out[0], ItemLine("HKPD\\"));
    EXPECT_EQ(out[1], Failed("       value \"VantorelTest\""));
    EXPECT_EQ(out[3].rfind("ERROR: ", 0), 0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), Failed("       value \"Second\"")), 0);
    EXPECT_FALSE(::Run.RunOk);
}

}  // namespace
