// The steps of a run: each change is made on the machine and reported with
// OK, or with its failure and a key wait; a failed item fails the run.
#pragma once

#include "actions/copy_ahead.h"
#include "actions/steps.h"
#include "machine/live_machine.h"
#include "run/rollback.h"

class TRunSteps : public TSteps {
public:
    // From now on each change is journaled before it is made, and a failure
    // that ends the run shows only its box: its error is told once the
    // changes are put back (HeldFailures).
    void UseRollback(TRollback& rollback) { m_rollback = &rollback; }
    TRollback* Rollback() const { return m_rollback; }
    std::vector<TFailure> TakeHeldFailures() { return std::move(m_held); }

    TMachineView& Machine() override { return m_machine; }
    void Show(const TChange& change) override;
    TApplied Make(const TChange& change) override;
    bool Report(const TChange& change, const TApplied& applied) override;
    void ItemFailed() override;
    void Tidy(const std::string& directory) override;
    void Pause(DWORD milliseconds) override;
    bool LooksAhead() override;
    void Ahead(const TChange& change) override;
    void EndAhead() override;

private:
    TLiveMachine m_machine;
    TCopyAhead m_ahead;
    bool m_copied = false;  // a copy was made since the walk last asked
    TRollback* m_rollback = nullptr;
    std::vector<TFailure> m_held;
};

// The failures of a step in the run's form, one after the other (each waits
// for a key); gives whether the walk goes on after them.
bool ReportFailures(const std::vector<TFailure>& failures);
