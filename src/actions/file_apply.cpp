#include "actions/file_apply.h"

#include <windows.h>

#include "actions/file_copy.h"
#include "actions/own_files.h"
#include "actions/reboot_actions.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"

namespace {


TFailure CantOpenOrCreate(const std::string& path, DWORD code)
{
    return FailureOf(FormatMsg(MsgCantOpenOrCreate, path, static_cast<long>(code)));
}

// A replacement or deletion left for the next start of the system is shown
// as a failure, and the walk goes on.
TFailure LeftForRestart(const std::string& path)
{
    TFailure failure = FailureOf(FormatMsg(MsgActionAtReboot, path));
    failure.GoesOn = true;
    return failure;
}

// The outcome of a copy in the change's terms.
TApplied FromCopy(const TChange& change, const TFileResult& result)
{
    if (result.Ok) return {};
    TApplied applied;
    switch (result.Problem) {
    case TCopyProblem::SourceReplaced:
        applied.SourceReplaced = true;
        applied.Found.Known = applied.Found.Present = true;
        applied.Found.Size = result.Found.Size;
        applied.Found.WriteTime = result.Found.WriteTime;
        applied.Found.Attributes = result.Found.Attributes;
        return applied;
    case TCopyProblem::SourceChanged:
        return Applied(FailureOf(FormatMsg(MsgSourceChanged, change.From)));
    case TCopyProblem::NotADiskFile:
        return Applied(FailureOf(FormatMsg(MsgNotADiskFile, IsDeviceName(change.Path) ? change.Path : change.From)));
    case TCopyProblem::BytesDiffer:
        return Applied(FailureOf(FormatMsg(MsgReleaseBytesDiffer, change.From, std::to_string(change.Release))));
    case TCopyProblem::HashFailed:
        return Applied(FailureOf(result.Text));
    case TCopyProblem::None:
        break;
    }
    // A failure without a code lets the walk go on, as the system gave no reason to stop.
    TFailure failure = FailureOf(static_cast<int32_t>(result.Code));
    failure.GoesOn = result.Code == 0;
    return Applied(failure);
}

// The decision, made just now, found no target: the copy need not look again.
bool FoundNoTarget(const TChange& change)
{
    return change.Before.Known && !change.Before.Present;
}

TApplied CopyOrLeaveForRestart(const TChange& change)
{
    TFileResult result = ClearAndCopy(change.From, change.Path, DecidedFacts(change), change.KeepAside,
                                      change.CopiedAhead, FoundNoTarget(change));
    if (result.Ok || result.Problem != TCopyProblem::None || !change.UntilReboot) return FromCopy(change, result);
    // The new file waits beside the target for the next start of the system.
    std::string staged = DirectoryPart(change.Path) + "_" + FileNamePart(change.Path);
    TFileResult scheduled = CopyWhole(change.From, staged, DecidedFacts(change));
    if (scheduled.Ok) scheduled = ScheduleReplace(change.Path, staged);
    return scheduled.Ok ? Applied(LeftForRestart(change.Path)) : FromCopy(change, scheduled);
}

TApplied Delete(const TChange& change)
{
    TFileResult step;
    if (!change.KeepAside.empty()) {
        // Kept aside as it is, attributes and all, until the run ends well.
        if (!MoveAside(change.Path, change.KeepAside)) step = LastFileFailure();
        NoteFileChanged(change.KeepAside);
    } else {
        step = ResetAttributes(change.Path);
        if (step.Ok && !DeleteFileA(change.Path.c_str())) step = LastFileFailure();
    }
    NoteFileChanged(change.Path);
    if (step.Ok) return {};
    if (change.UntilReboot) {
        TFileResult scheduled = ScheduleDelete(change.Path);
        if (scheduled.Ok) return Applied(LeftForRestart(change.Path));
        step = scheduled;
    }
    TFailure failure = FailureOf(static_cast<int32_t>(step.Code));
    failure.GoesOn = step.Code == 0;
    return Applied(failure);
}

bool IsThere(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The target's attributes as they were before the run (a copy gives the
// old file plain ones before it replaces it). The bytes are back: attributes
// that cannot be set are only attributes.
void RestoreAttributes(const TChange& change)
{
    if (change.Before.Known && change.Before.Attributes != 0)
        SetFileAttributesA(change.Path.c_str(), change.Before.Attributes);
}

// Undo: the kept file back in its place, over what the run put there.
TApplied PutBack(const TChange& change)
{
    if (!IsThere(change.From)) {
        // Never set aside: the old file is still in place.
        if (IsThere(change.Path)) RestoreAttributes(change);
        return {};
    }
    if (SameFile(change.From, change.Path)) {
        // A second name of the target itself: the new file never took its
        // place, and only that name goes.
        SetFileAttributesA(change.From.c_str(), FILE_ATTRIBUTE_NORMAL);  // the delete tells whether it mattered
        BOOL deleted = DeleteFileA(change.From.c_str());
        DWORD error = deleted ? 0 : GetLastError();
        NoteFileChanged(change.From);
        RestoreAttributes(change);
        return deleted ? TApplied{} : Applied(FailureOf(static_cast<int32_t>(error)));
    }
    if (IsThere(change.Path)) SetFileAttributesA(change.Path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only new file must not stop it
    BOOL moved = MoveFileExA(change.From.c_str(), change.Path.c_str(), MOVEFILE_REPLACE_EXISTING);
    DWORD error = moved ? 0 : GetLastError();
    NoteFileChanged(change.From);
    NoteFileChanged(change.Path);
    if (!moved) return Applied(FailureOf(static_cast<int32_t>(error)));
    RestoreAttributes(change);
    return {};
}

// Undo: a file the run made goes.
TApplied RemoveMade(const TChange& change)
{
    if (!IsThere(change.Path)) return {};
    SetFileAttributesA(change.Path.c_str(), FILE_ATTRIBUTE_NORMAL);  // the delete that follows tells if it mattered
    BOOL deleted = DeleteFileA(change.Path.c_str());
    DWORD error = deleted ? 0 : GetLastError();
    NoteFileChanged(change.Path);
    return deleted ? TApplied{} : Applied(FailureOf(static_cast<int32_t>(error)));
}

// Undo: the file as it was, written beside it and put in its place whole.
TApplied Restore(const TChange& change)
{
    std::string scratch = PartialCopyPath(change.Path);
    {
        UniqueFile file(CreateFileA(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        if (!file) return Applied(FailureOf(static_cast<int32_t>(GetLastError())));
        DWORD written = 0;
        const std::string& bytes = change.Before.Data;
        if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !FlushFileBuffers(file.Get()))
            return Applied(FailureOf(static_cast<int32_t>(GetLastError())));
        if (change.Before.Dated) SetFileTime(file.Get(), nullptr, nullptr, &change.Before.WriteTime);
    }
    if (IsThere(change.Path)) SetFileAttributesA(change.Path.c_str(), FILE_ATTRIBUTE_NORMAL);  // the rename tells if it mattered
    BOOL moved = MoveFileExA(scratch.c_str(), change.Path.c_str(), MOVEFILE_REPLACE_EXISTING);
    DWORD error = moved ? 0 : GetLastError();
    NoteFileChanged(scratch);
    NoteFileChanged(change.Path);
    if (!moved) return Applied(FailureOf(static_cast<int32_t>(error)));
    if (change.Before.Attributes != 0) SetFileAttributesA(change.Path.c_str(), change.Before.Attributes);
    return {};
}

TApplied CreateEmpty(const TChange& change)
{
    // OPEN_ALWAYS: a file that appeared since it was found missing is kept as it is.
    UniqueFile created(CreateFileA(change.Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!created) return Applied(CantOpenOrCreate(change.Path, GetLastError()));
    NoteFileChanged(change.Path);
    return {};
}

}  // namespace

TApplied ApplyFileChange(const TChange& change)
{
    const TSourceFacts facts = DecidedFacts(change);
    switch (change.FileOp) {
    case TFileOp::StageOwnFile:
        return FromCopy(change, StageOwnFile(change.From, FileNamePart(change.Path), facts));
    case TFileOp::StageLanguage:
        return FromCopy(change, ClearAndCopy(change.From, change.Path));
    case TFileOp::ReplaceScript:
        return FromCopy(change, ClearAndCopy(change.From, change.Path, facts, change.KeepAside));
    case TFileOp::ReplaceProgram: {
        TFileResult result = ClearAndCopy(change.From, change.Path, facts);
        // Another run still runs from the file: it stays whole as it is, and
        // the next run that finds it old brings the new one.
        if (!result.Ok && result.Code == ERROR_SHARING_VIOLATION) {
            TApplied deferred;
            deferred.Deferred = true;
            return deferred;
        }
        return FromCopy(change, result);
    }
    case TFileOp::Copy:
        return CopyOrLeaveForRestart(change);
    case TFileOp::Insert:
        return FromCopy(change, CopyWhole(change.From, change.Path, facts, change.KeepAside, change.CopiedAhead,
                                          FoundNoTarget(change)));
    case TFileOp::Delete:
        return Delete(change);
    case TFileOp::Rename: {
        BOOL moved = MoveFileA(change.Path.c_str(), change.To.c_str());
        DWORD error = moved ? 0 : GetLastError();
        NoteFileChanged(change.Path);
        NoteFileChanged(change.To);
        return moved ? TApplied{} : Applied(FailureOf(static_cast<int32_t>(error)));
    }
    case TFileOp::CreateEmpty:
        return CreateEmpty(change);
    case TFileOp::PutBack:
        return PutBack(change);
    case TFileOp::RemoveMade:
        return RemoveMade(change);
    case TFileOp::Restore:
        return Restore(change);
    }
    return {};
}

TApplied ForeseeFileChange(const TChange& change, TMachineView& machine)
{
    std::string directory = ParentDirectory(change.Path);
    bool directoryThere = directory.empty() || IsDirectory(machine, directory);
    switch (change.FileOp) {
    case TFileOp::Copy:
    case TFileOp::Insert: {
        if (!directoryThere) return Applied(FailureOf(ERROR_PATH_NOT_FOUND));
        // A read-only target is not probed: the run clears it first.
        DWORD attributes = machine.Attributes(change.Path);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return {};
        DWORD problem = machine.WriteProblem(change.Path);
        if (problem == 0) return {};
        if (change.FileOp == TFileOp::Copy && change.UntilReboot) return Applied(LeftForRestart(change.Path));
        return Applied(FailureOf(static_cast<int32_t>(problem)));
    }
    case TFileOp::Rename:
        // The rename fails onto a name that is taken.
        if (Exists(machine, change.To)) return Applied(FailureOf(ERROR_ALREADY_EXISTS));
        return {};
    case TFileOp::CreateEmpty:
        if (!directoryThere) return Applied(CantOpenOrCreate(change.Path, ERROR_PATH_NOT_FOUND));
        if (IsDirectory(machine, change.Path)) return Applied(CantOpenOrCreate(change.Path, ERROR_ACCESS_DENIED));
        return {};
    default:
        return {};
    }
}

TChange EmptyFileCreation(const std::string& path)
{
    TChange change;
    change.Kind = TChangeKind::File;
    change.Action = TChangeAction::Create;
    change.FileOp = TFileOp::CreateEmpty;
    change.Target = path;
    change.Path = path;
    change.Quiet = true;  // the failure completes the item's line
    change.Before.Known = change.After.Known = true;
    change.After.Present = true;
    change.After.Size = 0;
    return change;
}

TSourceFacts DecidedFacts(const TChange& change)
{
    TSourceFacts facts{true, change.FromState.Size, change.FromState.WriteTime, change.FromState.Attributes};
    facts.Hashed = change.Release != 0;
    facts.Sha256 = change.Sha256;
    return facts;
}
