// The steps of a run: each change is made on the machine and reported with
// OK, or with its failure and a key wait; a failed item fails the run.
#pragma once

#include "actions/steps.h"
#include "machine/live_machine.h"

class TRunSteps : public TSteps {
public:
    TMachineView& Machine() override { return m_machine; }
    void Show(const TChange& change) override;
    TApplied Make(const TChange& change) override;
    bool Report(const TChange& change, const TApplied& applied) override;
    void ItemFailed() override;
    void Tidy(const std::string& directory) override;
    void Pause(DWORD milliseconds) override;

private:
    TLiveMachine m_machine;
};

// The failures of a step in the run's form, one after the other (each waits
// for a key); gives whether the walk goes on after them.
bool ReportFailures(const std::vector<TFailure>& failures);
