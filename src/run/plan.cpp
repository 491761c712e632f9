#include "run/plan.h"

#include "core/messages.h"
#include "core/run_state.h"
#include "run/exit_codes.h"

namespace {

struct TKindWords {
    TChangeKind Kind;
    MessageId One;
    MessageId Many;
};

// The order of the summary: the order of the default item kinds.
constexpr TKindWords KindWords[] = {
    {TChangeKind::File, MsgPlanFilesOne, MsgPlanFilesMany},
    {TChangeKind::Directory, MsgPlanDirsOne, MsgPlanDirsMany},
    {TChangeKind::RegistryKey, MsgPlanKeysOne, MsgPlanKeysMany},
    {TChangeKind::RegistryValue, MsgPlanRegValuesOne, MsgPlanRegValuesMany},
    {TChangeKind::IniValue, MsgPlanIniValuesOne, MsgPlanIniValuesMany},
    {TChangeKind::Alias, MsgPlanAliasesOne, MsgPlanAliasesMany},
    {TChangeKind::TextLine, MsgPlanLinesOne, MsgPlanLinesMany},
    {TChangeKind::Server, MsgPlanServersOne, MsgPlanServersMany},
};

int Count(TChangeKind kind)
{
    return Run.Plan.Changes[static_cast<int>(kind)];
}

}  // namespace

std::string PlanSummary()
{
    std::string changes;
    for (const TKindWords& words : KindWords) {
        int count = Count(words.Kind);
        if (count == 0) continue;
        if (!changes.empty()) changes += Msg(MsgPlanSeparator);
        changes += FormatMsg(count == 1 ? words.One : words.Many, std::to_string(count));
    }
    int failures = Run.Plan.Failures;
    std::string end = failures == 0 ? Msg(MsgPlanEnd)
                                    : FormatMsg(failures == 1 ? MsgPlanFailOne : MsgPlanFailMany,
                                                std::to_string(failures));
    return changes.empty() ? FormatMsg(MsgPlanNothing, end) : FormatMsg(MsgPlanSummary, changes, end);
}

int PlanExitCode()
{
    if (Run.Plan.Failures > 0) return ExitFailed;
    for (const TKindWords& words : KindWords)
        if (Count(words.Kind) > 0) return ExitChangesDue;
    return ExitGood;
}
