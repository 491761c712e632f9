#include <gtest/gtest.h>

#include <windows.h>

#include "core/run_state.h"
#include "script/constants.h"
#include "run_state_scope.h"
#include "script/expand.h"

using namespace testing_support;

namespace {

class ExpandTest : public RunStateTest {
protected:
    void SetUp() override
    {
        ConstTable[SlotWinDir] = {"windir", "C:\\windows"};
        ConstTable[SlotTempDir] = {"tempdir", "C:\\temp\\"};
        ::Run.ExeDir = "C:\\app\\";  // "::" because gtest fixtures have a Run() of their own
    }
    void Define(const std::string& name, const std::string& value) { ConstTable.push_back({name, value}); }
};

TEST_F(ExpandTest, ConstantsMatchWithoutRegardToCaseAndEveryOccurrenceIsReplaced)
{
    EXPECT_EQ(ExpandConstants("%WINDIR%\\x", ExpandPlain), "C:\\windows\\x");
    EXPECT_EQ(ExpandConstants("%windir%\\x;%windir%", ExpandPlain), "C:\\windows\\x;C:\\windows");
    EXPECT_EQ(ExpandConstants("%tempdir%log", ExpandPlain), "C:\\temp\\log");
}

TEST_F(ExpandTest, NestedReferencesAndSlotOrder)
{
    Define("a", "%b%\\x");
    Define("b", "C:");
    EXPECT_EQ(ExpandConstants("%a%", ExpandPlain), "C:\\x");
    ConstTable.resize(BuiltInSlotCount);
    Define("a", "X");
    Define("b", "Y");
    EXPECT_EQ(ExpandConstants("%a%b%", ExpandPlain), "Xb%");
}

TEST_F(ExpandTest, UnknownNamesAndStrayPercentsStay)
{
    EXPECT_EQ(ExpandConstants("50%", ExpandPlain), "50%");
    EXPECT_EQ(ExpandConstants("%1", ExpandPlain), "%1");
    EXPECT_EQ(ExpandConstants("%default%", ExpandPlain), "%default%");
}

std::string Environment(const char* name)
{
    char buffer[32768] = {};
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return std::string(buffer, length < sizeof buffer ? length : 0);
}

TEST_F(ExpandTest, SelfReferencesAreLeftToTheEnvironment)
{
    // Directly: the inner %path% is the process's search path.
    Define("path", "%path%;C:\\bin");
    std::string path = Environment("PATH");
    ASSERT_FALSE(path.empty());
    if (path.size() + 8 < 260) {
        EXPECT_EQ(ExpandConstants("%PATH%", ExpandPlain), path + ";C:\\bin");
    }
    // A built-in that refers to itself: the environment's WINDIR.
    ConstTable[SlotWinDir].Value = "%windir%\\sub";
    EXPECT_EQ(ExpandConstants("%windir%", ExpandPlain), Environment("WINDIR") + "\\sub");
    // Through another constant: each is expanded once, the cycle stays text.
    Define("a", "%b%x");
    Define("b", "%a%y");
    EXPECT_EQ(ExpandConstants("%a%", ExpandPlain), "%a%yx");
    EXPECT_EQ(ExpandConstants("%b%|%a%", ExpandPlain), "%b%xy|%a%yx");
}

TEST_F(ExpandTest, MultiplyingValuesAreExpandedOnlySoFar)
{
    // Each level doubles the text: 2^40 copies would never fit. Lower slots
    // are replaced first, so the expansion goes level by level.
    for (int level = 0; level < 40; ++level)
        Define("m" + std::to_string(level),
               "%m" + std::to_string(level + 1) + "%%m" + std::to_string(level + 1) + "%");
    Define("m40", "leaf");
    std::string result = ExpandConstants("%m0%", ExpandPlain);
    EXPECT_LT(result.size(), 70000u);
    EXPECT_NE(result.find("%m"), std::string::npos);  // the rest stays unexpanded
}

TEST_F(ExpandTest, ReferencesFormedByReplacementAreExpanded)
{
    Define("a", "%win");
    EXPECT_EQ(ExpandConstants("%a%dir%", ExpandPlain), "C:\\windows");
    Define("same", "%same%");
    EXPECT_EQ(ExpandConstants("%same%", ExpandPlain), "%same%");
}

TEST_F(ExpandTest, EnvironmentStepOnlyForWhatFits)
{
    std::string path = Environment("PATH");
    if (path.size() < 250) {
        EXPECT_EQ(ExpandConstants("%PATH%", ExpandPlain), path);
    }
    Define("PATH", "mine");
    EXPECT_EQ(ExpandConstants("%PATH%", ExpandPlain), "mine");
    // Too long for the environment buffer: the text stays as it was.
    std::string longText = std::string(300, 'x') + "%windir%%PATH%%TEMP%";
    EXPECT_EQ(ExpandConstants(longText, ExpandPlain), std::string(300, 'x') + "C:\\windowsmine%TEMP%");
    EXPECT_EQ(ExpandConstants("%TEMP%", ExpandPlain), Environment("TEMP"));
    // Non-ASCII text passes through unchanged.
    Define("gruss", "Gr\xFC\xDF");
    EXPECT_EQ(ExpandConstants("%GRUSS%e \xE4%", ExpandPlain), "Gr\xFC\xDF" "e \xE4%");
}

TEST_F(ExpandTest, PathModeCompletesOnlyRelativePaths)
{
    EXPECT_EQ(ExpandConstants("sub\\f.dll", ExpandPath), "C:\\app\\sub\\f.dll");
    EXPECT_EQ(ExpandConstants("\\dir\\f", ExpandPath), "\\dir\\f");
    EXPECT_EQ(ExpandConstants("\\\\srv\\share\\f", ExpandPath), "\\\\srv\\share\\f");
    EXPECT_EQ(ExpandConstants("D:\\f", ExpandPath), "D:\\f");
    EXPECT_EQ(ExpandConstants("D:f", ExpandPath), "D:f");
    EXPECT_EQ(ExpandConstants("%windir%\\f", ExpandPath), "C:\\windows\\f");
    EXPECT_EQ(ExpandConstants("", ExpandPath), "");
}

TEST(DecodeEscapesTest, DecimalCodesModulo256AndNothingElse)
{
    EXPECT_EQ(DecodeEscapes("A\\65B"), "AAB");
    EXPECT_EQ(DecodeEscapes("\\13\\10"), "\r\n");
    EXPECT_EQ(DecodeEscapes("\\37windir\\37"), "%windir%");
    EXPECT_EQ(DecodeEscapes("C:\\2009\\x"), std::string("C:") + static_cast<char>(217) + "\\x");
    EXPECT_EQ(DecodeEscapes("end\\"), "end\\");
    EXPECT_EQ(DecodeEscapes("\\\\65"), "\\A");
    EXPECT_EQ(DecodeEscapes("\\n\\t"), "\\n\\t");
    EXPECT_EQ(DecodeEscapes(std::string("a\\0b")), std::string("a\0b", 3));
    // 99999999999999999999 mod 256 = 255
    EXPECT_EQ(DecodeEscapes("\\99999999999999999999"), std::string(1, static_cast<char>(255)));
}

}  // namespace
