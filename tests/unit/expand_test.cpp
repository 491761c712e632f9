#include <gtest/gtest.h>

#include "core/run_state.h"
#include "script/constants.h"
#include "script/expand.h"

namespace {

class ExpandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConstTable.assign(BuiltInSlotCount, TConst{});
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

TEST_F(ExpandTest, SelfReferenceEndsPromptly)
{
    Define("path", "%path%;C:\\bin");
    std::string result = ExpandConstants("%path%", ExpandPlain);
    EXPECT_NE(result.find(";C:\\bin;C:\\bin"), std::string::npos);
    EXPECT_LE(result.size(), 40000u);
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
