#include <gtest/gtest.h>

#include "actions/ole_server.h"
#include "console_capture.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/run_state.h"
#include "harness.h"

using namespace testing_support;

namespace {

constexpr int32_t AccessDeniedResult = static_cast<int32_t>(0x80070005);

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// RegisterServer called in-process on copies of the probe servers, so that
// each test has its own record of calls. (This test program has no message
// table; the program runs below check the printed texts.)
class ServerCallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::Run.RunOk = true;  // "::" because gtest fixtures have a Run() of their own
        ::Run.LastErrorCode = 0;
    }
    void TearDown() override { ::Run.RunOk = true; }

    // A copy of the fixture in this test's directory; gives its path.
    std::string Server(const std::string& fixture)
    {
        std::string path = m_dir / fixture;
        EXPECT_TRUE(CopyFileA(FixturePath(fixture).c_str(), path.c_str(), FALSE)) << FixturePath(fixture);
        return path;
    }
    static std::string Calls(const std::string& server)
    {
        return FileExists(server + ".calls") ? ReadFileBytes(server + ".calls") : std::string();
    }
    // Calls RegisterServer and gives what it printed.
    static std::string Register(const std::string& path, char mode)
    {
        ConsoleCapture console;
        RegisterServer(path, mode);
        return console.Text();
    }

    TempDir m_dir;
};

TEST_F(ServerCallTest, EntryPointFollowsTheModeAndTheLibraryIsFreedAfterwards)
{
    std::string server = Server("ole_probe_ok.dll");
    for (char mode : {'I', 'U', 'D', 'X'}) {
        DeleteFileA((server + ".calls").c_str());
        Register(server, mode);
        EXPECT_TRUE(::Run.RunOk);
        EXPECT_EQ(::Run.LastErrorCode, 0);
        const char* call = mode == 'I' || mode == 'U' ? "register" : "unregister";
        EXPECT_EQ(Calls(server), std::string("load 0x8000\r\n") + call + "\r\nunload\r\n") << mode;
        EXPECT_EQ(GetModuleHandleA(server.c_str()), nullptr);
    }
}

TEST_F(ServerCallTest, ErrorModeIsRestoredAfterTheLoad)
{
    std::string server = Server("ole_probe_ok.dll");
    UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
    Register(server, 'I');
    Register(m_dir / "missing.dll", 'I');
    UINT after = SetErrorMode(before);
    EXPECT_EQ(after, static_cast<UINT>(SEM_FAILCRITICALERRORS));
    ::Run.RunOk = true;
}

TEST_F(ServerCallTest, PositiveResultIsSuccess)
{
    std::string server = Server("ole_probe_false.dll");
    Register(server, 'D');
    EXPECT_TRUE(::Run.RunOk);
    EXPECT_EQ(::Run.LastErrorCode, 1);
    EXPECT_EQ(Calls(server), "load 0x8000\r\nunregister\r\nunload\r\n");
}

TEST_F(ServerCallTest, NegativeResultFailsWithItsSystemText)
{
    std::string server = Server("ole_probe_denied.dll");
    std::string out = Register(server, 'I');
    EXPECT_FALSE(::Run.RunOk);
    EXPECT_EQ(::Run.LastErrorCode, AccessDeniedResult);
    ASSERT_FALSE(SystemMessage(static_cast<DWORD>(AccessDeniedResult)).empty());
    EXPECT_TRUE(Contains(out, SystemMessage(static_cast<DWORD>(AccessDeniedResult)))) << out;
    EXPECT_EQ(Calls(server), "load 0x8000\r\nregister\r\nunload\r\n");
}

TEST_F(ServerCallTest, LibraryWithoutTheEntryPointFailsAndIsFreed)
{
    std::string server = Server("ole_probe_bare.dll");
    for (char mode : {'I', 'D'}) {
        ::Run.RunOk = true;
        DeleteFileA((server + ".calls").c_str());
        std::string out = Register(server, mode);
        EXPECT_FALSE(::Run.RunOk);
        EXPECT_EQ(::Run.LastErrorCode, ERROR_PROC_NOT_FOUND);
        EXPECT_TRUE(Contains(out, SystemMessage(ERROR_PROC_NOT_FOUND))) << out;
        EXPECT_EQ(Calls(server), "load 0x8000\r\nunload\r\n");
    }
}

TEST_F(ServerCallTest, LibraryThatCannotBeLoadedFailsWithTheLoadError)
{
    std::string out = Register(m_dir / "missing.dll", 'I');
    EXPECT_FALSE(::Run.RunOk);
    EXPECT_EQ(::Run.LastErrorCode, ERROR_MOD_NOT_FOUND);
    EXPECT_TRUE(Contains(out, SystemMessage(ERROR_MOD_NOT_FOUND))) << out;

    ::Run.RunOk = true;
    WriteFileBytes(m_dir / "text.dll", "not a library");
    Register(m_dir / "text.dll", 'I');
    EXPECT_FALSE(::Run.RunOk);
    EXPECT_EQ(::Run.LastErrorCode, ERROR_BAD_EXE_FORMAT);
}

// A self-registering library that Wine ships and nothing here uses. The test
// leaves it registered, as the prefix had it, whatever happens.
class WineServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char directory[MAX_PATH] = {};
        GetSystemDirectoryA(directory, MAX_PATH);
        m_path = std::string(directory) + "\\scrrun.dll";
        ::Run.RunOk = true;
    }
    void TearDown() override
    {
        ::Run.RunOk = true;
        UniqueModule library(LoadLibraryA(m_path.c_str()));
        ASSERT_TRUE(library);
        auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(library.Get(), "DllRegisterServer"));
        ASSERT_NE(entry, nullptr);
        EXPECT_GE(entry(), 0);
    }
    static bool Registered() { return RegKeyExists(HKEY_CLASSES_ROOT, "Scripting.Dictionary\\CLSID"); }

    std::string m_path;
};

TEST_F(WineServerTest, UnregisterThenRegisterAgain)
{
    ConsoleCapture console;
    RegisterServer(m_path, 'D');
    EXPECT_TRUE(::Run.RunOk);
    EXPECT_FALSE(Registered());
    RegisterServer(m_path, 'I');
    EXPECT_TRUE(::Run.RunOk);
    EXPECT_TRUE(Registered());
}

}  // namespace
