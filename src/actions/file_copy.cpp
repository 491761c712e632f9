#include "actions/file_copy.h"

#include <cctype>

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

// Flushes the file's data to the disk, so that the rename that follows never
// puts a file on the disk whose contents are still only in the cache.
TFileResult FlushToDisk(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastFileFailure();
    // A read-only copy (the source was read-only) cannot be opened for writing.
    bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) return LastFileFailure();
    TFileResult result;
    {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            result = LastFileFailure();
        else if (!FlushFileBuffers(file.Get()))
            result = LastFileFailure();
    }
    if (readOnly && !SetFileAttributesA(path.c_str(), attributes) && result.Ok) result = LastFileFailure();
    return result;
}

// Puts the complete scratch copy in the target's place.
TFileResult ReplaceByPartial(const std::string& partial, const std::string& target)
{
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
    return Success();
}

TFileResult CopyWhole(const std::string& source, const std::string& target)
{
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        TFileResult probe = ProbeWritable(target);
        if (!probe.Ok) return probe;
    }
    std::string partial = PartialCopyPath(target);
    RemovePartialCopy(partial);
    TFileResult result;
    if (!CopyFileA(source.c_str(), partial.c_str(), FALSE))
        result = LastFileFailure();
    else
        result = FlushToDisk(partial);
    if (result.Ok) result = ReplaceByPartial(partial, target);
    if (!result.Ok) RemovePartialCopy(partial);
    return result;
}

TFileResult ClearAndCopy(const std::string& source, const std::string& target)
{
    TFileResult result = ResetAttributesIfPresent(target);
    if (!result.Ok) return result;
    return CopyWhole(source, target);
}

std::string PartialCopyPath(const std::string& target)
{
    std::string path = target + PartialSuffix;
    if (path.size() < MAX_PATH) return path;
    // Too long for the system's paths: a short name derived from the file name.
    uint32_t hash = 2166136261u;
    for (char c : FileNamePart(target)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char shortName[16];
    wsprintfA(shortName, "~vt%08lx.tmp", static_cast<unsigned long>(hash));
    return DirectoryPart(target) + shortName;
}

// Looking up one missing name per target instead costs a scan of the whole
// directory on some file systems, which made a run over a large directory of
// current files grow with the square of its size.
void SweepLeftoverCopies(const std::string& directory)
{
    if (!Run.SweptDirectories.insert(PathKey(directory)).second) return;
    for (const std::string& mask : {directory + "*" + PartialSuffix, directory + "~vt*.tmp"}) {
        WIN32_FIND_DATAA data;
        UniqueFind find(FindFirstFileA(mask.c_str(), &data));
        if (!find) continue;  // nothing left over, or no such directory: the copy will tell
        do {
            std::string name = data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            // Masks also match generated short names: check the real one.
            if (HasPartialSuffix(name) || IsHashedPartialName(name)) RemovePartialCopy(directory + name);
        } while (FindNextFileA(find.Get(), &data));
    }
}
