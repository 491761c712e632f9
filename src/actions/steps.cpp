#include "actions/steps.h"

TApplied Applied(const TFailure& failure)
{
    TApplied applied;
    applied.Failures.push_back(failure);
    return applied;
}

bool Take(TSteps& steps, const TChange& change, bool& ok)
{
    steps.Show(change);
    TApplied applied = change.Failure.Failed ? Applied(change.Failure) : steps.Make(change);
    if (!applied.Ok()) ok = false;
    return steps.Report(change, applied);
}

TChange FailedStep(TChangeKind kind, const std::string& target, const TFailure& failure)
{
    TChange change;
    change.Kind = kind;
    change.Decided = false;
    change.Target = target;
    change.Failure = failure;
    return change;
}
