#include <gtest/gtest.h>

#include "core/run_state.h"
#include "harness.h"
#include "script/constants.h"
#include "run_state_scope.h"
#include "script/settings.h"

using namespace testing_support;

namespace {

// Runs LoadSettings on real script files in a temporary program directory.
class SettingsTest : public RunStateTest {
protected:
    void SetUp() override
    {
        ::Run.ExeDir = m_dir.Path();
        ::Run.ExeName = "tool.exe";
        ConstTable[SlotWinDir] = {"windir", "C:\\windows"};
        ConstTable[SlotSrcDir] = {"srcdir", ""};
    }
    void Load(const std::string& options, const std::string& constants = "")
    {
        std::string path = m_dir / "s.ini";
        WriteFileBytes(path, "[Options]\r\n" + options + "[Constants]\r\n" + constants);
        LoadConstants(path);
        LoadSettings(path);
    }
    std::string SrcDir() const { return ConstTable[SlotSrcDir].Value; }

    TempDir m_dir;
};

TEST_F(SettingsTest, WithoutOptionsEverythingTakesItsDefault)
{
    Load("");
    EXPECT_EQ(::Run.SettingsName, "");
    EXPECT_EQ(::Run.SourceDir, m_dir.Path());
    EXPECT_EQ(SrcDir() + "\\", m_dir.Path());
    EXPECT_EQ(::Run.LanguageName, "");
    EXPECT_EQ(::Run.PauseMs, 0);
    EXPECT_EQ(::Run.SelfPauseMs, 500);
}

TEST_F(SettingsTest, SourcePathGetsOneBackslashBeforeExpansion)
{
    Load("SourcePath=\\\\srv\\share\r\n", "srcdir=X\r\n");
    EXPECT_EQ(::Run.SourceDir, "\\\\srv\\share\\");
    EXPECT_EQ(SrcDir(), "\\\\srv\\share");  // a srcdir constant is overwritten

    Load("SourcePath=D:\\upd\\\r\n");
    EXPECT_EQ(::Run.SourceDir, "D:\\upd\\");

    // The backslash is added to the unexpanded text.
    Load("SourcePath=%share%\r\n", "share=\\\\srv\\x\\\r\n");
    EXPECT_EQ(::Run.SourceDir, "\\\\srv\\x\\\\");
    EXPECT_EQ(SrcDir(), "\\\\srv\\x\\");

    // Relative paths are not completed with the program directory.
    Load("SourcePath=upd\r\n");
    EXPECT_EQ(::Run.SourceDir, "upd\\");
    EXPECT_EQ(SrcDir(), "upd");
}

TEST_F(SettingsTest, SettingsFileConstantsAreLoadedAfterTheScriptsAndAsWritten)
{
    WriteFileBytes(m_dir / "shared.ini", "[Constants]\r\nv=from settings\r\nw=%windir%\\x\r\n"
                                         "[Options]\r\nSourcePath=C:\\ignored\r\n");
    Load("Settings=shared.ini\r\nSourcePath=%v%\r\n", "v=from script\r\nonly=script\r\n");
    EXPECT_EQ(::Run.SettingsName, "shared.ini");
    const TConst* v = nullptr;
    const TConst* w = nullptr;
    for (const TConst& entry : ConstTable) {
        if (entry.Name == "v") v = &entry;
        if (entry.Name == "w") w = &entry;
    }
    ASSERT_TRUE(v && w);
    EXPECT_EQ(v->Value, "from settings");
    EXPECT_EQ(w->Value, "%windir%\\x");
    // The options are the script's; its SourcePath sees the settings file's constant.
    EXPECT_EQ(::Run.SourceDir, "from settings\\");
}

TEST_F(SettingsTest, LanguageReplacesTheProgramsExtensionAsWritten)
{
    Load("Language=.lng\r\n");
    EXPECT_EQ(::Run.LanguageName, "tool.lng");
    Load("Language=%ext%\r\n", "ext=.x\r\n");
    EXPECT_EQ(::Run.LanguageName, "tool%ext%");  // not expanded
    ::Run.ExeName = "_my.tool.exe";
    Load("Language=.rus\r\n");
    EXPECT_EQ(::Run.LanguageName, "_my.tool.rus");
    Load("");
    EXPECT_EQ(::Run.LanguageName, "");
    EXPECT_EQ(LanguageFileName("noext", ".lng"), "noext.lng");
}

TEST_F(SettingsTest, PausesAreDecimalNumbersWithTheirOwnDefaults)
{
    Load("Pause=250\r\nSelfPause=%sp%\r\n", "sp=1500\r\n");
    EXPECT_EQ(::Run.PauseMs, 250);
    EXPECT_EQ(::Run.SelfPauseMs, 1500);

    // Absent or empty keys leave the values as they are.
    Load("Pause=\r\n");
    EXPECT_EQ(::Run.PauseMs, 250);
    EXPECT_EQ(::Run.SelfPauseMs, 1500);

    Load("Pause=abc\r\nSelfPause=abc\r\n");
    EXPECT_EQ(::Run.PauseMs, 0);
    EXPECT_EQ(::Run.SelfPauseMs, 500);

    // A reference to nothing expands to nothing, which is no number.
    Load("Pause=%none%\r\nSelfPause=%none%\r\n", "none=\r\n");
    EXPECT_EQ(::Run.PauseMs, 0);
    EXPECT_EQ(::Run.SelfPauseMs, 500);
}

TEST(ParseDelayTest, OnlySignedDecimalsInRange)
{
    EXPECT_EQ(ParseDelay("0", 7), 0);
    EXPECT_EQ(ParseDelay("+42", 7), 42);
    EXPECT_EQ(ParseDelay("2147483647", 7), 2147483647);
    EXPECT_EQ(ParseDelay("2147483648", 7), 7);
    EXPECT_EQ(ParseDelay("99999999999999999999", 7), 7);
    EXPECT_EQ(ParseDelay("", 7), 7);
    EXPECT_EQ(ParseDelay("-", 7), 7);
    EXPECT_EQ(ParseDelay("12ms", 7), 7);
    EXPECT_EQ(ParseDelay("0x10", 7), 7);
    EXPECT_EQ(ParseDelay("$10", 7), 7);
    EXPECT_EQ(ParseDelay("1 000", 7), 7);
    // Negative waits would be nearly endless for the system: no wait.
    EXPECT_EQ(ParseDelay("-1", 7), 0);
    EXPECT_EQ(ParseDelay("-2147483648", 7), 0);
}

}  // namespace
