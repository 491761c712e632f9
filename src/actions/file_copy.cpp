#include "actions/file_copy.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <vector>

#include "actions/early_flush.h"
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

// The scratch file, new and empty. A leftover of a copy that broke off is
// overwritten; one that refuses that (read-only, hidden or system) is removed
// first. Looking for a leftover before every copy would cost Wine a scan of
// the whole directory per file, since the name is usually not there.
// A large copy shares writing with the thread that flushes it early.
HANDLE CreateScratch(const std::string& partial, DWORD attributes, bool large)
{
    DWORD sharing = large ? FILE_SHARE_WRITE : 0;
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, sharing, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) return file;
    RemovePartialCopy(partial);
    return CreateFileA(partial.c_str(), GENERIC_WRITE, sharing, nullptr, CREATE_ALWAYS, attributes, nullptr);
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
    TOpenFileFacts before;
    if (!OpenFileFacts(in.Get(), before, true)) return LastFileFailure();
    if (facts.Known && (before.Size != facts.Size || CompareFileTime(&before.WriteTime, &facts.WriteTime) != 0)) {
        TFileResult replaced = Problem(TCopyProblem::SourceReplaced);
        replaced.Found = {true, before.Size, before.WriteTime, before.Attributes};
        return replaced;
    }
    // The bytes are hashed from the same reads that copy them: no file is read twice.
    TSha256 hash;
    std::string hashProblem;
    if (facts.Hashed && !hash.Begin(hashProblem)) return HashFailure(hashProblem);
    DWORD attributes = before.Attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    bool large = before.Size >= EarlyFlushFrom;
    UniqueFile out(CreateScratch(partial, attributes ? attributes : FILE_ATTRIBUTE_NORMAL, large));
    if (!out) return LastFileFailure();
    std::optional<TEarlyFlush> early;
    if (large) early.emplace(partial);
    // One buffer per thread for the life of the run: a fresh megabyte each
    // copy costs more, in zeroing and page faults, than copying a small file.
    thread_local std::vector<char> buffer(CopyChunkSize);
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
        if (early) early->Written(copied);
    }
    early.reset();
    TOpenFileFacts after;
    if (!OpenFileFacts(in.Get(), after)) return LastFileFailure();
    if (copied != before.Size || after.Size != before.Size || CompareFileTime(&after.WriteTime, &before.WriteTime) != 0)
        return Problem(TCopyProblem::SourceChanged);
    if (facts.Hashed) {
        TSha256Digest digest{};
        if (!hash.Finish(digest, hashProblem)) return HashFailure(hashProblem);
        if (digest != facts.Sha256) return Problem(TCopyProblem::BytesDiffer);
    }
    if (!SetFileTime(out.Get(), nullptr, nullptr, &before.WriteTime)) return LastFileFailure();
    if (!FlushFileBuffers(out.Get())) return LastFileFailure();
    // The data are on the disk; a failing close can only concern what the flush already wrote.
    if (!CloseHandle(out.Release())) return LastFileFailure();
    return Success();
}

using TCreateHardLink = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPSECURITY_ATTRIBUTES);

// The system's CreateHardLinkA; null on systems without one (the 9x family).
TCreateHardLink HardLinkFunction()
{
    // kernel32 stays loaded for the life of the process: no owner is needed.
    static const TCreateHardLink function = reinterpret_cast<TCreateHardLink>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateHardLinkA"));
    return function;
}

// Keeps the old target under its second name and puts the new file in its
// place the way any copy does: the target's name is never missing meanwhile
// (a missing name costs Wine a scan of the whole directory at each look-up,
// a rename aside and back two of them). False, with nothing done, where the
// file system has no second names.
bool KeptByLink(const std::string& partial, const std::string& target, const std::string& keepAside,
                TFileResult& result)
{
    if (!KeepBySecondName(target, keepAside)) return false;
    NoteFileChanged(keepAside);
    if (MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        result = Success();
        return true;
    }
    result = LastFileFailure();
    // The target is still the old file; a second name that stays is one the journal's undo removes.
    DeleteFileA(keepAside.c_str());
    return true;
}

// Puts the complete scratch copy in the target's place.
TFileResult ReplaceByPartial(const std::string& partial, const std::string& target, const std::string& keepAside,
                             bool targetThere)
{
    if (!keepAside.empty() && targetThere) {
        TFileResult linked;
        if (KeptByLink(partial, target, keepAside, linked)) return linked;
        // The old file goes aside first; should the new one then not take its
        // place, the old one goes back.
        if (!MoveAside(target, keepAside)) return LastFileFailure();
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
    if (targetThere && !DeleteFileA(target.c_str())) return LastFileFailure();
    if (!MoveFileA(partial.c_str(), target.c_str())) return LastFileFailure();
    return Success();
}

// The copy onto a target whose attributes were just asked (or
// INVALID_FILE_ATTRIBUTES: not there). A missing name costs Wine a scan of
// its directory, so it is asked once per copy.
TFileResult CopyOnto(const std::string& source, const std::string& target, const TSourceFacts& facts,
                     const std::string& keepAside, bool copiedAhead, DWORD targetAttributes)
{
    std::string partial = PartialCopyPath(target);
    bool targetThere = targetAttributes != INVALID_FILE_ATTRIBUTES;
    if (targetThere) {
        TFileResult probe = ProbeWritable(target);
        if (!probe.Ok) {
            if (copiedAhead) RemovePartialCopy(partial);
            NoteFileChanged(partial);
            return probe;
        }
    }
    TFileResult result;
    if (!copiedAhead) result = CopyIntoPartial(source, partial, facts);
    if (result.Ok) result = ReplaceByPartial(partial, target, keepAside, targetThere);
    if (!result.Ok) RemovePartialCopy(partial);
    NoteFileChanged(partial);
    NoteFileChanged(target);
    return result;
}

}  // namespace

bool KeepBySecondName(const std::string& target, const std::string& keepAside)
{
    // The 9x family has neither hard links nor the replacing rename that follows them.
    TCreateHardLink link = Run.NtFamily ? HardLinkFunction() : nullptr;
    if (!link) return false;
    if (link(keepAside.c_str(), target.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    return MakeKeepDirectory(keepAside) && link(keepAside.c_str(), target.c_str(), nullptr);
}

bool MoveAside(const std::string& path, const std::string& keepAside)
{
    if (MoveFileA(path.c_str(), keepAside.c_str())) return true;
    if (GetLastError() != ERROR_PATH_NOT_FOUND || !MakeKeepDirectory(keepAside)) return false;
    return MoveFileA(path.c_str(), keepAside.c_str());
}

bool MakeKeepDirectory(const std::string& keepAside)
{
    // Two levels at most: a keep directory and its bucket.
    std::string bucket = DirectoryPart(keepAside);
    while (!bucket.empty() && (bucket.back() == '\\' || bucket.back() == '/')) bucket.pop_back();
    if (CreateDirectoryA(bucket.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    if (GetLastError() != ERROR_PATH_NOT_FOUND) return false;
    std::string root = DirectoryPart(bucket);
    while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    if (!CreateDirectoryA(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    return CreateDirectoryA(bucket.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

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
                      const std::string& keepAside, bool copiedAhead, bool targetAbsent)
{
    if (IsDeviceName(target)) return Problem(TCopyProblem::NotADiskFile);
    DWORD attributes = targetAbsent ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(target.c_str());
    return CopyOnto(source, target, facts, keepAside, copiedAhead, attributes);
}

TFileResult ClearAndCopy(const std::string& source, const std::string& target, const TSourceFacts& facts,
                         const std::string& keepAside, bool copiedAhead, bool targetAbsent)
{
    if (IsDeviceName(target)) return Problem(TCopyProblem::NotADiskFile);
    DWORD attributes = targetAbsent ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        TFileResult reset = ResetAttributes(target);
        if (!reset.Ok) {
            if (copiedAhead) RemovePartialCopy(PartialCopyPath(target));
            return reset;
        }
    }
    return CopyOnto(source, target, facts, keepAside, copiedAhead, attributes);
}

TFileResult CopyBeside(const std::string& source, const std::string& target, const TSourceFacts& facts)
{
    if (IsDeviceName(target)) return Problem(TCopyProblem::NotADiskFile);
    std::string partial = PartialCopyPath(target);
    TFileResult result = CopyIntoPartial(source, partial, facts);
    if (!result.Ok) RemovePartialCopy(partial);
    return result;
}

void RemoveCopyBeside(const std::string& target)
{
    std::string partial = PartialCopyPath(target);
    RemovePartialCopy(partial);
    NoteFileChanged(partial);
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
    // The walk asks for the same directory item after item.
    if (directory == Run.LastSwept) return;
    Run.LastSwept = directory;
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
