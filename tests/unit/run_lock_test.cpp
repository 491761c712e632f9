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
    EXPECT_EQ(RunLockName("C:\\Apps\\Ledger\\", "ledger.ini"), RunLockName("c:\\apps\\ledger\\.\\", "LEDGER.INI"));
    EXPECT_EQ(RunLockName("C:\\Apps\\Ledger\\", "ledger.ini"), RunLockName("C:\\Apps\\", "Ledger\\ledger.ini"));
    EXPECT_NE(RunLockName("C:\\Apps\\Ledger\\", "ledger.ini"), RunLockName("C:\\Apps\\Ledger\\", "admin.ini"));
    EXPECT_NE(RunLockName("C:\\Apps\\Ledger\\", "ledger.ini"), RunLockName("D:\\Apps\\Ledger\\", "ledger.ini"));
    // A kernel object name: no backslash.
    EXPECT_EQ(RunLockName("C:\\Apps\\", "x.ini").find('\\'), std::string::npos);
}

// Another run (a thread here: the turn belongs to a thread) holds the turn.
class RunLockTest : public ::testing::Test {
protected:
    void HoldTurnElsewhere()
    {
        m_holder = std::thread([this] {
            UniqueKernelHandle held;
            m_heldResult = WaitForTurn(m_name, false, 1000, [] {}, held);
            m_taken = true;
            WaitForSingleObject(m_release.Get(), 30000);
        });
        while (!m_taken) Sleep(10);
    }
    void ReleaseElsewhere()
    {
        SetEvent(m_release.Get());
        if (m_holder.joinable()) m_holder.join();
    }
    ~RunLockTest() override { ReleaseElsewhere(); }

    std::string m_name = "VantorelTest-" + NewGuid().substr(1, 8);
    UniqueKernelHandle m_release{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> m_taken{false};
    TLockWait m_heldResult = TLockWait::NoLock;
    std::thread m_holder;
};

TEST_F(RunLockTest, ASecondRunWaitsOnceAndGivesUpAtTheBound)
{
    HoldTurnElsewhere();
    EXPECT_EQ(m_heldResult, TLockWait::Taken);
    int waits = 0;
    UniqueKernelHandle held;
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForTurn(m_name, false, 300, [&waits] { ++waits; }, held), TLockWait::TimedOut);
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_EQ(waits, 1);
    EXPECT_FALSE(held);
    // Once the other run ends, the turn is this one's.
    ReleaseElsewhere();
    EXPECT_EQ(WaitForTurn(m_name, false, 5000, [&waits] { ++waits; }, held), TLockWait::Taken);
    EXPECT_TRUE(held);
    EXPECT_EQ(waits, 1);
}

TEST_F(RunLockTest, AHandedOverTurnGoesToTheRestartedCopyFirst)
{
    UniqueKernelHandle mark(CreateEventA(nullptr, TRUE, FALSE, ("Global\\" + m_name + "-restart").c_str()));
    ASSERT_TRUE(mark);
    UniqueKernelHandle held;
    int waits = 0;
    // Free, but promised to the restarted copy: another run keeps waiting.
    EXPECT_EQ(WaitForTurn(m_name, false, 400, [&waits] { ++waits; }, held), TLockWait::TimedOut);
    EXPECT_EQ(waits, 1);
    // The copy itself takes it at once.
    EXPECT_EQ(WaitForTurn(m_name, true, 400, [&waits] { ++waits; }, held), TLockWait::Taken);
    EXPECT_EQ(waits, 1);
    // With the copy gone (its mark with it), the turn is anyone's.
    held.Reset();
    mark.Reset();
    EXPECT_EQ(WaitForTurn(m_name, false, 400, [&waits] { ++waits; }, held), TLockWait::Taken);
}

}  // namespace
