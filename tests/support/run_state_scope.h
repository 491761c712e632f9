// Unit tests run the program's modules in this process. Each test starts from
// a fresh run state and a constant table of nine empty built-in slots, and
// leaves both as it found them.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/run_state.h"
#include "core/section_mode.h"
#include "script/script_image.h"

namespace testing_support {

class RunStateScope {
public:
    RunStateScope() : m_run(::Run), m_constants(ConstTable)
    {
        ::Run = TRunState{};
        ConstTable.assign(BuiltInSlotCount, TConst{});
    }
    ~RunStateScope()
    {
        ::Run = std::move(m_run);
        ConstTable = std::move(m_constants);
        // Scripts of a test's temporary directory must not answer for another test's.
        ForgetScriptImages();
    }
    RunStateScope(const RunStateScope&) = delete;
    RunStateScope& operator=(const RunStateScope&) = delete;

private:
    TRunState m_run;
    std::vector<TConst> m_constants;
};

// The section modes, short.
constexpr TSectionMode Insert = TSectionMode::Insert;
constexpr TSectionMode Update = TSectionMode::Update;
constexpr TSectionMode Delete = TSectionMode::Delete;

// A fixture whose tests each have a run state of their own.
class RunStateTest : public ::testing::Test {
private:
    RunStateScope m_runState;
};

}  // namespace testing_support
