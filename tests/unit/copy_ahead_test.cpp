// Copies made ahead of their turn touch only the scratch files beside their
// targets: a claim takes a copy only of the very source and version its step
// decided on, and whatever is not claimed leaves nothing behind.
#include <gtest/gtest.h>

#include "actions/copy_ahead.h"
#include "actions/file_copy.h"
#include "core/run_state.h"
#include "file_support.h"
#include "harness.h"
#include "run_state_scope.h"

using namespace testing_support;

namespace {

class CopyAheadTest : public RunStateTest {
protected:
    std::string App(const std::string& name) const { return m_app / name; }
    std::string Share(const std::string& name) const { return m_share / name; }
    // A source of its own bytes and day, and the facts a decision would hold its copy to.
    TSourceFacts Source(const std::string& name, const std::string& bytes, int day)
    {
        WriteFileBytes(Share(name), bytes);
        FILETIME time = LocalStamp(day);
        SetLastWriteTime(Share(name), time);
        FILETIME stored = LastWriteTime(Share(name));
        return {true, static_cast<int64_t>(bytes.size()), stored, FILE_ATTRIBUTE_ARCHIVE};
    }
    bool ScratchThere(const std::string& name) const { return FileExists(PartialCopyPath(App(name))); }
    // A copy not begun yet is not claimed (its step copies as ever): these
    // tests claim copies under way or made.
    void AwaitScratch(const std::string& name) const
    {
        for (int i = 0; i < 1000 && !ScratchThere(name); ++i) Sleep(10);
        ASSERT_TRUE(ScratchThere(name)) << name;
    }

    TempDir m_app;
    TempDir m_share;
};

TEST_F(CopyAheadTest, AClaimTakesTheCopyOfItsOwnSourceAndVersionOnly)
{
    TSourceFacts a = Source("a.dll", "new a", 2);
    TSourceFacts b = Source("b.dll", "new b", 2);
    TSourceFacts c = Source("c.dll", "new c", 2);
    WriteFileBytes(App("a.dll"), "old a");
    TCopyAhead ahead;
    ASSERT_TRUE(ahead.Submit(Share("a.dll"), App("a.dll"), a));
    ASSERT_TRUE(ahead.Submit(Share("b.dll"), App("b.dll"), b));
    ASSERT_TRUE(ahead.Submit(Share("c.dll"), App("c.dll"), c));
    EXPECT_FALSE(ahead.Submit(Share("a.dll"), App("a.dll"), a)) << "one copy ahead per target";
    EXPECT_EQ(ahead.Unclaimed(), 3u);
    for (const char* name : {"a.dll", "b.dll", "c.dll"}) AwaitScratch(name);

    // The same source and version: the scratch copy is complete, the target untouched.
    EXPECT_TRUE(ahead.Claim(Share("a.dll"), App("a.dll"), a));
    EXPECT_EQ(ReadFileBytes(PartialCopyPath(App("a.dll"))), "new a");
    EXPECT_EQ(ReadFileBytes(App("a.dll")), "old a");

    // Decided on another version (a later look at the share) or another source: not this copy.
    TSourceFacts later = b;
    later.Size += 1;
    EXPECT_FALSE(ahead.Claim(Share("b.dll"), App("b.dll"), later));
    EXPECT_FALSE(ScratchThere("b.dll"));
    EXPECT_FALSE(ahead.Claim(Share("a.dll"), App("c.dll"), c));
    EXPECT_FALSE(ScratchThere("c.dll"));
    EXPECT_EQ(ahead.Unclaimed(), 0u);
    EXPECT_FALSE(ahead.Claim(Share("c.dll"), App("c.dll"), c)) << "a claim is made once";
}

TEST_F(CopyAheadTest, ASourceThatIsNotWhatTheDecisionSawIsNeverCopiedAhead)
{
    TSourceFacts a = Source("a.dll", "new a", 2);
    Source("a.dll", "replaced since", 3);
    TCopyAhead ahead;
    ASSERT_TRUE(ahead.Submit(Share("a.dll"), App("a.dll"), a));
    EXPECT_FALSE(ahead.Claim(Share("a.dll"), App("a.dll"), a));
    EXPECT_FALSE(ScratchThere("a.dll"));
    EXPECT_FALSE(ahead.Submit(Share("b.dll"), App("b.dll"), TSourceFacts{})) << "facts unknown";
}

TEST_F(CopyAheadTest, WhatIsNotClaimedGoesWhenTheWalkEndsOrThePoolIsDestroyed)
{
    {
        TCopyAhead ahead;
        for (int i = 0; i < 40; ++i) {
            std::string name = "f" + std::to_string(i) + ".dat";
            TSourceFacts facts = Source(name, std::string(4096, static_cast<char>('a' + i % 26)), 2);
            bool taken = ahead.Submit(Share(name), App(name), facts);
            EXPECT_EQ(taken, i < 32) << "at most 32 copies wait to be claimed; " << i;
        }
        ahead.Abandon();
        EXPECT_EQ(ahead.Unclaimed(), 0u);
        for (int i = 0; i < 40; ++i) EXPECT_FALSE(ScratchThere("f" + std::to_string(i) + ".dat")) << i;

        // The pool works again after it was abandoned, and its destruction abandons too.
        TSourceFacts a = Source("a.dll", "new a", 2);
        ASSERT_TRUE(ahead.Submit(Share("a.dll"), App("a.dll"), a));
    }
    EXPECT_FALSE(ScratchThere("a.dll"));
    EXPECT_EQ(SnapshotFiles(m_app.Path()).size(), 0u);
}

}  // namespace
