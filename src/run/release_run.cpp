#include "run/release_run.h"

#include <memory>
#include <set>

#include "core/dir_listing.h"
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

// What the workstation says about releases, read once per process.
struct TWorkstation {
    bool Read = false;
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
    if (workstation.Read) return;
    workstation.Read = true;
    std::string key = KeyPath();
    DWORD attributes = GetFileAttributesA(key.c_str());
    DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
    if (error != ERROR_FILE_NOT_FOUND) {
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

std::string Mismatch(const TReleaseMismatch& mismatch)
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
bool Fail(TSteps& steps, TReleaseSeen& seen, const std::string& path, const std::string& text)
{
    seen.Outcome = TReleaseOutcome::Fails;
    seen.Refusal = text;
    g_run.Seen.push_back(seen);
    g_run.Stopped = true;
    TChange step = FailedStep(TChangeKind::File, path, FailureOf(text));
    step.Line = FormatMsg(MsgItemLine, FileNamePart(path));
    bool ok = true;
    Take(steps, step, ok);
    steps.ItemFailed();
    return false;
}

// The run takes nothing from the source and starts the application as it is.
bool NotUpdated(TReleaseSeen& seen, const std::string& line)
{
    seen.Outcome = TReleaseOutcome::NotUpdated;
    seen.Refusal = line;
    g_run.Seen.push_back(seen);
    g_run.Stopped = g_run.NotUpdated = true;
    WriteLine(line);
    return false;
}

}  // namespace

bool HoldSourceRelease(TSteps& steps, bool plan)
{
    if (g_run.Stopped) return false;
    const std::string directory = Run.SourceDir;
    if (!g_run.Held.insert(PathKey(directory)).second) return true;
    ReadWorkstation();
    const TWorkstation& workstation = g_run.Workstation;
    TReleaseSeen seen;
    seen.Source = directory;
    seen.Manifest = ManifestThere(directory);
    // Without a manifest and a key the directory is taken as it always was.
    if (!seen.Manifest && !workstation.KeyThere) {
        if (workstation.Taken == TTakenRead::Read) {
            seen.Workstation = workstation.TakenNumber;
            g_run.Seen.push_back(seen);
            if (plan) ShowRelease(seen);
        }
        return true;
    }
    if (workstation.KeyThere && workstation.KeyProblem.empty()) seen.KeyRequired = KeyId(workstation.Key);
    if (workstation.Taken == TTakenRead::Read) seen.Workstation = workstation.TakenNumber;
    const std::string manifest = directory + ReleaseFileName;
    auto release = std::make_shared<TRelease>();
    if (seen.Manifest) *release = ReadRelease(directory, workstation.KeyThere ? &workstation.Key : nullptr);
    seen.Manifest = release->Status != TReleaseStatus::None;
    seen.Status = release->Status;
    seen.Number = release->Number;
    seen.Published = release->Published;
    if (release->Signed) seen.SignedBy = KeyId(release->SignedBy);
    if (plan) ShowRelease(seen);

    if (!workstation.KeyProblem.empty()) return Fail(steps, seen, KeyPath(), workstation.KeyProblem);
    if (workstation.Taken == TTakenRead::Damaged) return Fail(steps, seen, TakenPath(), workstation.TakenProblem);
    if (!seen.Manifest && !workstation.KeyThere) {
        g_run.Seen.push_back(seen);  // gone since it was listed: taken as it is
        return true;
    }
    if (!ReleaseAccepted(*release, workstation.KeyThere)) {
        std::string text = workstation.KeyThere ? KeyRefusal(*release, manifest, directory)
                                                : DescribeRelease(*release, manifest, nullptr);
        return Fail(steps, seen, manifest, text);
    }
    std::string number = std::to_string(release->Number);
    if (workstation.Taken == TTakenRead::Read && release->Number < workstation.TakenNumber)
        return NotUpdated(seen, FillMsg(MsgReleaseOlder, {number, directory, std::to_string(workstation.TakenNumber)}));
    std::vector<TSourceFile> files;
    DWORD error = SourceFiles(directory, files);
    if (error != ERROR_SUCCESS)
        return Fail(steps, seen, manifest,
                    FormatMsg(MsgPublishNoDirectory, directory, SystemMessageOrCode(static_cast<int32_t>(error))));
    std::vector<TReleaseMismatch> mismatches = MatchRelease(*release, files, 1);
    if (!mismatches.empty())
        return NotUpdated(seen, FillMsg(MsgReleaseNotWhole, {number, directory, Mismatch(mismatches.front())}));

    seen.Outcome = TReleaseOutcome::Taken;
    g_run.Seen.push_back(seen);
    steps.Machine().HoldToRelease(directory, release);
    if (!plan) {
        AddRunLogHeaderField("release " + number);
        g_run.ToRecord = release->Number;
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
