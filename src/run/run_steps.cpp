#include "run/run_steps.h"

#include "actions/changes.h"
#include "actions/file_copy.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"

bool ReportFailures(const std::vector<TFailure>& failures)
{
    bool goesOn = true;
    for (const TFailure& failure : failures) {
        if (failure.Message.empty())
            ReportFailure(failure.Code);
        else
            ReportError(failure.Message);
        goesOn = goesOn && failure.GoesOn;
    }
    return goesOn;
}

void TRunSteps::Show(const TChange& change)
{
    if (!change.Quiet && !change.Line.empty()) ReportItem(change.Line);
}

TApplied TRunSteps::Make(const TChange& change)
{
    if (change.Nothing) return {};
    if (!m_rollback || !Journaled(change)) {
        TApplied applied = ApplyChange(change);
        m_machine.Made(change);
        return applied;
    }
    // Written ahead: what the change does and what is there before it.
    TChange journaled = change;
    TFailure unwritten = m_rollback->Before(journaled);
    if (unwritten.Failed) return Applied(unwritten);
    TApplied applied = ApplyChange(journaled);
    m_rollback->After(journaled, applied);
    m_machine.Made(journaled);
    return applied;
}

bool TRunSteps::Report(const TChange& change, const TApplied& applied)
{
    if (applied.Ok()) {
        if (change.Quiet) return true;
        if (change.Nothing || change.StatusInRun) ReportOk();
        if (applied.Deferred) WriteLine(FormatMsg(MsgProgramInUse, FileNamePart(change.Path)));
        return true;
    }
    // A quiet step's line is shown with its failure.
    if (change.Quiet && !change.Line.empty()) ReportItem(change.Line);
    bool goesOn = true;
    for (const TFailure& failure : applied.Failures) goesOn = goesOn && failure.GoesOn;
    if (m_rollback && !goesOn) {
        // The run ends here: the changes go back first, then the error is told.
        ReportFailedBox();
        m_held.insert(m_held.end(), applied.Failures.begin(), applied.Failures.end());
        return false;
    }
    return ReportFailures(applied.Failures);
}

void TRunSteps::ItemFailed()
{
    FailRun();
}

void TRunSteps::Tidy(const std::string& directory)
{
    SweepLeftoverCopies(directory);
}

void TRunSteps::Pause(DWORD milliseconds)
{
    Sleep(milliseconds);
}
