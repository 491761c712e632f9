#include "run/run_steps.h"

#include "actions/changes.h"
#include "actions/file_apply.h"
#include "actions/file_copy.h"
#include "actions/file_update.h"
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

namespace {

bool IsPlainCopy(const TChange& change)
{
    return change.Kind == TChangeKind::File && !change.Nothing &&
           (change.FileOp == TFileOp::Copy || change.FileOp == TFileOp::Insert);
}

}  // namespace

TApplied TRunSteps::Make(const TChange& change)
{
    if (change.Nothing) return {};
    TChange made = change;
    bool copy = IsPlainCopy(change);
    // The records the walk told of since the last step are written while this one's copy is awaited.
    if (m_rollback) m_rollback->SendAhead();
    if (copy && m_ahead.Has(change.Path))
        made.CopiedAhead = m_ahead.Claim(change.From, change.Path, DecidedFacts(change));
    if (!m_rollback || !Journaled(change)) {
        TApplied applied = ApplyChange(made);
        m_machine.Made(made);
        m_copied = copy && applied.Ok();
        return applied;
    }
    // Written ahead: what the change does and what is there before it.
    TFailure unwritten = m_rollback->Before(made);
    if (unwritten.Failed) {
        if (made.CopiedAhead) RemoveCopyBeside(made.Path);
        return Applied(unwritten);
    }
    TApplied applied = ApplyChange(made);
    m_rollback->After(made, applied);
    m_machine.Made(made);
    m_copied = copy && applied.Ok();
    return applied;
}

bool TRunSteps::LooksAhead()
{
    // The walk looks again when half of what it looked at is claimed: the
    // threads are woken for a batch of copies, not for each one.
    if (!m_copied || m_ahead.Unclaimed() > FileStepsAhead / 2) return false;
    m_copied = false;
    return true;
}

void TRunSteps::Ahead(const TChange& change)
{
    // Journaled ahead too: the records of a batch go to the disk in one flush.
    if (m_rollback) m_rollback->Ahead(change);
    // A directory's leftovers are swept before its first copy: nothing goes
    // there ahead of that sweep, which would take it for a leftover.
    if (!Run.SweptDirectories.count(PathKey(DirectoryPart(change.Path)))) return;
    m_ahead.Submit(change.From, change.Path, DecidedFacts(change));
}

void TRunSteps::EndAhead()
{
    m_ahead.Abandon();
    m_copied = false;
    if (m_rollback) m_rollback->EndAhead();
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
