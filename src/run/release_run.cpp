#include "run/release_run.h"

#include <memory>
#include <set>

#include "core/dir_listing.h"
#include "core/folded_index.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_log.h"
#include "core/run_state.h"
#include "release/release_key.h"
#include "release/release_match.h"
#include "release/release_read.h"
#include "release/taken_release.h"

namespace {

// What the workstation says about releases, read once per program directory and script.
struct TWorkstation {
    std::string ReadFor;  // the record's path it was read for: the program's directory and the script
    bool KeyThere = false;
    TEcPublicKey Key{};
    std::string KeyProblem;  // vantorel.pub is there and cannot be used
    TTakenRead Taken = TTakenRead::None;
    uint64_t TakenNumber = 0;
    std::string TakenProblem;
};

struct TReleaseRun {
    TWorkstation Workstation;
    std::set<std::string> Held;  // the source directories looked at, by PathKey
    std::vector<TReleaseSeen> Seen;
    bool Stopped = false;
    bool NotUpdated = false;
    uint64_t ToRecord = 0;  // the release a good ending records
};

TReleaseRun g_run;

std::string KeyPath()
{
    return Run.ExeDir + PublicKeyFileName;
}

std::string TakenPath()
{
    return TakenReleasePath(Run.ExeDir, Run.ScriptName);
}

void ReadWorkstation()
{
    TWorkstation& workstation = g_run.Workstation;
    if (workstation.ReadFor == TakenPath()) return;
    workstation = TWorkstation{};
    workstation.ReadFor = TakenPath();
    std::string key = KeyPath();
    DWORD attributes = GetFileAttributesA(key.c_str());
    DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        // Any other answer means a key is there: one that cannot be read never
        // lets the workstation take what it would refuse.
        workstation.KeyThere = true;
        ReadPublicKeyFile(key, workstation.Key, workstation.KeyProblem);
    }
    workstation.Taken = ReadTakenRelease(TakenPath(), workstation.TakenNumber, workstation.TakenProblem);
}

// Whether the directory holds a manifest, from the run's listing of it (the
// listing a run makes of its source anyway, so that a directory without one
// costs no request).
bool ManifestThere(const std::string& directory)
{
    TDirEntry entry;
    return LookUpEntry(directory + ReleaseFileName, TListingUse::Always, entry) &&
           !(entry.Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The directory's files as the run's listing has them, or listed by wide
// names when the listing cannot answer for the directory.
DWORD SourceFiles(const std::string& directory, std::vector<TSourceFile>& files)
{
    const std::vector<TDirEntry>* entries = DirectoryEntries(directory);
    if (!entries) return ListSourceFiles(directory, files);
    files.reserve(entries->size());
    for (const TDirEntry& entry : *entries)
        files.push_back({entry.Name, FoldedName(entry.Name), entry.Attributes, entry.Size, entry.WriteTime});
    return ERROR_SUCCESS;
}

// The refusal of a manifest a workstation with a key does not take.
std::string KeyRefusal(const TRelease& release, const std::string& manifest, const std::string& source)
{
    const TWorkstation& workstation = g_run.Workstation;
    std::string keyId = KeyId(workstation.Key);
    if (release.Status == TReleaseStatus::None) return FormatMsg(MsgReleaseNoManifest, source, keyId);
    std::string text = DescribeRelease(release, manifest, &workstation.Key);
    if (release.Status == TReleaseStatus::Unsigned) return FormatMsg(MsgReleaseKeyRequired, text, keyId);
    return text;
}

// A plan shows what it knows of the release before what the run would do.
void ShowRelease(const TReleaseSeen& seen)
{
    if (seen.Number > 0) {
        std::string signature = seen.SignedBy.empty() ? Msg(MsgPlanReleaseUnsigned)
                                                      : FormatMsg(MsgPlanReleaseSigned, seen.SignedBy);
        WriteLine(FillMsg(MsgPlanReleaseAtSource,
                          {seen.Source, std::to_string(seen.Number), ReadableUtc(seen.Published), signature}));
    } else if (!seen.Manifest) {
        WriteLine(FormatMsg(MsgPlanReleaseNone, seen.Source));
    }
    if (!seen.KeyRequired.empty()) WriteLine(FormatMsg(MsgPlanKeyHere, seen.KeyRequired));
    if (seen.Workstation > 0)
        WriteLine(FormatMsg(MsgPlanReleaseHere, std::to_string(seen.Workstation)));
    else
        WriteLine(Msg(MsgPlanReleaseHereNone));
}

// The run takes nothing more: a failed step on the file concerned (a run
// fails there, before it changes anything).
bool Fail(TSteps& steps, const TReleaseJudgement& judgement)
{
    g_run.Stopped = true;
    TChange step = FailedStep(TChangeKind::File, judgement.FailedPath, FailureOf(judgement.Seen.Refusal));
    step.Line = FormatMsg(MsgItemLine, FileNamePart(judgement.FailedPath));
    bool ok = true;
    Take(steps, step, ok);
    steps.ItemFailed();
    return false;
}

TReleaseJudgement Failing(TReleaseJudgement judgement, const std::string& path, const std::string& text)
{
    judgement.Seen.Outcome = TReleaseOutcome::Fails;
    judgement.Seen.Refusal = text;
    judgement.FailedPath = path;
    return judgement;
}

TReleaseJudgement NotUpdated(TReleaseJudgement judgement, const std::string& line)
{
    judgement.Seen.Outcome = TReleaseOutcome::NotUpdated;
    judgement.Seen.Refusal = line;
    return judgement;
}

}  // namespace

std::string MismatchText(const TReleaseMismatch& mismatch)
{
    switch (mismatch.Kind) {
    case TMismatchKind::Differs:
        return FormatMsg(mismatch.How == TListingMatch::SizeDiffers ? MsgReleaseSizeDiffers : MsgReleaseTimeDiffers,
                         mismatch.Name);
    case TMismatchKind::Unlisted:
        return FormatMsg(MsgReleaseUnlisted, mismatch.Name);
    case TMismatchKind::Missing:
        return FormatMsg(MsgReleaseMissing, mismatch.Name);
    }
    return {};
}

TReleaseJudgement JudgeSourceRelease(const std::string& directory, size_t limit)
{
    ReadWorkstation();
    const TWorkstation& workstation = g_run.Workstation;
    TReleaseJudgement judgement;
    TReleaseSeen& seen = judgement.Seen;
    seen.Source = directory;
    seen.Manifest = ManifestThere(directory);
    if (workstation.Taken == TTakenRead::Read) seen.Workstation = workstation.TakenNumber;
    // Without a manifest and a key the directory is taken as it always was.
    if (!seen.Manifest && !workstation.KeyThere) return judgement;
    if (workstation.KeyThere && workstation.KeyProblem.empty()) seen.KeyRequired = KeyId(workstation.Key);
    const std::string manifest = directory + ReleaseFileName;
    auto read = std::make_shared<TRelease>();
    judgement.Release = read;
    TRelease& release = *read;
    if (seen.Manifest) release = ReadRelease(directory, workstation.KeyThere ? &workstation.Key : nullptr);
    seen.Manifest = release.Status != TReleaseStatus::None;
    seen.Status = release.Status;
    seen.Number = release.Number;
    seen.Published = release.Published;
    if (release.Signed) seen.SignedBy = KeyId(release.SignedBy);

    if (!workstation.KeyProblem.empty()) return Failing(judgement, KeyPath(), workstation.KeyProblem);
    if (workstation.Taken == TTakenRead::Damaged) return Failing(judgement, TakenPath(), workstation.TakenProblem);
    if (!seen.Manifest && !workstation.KeyThere) return judgement;  // gone since it was listed: taken as it is
    if (!ReleaseAccepted(release, workstation.KeyThere)) {
        std::string text = workstation.KeyThere ? KeyRefusal(release, manifest, directory)
                                                : DescribeRelease(release, manifest, nullptr);
        return Failing(judgement, manifest, text);
    }
    std::string number = std::to_string(release.Number);
    if (workstation.Taken == TTakenRead::Read && release.Number < workstation.TakenNumber)
        return NotUpdated(judgement,
                          FillMsg(MsgReleaseOlder, {number, directory, std::to_string(workstation.TakenNumber)}));
    std::vector<TSourceFile> files;
    DWORD error = SourceFiles(directory, files);
    if (error != ERROR_SUCCESS)
        return Failing(judgement, manifest,
                       FormatMsg(MsgPublishNoDirectory, directory, SystemMessageOrCode(static_cast<int32_t>(error))));
    judgement.Mismatches = MatchRelease(release, files, limit);
    if (!judgement.Mismatches.empty())
        return NotUpdated(judgement,
                          FillMsg(MsgReleaseNotWhole, {number, directory, MismatchText(judgement.Mismatches.front())}));
    seen.Outcome = TReleaseOutcome::Taken;
    return judgement;
}

bool HoldSourceRelease(TSteps& steps, bool plan)
{
    if (g_run.Stopped) return false;
    const std::string directory = Run.SourceDir;
    if (!g_run.Held.insert(PathKey(directory)).second) return true;
    TReleaseJudgement judgement = JudgeSourceRelease(directory, 1);
    const TReleaseSeen& seen = judgement.Seen;
    // A plain source of a workstation that never took a release: nothing to tell.
    bool told = seen.Manifest || !seen.KeyRequired.empty() || seen.Workstation > 0 ||
                seen.Outcome != TReleaseOutcome::AsBefore;
    if (told) g_run.Seen.push_back(seen);
    if (plan && told) ShowRelease(seen);
    switch (seen.Outcome) {
    case TReleaseOutcome::AsBefore:
        return true;
    case TReleaseOutcome::Fails:
        return Fail(steps, judgement);
    case TReleaseOutcome::NotUpdated:
        g_run.Stopped = g_run.NotUpdated = true;
        WriteLine(seen.Refusal);
        return false;
    case TReleaseOutcome::Taken:
        break;
    }
    steps.Machine().HoldToRelease(directory, judgement.Release);
    if (!plan) {
        AddRunLogHeaderField("release " + std::to_string(seen.Number));
        g_run.ToRecord = seen.Number;
    }
    return true;
}

bool ReleaseNotUpdated()
{
    return g_run.NotUpdated;
}

void RecordReleaseTaken()
{
    const TWorkstation& workstation = g_run.Workstation;
    if (g_run.ToRecord == 0) return;
    if (workstation.Taken == TTakenRead::Read && workstation.TakenNumber == g_run.ToRecord) return;
    // The run has ended well either way; a record that cannot be written is
    // written by the next run that ends well.
    WriteTakenRelease(TakenPath(), g_run.ToRecord);
}

const std::vector<TReleaseSeen>& ReleasesSeen()
{
    return g_run.Seen;
}

const char* ReleaseOutcomeName(TReleaseOutcome outcome)
{
    switch (outcome) {
    case TReleaseOutcome::AsBefore:
        return "as_before";
    case TReleaseOutcome::Taken:
        return "taken";
    case TReleaseOutcome::NotUpdated:
        return "not_updated";
    case TReleaseOutcome::Fails:
        return "fails";
    }
    return "";
}
