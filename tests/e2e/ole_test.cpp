#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/ole_server.h"
#include "run/run_steps.h"
#include "console_capture.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/run_state.h"
#include "harness.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// RegisterServer called in-process on copies of the probe servers, so that
// each test has its own record of calls. (This test program has no message
// table; the program runs below check the printed texts.)
class ServerCallTest : public RunStateTest {
protected:

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
    // Carries out a server item as a run does and gives what it printed.
    static std::string Register(const std::string& path, TSectionMode mode)
    {
        ConsoleCapture console;
        TRunSteps steps;
        if (!ProcessServerItem(TServerItem{path, path}, mode, steps)) steps.ItemFailed();
        return console.Text();
    }

    TempDir m_dir;
};

TEST_F(ServerCallTest, EntryPointFollowsTheModeAndTheLibraryIsFreedAfterwards)
{
    std::string server = Server("ole_probe_ok.dll");
    for (TSectionMode mode : {Insert, Update, Delete}) {
        DeleteFileA((server + ".calls").c_str());
        Register(server, mode);
        EXPECT_TRUE(::Run.RunOk);
        EXPECT_EQ(::Run.LastErrorCode, 0);
        const char* call = mode == Delete ? "unregister" : "register";
        EXPECT_EQ(Calls(server), std::string("load 0x8000\r\n") + call + "\r\nunload\r\n") << call;
        EXPECT_EQ(GetModuleHandleA(server.c_str()), nullptr);
    }
}

TEST_F(ServerCallTest, ErrorModeIsRestoredAfterTheLoad)
{
    std::string server = Server("ole_probe_ok.dll");
    UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
    Register(server, Insert);
    Register(m_dir / "missing.dll", Insert);
    UINT after = SetErrorMode(before);
    EXPECT_EQ(after, static_cast<UINT>(SEM_FAILCRITICALERRORS));
    ::Run.RunOk = true;
}

// Results and messages of each outcome are checked through the program below.
TEST_F(ServerCallTest, FileThatIsNoLibraryFailsWithTheLoadError)
{
    WriteFileBytes(m_dir / "text.dll", "not a library");
    std::string out = Register(m_dir / "text.dll", Insert);
    EXPECT_FALSE(::Run.RunOk);
    EXPECT_EQ(::Run.LastErrorCode, ERROR_BAD_EXE_FORMAT);
    EXPECT_TRUE(Contains(out, SystemMessage(ERROR_BAD_EXE_FORMAT))) << out;
}

std::string Padded(const std::string& text)
{
    return text + std::string(text.size() < 44 ? 44 - text.size() : 0, ' ');
}

std::vector<std::string> FailureLines(const std::string& line, const std::string& message)
{
    return {Padded(line) + "[ FAILED ]", "", "ERROR: " + message, "", "Press any key to continue..."};
}

// Server items run by the program, with the probe servers copied into the
// program directory's "lib" folder.
class ServerRunTest : public ::testing::Test {
protected:
    RunResult RunScript(const std::vector<std::string>& lines)
    {
        std::string text = "[Options]\r\n";
        for (const std::string& line : lines) text += line + "\r\n";
        m_dir.Write("s.ini", text);
        return m_dir.Start("s.ini");
    }
    void Install(const std::string& fixture)
    {
        CreateDirectoryA((m_dir / "lib").c_str(), nullptr);  // there already is fine
        ASSERT_TRUE(CopyFileA(FixturePath(fixture).c_str(), (m_dir / ("lib\\" + fixture)).c_str(), FALSE));
    }
    std::string Calls(const std::string& fixture) const
    {
        std::string path = m_dir / ("lib\\" + fixture + ".calls");
        return FileExists(path) ? ReadFileBytes(path) : std::string();
    }

    ProgramDir m_dir;
};

TEST_F(ServerRunTest, InsertRegistersDeleteUnregistersRelativeToTheProgram)
{
    Install("ole_probe_ok.dll");
    Install("ole_probe_false.dll");
    RunResult run = RunScript({"SectionOrder=ID", "[Insert]", "ComSrv1=lib\\ole_probe_ok.dll",
                               "ComSrv2=lib\\ole_probe_false.dll", "[Delete]", "ComSrv1=lib\\ole_probe_ok.dll"});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    std::vector<std::string> expected = {"=> Inserting",
                                         "   OLE DLL files:",
                                         Padded("    -> lib\\ole_probe_ok.dll...") + "[  OK  ]",
                                         Padded("    -> lib\\ole_probe_false.dll...") + "[  OK  ]",
                                         "=> Deleting",
                                         "   OLE DLL files:",
                                         Padded("    -> lib\\ole_probe_ok.dll...") + "[  OK  ]"};
    EXPECT_EQ(ActionLines(run), expected);
    EXPECT_EQ(Calls("ole_probe_ok.dll"), "load 0x8000\r\nregister\r\nunload\r\nload 0x8000\r\nunregister\r\nunload\r\n");
    EXPECT_EQ(Calls("ole_probe_false.dll"), "load 0x8000\r\nregister\r\nunload\r\n");
    EXPECT_TRUE(m_dir.Exists("s.ok"));
}

TEST_F(ServerRunTest, EachFailureStopsTheRunWithTheSystemText)
{
    Install("ole_probe_ok.dll");
    Install("ole_probe_denied.dll");
    Install("ole_probe_bare.dll");
    Install("ole_probe_unknown.dll");
    struct Case {
        std::string Server;
        std::string Text;
    } cases[] = {{"lib\\ole_probe_denied.dll", SystemMessage(0x80070005)},
                 {"lib\\ole_probe_bare.dll", SystemMessage(ERROR_PROC_NOT_FOUND)},
                 {"lib\\missing.dll", SystemMessage(ERROR_MOD_NOT_FOUND)},
                 // No system text: the code is shown instead of nothing.
                 {"lib\\ole_probe_unknown.dll", "Error 0x8FFF0001"}};
    for (const Case& c : cases) {
        DeleteFileA((m_dir / "lib\\ole_probe_ok.dll.calls").c_str());
        // The Update section comes after Delete and must not run.
        RunResult run = RunScript({"SectionOrder=DU", "[Delete]", "ComSrv1=" + c.Server,
                                   "ComSrv2=lib\\ole_probe_ok.dll", "[Update]", "ComSrv1=lib\\ole_probe_ok.dll"});
        EXPECT_EQ(run.ExitCode, 2u) << run.Output;
        std::vector<std::string> expected = {"=> Deleting", "   OLE DLL files:"};
        for (const std::string& line : FailureLines("    -> " + c.Server + "...", c.Text))
            expected.push_back(line);
        EXPECT_EQ(ActionLines(run), expected) << c.Server;
        EXPECT_EQ(Calls("ole_probe_ok.dll"), "") << c.Server;
    }
    EXPECT_EQ(Calls("ole_probe_denied.dll"), "load 0x8000\r\nunregister\r\nunload\r\n");
    EXPECT_EQ(Calls("ole_probe_bare.dll"), "load 0x8000\r\nunload\r\n");
}

// A self-registering library that Wine ships and nothing here uses, run
// through the program. The test leaves it registered, as the prefix had it,
// whatever happens.
class WineServerTest : public ServerRunTest {
protected:
    void TearDown() override
    {
        char directory[MAX_PATH] = {};
        GetSystemDirectoryA(directory, MAX_PATH);
        UniqueModule library(LoadLibraryA((std::string(directory) + "\\scrrun.dll").c_str()));
        ASSERT_TRUE(library);
        auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(library.Get(), "DllRegisterServer"));
        ASSERT_NE(entry, nullptr);
        EXPECT_GE(entry(), 0);
    }
    static bool Registered() { return RegKeyExists(HKEY_CLASSES_ROOT, "Scripting.Dictionary\\CLSID"); }
};

TEST_F(WineServerTest, UnregisterThenRegisterAgain)
{
    const std::string item = "ComSrv1=%winsysdir%\\scrrun.dll";
    ASSERT_TRUE(Registered());
    RunResult run = RunScript({"SectionOrder=D", "[Delete]", item});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_FALSE(Registered());
    run = RunScript({"SectionOrder=I", "[Insert]", item});
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_TRUE(Registered());
}

}  // namespace
