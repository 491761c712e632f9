#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/handles.h"
#include "harness.h"
#include "run/run_lock.h"

using namespace testing_support;

namespace {

TEST(RunLock, OneNamePerProgramDirectoryAndScriptHoweverSpelt)
{
    std::string name = RunLockName("C:\\Apps\\Ledger\\", "ledger.ini");
    EXPECT_EQ(name, RunLockName("c:\\apps\\ledger\\.\\", "LEDGER.INI"));
    EXPECT_EQ(name, RunLockName("C:\\Apps\\", "Ledger\\ledger.ini"));
    EXPECT_NE(name, RunLockName("C:\\Apps\\Ledger\\", "admin.ini"));
    EXPECT_EQ(name.find('\\'), std::string::npos);  // a kernel object name
}

TEST(RunLock, ASecondRunWaitsOnceAndGivesUpAtTheBound)
{
    std::string name = "VantorelTest-" + NewGuid().substr(1, 8);
    UniqueKernelHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> taken{false};
    // The other run: a thread, as the turn belongs to a thread.
    std::thread other([&] {
        UniqueKernelHandle held;
        taken = WaitForTurn(name, false, 1000, [] {}, held) == TLockWait::Taken;
        WaitForSingleObject(release.Get(), 30000);
    });
    while (!taken) Sleep(10);
    int waits = 0;
    UniqueKernelHandle held;
    EXPECT_EQ(WaitForTurn(name, false, 300, [&waits] { ++waits; }, held), TLockWait::TimedOut);
    EXPECT_EQ(waits, 1);
    SetEvent(release.Get());
    other.join();
    EXPECT_EQ(WaitForTurn(name, false, 5000, [&waits] { ++waits; }, held), TLockWait::Taken);
    EXPECT_EQ(waits, 1);
}

TEST(RunLock, AHandedOverTurnGoesToTheRestartedCopyFirst)
{
    std::string name = "VantorelTest-" + NewGuid().substr(1, 8);
    UniqueKernelHandle mark(CreateEventA(nullptr, TRUE, FALSE, ("Global\\" + name + "-restart").c_str()));
    ASSERT_TRUE(mark);
    UniqueKernelHandle held;
    // Free, but promised to the restarted copy: another run keeps waiting, the copy takes it.
    EXPECT_EQ(WaitForTurn(name, false, 400, [] {}, held), TLockWait::TimedOut);
    EXPECT_EQ(WaitForTurn(name, true, 400, [] {}, held), TLockWait::Taken);
    // With the copy gone (its mark with it), the turn is anyone's.
    held.Reset();
    mark.Reset();
    EXPECT_EQ(WaitForTurn(name, false, 400, [] {}, held), TLockWait::Taken);
}

}  // namespace
