#include <gtest/gtest.h>

#include <windows.h>

#include "engine/engine.h"
#include "engine_support.h"
#include "harness.h"

using namespace testing_support;

namespace {

bool EngineLoaded() { return GetModuleHandleA("IDAPI32.DLL") != nullptr; }

TEST(EngineLoader, LoadErrorsMapToEngineCodes)
{
    for (DWORD notFound : {2u, 3u, 126u, 161u}) EXPECT_EQ(engine_loader::MapLoadError(notFound), 0x2108) << notFound;
    EXPECT_EQ(engine_loader::MapLoadError(14), 0x2501);
    for (DWORD other : {0u, 5u, 8u, 193u, 1114u}) EXPECT_EQ(engine_loader::MapLoadError(other), 0x2109) << other;
}

TEST(EngineLoader, SearchOrderIsCurrentDirectoryThenDllPathThenBareName)
{
    TempDir current, first, second;
    WriteFileBytes(second / "IDAPI32.DLL", "x");
    std::string dllPath = first.Path() + ";" + second.Path();

    EXPECT_EQ(engine_loader::LibraryPath(current.Path(), dllPath), second / "IDAPI32.DLL")
        << "found along DLLPATH, past a directory without it";
    WriteFileBytes(current / "IDAPI32.DLL", "x");
    EXPECT_EQ(engine_loader::LibraryPath(current.Path(), dllPath), current / "IDAPI32.DLL");
    // Without a trailing separator the name is still joined correctly.
    std::string bare = current.Path().substr(0, current.Path().size() - 1);
    EXPECT_EQ(engine_loader::LibraryPath(bare, dllPath), current / "IDAPI32.DLL");

    TempDir empty;
    EXPECT_EQ(engine_loader::LibraryPath(empty.Path(), first.Path()), "IDAPI32.DLL");
    EXPECT_EQ(engine_loader::LibraryPath(empty.Path(), ""), "IDAPI32.DLL")
        << "no DLLPATH: the system's own search is left to LoadLibrary";
    EXPECT_EQ(engine_loader::LibraryPath("", second.Path()), second / "IDAPI32.DLL");
}

TEST(EngineLoader, DirectoryNamedLikeTheLibraryIsNotTheLibrary)
{
    TempDir current;
    CreateDirectoryA((current / "IDAPI32.DLL").c_str(), nullptr);
    EXPECT_EQ(engine_loader::LibraryPath(current.Path(), ""), "IDAPI32.DLL");
}

TEST(EngineLoader, DllPathIsReadWholeAndOnlyAsText)
{
    TestRegKey key;
    EXPECT_EQ(engine_loader::ReadDllPath(HKEY_CURRENT_USER, (key.SubKey() + "\\missing").c_str()), "");
    EXPECT_EQ(engine_loader::ReadDllPath(HKEY_CURRENT_USER, key.SubKey().c_str()), "");

    std::string longList = std::string(300, 'a') + ";C:\\engine";
    WriteRegValue(HKEY_CURRENT_USER, key.SubKey(), "DLLPATH", REG_SZ, longList + '\0');
    EXPECT_EQ(engine_loader::ReadDllPath(HKEY_CURRENT_USER, key.SubKey().c_str()), longList);

    WriteRegValue(HKEY_CURRENT_USER, key.SubKey(), "DLLPATH", REG_DWORD, std::string(4, '\x01'));
    EXPECT_EQ(engine_loader::ReadDllPath(HKEY_CURRENT_USER, key.SubKey().c_str()), "");
}

TEST(EngineLoader, InitAndExitKeepTheLibraryWithAUseCount)
{
    TempDir dir;
    InstallStandin(dir.Path());
    CurrentDirScope cd(dir.Path());
    ASSERT_FALSE(EngineLoaded());

    ASSERT_EQ(DbiInit(nullptr), 0);
    ASSERT_EQ(DbiInit(nullptr), 0);
    EXPECT_TRUE(EngineLoaded());
    EXPECT_EQ(DbiExit(), 0);
    EXPECT_TRUE(EngineLoaded()) << "one start is still open";
    EXPECT_EQ(DbiExit(), 0);
    EXPECT_FALSE(EngineLoaded());
    EXPECT_NE(DbiExit(), 0) << "nothing left to release";

    // A second load after the release binds its entries afresh.
    ASSERT_EQ(DbiInit(nullptr), 0);
    hDBICur cursor = nullptr;
    EXPECT_EQ(DbiOpenDatabaseList(&cursor), 0);
    EXPECT_EQ(DbiCloseCursor(&cursor), 0);
    EXPECT_EQ(DbiExit(), 0);
    EXPECT_FALSE(EngineLoaded());
}

TEST(EngineLoader, FailedInitFreesTheLibraryItLoaded)
{
    TempDir dir;
    WriteFileBytes(dir / "IDAPI32.DLL", ReadFileBytes(FixturePath("engine_noexports.dll")));
    CurrentDirScope cd(dir.Path());
    EXPECT_EQ(DbiInit(nullptr), 0x274F);
    EXPECT_FALSE(EngineLoaded());

    TempDir standin;
    InstallStandin(standin.Path());
    CurrentDirScope cd2(standin.Path());
    EnvironmentScope fail("VANTOREL_STANDIN_FAIL", "DbiInitFn");
    EXPECT_EQ(DbiInit(nullptr), 0x3E0A) << "the engine's own code comes back";
    EXPECT_FALSE(EngineLoaded());
}

TEST(EngineLoader, LibraryThatCannotLoadGivesLoadCodes)
{
    TempDir corrupt;
    WriteFileBytes(corrupt / "IDAPI32.DLL", "MZ this is not a library");
    {
        CurrentDirScope cd(corrupt.Path());
        EXPECT_EQ(DbiInit(nullptr), 0x2109);
    }
    TempDir empty;
    CurrentDirScope cd(empty.Path());
    EXPECT_EQ(DbiInit(nullptr), 0x2108);
    // A bound entry tries to load as well and then reports that no library is there.
    char text[DbiErrorTextSize] = {};
    EXPECT_EQ(DbiGetErrorString(0x2108, text), 0x210A);
    EXPECT_FALSE(EngineLoaded());
}

TEST(EngineLoader, FirstBindingIntroducesTheClientOnceAndCallsPassArgumentsThrough)
{
    TempDir dir;
    InstallStandin(dir.Path());
    CurrentDirScope cd(dir.Path());
    EnvironmentScope log("VANTOREL_STANDIN_LOG", dir / "calls.log");

    ASSERT_EQ(DbiInit(nullptr), 0);
    EXPECT_EQ(DbiAddAlias(nullptr, "Alpha", "PARADOX", "PATH:C:\\data", DbiTrue), 0);
    hDBICur cursor = nullptr;
    ASSERT_EQ(DbiOpenDatabaseList(&cursor), 0);
    char record[DbiRecordBufferSize] = {};
    EXPECT_EQ(DbiGetNextRecord(cursor, DbiNoLock, record, nullptr), 0);
    EXPECT_STREQ(record, "Alpha");
    EXPECT_EQ(DbiGetNextRecord(cursor, DbiNoLock, record, nullptr), DBIERR_EOF);
    EXPECT_EQ(DbiCloseCursor(&cursor), 0);
    EXPECT_EQ(cursor, nullptr);
    char text[DbiErrorTextSize] = {};
    EXPECT_EQ(DbiAddAlias(nullptr, "Alpha", "", "", DbiTrue), 0x3E04);
    EXPECT_EQ(DbiGetErrorString(0x3E04, text), 0);
    EXPECT_STREQ(text, "Alias already exists: Alpha");
    EXPECT_EQ(DbiExit(), 0);

    std::vector<std::string> calls = ReadCallLog(dir / "calls.log");
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "DbiInitFn(500, NULL) = 0x0000");
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string shownSelf;
    for (char c : std::string(self)) shownSelf += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_EQ(calls[1], "DLLINITFUNCTION(1, \"" + shownSelf + "\", \"VNT\") = 0x0000");
    EXPECT_EQ(calls[2], "DbiAddAlias(NULL, \"Alpha\", \"PARADOX\", \"PATH:C:\\\\data\", -1) = 0x0000");
    int introductions = 0;
    for (const std::string& call : calls) introductions += call.rfind("DLLINITFUNCTION", 0) == 0;
    EXPECT_EQ(introductions, 1);
    EXPECT_EQ(calls.back(), "DbiExit() = 0x0000");
}

}  // namespace
