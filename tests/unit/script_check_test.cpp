// Checking scripts in this process: a temporary program directory and a
// share beside it, scripts written to both, the exact lines the check gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/run_state.h"
#include "engine_support.h"
#include "file_support.h"
#include "harness.h"
#include "run/script_check.h"
#include "script/constants.h"
#include "script/script_image.h"

using namespace testing_support;

namespace {

class ScriptCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = ::Run;  // "::" because gtest fixtures have a Run() of their own
        ::Run = TRunState{};
        ::Run.ExeDir = App.Path();
        ::Run.ExeName = "vantorel.exe";
        ConstTable.assign(BuiltInSlotCount, TConst{});
        ConstTable[SlotWinDir] = {"windir", "C:\\windows"};
        ConstTable[SlotPfDir] = {"pfdir", "C:\\Program Files"};
        ConstTable[SlotSrcDir] = {"srcdir", ""};
        Both("vantorel.exe", "MZ");
    }
    void TearDown() override
    {
        ::Run = m_saved;
        ConstTable.clear();
        ForgetScriptImages();
    }

    static void Put(const std::string& path, const std::string& text, int day = 1)
    {
        WriteFileBytes(path, text);
        SetLastWriteTime(path, LocalStamp(day));
    }
    // The same copy in the program directory and on the share.
    void Both(const std::string& name, const std::string& text)
    {
        Put(App / name, text);
        Put(Share / name, text);
    }
    // s.ini: [Options] with SourcePath on the share (lines 1 and 2), then the lines.
    void Write(const std::vector<std::string>& lines, const std::string& name = "s.ini")
    {
        std::vector<std::string> all{"[Options]", "SourcePath=" + Share.Path()};
        all.insert(all.end(), lines.begin(), lines.end());
        Both(name, Script(all));
    }
    // Each check is a run of its own: it lists the share afresh.
    std::vector<std::string> Check(const std::string& name = "s.ini")
    {
        ::Run.Listings.reset();
        Result = CheckScript(name);
        std::vector<std::string> lines;
        for (const TFinding& finding : Result.Findings) lines.push_back(FormatFinding(finding));
        return lines;
    }

    TempDir App;
    TempDir Share;
    TCheckResult Result;

private:
    TRunState m_saved;
};

using Lines = std::vector<std::string>;

TEST(ScriptSections, EveryLineInFileOrderWithDuplicatesAsWritten)
{
    TempDir dir;
    std::string path = dir / "l.ini";
    WriteFileBytes(path, "top=1\r\n\r\n[A]\r\n k = \"quoted\" \r\nk=second\r\n  [ a ]\nnoequals\r; c=x\r\n[B]");
    std::vector<TScriptSection> sections;
    ASSERT_TRUE(ListScriptSections(path, sections));
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(sections[0].Name, "");
    EXPECT_EQ(sections[0].Line, 0);
    EXPECT_EQ(sections[0].Lines[0].Line, 1);
    EXPECT_EQ(sections[1].Name, "A");
    EXPECT_EQ(sections[1].Line, 3);
    const TScriptLine& k = sections[1].Lines[0];
    EXPECT_EQ(k.Name + "|" + k.Value + "|" + k.Read, "k|\"quoted\"|quoted");
    EXPECT_EQ(k.Line, 4);
    EXPECT_EQ(sections[1].Lines[1].Value, "second");
    EXPECT_EQ(sections[2].Name, "a");  // the second [A]: the reads never see it
    EXPECT_EQ(sections[2].Line, 6);
    EXPECT_FALSE(sections[2].Lines[0].HasEquals);
    EXPECT_EQ(sections[2].Lines[0].Line, 7);  // LF and a lone CR end lines too
    EXPECT_EQ(sections[2].Lines[1].Name, "; c");
    EXPECT_EQ(sections[3].Line, 9);
    EXPECT_FALSE(ListScriptSections(dir / "missing.ini", sections));

    std::string wide = "\xFF\xFE";
    for (char c : std::string("[W]\r\nkey=" + std::string(300, 'v') + "\r\n")) wide += std::string(1, c) + '\0';
    WriteFileBytes(path, wide);
    ASSERT_TRUE(ListScriptSections(path, sections));
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].Lines[0].Value.size(), 300u);
    EXPECT_EQ(sections[0].Lines[0].Read.size(), 259u);
    EXPECT_EQ(sections[0].Lines[0].Read, ReadScriptString(path, "W", "key"));
}

TEST_F(ScriptCheckTest, SectionsAndKeysTheProgramNeverReads)
{
    Both("a.dll", "a");
    Write({"Include1=x.ini", "Pause=10", "[Updtae]", "File1=a.dll", "[Insert]", "File1=a.dll",
           "Reg1Val1Nmae=Path", "Fiel2=b.dll", "Dir1", "file1=again", "[insert]", "[Updte.WS042]",
           "[Options.WS042]", "; a comment=is no key"});
    Both("x.ini", "loose=1\r\n[Options]\r\nRun=app.exe\r\nSectionOrder=I\r\n[Constants]\r\nc=1\r\n");
    EXPECT_EQ(Check(), (Lines{
        "s.ini(5): warning VC101: section [Updtae] is not read by this program; did you mean \"Update\"?",
        "s.ini(9): warning VC104: key \"Reg1Val1Nmae\" is not read by this program; did you mean \"Reg1Val1Name\"?",
        "s.ini(10): warning VC104: key \"Fiel2\" is not read by this program; did you mean \"File2\"?",
        "s.ini(11): warning VC125: line \"Dir1\" has no \"=\"; it reads as empty and hides later keys of this name",
        "s.ini(12): warning VC124: key \"file1\" is written again (first at line 8); only the first is read",
        "s.ini(13): warning VC123: section [insert] is written again (first at line 7); only the first is read",
        "s.ini(14): warning VC101: section [Updte.WS042] is not read by this program; did you mean \"Update.WS042\"?",
        "s.ini(15): warning VC101: section [Options.WS042] is not read by this program",
        "x.ini(1): warning VC101: key \"loose\" stands above the first section and is not read",
        "x.ini(3): warning VC104: key \"Run\" is not read in an included script",
    }));
    EXPECT_EQ(CheckExitCode(Result), 3);
    EXPECT_EQ(FormatCheckSummary(Result), "Check: 0 errors, 10 warnings, 0 notes in s.ini and 1 included script.");
}

TEST_F(ScriptCheckTest, GapsInItemAndEntryNumbers)
{
    Both("inc.ini", "");
    Write({"Include1=inc.ini", "Include3=other.ini", "[Delete]", "File1=a.tmp", "File2=b.tmp", "File4=d.tmp",
           "Dir1=", "Dir2=x", "Reg1=HKCU\\Software\\Acme", "Reg1Val1Name=A", "Reg1Val3Name=C", "Reg2Val1Name=B",
           "Ini1=x.ini", "Ini1Val1Name=k", "[Insert]", "Text1=t.txt", "Text1Str2Prefix=p"});
    EXPECT_EQ(Check(), (Lines{
        "s.ini(4): warning VC102: Include3 is never read: Include2 is missing",
        "s.ini(8): warning VC102: File4 is never read: File3 is missing",
        "s.ini(10): warning VC102: Dir2 is never read: Dir1 is empty",
        "s.ini(13): warning VC103: Reg1Val3Name is never read: Reg1Val2Name is missing",
        "s.ini(14): warning VC102: Reg2Val1Name is never read: Reg2 is missing",
        "s.ini(16): warning VC103: Ini1Val1Name is never read: Ini1Val1Section is missing",
        "s.ini(19): warning VC103: Text1Str2Prefix is never read: Text1Str1Prefix is missing",
    }));
}

TEST_F(ScriptCheckTest, FlagsAndOrderLetters)
{
    Both("a.dll", "a");
    Write({"SectionOrder=IUx,D", "[Update.WS042]", "ItemOrder=FtQ", "File1=a.dll",
           "File1Flags=check_version, not_check_datetme 9x_only nt_only keep_newest_x", "Reg1=HKCU\\Software\\Acme",
           "[Delete]", "ItemOrder=FD", "Text1=t.txt"});
    EXPECT_EQ(Check(), (Lines{
        "s.ini(3): warning VC107: letter \"x\" in SectionOrder names no section; it is passed over",
        "s.ini(5): warning VC108: letter \"Q\" in ItemOrder names no item kind; it is passed over",
        "s.ini(5): error VC109: ItemOrder names T, but text items fail in this section with "
        "\"Capability not supported.\"",
        "s.ini(7): warning VC105: flag \"not_check_datetme\" is no flag word of this program; it is ignored; "
        "did you mean \"not_check_datetime\"?",
        "s.ini(7): warning VC106: \"9x_only\" and \"nt_only\" together: the item runs on no system",
        "s.ini(8): warning VC122: Reg1 is never read: ItemOrder \"FtQ\" of this section has no R",
        "s.ini(11): warning VC122: Text1 is never read: ItemOrder \"FD\" of this section has no T",
    }));
    EXPECT_EQ(CheckExitCode(Result), 2);
}

TEST_F(ScriptCheckTest, RegistryRootsAndKeysOfOtherSectionModes)
{
    Write({"[Constants]", "a=<Reg>hklm\\Software\\Acme;v;d</Reg>", "b=<Reg>HKLM\\Software\\Acme;v</Reg>",
           "[Delete]", "Reg1=hkcu\\Software\\Ledger", "Reg2=HKU\\.DEFAULT\\Acme", "Reg3=Software\\Ledger",
           "Reg4=HKLM", "Reg5=HKLN\\Software", "Reg6=HKEY_LOCAL_MACHINE\\Software\\Acme", "Reg6Val1Name=v",
           "Reg6Val1Type=I", "Reg6Val1Value=1", "Ini1=x.ini", "Ini1Val1Section=S", "Ini1Val1Name=n",
           "Ini1Val1Value=v", "Dir1=d", "Dir1RenameTo=e", "[Insert]", "File1RenameTo=b.dll"});
    EXPECT_EQ(Check(), (Lines{
        "s.ini(4): error VC110: registry root \"hklm\" is not recognised (letter case matters): "
        "the key goes below HKEY_CURRENT_USER; did you mean \"HKLM\"?",
        "s.ini(7): error VC110: registry root \"hkcu\" is not recognised (letter case matters): "
        "the key goes below HKEY_CURRENT_USER; did you mean \"HKCU\"?",
        "s.ini(8): error VC110: registry root \"HKU\" is not recognised (letter case matters): "
        "the key goes below HKEY_CURRENT_USER; did you mean \"HKUS\"?",
        "s.ini(9): warning VC110: registry key \"Software\\Ledger\" has no root: it goes below HKEY_CURRENT_USER",
        "s.ini(10): error VC110: registry key \"HKLM\" is a root without a key below it: "
        "it is taken as a key below HKEY_CURRENT_USER",
        "s.ini(11): warning VC110: registry key \"HKLN\\Software\" has no root: it goes below HKEY_CURRENT_USER; "
        "did you mean \"HKLM\"?",
        "s.ini(14): warning VC112: key \"Reg6Val1Type\" is not read in Delete sections",
        "s.ini(15): warning VC112: key \"Reg6Val1Value\" is not read in Delete sections",
        "s.ini(19): warning VC112: key \"Ini1Val1Value\" is not read in Delete sections",
        "s.ini(21): warning VC111: key \"Dir1RenameTo\" is read only in Update sections",
        "s.ini(23): warning VC111: key \"File1RenameTo\" is read only in Update sections",
    }));
}

TEST_F(ScriptCheckTest, ConstantsLookupsAndReferences)
{
    Write({"WinHeader=50% done", "Run=app.exe %1", "RunFlags=wine", "[Constants]", "app=%pfdir%\\Acme",
           "APP=%windir%\\Acme", "db=<Reg>HKLM\\Software\\Acme;DataDir", "srv=<Ini>acme.ini;Net</Ini>",
           "x=<reg>HKLM\\Software\\Acme;v</reg>", "y=</Ini>", "z=<Ini><Reg>HKLM\\S;k</Reg>;Net;Server</Ini>",
           "[Update]", "Dir1=%appdir%\\data", "Dir2=%windir\\data", "Dir3=%PATH%\\x", "Dir4=%app%%db%\\%srcdir%",
           "Reg1=HKLM\\Software\\Acme", "Reg1Val1Name=%Default%", "Reg1Val1Value=%default%",
           "Ini1=<Reg>HKLM\\x;y</Reg>"});
    EXPECT_EQ(Check(), (Lines{
        "s.ini(8): warning VC115: constant \"APP\" is defined again (first at line 7); the later value wins",
        "s.ini(9): warning VC114: lookup \"<Reg>HKLM\\Software\\Acme;DataDir\" has no closing \"</Reg>\"; "
        "it stays as text",
        "s.ini(10): warning VC114: lookup \"<Ini>acme.ini;Net</Ini>\" has 2 fields; it takes 3 to 4",
        "s.ini(11): warning VC114: \"<reg>\" is no lookup (the tag is written \"<Reg>\"); it stays as text",
        "s.ini(12): warning VC114: \"</Ini>\" closes no lookup; it stays as text",
        "s.ini(15): warning VC113: %appdir% is no constant and no environment variable here; it stays as written",
        "s.ini(16): warning VC114: \"%windir\" has no closing \"%\"; it stays as written",
        "s.ini(21): warning VC113: %default% is no constant and no environment variable here; it stays as written",
        "s.ini(22): warning VC114: lookups are resolved only in [Constants]; \"<Reg>\" here stays as text",
    }));
}

TEST_F(ScriptCheckTest, IncludesAreReadFromTheSourceWhenNewerThere)
{
    Write({"Include1=%sub%\\a.ini", "Include2=missing.ini", "[Constants]", "sub=C:\\anywhere"});
    std::string stale = "[Options]\r\nInclude1=s.ini\r\n";
    Put(App / "a.ini", stale, 1);
    Put(Share / "a.ini", "[Options]\r\nInclude1=s.ini\r\n[Insret]\r\n", 2);
    EXPECT_EQ(Check(), (Lines{
        "s.ini(4): error VC116: included script \"missing.ini\" is missing at the source; the run fails here: "
        "New version of file \"" + Share.Path() + "missing.ini\" not found.",
        Share.Path() + "a.ini(2): error VC117: the run fails here: Include cycle: s.ini -> a.ini -> s.ini.",
        Share.Path() +
            "a.ini(3): warning VC101: section [Insret] is not read by this program; did you mean \"Insert\"?",
    }));
    EXPECT_EQ(FormatCheckSummary(Result), "Check: 2 errors, 1 warning, 0 notes in s.ini and 1 included script.");
    EXPECT_EQ(ReadFileBytes(App / "a.ini"), stale);  // the check fetches nothing
    EXPECT_EQ(ConstTable.size(), size_t{BuiltInSlotCount});
    EXPECT_EQ(ConstTable[SlotSrcDir].Value, "");
}

TEST_F(ScriptCheckTest, FilesTheRunWouldNotFindAtTheSource)
{
    Both("app.exe", "x");
    Both("cfg.ini", "c");
    Both("old.dll", "o");
    Put(Share / "hidden.dll", "h");
    SetFileAttributesA((Share / "hidden.dll").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryA((App / "have").c_str(), nullptr);
    Write({"Language=.rus", "Settings=shared.ini", "[Insert]", "File1=app.exe", "File2=data\\*.dat",
           "File3=%srcdir%\\new\\sub\\cfg.ini", "File4=have\\cfg.ini", "Dir1=have", "Dir2=%srcdir%\\new\\sub\\deeper",
           "[Update]", "File1=gone.dll", "File1RenameTo=older.dll", "File2=hidden.dll", "[Delete]",
           "File1=gone.dll"});
    std::string share = Share.Path();
    EXPECT_EQ(Check(), (Lines{
        "s.ini(3): error VC126: vantorel.rus is missing at the source; the run fails here: New version of file \"" +
            share + "vantorel.rus\" not found.",
        "s.ini(4): error VC126: shared.ini is missing at the source; the run fails here: New version of file \"" +
            share + "shared.ini\" not found.",
        "s.ini(7): error VC118: the run fails here: New version of file \"" + share + "*.dat\" not found.",
        "s.ini(8): error VC119: directory \"" + share + "new\\sub\" does not exist here, and Dir2 creates it only "
        "after the file items; the copy fails where it is missing; ItemOrder=DFRIBTS in [Insert] makes the "
        "directories first",
        "s.ini(15): error VC118: the run fails here: New version of file \"" + share + "hidden.dll\" not found.",
    }));
    SetFileAttributesA((Share / "hidden.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ScriptCheckTest, ASettingsFileContributesOnlyItsConstants)
{
    Write({"Settings=shared.ini", "[Update]", "Dir1=%dbdir%\\x"});
    Put(App / "shared.ini", "[Constants]\r\nold=1\r\n", 1);
    Put(Share / "shared.ini",
        "[Constants]\r\ndbdir=D:\\db\r\n[Options]\r\nSourcePath=x\r\nCheck=1\r\nLogFile=l.log\r\n[Constans]\r\n", 2);
    std::string shown = Share.Path() + "shared.ini";
    EXPECT_EQ(Check(), (Lines{
        shown + "(4): warning VC104: key \"SourcePath\" is not read in a settings file; its [Options] give only "
                "LogFile, LogSize, Check, Rollback and StartAfterFailure",
        shown + "(7): warning VC101: section [Constans] is not read in a settings file; only [Constants] and "
                "[Options] are; did you mean \"Constants\"?",
    }));
}

TEST_F(ScriptCheckTest, ANewScriptAtTheSourceNeedsASourcePathThatHoldsIt)
{
    Write({"Run=app.exe", "RunFlags=--wine"});
    Put(Share / "s.ini", "[Options]\r\nRun=app.exe\r\n", 2);
    EXPECT_EQ(Check(), (Lines{
        Share.Path() + "s.ini: error VC127: the run does not take the new \"s.ini\": the source's copy of the script "
                       "names no SourcePath that holds it, and the run fails here",
        Share.Path() + "s.ini(2): note VC120: Run is set but RunFlags lacks \"wine\": under Wine the application is "
                       "not started",
    }));

    Write({"Run=app.exe", "RunFlags=-Wine", "Pause=" + std::string(300, '1')});
    EXPECT_EQ(Check(), (Lines{
        "s.ini(3): note VC120: Run is set but RunFlags lacks \"wine\": under Wine the application is not started",
        "s.ini(5): warning VC121: the value of \"Pause\" has 300 characters; the program reads only the first 259",
    }));
    Write({"Run=app.exe", "RunFlags=wine"});
    EXPECT_EQ(Check(), Lines{});
    EXPECT_EQ(CheckExitCode(Result), 0);
}

// What a run takes without a word and then writes wrongly to every workstation.
TEST_F(ScriptCheckTest, TrapsThatWriteWrongValuesWithoutAWord)
{
    Write({"Run=C:\\Program Files\\Acme Ledger\\ledger.exe /auto", "RunFlags=wine", "Check=yes", "Pause=10 ; ms",
           "[Constants]", "port=8443 # https", "[Insert]", "Reg1=HKCU\\Software\\Acme", "Reg1Val1Name=Port",
           "Reg1Val1Type=REG_DWORD", "Reg1Val1Value=8443", "Reg1Val2Name=Timeout", "Reg1Val2Type=I",
           "Reg1Val2Value=30 ; seconds", "Reg1Val3Name=Blob", "Reg1Val3Type=REG_BINARY", "Reg1Val4Name=Big",
           "Reg1Val4Type=QWORD", "Reg1Val5Name=Odd", "Reg1Val5Type=word", "Reg1Val6Name=Mask",
           "Reg1Val6Type=integer", "Reg1Val6Value=$FFFFFFFF", "Reg1Val7Name=Quoted", "Reg1Val7Value=\"a ; b\"",
           "Reg1Val8Name=Room", "Reg1Val8Value=Room #4", "Reg1Val9Name=Huge", "Reg1Val9Type=i",
           "Reg1Val9Value=4294967296", "[Delete]", "Reg1=HKCU\\Software\\Old", "Reg1Val1Name=x", "Reg1Val1Type=DWORD"});
    std::string comment = ": the program knows no comment after a value, so this becomes part of it; put a comment "
                          "on a line of its own (a \";\" meant as text in a registry, INI or text value is written \\59)";
    std::string number = ", which is no number: the registry value gets 0; a number is decimal (-2147483648 to "
                         "2147483647) or hexadecimal after $ or 0x (up to FFFFFFFF)";
    EXPECT_EQ(Check(), (Lines{
        "s.ini(3): error VC133: Run is split at its first blank: the program is \"C:\\Program\" and \"Files\\Acme "
        "Ledger\\ledger.exe /auto\" its parameters; a program path with blanks needs quotes: "
        "Run=\"C:\\Program Files\\Acme Ledger\\ledger.exe\" /auto",
        "s.ini(5): warning VC135: Check=yes is none of 0, 1 and strict; the run takes it as 1 (findings are listed, "
        "the run goes on)",
        "s.ini(6): error VC132: the value of \"Pause\" holds \"; ms\"" + comment,
        "s.ini(8): warning VC132: the value of \"port\" holds \"# https\", which reads like a comment but is part of "
        "the value; put a comment on a line of its own, after \";\"",
        "s.ini(12): error VC130: type \"REG_DWORD\" is read by its first letter \"R\": the value is written as binary "
        "data (REG_BINARY), not as REG_DWORD; did you mean \"I\"?",
        "s.ini(16): error VC132: the value of \"Reg1Val2Value\" holds \"; seconds\"" + comment,
        "s.ini(16): error VC131: Reg1Val2Value is \"30 ; seconds\"" + number,
        "s.ini(18): note VC130: type \"REG_BINARY\" is read by its first letter \"R\" and gives binary data, as its "
        "name says; the type letter for binary data is B",
        "s.ini(20): error VC130: type \"QWORD\" is read by its first letter \"Q\": the value is written as binary "
        "data (REG_BINARY); this program writes no REG_QWORD",
        "s.ini(22): warning VC130: type \"word\" is none of S (string), I (number), M (multi-string) and B (binary): "
        "the run reads its first letter \"w\" and writes binary data (REG_BINARY)",
        "s.ini(32): error VC131: Reg1Val9Value is \"4294967296\"" + number,
        "s.ini(36): warning VC112: key \"Reg1Val1Type\" is not read in Delete sections",
    }));

    // A share named from the current directory is found only when the run starts there.
    std::string leaf = LeafName(Share.Path());
    Both("r.ini", "[Options]\r\nSourcePath=" + leaf + "\r\nRun=ledger.exe /auto\r\nRunFlags=wine\r\n");
    CurrentDirScope current(Share.Path() + "..");
    EXPECT_EQ(Check("r.ini"), (Lines{
        "r.ini(2): warning VC134: SourcePath \"" + leaf + "\" is no full path: the run takes it from its current "
        "directory (from here: " + Share.Path().substr(0, Share.Path().size() - 1) + "), which the \"start in\" "
        "folder of a shortcut or task sets, not from the program's directory; give a full path such as "
        "\\\\server\\share\\app",
    }));
}

TEST_F(ScriptCheckTest, UtfEightWithoutAByteOrderMarkIsReadInTheAnsiCodePage)
{
    std::string head = "[Options]\r\nSourcePath=" + Share.Path() + "\r\n[Insert]\r\nReg1=HKCU\\Software\\Acme\r\n";
    std::string city = "Reg1Val1Name=\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4\r\n";  // "Город" in UTF-8
    std::string page = std::to_string(GetACP());
    Both("s.ini", "; \xD0\x9A\xD0\xBE\xD0\xBC\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82\r\n" + head + city + "Reg1Val1Value=\xD0\x9C\r\n");
    EXPECT_EQ(Check(), (Lines{
        "s.ini(6): error VC128: this line is the first with letters beyond ASCII, in UTF-8, but the file has no "
        "byte-order mark: the run reads it in the ANSI code page " + page + " and writes such letters wrongly to the "
        "workstations; save the file as UTF-8 with a byte-order mark (BOM), as UTF-16, or in code page " + page,
    }));
    Both("s.ini", "\xEF\xBB\xBF" + head + city);
    EXPECT_EQ(Check(), Lines{});
    Both("s.ini", head + "Reg1Val1Name=Caf\xE9\r\n");  // ANSI text: read as written
    EXPECT_EQ(Check(), Lines{});
    Both("s.ini", "; \xD0\x9A\r\n" + head);  // a comment is never read
    EXPECT_EQ(Check(), Lines{});
}

TEST_F(ScriptCheckTest, TheDemoAndTheReadmeExamplesAreCleanButForTheDemosRelativeShare)
{
    // The demo takes its share as "..\share" from the current directory.
    TempDir root;
    CreateDirectoryA((root / "app").c_str(), nullptr);
    CreateDirectoryA((root / "share").c_str(), nullptr);
    ::Run.ExeDir = root / "app\\";
    std::string demo = ReadFileBytes(NativePath(SourceDir() + "/demo/app/demo.ini"));
    for (const std::string& dir : {root / "app\\", root / "share\\"}) {
        Put(dir + "demo.ini", demo);
        Put(dir + "vantorel.exe", "MZ");
    }
    {
        // The demo is started from its program directory, where its relative share is found.
        CurrentDirScope current(root / "app");
        EXPECT_EQ(Check("demo.ini"), (Lines{
            "demo.ini(4): warning VC134: SourcePath \"..\\share\" is no full path: the run takes it from its "
            "current directory (from here: " + root.Path() + "share), which the \"start in\" folder of a shortcut "
            "or task sets, not from the program's directory; give a full path such as \\\\server\\share\\app",
        }));
    }

    ::Run.ExeDir = App.Path();
    for (const char* name : {"app.exe", "ledger1.dll", "monthly.rpt", "reports.dll"}) Both(name, "x");
    Write({"SectionOrder=IU", "[Constants]", "app=%pfdir%\\Acme",
           "db=<Reg>HKLM\\Software\\Acme;DataDir;C:\\AcmeData</Reg>\\db",
           "server=<Ini>%windir%\\acme.ini;Net;Server;localhost</Ini>", "[Insert]", "File1=app.exe",
           "File1Flags=check_version", "Dir1=%pfdir%\\Vendor\\Tool\\Data", "Reg1=HKLM\\Software\\Acme\\Ledger",
           "Reg1Val1Name=DataDir", "Reg1Val1Value=%pfdir%\\Acme\\data", "Reg1Val2Name=Port", "Reg1Val2Type=I",
           "Reg1Val2Value=$1F90", "Text1=%windir%\\ledger.cfg", "Text1Str1Prefix=Server=",
           "Text1Str1Full=Server=fileserver", "[Insert.WS042]", "ComSrv1=lib\\server.dll", "[Update]",
           "File1=%winsysdir%\\ledger*.dll", "File1Flags=check_version keep_newest not_check_datetime until_reboot",
           "File2=reports\\monthly.rpt", "File3=old.dll", "File3RenameTo=older.dll", "File4=reports.dll",
           "Dir1=Data", "Dir1RenameTo=Data.old", "Ini1=ledger.ini", "Ini1Val1Section=Database",
           "Ini1Val1Name=Path", "Ini1Val1Value=%srcdir%\\data", "Ini1Val2Name=Timeout", "Ini1Val2Value=30",
           "BDEAlias1=Ledger", "BDEAlias1Params=STANDARD;PATH:%srcdir%\\data;DEFAULT DRIVER:PARADOX",
           "ComSrv1=reports.dll", "[Delete]", "File1=%tempdir%\\ledger*.tmp", "Reg1=HKCU\\Software\\Acme\\Cache",
           "BDEAlias1=OldLedger", "ComSrv1=%winsysdir%\\oldctl.ocx", "ItemOrder=SFDRIB"});
    EXPECT_EQ(Check(), Lines{});
    EXPECT_EQ(FormatCheckSummary(Result), "Check: 0 errors, 0 warnings, 0 notes in s.ini.");
}

// A text the language file lacks would read as empty under that language:
// every text of the built-in table, the check's, the plan's and the log's
// included, must be in the Russian one.
TEST(MessageTables, TheRussianTableHasEveryText)
{
    auto ids = [](const std::string& file) {
        std::set<int> found;
        for (const std::string& line : SplitLines(ReadFileBytes(NativePath(SourceDir() + file)))) {
            int id = 0;
            if (std::sscanf(line.c_str(), " %d \"", &id) == 1) found.insert(id);
        }
        return found;
    };
    std::set<int> builtIn = ids("/resources/messages.rc");
    EXPECT_GE(builtIn.size(), 200u);
    EXPECT_EQ(ids("/resources/lang/rus.rc"), builtIn);
}

TEST(ScriptCheckFormat, LinesSummaryAndExitCode)
{
    TCheckResult result;
    result.Script = "ledger.ini";
    result.IncludedScripts = 2;
    result.Findings = {{"ledger.ini", 0, TSeverity::Error, TFindingCode::Unreadable, "the file cannot be read"},
                       {"a.ini", 7, TSeverity::Note, TFindingCode::RunWithoutWine, "t"}};
    EXPECT_EQ(FormatFinding(result.Findings[0]), "ledger.ini: error VC100: the file cannot be read");
    EXPECT_EQ(FormatFinding(result.Findings[1]), "a.ini(7): note VC120: t");
    EXPECT_EQ(FormatCheckSummary(result), "Check: 1 error, 0 warnings, 1 note in ledger.ini and 2 included scripts.");
    EXPECT_EQ(CheckExitCode(result), 2);
    result.Findings[0].Severity = TSeverity::Warning;
    EXPECT_EQ(CheckExitCode(result), 3);
    result.Findings.erase(result.Findings.begin());
    EXPECT_EQ(CheckExitCode(result), 0);
}

}  // namespace
