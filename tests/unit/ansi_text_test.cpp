// The program's own forms of the window manager's character and string
// functions must give what those give. Every case asks both and compares.
#include <gtest/gtest.h>

#include <string>

#include "core/ansi_text.h"
#include "core/handles.h"
#include "harness.h"

using namespace testing_support;

namespace {

std::string EveryByte()
{
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    return all;
}

TEST(AnsiText, UpperCaseAndOemFormOfEveryByte)
{
    std::string all = EveryByte();
    std::string upper = all;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    EXPECT_EQ(UpperAnsi(all), upper);
    std::string oem(all.size(), '\0');
    CharToOemBuffA(all.data(), oem.data(), static_cast<DWORD>(all.size()));
    EXPECT_EQ(AnsiToOem(all), oem);
    for (const char* text : {"", "plain ascii 123", "caf\xe9 \xdf \xff", "C:\\Program Files\\Acme\\"}) {
        std::string expected = text;
        CharUpperBuffA(expected.data(), static_cast<DWORD>(expected.size()));
        EXPECT_EQ(UpperAnsi(text), expected) << text;
    }
}

// Every id of the built-in table and of the Russian language file.
TEST(AnsiText, TableStringsAsLoadStringGivesThem)
{
    UniqueModule russian(LoadLibraryExA((BuildDir() + "vantorel.rus").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(static_cast<bool>(russian));
    int compared = 0;
    for (HMODULE module : {GetModuleHandleA(nullptr), russian.Get()}) {
        for (unsigned id = 65000; id <= 65535; ++id) {
            char buffer[4096];
            int length = LoadStringA(module, id, buffer, sizeof buffer);
            std::string expected = length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
            ASSERT_EQ(LoadTableString(module, id, sizeof buffer), expected) << id;
            if (length > 0) ++compared;
        }
        char cut[10];
        int length = LoadStringA(module, 65360, cut, sizeof cut);
        EXPECT_EQ(LoadTableString(module, 65360, sizeof cut), std::string(cut, static_cast<size_t>(length)));
    }
    EXPECT_GT(compared, 300);
}

}  // namespace
