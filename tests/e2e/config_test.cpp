#include <gtest/gtest.h>

#include <windows.h>

#include "harness.h"

using namespace testing_support;

namespace {

// Scripts whose constants and options show through the launch line: "Run" is
// expanded and printed as "=> Loading <program>..." before the program (which
// does not exist) fails to start.
class ConfigTest : public ::testing::Test {
protected:
    RunResult RunScript(const std::string& script)
    {
        m_dir.Write("s.ini", script);
        RunResult run = m_dir.Start("s.ini", "k", 30000);
        EXPECT_FALSE(run.TimedOut);
        return run;
    }
    // The program text of the "=> Loading" line, or "<none>".
    static std::string Loaded(const RunResult& run)
    {
        std::string line = run.LineStartingWith("=> Loading ");
        if (line.empty()) return "<none>";
        line.erase(0, 11);
        size_t dots = line.rfind("...");
        return dots == std::string::npos ? line : line.substr(0, dots);
    }
    // The program directory without its trailing backslash.
    std::string Dir() const { return m_dir.Path().substr(0, m_dir.Path().size() - 1); }

    ProgramDir m_dir;
};

std::string Environment(const char* name)
{
    char buffer[32768] = {};
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return std::string(buffer, length < sizeof buffer ? length : 0);
}

TEST_F(ConfigTest, ScriptConstantsFollowTheLineRulesAndOverrideBuiltIns)
{
    RunResult run = RunScript("[Options]\r\nRunFlags=wine\r\nRun=%all%\r\n"
                              "[Constants]\r\n"
                              "a=b=c\r\n"
                              "x\r\n"
                              "Path=first\r\n"
                              "PATH=second\r\n"
                              "  sp  =  v w  \r\n"
                              "windir=D:\\W\r\n"
                              "srcdir=X\r\n"
                              "nest=%sub%\\x\r\n"
                              "sub=%windir%\r\n"
                              "g=Gr\xFC\xDF" "e\r\n"
                              "all=[%a%][%x%][%path%][%sp%][%WINDIR%][%srcdir%][%nest%][%g%][%none%]\r\n");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    // The console shows the OEM code page: cp1252 FC DF are 437 81 E1.
    EXPECT_EQ(Loaded(run), "[b][][second][v w][D:\\W][" + Dir() + "][D:\\W\\x][Gr\x81\xE1" "e][%none%]")
        << run.Output;
}

TEST_F(ConfigTest, LookupsReadTheRegistryAndIniFiles)
{
    TestRegKey key;
    WriteRegValue(HKEY_CURRENT_USER, key.SubKey(), "Dir", REG_SZ, std::string("E:\\A\0", 5));
    WriteRegValue(HKEY_CURRENT_USER, key.SubKey(), "Count", REG_DWORD, std::string("\x10\x27\0\0", 4));
    m_dir.Write("look.ini", "[Main]\r\nPath=D:\\Ini\r\n");
    std::string ini = m_dir / "look.ini";
    RunResult run = RunScript("[Options]\r\nRunFlags=wine\r\nRun=%all%\r\n"
                              "[Constants]\r\n"
                              "key=" + key.ScriptPath() + "\r\n"
                              "v=<Reg>%key%;Dir;C:\\Def</Reg>\\bin\r\n"
                              "m=<Reg>%key%;Nope;C:\\Def</Reg>\\bin\r\n"
                              "n=<Reg>%key%;Count;0</Reg>\r\n"
                              "i=<Ini>" + ini + ";main;PATH;</Ini>\r\n"
                              "e=<Ini>" + ini + ";Main;Nope;</Ini>\r\n"
                              "pmp=pre<Reg>%key%;Dir;</Reg>mid<Ini>" + ini + ";Main;Path;</Ini>post\r\n"
                              "open=<Reg>%key%;Dir;x\r\n"
                              "lower=<reg>%key%;Dir;x</reg>\r\n"
                              "all=[%v%][%m%][%n%][%i%][%e%][%pmp%][%open%][%lower%]\r\n");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    std::string k = key.ScriptPath();
    EXPECT_EQ(Loaded(run), "[E:\\A\\bin][C:\\Def\\bin][10000][D:\\Ini][][preE:\\AmidD:\\Inipost][<Reg>" + k +
                               ";Dir;x][<reg>" + k + ";Dir;x</reg>]")
        << run.Output;
}

TEST_F(ConfigTest, HostileConstantsFinishPromptly)
{
    TestRegKey key;
    // A registry value whose lookup gives the same lookup again.
    std::string self = "<Reg>" + key.ScriptPath() + ";Self;</Reg>";
    WriteRegValue(HKEY_CURRENT_USER, key.SubKey(), "Self", REG_SZ, self + '\0');
    std::string longValue(3000, 'L');
    RunResult run = RunScript("[Options]\r\nRunFlags=wine\r\nRun=%path%\r\n"
                              "[Constants]\r\n"
                              "path=%path%;C:\\bin\r\n"
                              "a=%b%x\r\n"
                              "b=%a%y\r\n"
                              "self=" + self + "\r\n"
                              "long=" + longValue + "\r\n"
                              "dbl=%dbl%%dbl%\r\n");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    // The self-reference is the environment's search path.
    std::string path = Environment("PATH");
    if (path.size() + 8 < 260) {
        EXPECT_EQ(Loaded(run), path + ";C:\\bin") << run.Output;
    }

    run = RunScript("[Options]\r\nRunFlags=wine\r\nRun=[%a%][%self%][%dbl%]%long%\r\n"
                    "[Constants]\r\n"
                    "a=%b%x\r\n"
                    "b=%a%y\r\n"
                    "self=" + self + "\r\n"
                    "long=" + longValue + "\r\n"
                    "dbl=%dbl%%dbl%\r\n");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_EQ(Loaded(run), "[%a%yx][" + self + "][%dbl%%dbl%]" + longValue) << run.Output.substr(0, 2000);
}

TEST_F(ConfigTest, SourcePathAndSettingsFile)
{
    // The program directory named as the source: every own file is current.
    m_dir.Write("set.ini", "[Constants]\r\nv=from settings\r\n[Options]\r\nRun=ignored\r\n");
    RunResult run = RunScript("[Options]\r\nRunFlags=wine\r\nSettings=set.ini\r\nSourcePath=%here%\r\n"
                              "Run=[%srcdir%][%v%][%w%]\r\n"
                              "[Constants]\r\nhere=" + Dir() + "\r\nsrcdir=X\r\nv=from script\r\nw=script\r\n");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    EXPECT_EQ(Loaded(run), "[" + Dir() + "][from settings][script]") << run.Output;
}

TEST_F(ConfigTest, LanguageNamesTheLanguageFileToKeepCurrent)
{
    RunResult run = RunScript("[Options]\r\nLanguage=.xyz\r\nPause=abc\r\nSelfPause=-5\r\n");
    EXPECT_EQ(run.ExitCode, 2u) << run.Output;
    // The update pass looks for vantorel.xyz at the source and finds none.
    EXPECT_NE(run.Output.find(m_dir.Path() + "vantorel.xyz"), std::string::npos) << run.Output;
    EXPECT_EQ(Loaded(run), "<none>");
}

}  // namespace
