#include "actions/file_copy.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "core/ansi_text.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/handles.h"
#include "core/paths.h"
#include "core/run_state.h"

namespace {

constexpr const char* PartialSuffix = ".~vt";

TFileResult Success()
{
    return {};
}

// "If it exists, give it the plain archive attribute" — the step before a
// file is overwritten, so that a read-only file can be.
TFileResult ResetAttributesIfPresent(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return Success();
    return ResetAttributes(path);
}

// Removes the scratch file left by a copy that broke off.
void RemovePartialCopy(const std::string& partial)
{
    DWORD attributes = GetFileAttributesA(partial.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    // A leftover that cannot be removed now is overwritten by the next copy,
    // or that copy reports why it cannot be.
    SetFileAttributesA(partial.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(partial.c_str());
}

// Scratch names of the long-path form that PartialCopyPath gives: "~vt" and
// eight hexadecimal digits, ".tmp".
bool IsHashedPartialName(const std::string& name)
{
    if (name.size() != 15 || name.compare(0, 3, "~vt") != 0 || lstrcmpiA(name.c_str() + 11, ".tmp") != 0) return false;
    for (size_t i = 3; i < 11; ++i)
        if (!isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

bool HasPartialSuffix(const std::string& name)
{
    size_t length = std::char_traits<char>::length(PartialSuffix);
    return name.size() > length && lstrcmpiA(name.c_str() + name.size() - length, PartialSuffix) == 0;
}

// Bytes moved per read and write of a copy.
constexpr DWORD CopyChunkSize = 1 << 20;

int64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
}

TFileResult Problem(TCopyProblem problem)
{
    TFileResult result{false, 0};
    result.Problem = problem;
    return result;
}

TFileResult HashFailure(const std::string& problem)
{
    TFileResult result = Problem(TCopyProblem::HashFailed);
    result.Text = problem;
    return result;
}

// Copies the source into the new scratch file, with the source's attributes
// and write time, flushed to the disk, so that the rename that follows never
// puts a file on the disk whose contents are still only in the cache. The
// source is read through one handle, whose size and write time are compared
// before and after: a source truncated, grown or rewritten meanwhile shows
// there (or in the count of bytes read), whatever the file system reports
// of the reads themselves.
TFileResult CopyIntoPartial(const std::string& source, const std::string& partial, const TSourceFacts& facts)
{
    // Shared for writing and deleting: an administrator putting a new release
    // on the share is never stopped by a workstation reading the old one.
    UniqueFile in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return LastFileFailure();
    if (!IsDiskFile(in.Get())) return Problem(TCopyProblem::NotADiskFile);
    BY_HANDLE_FILE_INFORMATION before;
    if (!GetFileInformationByHandle(in.Get(), &before)) return LastFileFailure();
    if (facts.Known &&
        (SizeOf(before) != facts.Size || CompareFileTime(&before.ftLastWriteTime, &facts.WriteTime) != 0)) {
        TFileResult replaced = Problem(TCopyProblem::SourceReplaced);
        replaced.Found = {true, SizeOf(before), before.ftLastWriteTime, before.dwFileAttributes};
        return replaced;
    }
    // The bytes are hashed from the same reads that copy them: no file is read twice.
    TSha256 hash;
    std::string hashProblem;
    if (facts.Hashed && !hash.Begin(hashProblem)) return HashFailure(hashProblem);
    DWORD attributes = before.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    UniqueFile out(CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return LastFileFailure();
    std::vector<char> buffer(CopyChunkSize);
    int64_t copied = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in.Get(), buffer.data(), CopyChunkSize, &read, nullptr)) return LastFileFailure();
        if (read == 0) break;
        if (facts.Hashed) hash.Feed(buffer.data(), read);
        DWORD written = 0;
        if (!WriteFile(out.Get(), buffer.data(), read, &written, nullptr)) return LastFileFailure();
        if (written != read) return {false, ERROR_DISK_FULL};
        copied += read;
    }
    BY_HANDLE_FILE_INFORMATION after;
    if (!GetFileInformationByHandle(in.Get(), &after)) return LastFileFailure();
    if (copied != SizeOf(before) || SizeOf(after) != SizeOf(before) ||
        CompareFileTime(&after.ftLastWriteTime, &before.ftLastWriteTime) != 0)
        return Problem(TCopyProblem::SourceChanged);
    if (facts.Hashed) {
        TSha256Digest digest{};
        if (!hash.Finish(digest, hashProblem)) return HashFailure(hashProblem);
        if (digest != facts.Sha256) return Problem(TCopyProblem::BytesDiffer);
    }
    if (!SetFileTime(out.Get(), nullptr, nullptr, &before.ftLastWriteTime)) return LastFileFailure();
    if (!FlushFileBuffers(out.Get())) return LastFileFailure();
    // The data are on the disk; a failing close can only concern what the flush already wrote.
    if (!CloseHandle(out.Release())) return LastFileFailure();
    return Success();
}

// Puts the complete scratch copy in the target's place.
TFileResult ReplaceByPartial(const std::string& partial, const std::string& target, const std::string& keepAside)
{
    if (!keepAside.empty() && GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // The old file goes aside first; should the new one then not take its
        // place, the old one goes back.
        if (!MoveFileA(target.c_str(), keepAside.c_str())) return LastFileFailure();
        NoteFileChanged(keepAside);
        if (!MoveFileA(partial.c_str(), target.c_str())) {
            TFileResult failed = LastFileFailure();
            MoveFileA(keepAside.c_str(), target.c_str());  // a failure here leaves the old file aside, where the journal finds it
            return failed;
        }
        return Success();
    }
    if (Run.NtFamily) {
        if (!MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastFileFailure();
        return Success();
    }
    // The 9x family has no replacing rename: the old file goes first.
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(target.c_str()))
        return LastFileFailure();
    if (!MoveFileA(partial.c_str(), target.c_str())) return LastFileFailure();
    return Success();
}

}  // namespace

TFileResult ProbeWritable(const std::string& target)
{
    UniqueFile file(CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastFileFailure();
    return Success();
}

TFileResult ResetAttributes(const std::string& path)
{
    if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE)) return LastFileFailure();
    NoteFileChanged(path);
    return Success();
}

TFileResult CopyWhole(const std::string& source, const std::string& target, const TSourceFacts& facts,
                      const std::string& keepAside)
{
    if (IsDeviceName(target)) return Problem(TCopyProblem::NotADiskFile);
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        TFileResult probe = ProbeWritable(target);
        if (!probe.Ok) return probe;
    }
    std::string partial = PartialCopyPath(target);
    RemovePartialCopy(partial);
    TFileResult result = CopyIntoPartial(source, partial, facts);
    if (result.Ok) result = ReplaceByPartial(partial, target, keepAside);
    if (!result.Ok) RemovePartialCopy(partial);
    NoteFileChanged(partial);
    NoteFileChanged(target);
    return result;
}

TFileResult ClearAndCopy(const std::string& source, const std::string& target, const TSourceFacts& facts,
                         const std::string& keepAside)
{
    if (IsDeviceName(target)) return Problem(TCopyProblem::NotADiskFile);
    TFileResult result = ResetAttributesIfPresent(target);
    if (!result.Ok) return result;
    return CopyWhole(source, target, facts, keepAside);
}

std::string PartialCopyPath(const std::string& target)
{
    std::string path = target + PartialSuffix;
    if (path.size() < MAX_PATH) return path;
    // Too long for the system's paths: a short name derived from the file name.
    uint32_t hash = 2166136261u;
    for (char c : FileNamePart(target)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char shortName[16];
    std::snprintf(shortName, sizeof shortName, "~vt%08lx.tmp", static_cast<unsigned long>(hash));
    return DirectoryPart(target) + shortName;
}

// Looking up one missing name per target instead costs a scan of the whole
// directory on some file systems, which made a run over a large directory of
// current files grow with the square of its size.
void SweepLeftoverCopies(const std::string& directory)
{
    if (!Run.SweptDirectories.insert(PathKey(directory)).second) return;
    RemoveScratchCopies(directory);
}

void RemoveScratchCopies(const std::string& directory)
{
    for (const std::string& mask : {directory + "*" + PartialSuffix, directory + "~vt*.tmp"}) {
        // Nothing left over, or no such directory: the copy will tell.
        for (const TDirEntry& entry : FindEntries(mask, TListingUse::IfListed).Entries) {
            if (entry.Attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            // Masks also match generated short names: check the real one.
            if (HasPartialSuffix(entry.Name) || IsHashedPartialName(entry.Name)) {
                RemovePartialCopy(directory + entry.Name);
                NoteFileChanged(directory + entry.Name);
            }
        }
    }
}
