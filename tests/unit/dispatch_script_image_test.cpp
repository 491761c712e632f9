// The in-memory script reader must answer exactly as the system's profile
// functions do. Every case here asks both and compares.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/dir_listing.h"
#include "harness.h"
#include "script/profile.h"
#include "script/script_image.h"

using namespace testing_support;

namespace {

const std::vector<std::string> SectionNames = {"Sec", "sec", " SEC\t", "Other", "Se]c", "[Sec", "", "Missing", "x"};
const std::vector<std::string> KeyNames = {"key", "KEY", " key ", "k2", "k3", "k4", "k5", "k6", "k7", "k8",
                                           "k9", ";key", "#k", "\xc9", "\xe9", "missing", "[Sec"};

constexpr DWORD SectionBuffer = 32767;

// The section's lines as GetPrivateProfileSectionA gives them.
std::vector<std::string> SystemSection(const std::string& path, const std::string& section)
{
    std::vector<char> buffer(SectionBuffer, '\0');
    DWORD length = GetPrivateProfileSectionA(section.c_str(), buffer.data(), SectionBuffer, path.c_str());
    std::vector<std::string> lines;
    for (size_t start = 0, end = 0; start < length && buffer[start] != '\0'; start = end + 1) {
        end = start;
        while (end < length && buffer[end] != '\0') ++end;
        lines.emplace_back(buffer.data() + start, end - start);
    }
    return lines;
}

class ScriptImageTest : public ::testing::Test {
protected:
    void TearDown() override { ForgetScriptImages(); }

    // Writes the bytes to a file of its own and compares every lookup, and
    // every section the image answers for.
    void ExpectSameAnswers(const std::string& bytes)
    {
        std::string path = Dir / ("f" + std::to_string(++m_files) + ".ini");
        WriteFileBytes(path, bytes);
        for (const std::string& section : SectionNames) {
            for (const std::string& key : KeyNames)
                ASSERT_EQ(ReadScriptString(path, section, key), ReadProfileString(path, section, key))
                    << "section \"" << section << "\" key \"" << key << "\" in:\n" << bytes;
            std::vector<std::string> lines;
            if (!ReadScriptSection(path, section, SectionBuffer, lines)) continue;
            ++SectionsAnswered;
            ASSERT_EQ(lines, SystemSection(path, section)) << "section \"" << section << "\" in:\n" << bytes;
        }
    }

    TempDir Dir;
    int SectionsAnswered = 0;

private:
    int m_files = 0;
};

std::string Lines(const std::vector<std::string>& lines, const std::string& end = "\r\n")
{
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

TEST_F(ScriptImageTest, TrimmingQuotesAndDuplicatesAsTheProfileFunctions)
{
    ExpectSameAnswers(Lines({
        "key=before any section",
        "[Sec]", "  key  =   value with spaces   ", "KEY=duplicate", "k2=\"quoted\"", "k3='single'",
        "k4=\"  spaced quoted  \"", "k5=\"a\"\"b\"", "k6=\"unbalanced", "k7=\"x\" y", "k8=\"\"", "k9=a=b",
        "[Other]", "key=value ; no inline comments", "k2=", "k3", "k3=after a line without equals",
        ";key=commented out", "#k=hash", "[sec]", "k4=second section of the same name",
        "[ Se]c ]", "key=last bracket ends the name", "[Sec", "key=no closing bracket",
    }));
}

TEST_F(ScriptImageTest, LineEndsBlanksAndCharacterSets)
{
    std::vector<std::string> lines = {
        "[Sec]", "key=tab\t", "k2=\x1a", "k3=a\x1a", "k4=\xa0nbsp\xa0", "k5=x\ry", "\xc9=upper", "\xe9=lower",
        "k6=caf\xe9", "  \t[Other]  ", "k7 = 7",
    };
    ExpectSameAnswers(Lines(lines, "\n"));
    ExpectSameAnswers(Lines(lines, "\r"));
    ExpectSameAnswers(Lines(lines, "\r\n").substr(0, Lines(lines, "\r\n").size() - 2));
    ExpectSameAnswers("\xEF\xBB\xBF" + Lines({"[Sec]", "key=\xc3\xa9t\xc3\xa9", "k2=\xe2\x82\xac"}));
    std::string utf16 = "\xFF\xFE";
    for (char c : Lines({"[Sec]", "key=wide", "k2=\"q\""})) utf16 += std::string(1, c) + '\0';
    ExpectSameAnswers(utf16);
    ExpectSameAnswers("");
    ExpectSameAnswers(std::string("[Sec]\r\nkey=a\0b\r\nk2=c\r\n", 21));
}

TEST_F(ScriptImageTest, SectionsAsTheProfileFunctionsListThem)
{
    ExpectSameAnswers(Lines({
        "[Sec]", "=first nameless", "=second nameless", "key", "=after a name", ";key=comment", "  ;k2 = 2",
        "k3 = \"quoted\" ", "KEY=duplicate", "=", "k4=a=b", "k5=\xe9t\xe9", "[Other]", "x=1", "[sec]", "k6=second Sec",
        "[ Se]c ]", "=", "=again", "[x]",
    }));
    ExpectSameAnswers("\xEF\xBB\xBF" + Lines({"[\xC5\xBF" "ec]", "key=long s", "[Sec]", "k2=\xe2\x82\xac"}));
    ExpectSameAnswers(Lines({"[Sec]", "key=a", "k2=b"}, "\n").substr(0, 12));
    // Sections the image must not answer for: the system asks the file.
    std::string path = Dir / "nul.ini";
    WriteFileBytes(path, std::string("[Sec]\r\nkey=a\0b\r\n", 17));
    std::vector<std::string> lines;
    EXPECT_FALSE(ReadScriptSection(path, "Sec", SectionBuffer, lines));
    EXPECT_FALSE(ReadScriptSection(Dir / "missing.ini", "Sec", SectionBuffer, lines));
    WriteFileBytes(path, Lines({"[Sec]", "key=" + std::string(200, 'v')}));
    EXPECT_FALSE(ReadScriptSection(path, "Sec", 300, lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_GE(SectionsAnswered, 10);
}

TEST_F(ScriptImageTest, LongValuesAreCutLikeTheBuffer)
{
    std::vector<std::string> lines = {"[Sec]"};
    int n = 0;
    for (size_t length : {258u, 259u, 260u, 261u, 300u}) {
        lines.push_back("k" + std::to_string(++n) + "=" + std::string(length, 'v'));
        lines.push_back("k" + std::to_string(++n) + "=\"" + std::string(length - 2, 'q') + "\"");
    }
    lines.push_back("key=\"" + std::string(258, 'x') + "\"");
    ExpectSameAnswers(Lines(lines));
}

// Files put together at random from the troublesome pieces above.
TEST_F(ScriptImageTest, RandomFilesGiveTheSameAnswers)
{
    const std::vector<std::string> pieces = {
        "[Sec]", "[ sec ]", "[Other]", "[Se]c]", "[Sec", "[]", "[x]y", "key=v", "KEY = v2", " key\t=\t v3 \t",
        "key", "key=", "k2=\"q\"", "k2='s'", "k3=\"u", "k3=\"x\" y", "k4=\"\"", "k5=a=b", ";key=c", "#k=1",
        "k6=\xa0z", "\xc9=E", "\xe9=e", "k7=\x1a", "k8=" + std::string(270, 'l'), "k9=\"" + std::string(258, 'm') + "\"",
        "", "   ", "=novalue", "=second", "[x]",
    };
    const std::vector<std::string> ends = {"\r\n", "\n", "\r\n", "\r"};
    std::mt19937 random(20240611);
    for (int file = 0; file < 100; ++file) {
        std::string bytes;
        int count = 1 + static_cast<int>(random() % 14);
        for (int i = 0; i < count; ++i) bytes += pieces[random() % pieces.size()] + ends[random() % ends.size()];
        ExpectSameAnswers(bytes);
        if (HasFatalFailure()) return;
    }
    EXPECT_GE(SectionsAnswered, 100);
}

TEST_F(ScriptImageTest, AChangedFileIsReadAgain)
{
    std::string path = Dir / "changing.ini";
    WriteFileBytes(path, Lines({"[Sec]", "key=first"}));
    EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "first");
    WriteFileBytes(path, Lines({"[Sec]", "key=second, longer"}));
    EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "second, longer");
    // Same size, but a different write time.
    WriteFileBytes(path, Lines({"[Sec]", "key=SECOND, LONGER"}));
    FILETIME later = LastWriteTime(path);
    later.dwLowDateTime += 10000000;
    if (later.dwLowDateTime < 10000000) ++later.dwHighDateTime;
    SetLastWriteTime(path, later);
    EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "SECOND, LONGER");
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "");
}

// The reads of one item check the file once: a change by someone else
// shows at the next item; a change the run notes shows at once.
TEST_F(ScriptImageTest, WithinOneItemsReadsTheFileIsCheckedOnce)
{
    std::string path = Dir / "item.ini";
    WriteFileBytes(path, Lines({"[Sec]", "key=first"}));
    {
        TScriptReadScope reads;
        EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "first");
        WriteFileBytes(path, Lines({"[Sec]", "key=second, longer"}));
        EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "first");
        NoteFileChanged(path);
        EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "second, longer");
        WriteFileBytes(path, Lines({"[Sec]", "key=third, longer still"}));
    }
    TScriptReadScope nextItem;
    EXPECT_EQ(ReadScriptString(path, "Sec", "key"), "third, longer still");
}

// Reads in turn from two files and two sections within one item: each is
// answered from its own file and section, a missing one as empty.
TEST_F(ScriptImageTest, ReadsInTurnFromFilesAndSectionsEachFindTheirOwn)
{
    std::string a = Dir / "a.ini", b = Dir / "b.ini";
    WriteFileBytes(a, Lines({"[Sec]", "key=a sec", "[Other]", "key=a other"}));
    WriteFileBytes(b, Lines({"[Sec]", "key=b sec"}));
    TScriptReadScope reads;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(ReadScriptString(a, "Sec", "key"), "a sec");
        EXPECT_EQ(ReadScriptString(a, "sec", "KEY"), "a sec");
        EXPECT_EQ(ReadScriptString(b, "Sec", "key"), "b sec");
        EXPECT_EQ(ReadScriptString(a, "Other", "key"), "a other");
        EXPECT_EQ(ReadScriptString(b, "Other", "key"), "");
        EXPECT_EQ(ReadScriptString(b, "Sec", "none"), "");
    }
}

// A section of thousands of keys, names that differ only in case or in
// their last character, a duplicate later on: each answered as the system
// answers it, a duplicate by its first line.
TEST_F(ScriptImageTest, EveryKeyOfALargeSectionAndTheFirstOfADuplicate)
{
    std::vector<std::string> lines = {"[Sec]"};
    for (int i = 1; i <= 3000; ++i) lines.push_back("File" + std::to_string(i) + "=f" + std::to_string(i) + ".dat");
    for (int i = 1; i <= 3000; i += 97) lines.push_back("FILE" + std::to_string(i) + "=later " + std::to_string(i));
    lines.push_back("file3001 = \"quoted\"");
    std::string path = Dir / "large.ini";
    WriteFileBytes(path, Lines(lines));
    TScriptReadScope reads;
    for (int i = 1; i <= 3002; ++i) {
        for (const std::string& key : {"File" + std::to_string(i), "file" + std::to_string(i) + "Flags"})
            ASSERT_EQ(ReadScriptString(path, "Sec", key), ReadProfileString(path, "Sec", key)) << key;
    }
    EXPECT_EQ(ReadScriptString(path, "sec", "FILE98"), "f98.dat");
}

}  // namespace
