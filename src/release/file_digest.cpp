#include "release/file_digest.h"

#include <atomic>

#include "core/disk_files.h"
#include "core/handles.h"
#include "release/version_scan.h"

namespace {

// Bytes per read: as a copy moves them.
constexpr DWORD ChunkSize = 1 << 20;

bool SizeAndTime(HANDLE file, int64_t& size, FILETIME& writeTime)
{
    TOpenFileFacts facts;
    if (!OpenFileFacts(file, facts)) return false;
    size = facts.Size;
    writeTime = facts.WriteTime;
    return true;
}

void Unreadable(TFileDigest& digest, DWORD error)
{
    digest.Outcome = TFileDigest::TOutcome::Unreadable;
    digest.Error = error;
}

// One file, read once: the hash and the version from the same bytes, its
// size and time from the handle before and after, so that a file written
// meanwhile is told instead of entering the release half-copied.
void DigestFile(const std::wstring& path, std::vector<char>& buffer, TFileDigest& digest)
{
    UniqueFile in(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return Unreadable(digest, GetLastError());
    if (!IsDiskFile(in.Get())) return Unreadable(digest, ERROR_INVALID_FUNCTION);
    if (!SizeAndTime(in.Get(), digest.Size, digest.WriteTime)) return Unreadable(digest, GetLastError());
    TSha256 hash;
    if (!hash.Begin(digest.Problem)) {
        digest.Outcome = TFileDigest::TOutcome::HashFailed;
        return;
    }
    TVersionScan version;
    int64_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in.Get(), buffer.data(), ChunkSize, &read, nullptr)) return Unreadable(digest, GetLastError());
        if (read == 0) break;
        hash.Feed(buffer.data(), read);
        version.Feed(reinterpret_cast<const uint8_t*>(buffer.data()), read);
        total += read;
    }
    int64_t sizeAfter = 0;
    FILETIME writtenAfter{};
    if (!SizeAndTime(in.Get(), sizeAfter, writtenAfter)) return Unreadable(digest, GetLastError());
    if (total != digest.Size || sizeAfter != total || CompareFileTime(&writtenAfter, &digest.WriteTime) != 0) {
        digest.Outcome = TFileDigest::TOutcome::Changed;
        return;
    }
    if (!hash.Finish(digest.Sha256, digest.Problem)) {
        digest.Outcome = TFileDigest::TOutcome::HashFailed;
        return;
    }
    digest.AskSystem = version.Finish(digest.Version) == TVersionScanResult::AskSystem;
    digest.Outcome = TFileDigest::TOutcome::Read;
}

struct TShared {
    const std::vector<std::wstring>& Paths;
    std::vector<TFileDigest>& Digests;
    std::atomic<size_t> Next{0};
    std::atomic<bool> Failed{false};
};

DWORD WINAPI Worker(void* context)
{
    TShared& shared = *static_cast<TShared*>(context);
    std::vector<char> buffer(ChunkSize);
    while (!shared.Failed) {
        size_t index = shared.Next++;
        if (index >= shared.Paths.size()) break;
        DigestFile(shared.Paths[index], buffer, shared.Digests[index]);
        if (shared.Digests[index].Outcome != TFileDigest::TOutcome::Read) shared.Failed = true;
    }
    return 0;
}

}  // namespace

std::vector<TFileDigest> DigestFiles(const std::vector<std::wstring>& paths, unsigned threads)
{
    std::vector<TFileDigest> digests(paths.size());
    TShared shared{paths, digests};
    std::vector<UniqueKernelHandle> started;
    for (unsigned i = 1; i < threads && i < paths.size(); ++i) {
        UniqueKernelHandle thread(CreateThread(nullptr, 0, Worker, &shared, 0, nullptr));
        // A thread that cannot be started leaves its share to the others.
        if (thread) started.push_back(std::move(thread));
    }
    Worker(&shared);
    for (UniqueKernelHandle& thread : started) WaitForSingleObject(thread.Get(), INFINITE);
    return digests;
}
