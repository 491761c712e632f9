// A plan (--plan): the run's road walked with the same decisions over the
// machine with the changes planned so far laid over it. Each change is told
// as CHANGE with its reason, each failure as FAILED with its error, and the
// plan goes on; nothing is made.
#pragma once

#include <string>
#include <vector>

#include "actions/steps.h"
#include "machine/live_machine.h"
#include "machine/planned_machine.h"

// A step as the plan showed it: the change, and the failures it would meet.
struct TPlannedStep {
    TChange Change;
    std::vector<TFailure> Failures;
};

class TPlanSteps : public TSteps {
public:
    TPlanSteps() : m_machine(m_live) {}

    TMachineView& Machine() override { return m_machine; }
    void Show(const TChange& change) override;
    TApplied Make(const TChange& change) override;
    bool Report(const TChange& change, const TApplied& applied) override;
    void ItemFailed() override {}
    void Tidy(const std::string&) override {}
    void Pause(DWORD) override {}

    // The program would restart from a new copy of itself.
    bool Restart() const { return m_restart; }
    // The steps shown so far, in order.
    const std::vector<TPlannedStep>& Steps() const { return m_steps; }
    // "Plan: 3 files, 2 registry values would change; 1 step would fail."
    std::string Summary() const;
    // 2 when a step would fail, 3 when changes are due, else 0.
    int ExitCode() const;

private:
    int Count(TChangeKind kind) const { return m_changes[static_cast<int>(kind)]; }

    TLiveMachine m_live;
    TPlannedMachine m_machine;
    int m_changes[static_cast<int>(TChangeKind::Restart) + 1] = {};
    int m_failures = 0;
    bool m_restart = false;
    std::vector<TPlannedStep> m_steps;
};
