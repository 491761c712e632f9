#include "release/publish.h"

#include <algorithm>
#include <vector>

#include "core/ansi_text.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/sha256.h"
#include "release/manifest.h"
#include "release/file_digest.h"
#include "release/release_match.h"
#include "release/release_read.h"

namespace {

// More threads than this only queue up behind the disk or the network.
constexpr unsigned MaxThreads = 4;
// How long the rename waits for workstations that hold the old manifest.
constexpr DWORD ReplaceWaitMs = 3000;
constexpr DWORD ReplaceRetryMs = 100;

std::string SystemText(DWORD error)
{
    return SystemMessageOrCode(static_cast<int32_t>(error));
}

std::wstring FoldedWide(const std::wstring& name)
{
    std::wstring upper(name.size(), L'\0');
    int length = static_cast<int>(name.size());
    if (length > 0 && LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.data(), length, upper.data(), length) == length)
        return upper;
    return name;
}

struct TListedFile {
    std::wstring Name;
    std::wstring Key;  // folded, for the order
};

// The files of the directory a run can take, in the order of their folded
// names; false with the system's code when it cannot be listed.
DWORD ListFiles(const std::wstring& directory, std::vector<TListedFile>& files, uint64_t& leftOut)
{
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileW((directory + L"*").c_str(), &data));
    if (!find) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    const std::wstring manifest = FoldedWide(ToWide(ReleaseFileName));
    const std::wstring pending = FoldedWide(ToWide(PendingReleaseFileName));
    do {
        std::wstring name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring key = FoldedWide(name);
        if (key == manifest || key == pending) continue;
        // The rule a run holds the directory to the manifest by.
        if (!IsReleaseFile(FromWide(name), data.dwFileAttributes)) {
            ++leftOut;
            continue;
        }
        files.push_back({name, key});
    } while (FindNextFileW(find.Get(), &data));
    DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) return error;
    std::sort(files.begin(), files.end(), [](const TListedFile& a, const TListedFile& b) { return a.Key < b.Key; });
    return ERROR_SUCCESS;
}

class TPublisher {
public:
    TPublisher(const TPublishRequest& request, TPublishResult& result) : m_request(request), m_result(result) {}

    bool Run();
    // After a failure: what was written under the pending name goes; the
    // manifest in place was never touched.
    void Abandon();

private:
    bool Fail(std::string problem)
    {
        m_result.Problem = std::move(problem);
        return false;
    }
    bool OpenPending();
    bool NextNumber();
    bool ReadFiles(const std::vector<TListedFile>& files);
    bool WriteAndReplace(const std::string& text);

    const TPublishRequest& m_request;
    TPublishResult& m_result;
    std::string m_directory;  // with its separator
    std::wstring m_wideDirectory;
    UniqueFile m_pending;
    TRelease m_release;
};

bool TPublisher::OpenPending()
{
    std::wstring path = m_wideDirectory + ToWide(PendingReleaseFileName);
    // Shared for deleting only: a second publish of the directory finds it
    // held and stops, and the rename can move it while it is open.
    m_pending.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (m_pending) return true;
    DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return Fail(FormatMsg(MsgPublishBusy, m_directory));
    return Fail(FormatMsg(MsgPublishCantWrite, m_directory + PendingReleaseFileName, SystemText(error)));
}

bool TPublisher::NextNumber()
{
    TRelease old = ReadRelease(m_directory, nullptr);
    if (old.Status == TReleaseStatus::Unreadable || old.Status == TReleaseStatus::Malformed)
        return Fail(FormatMsg(MsgPublishOldBad, DescribeRelease(old, m_directory + ReleaseFileName, nullptr)));
    if (old.Number >= MaxReleaseNumber) return Fail(FormatMsg(MsgPublishNumberEnd, std::to_string(old.Number)));
    m_result.ReplacedSigned = old.Signed;
    m_release.Number = old.Number + 1;
    return true;
}

// Reads every file once, on as many threads as the machine has processors
// (at most four), and fills the release's entries in the listing's order.
bool TPublisher::ReadFiles(const std::vector<TListedFile>& files)
{
    // The hash is begun once here first: the system's library is loaded, and
    // its failure message read, before several threads use them.
    TSha256 probe;
    std::string problem;
    if (!probe.Begin(problem)) return Fail(problem);
    Msg(MsgCngCallFailed);
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    unsigned threads = std::min<unsigned>(MaxThreads, std::max<DWORD>(1, system.dwNumberOfProcessors));
    std::vector<std::wstring> paths;
    paths.reserve(files.size());
    for (const TListedFile& file : files) paths.push_back(m_wideDirectory + file.Name);
    std::vector<TFileDigest> digests = DigestFiles(paths, threads);
    m_release.Entries.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const TFileDigest& digest = digests[i];
        std::string shown = FromWide(files[i].Name);
        switch (digest.Outcome) {
        case TFileDigest::TOutcome::Read:
            break;
        case TFileDigest::TOutcome::NotRead:
            continue;  // another file failed first; it is told below
        case TFileDigest::TOutcome::Unreadable:
            return Fail(FormatMsg(MsgPublishFileUnreadable, shown, SystemText(digest.Error)));
        case TFileDigest::TOutcome::Changed:
            return Fail(FormatMsg(MsgPublishFileChanged, shown));
        case TFileDigest::TOutcome::HashFailed:
            return Fail(digest.Problem);
        }
        TReleaseEntry entry;
        entry.Name = FromWide(files[i].Name, CP_UTF8);
        entry.Size = digest.Size;
        entry.WriteTime = digest.WriteTime;
        entry.Sha256 = digest.Sha256;
        entry.Version = digest.Version;
        if (digest.AskSystem && m_request.SystemVersion) {
            // A form the scan does not read: the system reads the version
            // resource again (the headers and that resource, not the file).
            entry.Version = m_request.SystemVersion(m_directory + shown);
            ++m_result.VersionsAsked;
        }
        m_result.Bytes += static_cast<uint64_t>(digest.Size);
        m_release.Entries.push_back(std::move(entry));
    }
    return true;
}

bool TPublisher::WriteAndReplace(const std::string& text)
{
    std::string pendingPath = m_directory + PendingReleaseFileName;
    DWORD written = 0;
    if (!WriteFile(m_pending.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        DWORD error = GetLastError();
        return Fail(FormatMsg(MsgPublishCantWrite, pendingPath, SystemText(error)));
    }
    if (written != text.size()) return Fail(FormatMsg(MsgPublishCantWrite, pendingPath, SystemText(ERROR_DISK_FULL)));
    // On the disk before it takes the final name: a reader never meets a
    // manifest whose bytes are still only in a cache.
    if (!FlushFileBuffers(m_pending.Get())) {
        DWORD error = GetLastError();
        return Fail(FormatMsg(MsgPublishCantWrite, pendingPath, SystemText(error)));
    }
    std::wstring from = m_wideDirectory + ToWide(PendingReleaseFileName);
    std::wstring to = m_wideDirectory + ToWide(ReleaseFileName);
    DWORD waited = 0;
    for (;;) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
        DWORD error = GetLastError();
        // A workstation reading the old manifest holds it for a moment.
        bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!held || waited >= ReplaceWaitMs)
            return Fail(FormatMsg(MsgPublishCantWrite, m_directory + ReleaseFileName, SystemText(error)));
        Sleep(ReplaceRetryMs);
        waited += ReplaceRetryMs;
    }
    // The data are on the disk; a failing close can only concern what the flush wrote.
    CloseHandle(m_pending.Release());
    // The pending file was hidden; the manifest is not. Left hidden it still
    // serves, so a failure here is passed over.
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    return true;
}

void TPublisher::Abandon()
{
    if (!m_pending) return;  // never opened (another publish holds it), or already renamed
    m_pending.Reset();
    // One that stays is hidden, and the next publish writes over it.
    DeleteFileW((m_wideDirectory + ToWide(PendingReleaseFileName)).c_str());
}

bool TPublisher::Run()
{
    m_directory = m_request.Directory;
    if (!m_directory.empty() && m_directory.back() != '\\' && m_directory.back() != '/') m_directory += '\\';
    m_wideDirectory = ToWide(m_directory);
    DWORD attributes = GetFileAttributesW(m_wideDirectory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_DIRECTORY;
        return Fail(FormatMsg(MsgPublishNoDirectory, m_directory, SystemText(error)));
    }
    if (!OpenPending() || !NextNumber()) return false;
    std::vector<TListedFile> files;
    DWORD error = ListFiles(m_wideDirectory, files, m_result.LeftOut);
    if (error != ERROR_SUCCESS) return Fail(FormatMsg(MsgPublishNoDirectory, m_directory, SystemText(error)));
    if (!ReadFiles(files)) return false;
    GetSystemTimeAsFileTime(&m_release.Published);
    if (m_request.Key) {
        m_release.Signed = true;
        m_release.SignedBy = m_request.Key->Public;
    }
    std::string text = FormatManifest(m_release);
    std::string problem;
    if (m_request.Key && !SignManifest(text, *m_request.Key, problem)) return Fail(problem);
    if (!WriteAndReplace(text)) return false;
    m_result.Number = m_release.Number;
    m_result.Files = m_release.Entries.size();
    return true;
}

}  // namespace

TPublishResult PublishRelease(const TPublishRequest& request)
{
    TPublishResult result;
    TPublisher publisher(request, result);
    result.Ok = publisher.Run();
    if (!result.Ok) publisher.Abandon();
    return result;
}
