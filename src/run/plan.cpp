#include "run/plan.h"

#include "actions/changes.h"
#include "core/messages.h"
#include "core/report.h"
#include "run/exit_codes.h"
#include "script/script_layout.h"

void TPlanSteps::Show(const TChange& change)
{
    if (!change.Quiet && !change.Line.empty()) ReportItem(change.Line);
}

TApplied TPlanSteps::Make(const TChange& change)
{
    if (change.Nothing) return {};
    TApplied applied = ForeseeChange(change, m_machine);
    // Later steps see what this one would have made; a step that would fail
    // makes nothing (and the run would end there).
    if (applied.Ok()) m_machine.Made(change);
    return applied;
}

bool TPlanSteps::Report(const TChange& change, const TApplied& applied)
{
    if (applied.Ok()) {
        if (change.Quiet) {
            m_steps.push_back({change, {}});
            return true;
        }
        if (change.Nothing) {
            ReportOk();
            return true;
        }
        ShowChange(change.Reason);
        ++m_changes[static_cast<int>(change.Kind)];
        if (change.Kind == TChangeKind::File && change.FileOp == TFileOp::StageOwnFile) m_restart = true;
        m_steps.push_back({change, {}});
        return true;
    }
    if (change.Quiet && !change.Line.empty()) ReportItem(change.Line);
    bool goesOn = true;
    for (const TFailure& failure : applied.Failures) {
        ShowFailure(FailureText(failure));
        ++m_failures;
        goesOn = goesOn && !failure.EndsWalk;
    }
    m_steps.push_back({change, applied.Failures});
    return goesOn;
}

std::string TPlanSteps::Summary() const
{
    std::string changes;
    for (const TItemKindLayout& kind : ItemKinds) {
        for (const TPlanWords& words : kind.PlanWords()) {
            int count = Count(words.Change);
            if (count == 0) continue;
            if (!changes.empty()) changes += Msg(MsgPlanSeparator);
            changes += FormatMsg(count == 1 ? words.One : words.Many, std::to_string(count));
        }
    }
    std::string end = m_failures == 0 ? Msg(MsgPlanEnd)
                                      : FormatMsg(m_failures == 1 ? MsgPlanFailOne : MsgPlanFailMany,
                                                  std::to_string(m_failures));
    return changes.empty() ? FormatMsg(MsgPlanNothing, end) : FormatMsg(MsgPlanSummary, changes, end);
}

int TPlanSteps::ExitCode() const
{
    if (m_failures > 0) return ExitFailed;
    for (const TItemKindLayout& kind : ItemKinds)
        for (const TPlanWords& words : kind.PlanWords())
            if (Count(words.Change) > 0) return ExitChangesDue;
    return ExitGood;
}
