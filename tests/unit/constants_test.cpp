#include <gtest/gtest.h>

#include "core/run_state.h"
#include "harness.h"
#include "run_state_scope.h"
#include "script/constants.h"

using namespace testing_support;

namespace {

// Loads "Constants" sections from real files and looks values up in the real
// (Wine) registry below a key of the test's own.
class ConstantsTest : public RunStateTest {
protected:
    void SetUp() override
    {
        ConstTable[SlotWinDir] = {"windir", "C:\\windows"};
        ConstTable[SlotSrcDir] = {"srcdir", ""};
    }

    // Writes a script whose Constants section holds the lines and loads it.
    void Load(const std::string& lines)
    {
        std::string path = m_dir / ("c" + std::to_string(++m_files) + ".ini");
        WriteFileBytes(path, "[Other]\r\nz=1\r\n[Constants]\r\n" + lines + "[After]\r\ny=2\r\n");
        LoadConstants(path);
    }
    const TConst* Find(const std::string& name) const
    {
        for (const TConst& entry : ConstTable)
            if (entry.Name == name) return &entry;
        return nullptr;
    }
    std::string Value(const std::string& name) const
    {
        const TConst* entry = Find(name);
        return entry ? entry->Value : "<undefined>";
    }

    TempDir m_dir;
    int m_files = 0;
};

TEST_F(ConstantsTest, LinesAreCutAtEqualSignsTrimmedAndMergedByAsciiCase)
{
    Load("a=b=c\r\n"
         "x\r\n"
         "Path=first\r\n"
         "  spaced  =  \t value with blanks \t \r\n"
         "PATH=second\r\n"
         "pct=%windir%\\sub\r\n"
         "empty=\r\n"
         "\xC4=upper\r\n"
         "\xE4=lower\r\n"
         "; a comment\r\n");
    EXPECT_EQ(Value("a"), "b");
    EXPECT_EQ(Value("x"), "");
    EXPECT_EQ(Value("Path"), "second");
    EXPECT_EQ(Find("PATH"), nullptr);  // one entry, spelled as first defined
    EXPECT_EQ(Value("spaced"), "value with blanks");
    EXPECT_EQ(Value("pct"), "%windir%\\sub");  // stored unexpanded
    EXPECT_EQ(Value("empty"), "");
    // Only ASCII letters are compared without regard to case.
    EXPECT_EQ(Value("\xC4"), "upper");
    EXPECT_EQ(Value("\xE4"), "lower");

    // Built-ins keep their slot; a later load of a name wins.
    Load("WINDIR=D:\\W\r\npath=third\r\nnew=1\r\n");
    EXPECT_EQ(ConstTable[SlotWinDir].Name, "windir");
    EXPECT_EQ(ConstTable[SlotWinDir].Value, "D:\\W");
    EXPECT_EQ(Value("Path"), "third");
    EXPECT_EQ(ConstTable.back().Name, "new");
    // The definition order of first appearance is the table order.
    EXPECT_EQ(ConstTable[BuiltInSlotCount].Name, "a");
}

TEST_F(ConstantsTest, MissingFileSectionOrDirectoryLoadsNothing)
{
    size_t before = ConstTable.size();
    LoadConstants(m_dir / "missing.ini");
    LoadConstants(m_dir.Path());
    WriteFileBytes(m_dir / "nosection.ini", "[Options]\r\nRun=x\r\n");
    LoadConstants(m_dir / "nosection.ini");
    EXPECT_EQ(ConstTable.size(), before);
}

// A file's section is read once for as long as it stays the same file: a
// rewrite of the same size and another time is read again.
TEST_F(ConstantsTest, AChangedFileIsReadAgain)
{
    std::string path = m_dir / "again.ini";
    FILETIME day{};
    day.dwHighDateTime = 0x01D60000;
    WriteFileBytes(path, "[Constants]\r\nv=1\r\n");
    SetLastWriteTime(path, day);
    LoadConstants(path);
    EXPECT_EQ(Value("v"), "1");
    WriteFileBytes(path, "[Constants]\r\nv=2\r\n");
    ++day.dwHighDateTime;
    SetLastWriteTime(path, day);
    LoadConstants(path);
    EXPECT_EQ(Value("v"), "2");
}

TEST_F(ConstantsTest, LongValuesAndAnOverlongSectionKeepOnlyWholeLines)
{
    std::string longValue(5000, 'v');
    Load("long=" + longValue + "\r\n");
    EXPECT_EQ(Value("long"), longValue);  // the section is not cut at 259 like single values

    // About 45000 bytes: more than the section buffer holds.
    std::string lines;
    for (int i = 0; i < 3000; ++i) lines += "k" + std::to_string(i) + "=value-" + std::to_string(i) + "\r\n";
    ConstTable.resize(BuiltInSlotCount);
    Load(lines);
    ASSERT_GT(ConstTable.size(), BuiltInSlotCount + 1000);
    EXPECT_LT(ConstTable.size(), BuiltInSlotCount + 3000);
    for (size_t slot = BuiltInSlotCount; slot < ConstTable.size(); ++slot) {
        std::string number = ConstTable[slot].Name.substr(1);
        ASSERT_EQ(ConstTable[slot].Value, "value-" + number) << "a cut line was used";
    }
}

class LookupTest : public ConstantsTest {
protected:
    void SetUp() override
    {
        ConstantsTest::SetUp();
        m_ini = m_dir / "lookup.ini";
        WriteFileBytes(m_ini, "[Main]\r\nPath=D:\\Ini\r\nEmpty=\r\nTagged=<Ini>" + m_ini +
                                  ";Main;Path;</Ini>\\x\r\nRegTag=<Reg>HKCU\\Nowhere;v;fromreg</Reg>\r\n"
                                  "Self=<Ini>" + m_ini + ";Main;Self;</Ini>\r\n");
        ConstTable.push_back({"key", m_key.ScriptPath()});
        ConstTable.push_back({"ini", m_ini});
    }
    void Reg(const std::string& name, DWORD type, const std::string& data)
    {
        WriteRegValue(HKEY_CURRENT_USER, m_key.SubKey(), name, type, data);
    }

    TestRegKey m_key;
    std::string m_ini;
};

TEST_F(LookupTest, RegistryLookupsGiveTheValueOrTheDefaultAsWritten)
{
    Reg("Dir", REG_SZ, std::string("E:\\A\0", 5));
    Reg("Blank", REG_SZ, std::string("\0", 1));
    Reg("", REG_SZ, std::string("unnamed\0", 8));
    Reg("Long", REG_SZ, std::string(300, 'L') + '\0');
    Load("v=<Reg>%key%;Dir;C:\\Def</Reg>\\bin\r\n"
         "missing=<Reg>%key%;Nope;C:\\Def</Reg>\\bin\r\n"
         "blank=<Reg>%key%;Blank;%windir%</Reg>\r\n"
         "nokey=<Reg>%key%\\Sub;Dir;dflt</Reg>\r\n"
         "unnamed=<Reg>%key%</Reg>\r\n"
         "long=<Reg>%key%;Long;too long</Reg>\r\n"
         "norootname=<Reg>" + m_key.SubKey() + ";Dir;</Reg>\r\n"
         "lowercaseroot=<Reg>hkcu\\" + m_key.SubKey() + ";Dir;lower</Reg>\r\n"
         "two=<Reg>%key%;Dir;</Reg>;<Reg>%key%;Nope;none</Reg>;<Reg>%key%;Dir</Reg>\r\n"
         "fields=<Reg>%key%;Nope;a;b</Reg>\r\n");
    EXPECT_EQ(Value("v"), "E:\\A\\bin");
    EXPECT_EQ(Value("missing"), "C:\\Def\\bin");
    EXPECT_EQ(Value("blank"), "%windir%");  // the default is not expanded
    EXPECT_EQ(Value("nokey"), "dflt");
    EXPECT_EQ(Value("unnamed"), "unnamed");
    EXPECT_EQ(Value("long"), "too long");
    EXPECT_EQ(Value("norootname"), "E:\\A");  // below HKEY_CURRENT_USER
    EXPECT_EQ(Value("lowercaseroot"), "lower");  // "hkcu" is no root name
    EXPECT_EQ(Value("two"), "E:\\A;none;E:\\A");
    EXPECT_EQ(Value("fields"), "a");
}

TEST_F(LookupTest, RegistryValuesOfOtherTypesReadAsText)
{
    Reg("Dword", REG_DWORD, std::string("\x2A\x00\x00\x00", 4));
    Reg("Big", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4));
    Reg("Zero", REG_DWORD, std::string(4, '\0'));
    Reg("Qword", REG_QWORD, std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8));
    Reg("Expand", REG_EXPAND_SZ, std::string("%windir%\\x\0", 11));
    Reg("Multi", REG_MULTI_SZ, std::string("first\0second\0\0", 14));
    Reg("Binary", REG_BINARY, std::string("AB\0CD", 5));
    Reg("NoNul", REG_SZ, "abc");
    Load("dword=<Reg>%key%;Dword;d</Reg>\r\n"
         "big=<Reg>%key%;Big;d</Reg>\r\n"
         "zero=<Reg>%key%;Zero;d</Reg>\r\n"
         "qword=<Reg>%key%;Qword;d</Reg>\r\n"
         "expand=<Reg>%key%;Expand;d</Reg>\r\n"
         "multi=<Reg>%key%;Multi;d</Reg>\r\n"
         "binary=<Reg>%key%;Binary;d</Reg>\r\n"
         "nonul=<Reg>%key%;NoNul;d</Reg>\r\n");
    EXPECT_EQ(Value("dword"), "42");
    EXPECT_EQ(Value("big"), "4294967295");
    EXPECT_EQ(Value("zero"), "0");
    EXPECT_EQ(Value("qword"), "4294967296");
    EXPECT_EQ(Value("expand"), "%windir%\\x");  // stored as written; expanded where used
    EXPECT_EQ(Value("multi"), "first");
    EXPECT_EQ(Value("binary"), "AB");
    EXPECT_EQ(Value("nonul"), "abc");
}

TEST_F(LookupTest, IniLookupsAndTheirOrderAfterRegistryLookups)
{
    Reg("Dir", REG_SZ, std::string("E:\\A\0", 5));
    Load("v=<Ini>%ini%;Main;Path;C:\\Def</Ini>\\bin\r\n"
         "missing=<Ini>%ini%;Main;Nope;</Ini>\r\n"
         "empty=<Ini>%ini%;Main;Empty;dflt</Ini>\r\n"
         "nofile=<Ini>%ini%.none;Main;Path;dflt</Ini>\r\n"
         "case=<Ini>%ini%;MAIN;PATH;</Ini>\r\n"
         "around=pre<Reg>%key%;Dir;</Reg>mid<Ini>%ini%;Main;Path;</Ini>post\r\n"
         "nested=<Ini>%ini%;Main;Tagged;</Ini>\r\n"
         "iniregtag=<Ini>%ini%;Main;RegTag;</Ini>\r\n");
    EXPECT_EQ(Value("v"), "D:\\Ini\\bin");
    EXPECT_EQ(Value("missing"), "");
    EXPECT_EQ(Value("empty"), "dflt");
    EXPECT_EQ(Value("nofile"), "dflt");
    EXPECT_EQ(Value("case"), "D:\\Ini");
    EXPECT_EQ(Value("around"), "preE:\\AmidD:\\Inipost");
    EXPECT_EQ(Value("nested"), "D:\\Ini\\x");  // a result holding a tag is resolved again
    // Registry lookups are done before INI lookups, so a registry tag that an
    // INI lookup delivers stays text.
    EXPECT_EQ(Value("iniregtag"), "<Reg>HKCU\\Nowhere;v;fromreg</Reg>");
}

TEST_F(LookupTest, MalformedAndSelfProducingTagsStayTextAndEnd)
{
    Reg("Dir", REG_SZ, std::string("E:\\A\0", 5));
    std::string self = "x<Reg>" + m_key.ScriptPath() + ";Self;</Reg>";
    Reg("Self", REG_SZ, self + '\0');
    Load("open=a<Reg>%key%;Dir;d\r\n"
         "closefirst=a</Reg>b<Reg>c\r\n"
         "strayclose=a</Reg>b<Reg>%key%;Dir;</Reg>c\r\n"
         "lower=<reg>%key%;Dir;d</reg>\r\n"
         "inionly=<Ini>%ini%;Main;Path\r\n"
         "selfreg=<Reg>%key%;Self;</Reg>\r\n"
         "selfini=<Ini>%ini%;Main;Self;</Ini>\r\n");
    EXPECT_EQ(Value("open"), "a<Reg>%key%;Dir;d");
    EXPECT_EQ(Value("closefirst"), "a</Reg>b<Reg>c");
    EXPECT_EQ(Value("strayclose"), "a</Reg>bE:\\Ac");
    EXPECT_EQ(Value("lower"), "<reg>%key%;Dir;d</reg>");
    EXPECT_EQ(Value("inionly"), "<Ini>%ini%;Main;Path");
    // Each lookup gives the same tag again: the loop stops, the value keeps
    // its last tag as text.
    std::string selfreg = Value("selfreg");
    EXPECT_GT(selfreg.size(), 10u);
    EXPECT_EQ(selfreg.find_first_not_of('x'), selfreg.find("<Reg>"));
    EXPECT_EQ(selfreg.substr(selfreg.find("<Reg>")), "<Reg>" + m_key.ScriptPath() + ";Self;</Reg>");
    EXPECT_EQ(Value("selfini"), "<Ini>" + m_ini + ";Main;Self;</Ini>");
}

TEST(ParseRootKeyTest, BothColumnsWithRegardToCase)
{
    struct Case {
        const char* Path;
        HKEY Root;
        const char* SubKey;
        bool Recognised;
    } cases[] = {
        {"HKEY_CLASSES_ROOT\\.txt", HKEY_CLASSES_ROOT, ".txt", true},
        {"HKCR\\.txt", HKEY_CLASSES_ROOT, ".txt", true},
        {"HKCU\\Software\\X", HKEY_CURRENT_USER, "Software\\X", true},
        {"HKEY_LOCAL_MACHINE\\Software", HKEY_LOCAL_MACHINE, "Software", true},
        {"HKLM\\Software\\A\\B", HKEY_LOCAL_MACHINE, "Software\\A\\B", true},
        {"HKEY_USERS\\.DEFAULT", HKEY_USERS, ".DEFAULT", true},
        {"HKUS\\.DEFAULT", HKEY_USERS, ".DEFAULT", true},
        {"HKPD\\x", HKEY_PERFORMANCE_DATA, "x", true},
        {"HKCC\\Software", HKEY_CURRENT_CONFIG, "Software", true},
        {"HKEY_DYN_DATA\\PerfStats", HKEY_DYN_DATA, "PerfStats", true},
        {"HKLM\\", HKEY_LOCAL_MACHINE, "", true},
        // Not a root: the whole path below HKEY_CURRENT_USER.
        {"HKU\\.DEFAULT", HKEY_CURRENT_USER, "HKU\\.DEFAULT", false},
        {"hklm\\Software", HKEY_CURRENT_USER, "hklm\\Software", false},
        {"Software\\X", HKEY_CURRENT_USER, "Software\\X", false},
        {"HKLM", HKEY_CURRENT_USER, "HKLM", false},
        {"\\HKLM\\Software", HKEY_CURRENT_USER, "\\HKLM\\Software", false},
        {"H", HKEY_CURRENT_USER, "H", false},
        {"", HKEY_CURRENT_USER, "", false},
    };
    for (const Case& c : cases) {
        TRootKey key = ParseRootKey(c.Path);
        EXPECT_EQ(key.Root, c.Root) << c.Path;
        EXPECT_EQ(key.SubKey, c.SubKey) << c.Path;
        EXPECT_EQ(key.Recognised, c.Recognised) << c.Path;
    }
}

}  // namespace
