// The run's listing of a directory must answer every look-up as FindFirstFile
// and FindNextFile do. Every case here asks both and compares.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/dir_listing.h"
#include "core/handles.h"
#include "harness.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

std::string Describe(const TFoundEntries& found)
{
    std::string text = "error " + std::to_string(found.Error) + ":";
    for (const TDirEntry& entry : found.Entries) text += " [" + entry.Name + "|" + entry.ShortName + "]";
    return text;
}

// What the system itself gives for the pattern.
TFoundEntries AskTheSystem(const std::string& pattern)
{
    TFoundEntries found;
    WIN32_FIND_DATAA data;
    UniqueFind find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) {
        found.Error = GetLastError();
        return found;
    }
    do {
        TDirEntry entry;
        entry.Name = data.cFileName;
        entry.ShortName = data.cAlternateFileName;
        entry.Attributes = data.dwFileAttributes;
        entry.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        entry.WriteTime = data.ftLastWriteTime;
        found.Entries.push_back(entry);
    } while (FindNextFileA(find.Get(), &data));
    return found;
}

bool SameEntries(const TFoundEntries& a, const TFoundEntries& b)
{
    if (a.Error != b.Error || a.Entries.size() != b.Entries.size()) return false;
    for (size_t i = 0; i < a.Entries.size(); ++i) {
        const TDirEntry& x = a.Entries[i];
        const TDirEntry& y = b.Entries[i];
        if (x.Name != y.Name || x.ShortName != y.ShortName || x.Attributes != y.Attributes || x.Size != y.Size)
            return false;
        // ".." is the temporary directory, whose time moves whenever another
        // test beside this one creates or removes its own directory.
        if (x.Name != ".." && CompareFileTime(&x.WriteTime, &y.WriteTime) != 0) return false;
    }
    return true;
}

// The listing's answer, then the system's, for every name and mask; the
// listing is made by the first question.
void ExpectSameAnswers(const std::string& directory, const std::vector<std::string>& patterns)
{
    for (const std::string& pattern : patterns) {
        TFoundEntries listed = FindEntries(directory + pattern, TListingUse::Always);
        TFoundEntries system = AskTheSystem(directory + pattern);
        ASSERT_TRUE(SameEntries(listed, system))
            << "\"" << pattern << "\"\n  listing: " << Describe(listed) << "\n  system:  " << Describe(system);
    }
}

// The answers came from the listing, not from the system: a file removed
// behind the run's back is still in them.
void ExpectAnsweredFromTheListing(const std::string& directory, const std::string& name)
{
    TFoundEntries before = FindEntries(directory + "*", TListingUse::IfListed);
    ASSERT_TRUE(DeleteFileA((directory + name).c_str())) << name;
    EXPECT_TRUE(SameEntries(FindEntries(directory + "*", TListingUse::IfListed), before));
    EXPECT_EQ(FindEntries(directory + name, TListingUse::IfListed).Entries.size(), 1u);
}

class DirListingTest : public RunStateTest {
protected:
    // The listing answers masks as the system met here does: Wine's.
    void SetUp() override { ::Run.UnderWine = true; }
    void Create(const std::string& name) { WriteFileBytes(m_dir / name, "xyz"); }
    void MakeDirectory(const std::string& name) { ASSERT_TRUE(CreateDirectoryA((m_dir / name).c_str(), nullptr)); }
    void ExpectSameAnswers(const std::vector<std::string>& patterns) { ::ExpectSameAnswers(m_dir.Path(), patterns); }

    TempDir m_dir;
};

TEST_F(DirListingTest, HandWrittenNamesAndMasks)
{
    for (const char* name : {"a.ini", "B.INI", "c.ini1", "long name file.html", "file.txt", "file.txt.bak", "noext",
                             ".dotfile", "x.tar.gz", "a b c.txt", "UPPER.TXT", "mixed.Case", "ver_1.2.dll", "~tilde",
                             "f00001.dat", "f00002.dat", "f10000.dat", "caf\xe9.txt", "\xc4\xd6\xdc.dat",
                             "stra\xdf" "e.txt", "\xff.txt", "a;b,c=d+e.txt", "[br]ackets.txt", "verylongname.extension"})
        Create(name);
    MakeDirectory("sub");
    MakeDirectory("sub.dir");
    ExpectSameAnswers({
        "*", "*.*", "*.", "?", "??", "???", "?.ini", "*.ini", "*.INI", "*.htm", "*.TXT", "f*", "*e*", "*.t?t", "*?",
        "?*", "**", "*.*.*", "a*b", "*~*", "LONG*", ".*", "*.tar.*", "x.*", "*.gz", "*z", "*1", "f0000?.dat",
        "F*.DAT", "*.dat", "*0.*", "caf\xe9*", "CAF\xc9.TXT", "caf*.txt", "\xe4\xf6\xfc.*", "STRA\xdf" "E.TXT", "\xff*",
        "\x9f.TXT", "*.*x", "*x*t*", "*.?", "*.??", "*.???", "*.????", "?.*", "*s*.*", "*.e*n",
        // single names, as written and in other letter cases, with the blanks and dots the system drops
        "a.ini", "A.INI", "b.ini", "missing", "missing.txt", "file.txt.", "file.txt  ", "noext.", "noext..", "sub",
        "SUB.DIR", ".dotfile", "x.TAR.gz", "a b c.txt", "F00001.DAT", "f00003.dat",
        // an empty directory and a missing one
        "sub\\*", "sub\\x.txt", "gone\\*", "gone\\x.txt",
    });
    ExpectAnsweredFromTheListing(m_dir.Path(), "x.tar.gz");
}

// A name the ANSI code page cannot hold comes back altered from the system;
// such a directory is left to the system.
TEST_F(DirListingTest, NamesOutsideTheCodePageAreLeftToTheSystem)
{
    Create("plain.txt");
    UniqueFile wide(CreateFileW((std::wstring(m_dir.Path().begin(), m_dir.Path().end()) + L"\x3b1\x3b2.txt").c_str(),
                                GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(wide));
    wide.Reset();
    // The system gives the alpha-beta name as the look-alike "a\xdf.txt".
    ExpectSameAnswers({"*", "*.txt", "?", "??.txt", "plain.txt", "a\xdf.txt", "A*"});
    WriteFileBytes(m_dir / "later.txt", "l");
    EXPECT_EQ(FindEntries(m_dir / "later.txt", TListingUse::Always).Entries.size(), 1u);
}

// Directories of random names asked random masks: each directory is listed
// once, then asked everything.
TEST_F(DirListingTest, RandomNamesAndMasks)
{
    const std::string alphabet = "aAbB..  ~_-1e\xe9\xc9\xdf";
    const std::string maskAlphabet = alphabet + "****????";
    std::mt19937 random(20240917);
    auto pick = [&random](const std::string& from, size_t length) {
        std::string text;
        for (size_t i = 0; i < length; ++i) text += from[random() % from.size()];
        return text;
    };
    for (int round = 0; round < 6; ++round) {
        RunStateScope fresh;
        ::Run.UnderWine = true;
        TempDir dir;
        std::vector<std::string> names;
        for (int i = 0; i < 40; ++i) {
            std::string name = pick(alphabet, 1 + random() % 12);
            // Names the system cannot hold as written (all blanks and dots, a
            // trailing blank or dot) are left out; the rest goes as it is.
            if (name.find_first_not_of(". ") == std::string::npos || name.back() == ' ' || name.back() == '.')
                continue;
            if (FileExists(dir / name)) continue;
            WriteFileBytes(dir / name, std::string(random() % 5, 'x'));
            names.push_back(name);
        }
        std::vector<std::string> patterns;
        for (int i = 0; i < 150; ++i) patterns.push_back(pick(maskAlphabet, 1 + random() % 8));
        for (const std::string& name : names) {
            patterns.push_back(name);
            std::string other = name;
            for (char& c : other) c = static_cast<char>(random() % 2 ? toupper(static_cast<unsigned char>(c)) : c);
            patterns.push_back(other);
        }
        for (const TDirEntry& entry : AskTheSystem(dir / "*").Entries)
            if (!entry.ShortName.empty()) patterns.push_back(entry.ShortName);
        SCOPED_TRACE("round " + std::to_string(round));
        ::ExpectSameAnswers(dir.Path(), patterns);
        if (!names.empty()) ExpectAnsweredFromTheListing(dir.Path(), names.front());
    }
}

// Outside Wine the system's own rules for ? and *. hold: a mask is asked of
// the system, while a single name is still answered from the listing.
TEST_F(DirListingTest, OutsideWineMasksAreTheSystemsToAnswer)
{
    ::Run.UnderWine = false;
    Create("a.txt");
    Create("b.txt");
    ASSERT_EQ(FindEntries(m_dir / "*.txt", TListingUse::Always).Entries.size(), 2u);
    ASSERT_TRUE(DeleteFileA((m_dir / "b.txt").c_str()));
    EXPECT_EQ(FindEntries(m_dir / "*.txt", TListingUse::Always).Entries.size(), 1u);
    EXPECT_EQ(FindEntries(m_dir / "b.txt", TListingUse::Always).Entries.size(), 1u);
}

TEST_F(DirListingTest, WhatTheRunChangesIsSeenAndWhatOthersChangeIsNot)
{
    Create("one.dat");
    Create("two.dat");
    ExpectSameAnswers({"*.dat"});
    // Written by someone else after the listing: not part of this run's view.
    WriteFileBytes(m_dir / "three.dat", "333");
    EXPECT_EQ(FindEntries(m_dir / "*.dat", TListingUse::Always).Entries.size(), 2u);
    EXPECT_EQ(FindEntries(m_dir / "three.dat", TListingUse::Always).Error, DWORD{ERROR_FILE_NOT_FOUND});
    // Written by the run: every later look-up sees it as the system does.
    NoteFileChanged(m_dir / "three.dat");
    ASSERT_TRUE(DeleteFileA((m_dir / "one.dat").c_str()));
    NoteFileChanged(m_dir / "one.dat");
    WriteFileBytes(m_dir / "two.dat", "a longer two");
    NoteFileChanged(m_dir / "TWO.DAT");
    ExpectSameAnswers({"three.dat", "one.dat", "two.dat", "*.dat", "*"});

    // A directory the run creates, renames or removes takes its listings along.
    MakeDirectory("made");
    ExpectSameAnswers({"made\\*"});
    WriteFileBytes(m_dir / "made\\inside.txt", "i");
    ASSERT_TRUE(MoveFileA((m_dir / "made").c_str(), (m_dir / "moved").c_str()));
    NoteDirectoryChanged(m_dir / "made");
    NoteDirectoryChanged(m_dir / "moved");
    ExpectSameAnswers({"made\\*", "moved\\*", "made", "moved", "*"});
}

TEST(DirListingMasks, TheSystemsMatcherStepByStep)
{
    struct Case {
        const wchar_t* Name;
        const wchar_t* Mask;
        bool Matches;
    };
    const Case cases[] = {
        {L"TEST1.TEST.TXT", L"*.TXT", true},     {L"TEST1.TXT", L"*ST1*", true},
        {L"TEST1.TA.TORNADO.TXT", L"*.T??????.T*", true},
        {L"TEST1.TXT", L"?EST???", false},       {L"HELLOTHISISATEST.DAT", L"H?L?O*T.DAT", true},
        {L"ABC", L"ABC.", true},                 {L"ABC", L"ABC*", true},  // trailing dots and stars
        {L"A.B", L"*.", true},                   {L"AB", L"*?B", false},  // after a star, ? is looked for as it is
        {L"A?B", L"*?B", true},                  {L"AXB", L"A*B*C", false},
    };
    for (const Case& c : cases) EXPECT_EQ(MaskMatches(c.Name, c.Mask), c.Matches) << "mask " << c.Mask;
}

}  // namespace
