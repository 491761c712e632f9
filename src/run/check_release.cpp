#include "run/check_release.h"

#include <cstdint>

#include "core/messages.h"
#include "run/release_run.h"

namespace {

TFindingCode MismatchCode(TMismatchKind kind)
{
    switch (kind) {
    case TMismatchKind::Differs:
        return TFindingCode::ReleaseFileDiffers;
    case TMismatchKind::Unlisted:
        return TFindingCode::ReleaseFileUnlisted;
    case TMismatchKind::Missing:
        return TFindingCode::ReleaseFileMissing;
    }
    return TFindingCode::ReleaseFileDiffers;
}

// Refused only for the key's sake: the manifest is well formed and readable.
bool RefusedByKey(const TReleaseSeen& seen)
{
    if (seen.KeyRequired.empty()) return false;
    return seen.Status == TReleaseStatus::None || seen.Status == TReleaseStatus::Unsigned ||
           seen.Status == TReleaseStatus::ForeignKey || seen.Status == TReleaseStatus::Altered;
}

}  // namespace

void CheckSourceRelease(TCheck& check, const std::string& sourceDir)
{
    TReleaseJudgement judgement = JudgeSourceRelease(sourceDir, SIZE_MAX);
    const TReleaseSeen& seen = judgement.Seen;
    if (seen.Outcome == TReleaseOutcome::AsBefore || seen.Outcome == TReleaseOutcome::Taken) return;
    TFileView& view = check.Views.emplace_back();
    view.Path = view.Shown = seen.Outcome == TReleaseOutcome::Fails ? judgement.FailedPath
                                                                   : sourceDir + ReleaseFileName;
    view.Order = check.Views.size() - 1;
    if (seen.Outcome == TReleaseOutcome::Fails) {
        Add(check, view, 0, TSeverity::Error,
            RefusedByKey(seen) ? TFindingCode::ReleaseRefused : TFindingCode::ReleaseUnusable,
            FillMsg(MsgCheckReleaseFails, {seen.Refusal}));
        return;
    }
    std::string number = std::to_string(seen.Number);
    if (judgement.Mismatches.empty()) {
        Add(check, view, 0, TSeverity::Error, TFindingCode::ReleaseOlder,
            FillMsg(MsgCheckReleaseOlder, {number, std::to_string(seen.Workstation)}));
        return;
    }
    for (const TReleaseMismatch& mismatch : judgement.Mismatches)
        Add(check, view, 0, TSeverity::Error, MismatchCode(mismatch.Kind),
            FillMsg(MsgCheckReleaseNotWhole, {number, MismatchText(mismatch)}));
}
