#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/ansi_text.h"
#include "harness.h"
#include "machine/ini_image.h"
#include "machine/live_machine.h"

using namespace testing_support;

namespace {

using Questions = std::vector<std::pair<std::string, std::string>>;

// What the run reads through the system: 260 zeroed bytes, a NULL key for the whole section.
TIniRead SystemRead(const std::string& path, const std::string& section, const std::string& key)
{
    char buffer[260] = {};
    DWORD length = GetPrivateProfileStringA(section.c_str(), key.empty() ? nullptr : key.c_str(), "", buffer,
                                            sizeof buffer, path.c_str());
    return {length > 0, buffer};
}

std::string Shown(const std::string& bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        char code[8];
        std::snprintf(code, sizeof code, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
        shown += code;
    }
    return shown;
}

// The text as ANSI (what the code page lacks as '?'), UTF-8 or UTF-16 with its mark.
std::string Encoded(const std::wstring& text, int encoding)
{
    if (encoding == 1) return "\xEF\xBB\xBF" + FromWide(text, CP_UTF8);
    std::string bytes = encoding == 0 ? "" : encoding == 2 ? "\xFF\xFE" : "\xFE\xFF";
    for (wchar_t c : text) {
        char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        if (encoding == 0) bytes.push_back(c < 0x100 ? low : '?');
        if (encoding != 0) bytes.push_back(encoding == 2 ? low : high);
        if (encoding != 0) bytes.push_back(encoding == 2 ? high : low);
    }
    return bytes;
}

// Every question the image answers about the file must be answered as the
// system answers it; gives how many it answered.
class IniDifferential : public ::testing::Test {
protected:
    int Compare(const std::string& bytes, const Questions& asked)
    {
        std::string path = m_dir / ("f" + std::to_string(++m_files) + ".ini");
        WriteFileBytes(path, bytes);
        TIniImage image;
        TIniFileRead status = ReadIniFile(path, image);
        EXPECT_NE(status, TIniFileRead::Missing) << Shown(bytes);
        int answered = 0;
        for (const auto& [section, key] : asked) {
            std::optional<TIniRead> mine =
                status == TIniFileRead::Read ? LookUpIniValue(image, section, key) : std::nullopt;
            if (!mine) continue;
            ++answered;
            TIniRead system = SystemRead(path, section, key);
            EXPECT_TRUE(mine->Present == system.Present && mine->Text == system.Text)
                << "file " << Shown(bytes) << "\nasked [" << Shown(section) << "] " << Shown(key) << "\nsystem "
                << system.Present << " " << Shown(system.Text) << "\nimage  " << mine->Present << " "
                << Shown(mine->Text);
        }
        return answered;
    }

    TempDir m_dir;
    int m_files = 0;
};

const std::vector<std::string> Sections = {"S", "s", " S ", "T", "t ", "", "  ", "a]b", "[S]", "x", "S\x01", "Q",
                                           "s\tt", std::string("S\0x", 3), "\xC4"};
const std::vector<std::string> Keys = {"k", "K", " k ", "k2", "KEY3", "", ";k", "  ", "\"k\"", "k;x", "k3", "kz",
                                       "\x1Ak", "=", "a b", std::string("\0k", 2), std::string("k\0z", 3), "\xE4"};
// Lines of the shapes every system reads alike, then of the shapes the image leaves to the system.
const std::vector<std::wstring> PlainLines = {
    L"[S]", L"[ s ]", L"[T]", L"[ t\t]", L" [S] ", L"[Q]; c", L"[]", L"k=v", L" K = v ", L"=v", L";k=c", L"k==v",
    L"k=\"q\"", L"k=\"\"", L"k=\"a\"b\"", L"k2=x y ", L"k2 =\t\"sp  \"", L"k=\u00e9\u0416", L"k=a=b", L"k;x=1",
    L"\"k\"=v", L"KEY3=\"x\"", L"a b = c d", L"k3=\"\u0416\"", L"kz=", L"k=\"x"};
const std::vector<std::wstring> DoubtfulLines = {
    L"[S", L"[a]b]", L"[S]x", L"[[S]]", L"[S\u00e9]", std::wstring(L"[s\0x]", 5), L"k", L"k='q'", L"k=\"",
    L"\u00a0k=v\u00a0", L"k=\u3000v", L"\u0085k=v", L"k=\ufeffv", std::wstring(L"k=v\0w", 5), L"\x1A k=v", L"L=\x0Bv",
    L"\u00e9=x", L"k=\x7F", L"k=\xD800", L"k=x\ry", L"k=" + std::wstring(251, L'x'), L"k=" + std::wstring(258, L'y')};

std::wstring SomeText(std::mt19937& random, bool plain)
{
    static const std::vector<std::wstring> Breaks = {L"\r\n", L"\n", L" \r\n", L"\t\n"};
    std::wstring text;
    for (int lines = static_cast<int>(random() % 14); lines > 0; --lines) {
        bool doubtful = !plain && random() % 4 == 0;
        const std::vector<std::wstring>& pool = doubtful ? DoubtfulLines : PlainLines;
        text += pool[random() % pool.size()] + Breaks[random() % Breaks.size()];
    }
    return text;
}

}  // namespace

// Files of the shapes the profile functions treat apart, in every encoding,
// asked names of every shape, against the system's own answers. Plain names
// asked of a plain file in ANSI or UTF-16 are all answered from the image.
TEST_F(IniDifferential, GeneratedFilesReadAsTheSystemReadsThem)
{
    std::mt19937 random(20240611);
    int plainAsked = 0, plainAnswered = 0;
    for (int i = 0; i < 480; ++i) {
        bool plain = i % 2 == 0;
        int encoding = (i / 2) % 4;
        Questions common, odd;
        for (int q = 0; q < 16; ++q) common.emplace_back(Sections[random() % 5], Keys[random() % 5]);
        for (int q = 0; q < 8; ++q) odd.emplace_back(Sections[random() % Sections.size()], Keys[random() % Keys.size()]);
        std::string bytes = Encoded(SomeText(random, plain), encoding);
        int answered = Compare(bytes, common);
        Compare(bytes, odd);
        if (plain && (encoding == 0 || encoding == 2)) plainAsked += 16, plainAnswered += answered;
    }
    EXPECT_EQ(plainAnswered, plainAsked);
}

// Random bytes, mostly of the characters that give an INI file its shape.
TEST_F(IniDifferential, HostileBytesReadAsTheSystemReadsThem)
{
    static const char Alphabet[] = "[]=;\"' \t\r\n\x1A\x0BkKsSzx\xE9\xFF\xFE\xEF\xBB\xBF\x00\x80";
    std::mt19937 random(7);
    for (int i = 0; i < 240; ++i) {
        std::string bytes(random() % 200, '\0');
        for (char& c : bytes)
            c = random() % 8 == 0 ? static_cast<char>(random()) : Alphabet[random() % (sizeof Alphabet - 1)];
        Questions asked;
        for (int q = 0; q < 12; ++q) asked.emplace_back(Sections[random() % 5], Keys[random() % 5]);
        Compare(bytes, asked);
    }
}

// Each shape the systems may read apart, once, beside its plain twin the image answers.
// Sections at and past the size from which their keys are hashed, with
// names that differ in case and later duplicates: each key, a missing one
// and a duplicate answered as the system answers them.
TEST_F(IniDifferential, LargeSectionsFindTheirFirstKeyOfAName)
{
    for (int count : {static_cast<int>(IndexedKeys), static_cast<int>(IndexedKeys) + 1, 300}) {
        std::string text = "[S]\r\n";
        Questions asked = {{"S", "missing"}};
        for (int i = 0; i < count; ++i) {
            text += (i % 2 ? "Key" : "key") + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
            asked.emplace_back("s", "KEY" + std::to_string(i));
        }
        text += "KEY1=later\r\n[T]\r\nkey1=t\r\n";
        EXPECT_EQ(Compare(text, asked), static_cast<int>(asked.size())) << count << " keys";
    }
}

TEST_F(IniDifferential, DoubtfulShapesAreLeftToTheSystem)
{
    struct TAsked {
        std::string File, Section, Key;
    };
    const std::vector<std::pair<TAsked, TAsked>> cases = {
        {{"\xEF\xBB\xBF[S]\nk=v", "S", "k"}, {"[S]\nk=v", "S", "k"}},
        {{std::string("\xFE\xFF\0[\0S\0]\0\n\0k\0=\0v", 16), "S", "k"},
         {std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0", 16), "S", "k"}},
        {{std::string("[S]\nk=v\0w", 9), "S", "k"}, {"[S]\nk=v w", "S", "k"}},
        {{"[S]\nk=v\x1A", "S", "k"}, {"[S]\nk=v\t", "S", "k"}},
        {{"[S]\rk=v", "S", "k"}, {"[S]\r\nk=v", "S", "k"}},
        {{"[S]\nk=\xA0v", "S", "k"}, {"[S]\nk=\xE9v", "S", "k"}},
        {{"[S\nk=v", "S", "k"}, {"[S]\nk=v", "S", "k"}},
        {{"[S]x\nk=v", "S", "k"}, {"[S] ;x\nk=v", "S", "k"}},
        {{"[S]]\nk=v", "S]", "k"}, {"[S]\nk=v", "S", "k"}},
        {{"[\xC4]\n[S]\nk=v", "S", "k"}, {"[D]\n[S]\nk=v", "S", "k"}},
        {{"[S]\n\xE4=1\nk=v", "S", "k"}, {"[S]\nj=\xE4\nk=v", "S", "k"}},
        {{"[S]\nk\nk=v", "S", "k"}, {"[S]\nk=\nk=v", "S", "k"}},
        {{"[S]\nk='v'", "S", "k"}, {"[S]\nk=\"v\"", "S", "k"}},
        {{"[S]\nk=\"", "S", "k"}, {"[S]\nk=\"\"", "S", "k"}},
        {{"[S]\nk=" + std::string(251, 'x'), "S", "k"}, {"[S]\nk=" + std::string(250, 'x'), "S", "k"}},
        {{"[S]\n=v", "S", " "}, {"[S]\n=v", "S", "k"}},
        {{"k=v", "", "k"}, {"k=v\n[S]", "S", "k"}},
        {{"[S]\nk=v", " S", ""}, {"[S]\nk=v", "S", ""}},
        {{"[S]\n;c=1\nk=v", "S", ""}, {"[S]\nk=v\n;c=1", "S", ""}},
        {{"[S]\nj\nk=v", "S", ""}, {"[S]\nk=v\nj", "S", ""}},
        {{"[S]\n=v\nk=v", "S", ""}, {"[S]\nk=v\n=v", "S", ""}},
        {{"[S]\n;k=v", "S", ";k"}, {"[S]\n;k=v", "S", "k"}},
        {{"[S]\nk=v", "S", "k\x01"}, {"[S]\nk=v", "S", "k "}},
        {{"[S]\nk=v", std::string("S\0x", 3), "k"}, {"[S]\nk=v", "S x", "k"}},
        {{"[S]\nk=v", "S", "k\xE4"}, {"[S]\nk=v", "S", "kA"}}};
    for (const auto& [doubtful, plain] : cases) {
        EXPECT_EQ(Compare(doubtful.File, {{doubtful.Section, doubtful.Key}}), 0)
            << "[" << Shown(doubtful.Section) << "] " << Shown(doubtful.Key) << " in " << Shown(doubtful.File);
        EXPECT_EQ(Compare(plain.File, {{plain.Section, plain.Key}}), 1)
            << "[" << Shown(plain.Section) << "] " << Shown(plain.Key) << " in " << Shown(plain.File);
    }
}

TEST(IniFileRead, WhatIsLeftToTheSystem)
{
    TempDir dir;
    TIniImage image;
    EXPECT_EQ(ReadIniFile(dir / "none.ini", image), TIniFileRead::Missing);
    EXPECT_EQ(ReadIniFile(dir / "no\\dir\\none.ini", image), TIniFileRead::Missing);
    // A directory, a name the system looks for in the Windows directory, a
    // file it reads from the registry (so named anywhere), UTF-16 of an odd length.
    EXPECT_EQ(ReadIniFile(dir.Path(), image), TIniFileRead::AskSystem);
    EXPECT_EQ(ReadIniFile("vantorel-none.ini", image), TIniFileRead::AskSystem);
    EXPECT_EQ(ReadIniFile("C:\\windows\\win.ini", image), TIniFileRead::AskSystem);
    EXPECT_EQ(ReadIniFile(dir / "WIN.INI.", image), TIniFileRead::AskSystem);
    WriteFileBytes(dir / "odd.ini", std::string("\xFF\xFEk\x00=", 5));
    EXPECT_EQ(ReadIniFile(dir / "odd.ini", image), TIniFileRead::AskSystem);
    // Answered all the same, by the system.
    TLiveMachine machine;
    EXPECT_EQ(machine.IniValue(dir / "odd.ini", "", "k").Present, SystemRead(dir / "odd.ini", "", "k").Present);
}

// The live machine reads a file once, and again after the run changed anything.
TEST(IniFileRead, TheLiveMachineReadsAgainAfterAChange)
{
    TempDir dir;
    std::string path = dir / "t.ini";
    WriteFileBytes(path, "[S]\r\nk=old\r\n");
    TLiveMachine machine;
    EXPECT_EQ(machine.IniValue(path, "S", "k").Text, "old");
    WriteFileBytes(path, "[S]\r\nk=new\r\n");
    EXPECT_EQ(machine.IniValue(path, "S", "k").Text, "old");  // nothing of the run's own changed it
    TChange copied;
    copied.Kind = TChangeKind::File;
    copied.Path = dir / "other.dat";
    machine.Made(copied);
    EXPECT_EQ(machine.IniValue(path, "S", "k").Text, "new");
    EXPECT_EQ(machine.IniValue(path, "S", "").Text, "k");
    EXPECT_FALSE(machine.IniValue(path, "S", "absent").Present);
}
