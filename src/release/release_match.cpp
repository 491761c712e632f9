#include "release/release_match.h"

#include "core/ansi_text.h"
#include "core/disk_files.h"
#include "core/folded_index.h"
#include "core/handles.h"
#include "core/paths.h"

bool IsReleaseFile(const std::string& ansiName, DWORD attributes)
{
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return false;
    if (SameFileName(ansiName, ReleaseFileName) || SameFileName(ansiName, PendingReleaseFileName)) return false;
    return !IsDeviceName(ansiName);
}

std::vector<TReleaseMismatch> MatchRelease(const TRelease& release, const std::vector<TSourceFile>& files,
                                           size_t limit)
{
    std::vector<TReleaseMismatch> mismatches;
    std::vector<bool> answered(release.Entries.size(), false);
    size_t answeredCount = 0;
    for (const TSourceFile& file : files) {
        if (!IsReleaseFile(file.Name, file.Attributes)) continue;
        auto found = release.Index.find(file.Folded);
        if (found == release.Index.end()) {
            mismatches.push_back({TMismatchKind::Unlisted, file.Name, TListingMatch::Same});
        } else {
            if (!answered[found->second]) {
                answered[found->second] = true;
                ++answeredCount;
            }
            TListingMatch how = CompareWithListing(release.Entries[found->second], file.Size, file.WriteTime);
            if (how != TListingMatch::Same) mismatches.push_back({TMismatchKind::Differs, file.Name, how});
        }
        if (mismatches.size() >= limit) return mismatches;
    }
    if (answeredCount == release.Entries.size()) return mismatches;
    for (size_t i = 0; i < release.Entries.size() && mismatches.size() < limit; ++i)
        if (!answered[i])
            mismatches.push_back(
                {TMismatchKind::Missing, FromWide(ToWide(release.Entries[i].Name, CP_UTF8)), TListingMatch::Same});
    return mismatches;
}

DWORD ListSourceFiles(const std::string& directory, std::vector<TSourceFile>& files)
{
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileW(ToWide(directory + "*").c_str(), &data));
    if (!find) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        TSourceFile file;
        file.Name = FromWide(name);
        file.Folded = FoldWide(name);
        file.Attributes = data.dwFileAttributes;
        file.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        file.WriteTime = data.ftLastWriteTime;
        files.push_back(std::move(file));
    } while (FindNextFileW(find.Get(), &data));
    DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
}
