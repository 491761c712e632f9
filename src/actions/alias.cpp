#include "actions/alias.h"

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "engine/engine.h"

std::optional<TChange> DecideAlias(const TAliasItem& item, TSectionMode mode, bool found)
{
    TChange change;
    change.Kind = TChangeKind::Alias;
    change.Target = item.Name;
    change.Name = ToOem(item.Name);
    change.DriverType = item.DriverType;
    change.Line = FormatMsg(MsgItemLine, item.Name);
    change.Before.Known = true;
    change.Before.Present = found;
    change.After.Known = true;
    change.After.Present = true;
    change.After.Data = item.DriverType.empty() ? item.Params : item.DriverType + ";" + item.Params;
    switch (mode) {
    case TSectionMode::Insert:
        if (found) return std::nullopt;
        change.Action = TChangeAction::Create;
        change.Reason = Msg(MsgPlanMissing);
        return change;
    case TSectionMode::Update:
        change.Action = found ? TChangeAction::Replace : TChangeAction::Create;
        change.Reason = Msg(found ? MsgPlanReplaced : MsgPlanMissing);
        return change;
    case TSectionMode::Delete:
        if (!found) return std::nullopt;
        change.Action = TChangeAction::Delete;
        change.Reason = Msg(MsgPlanPresent);
        change.After = TState{};
        change.After.Known = true;
        return change;
    }
    return std::nullopt;
}

TApplied ApplyAliasChange(const TChange& change)
{
    TApplied applied;
    auto check = [&applied](DBIResult result) {
        std::string failure = EngineFailureText(result);
        if (!failure.empty()) applied.Failures.push_back(FailureOf(failure));
    };
    if (change.Action == TChangeAction::Replace || change.Action == TChangeAction::Delete) {
        check(DbiDeleteAlias(nullptr, change.Name.c_str()));
        if (change.Action == TChangeAction::Delete) return applied;
    }
    // Converted whole: a parameter list cut to a fixed buffer would hand the
    // engine a wrong path without a word.
    std::string params = change.After.Data.substr(change.DriverType.empty() ? 0 : change.DriverType.size() + 1);
    std::string oemParams = ToOem(params);
    check(DbiAddAlias(nullptr, change.Name.c_str(), change.DriverType.c_str(), oemParams.c_str(), DbiTrue));
    return applied;
}

bool ProcessAliasItem(const TAliasItem& item, TSectionMode mode, TSteps& steps)
{
    bool ok = true;
    TAliasLookup lookup = steps.Machine().Alias(ToOem(item.Name));
    for (const std::string& failure : lookup.Failures)
        Take(steps, FailedStep(TChangeKind::Alias, item.Name, FailureOf(failure)), ok);
    std::optional<TChange> change = DecideAlias(item, mode, lookup.Found);
    if (!change) return ok;
    // After an earlier failure of the engine the run has failed: a change
    // that is made all the same is shown without its OK.
    change->StatusInRun = ok && Run.RunOk;
    Take(steps, *change, ok);
    return ok;
}
