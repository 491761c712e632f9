// The program's own forms of the window manager's character and string
// functions must give what those give, for every byte and every message.
#include <gtest/gtest.h>

#include "core/ansi_text.h"
#include "core/handles.h"
#include "harness.h"

using namespace testing_support;

namespace {

TEST(AnsiText, UpperCaseAndOemFormOfEveryByte)
{
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    std::string upper = all;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    EXPECT_EQ(UpperAnsi(all), upper);
    EXPECT_EQ(UpperAnsi("ascii only 1"), "ASCII ONLY 1");
    std::string oem(all.size(), '\0');
    CharToOemBuffA(all.data(), oem.data(), static_cast<DWORD>(all.size()));
    EXPECT_EQ(AnsiToOem(all), oem);
}

TEST(AnsiText, TableStringsOfTheProgramAndTheLanguageFile)
{
    UniqueModule russian(LoadLibraryExA((BuildDir() + "vantorel.rus").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(russian);
    for (HMODULE module : {GetModuleHandleA(nullptr), russian.Get()}) {
        for (int size : {4096, 10}) {  // 10 cuts "Inifile name is needed as parameter."
            for (unsigned id = 65000; id <= 65535; ++id) {
                char buffer[4096];
                int length = LoadStringA(module, id, buffer, size);
                ASSERT_EQ(LoadTableString(module, id, static_cast<size_t>(size)),
                          std::string(buffer, static_cast<size_t>(length > 0 ? length : 0)))
                    << id;
            }
        }
    }
}

}  // namespace
