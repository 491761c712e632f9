#include "run/kept_files.h"

#include <windows.h>

#include <cstdio>
#include <map>

#include "core/dir_listing.h"
#include "core/paths.h"
#include "core/run_state.h"

namespace {

// Kept files to a bucket: a name made in a bucket costs a look at this many.
constexpr int BucketSize = 64;

constexpr const char* KeepPrefix = "~vtk";

uint32_t Hash(const std::string& text)
{
    uint32_t hash = 2166136261u;
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

std::string WithoutSeparator(std::string path)
{
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

}  // namespace

std::string KeepDirectoryOf(const std::string& kept)
{
    std::string root = DirectoryPart(WithoutSeparator(DirectoryPart(kept)));
    std::string name = FileNamePart(WithoutSeparator(root));
    if (name.size() != 12 || name.compare(0, 4, KeepPrefix) != 0) return {};
    return root;
}

std::string KeptName(const std::string& target, int number, const std::string& journalPath)
{
    char root[16];
    std::snprintf(root, sizeof root, "%s%08lx", KeepPrefix, static_cast<unsigned long>(Hash(PathKey(journalPath))));
    std::string kept = DirectoryPart(target) + root + "\\" + std::to_string(number / BucketSize) + "\\" +
                       std::to_string(number);
    if (kept.size() < MAX_PATH) return kept;
    char name[32];
    std::snprintf(name, sizeof name, "~vk%08lx_%d.tmp", static_cast<unsigned long>(Hash(FileNamePart(target))), number);
    return DirectoryPart(target) + name;
}

bool RemoveKept(const std::string& kept)
{
    bool removed = DeleteFileA(kept.c_str());
    if (!removed && GetLastError() == ERROR_ACCESS_DENIED) {
        SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);  // the delete tells whether it mattered
        removed = DeleteFileA(kept.c_str());
    }
    NoteFileChanged(kept);
    return removed;
}

void RemoveSecondName(const TChange& change)
{
    // Left when it cannot go: a second name of a file that is there anyway,
    // which the next run that keeps a file under that name removes first.
    if (RemoveKept(change.KeepAside) && change.Before.Attributes != 0)
        SetFileAttributesA(change.Path.c_str(), change.Before.Attributes);
}

void TidyNeverMade(const TChange& change)
{
    if (!change.Before.Present || change.KeepAside.empty()) return;
    if (GetFileAttributesA(change.KeepAside.c_str()) != INVALID_FILE_ATTRIBUTES)
        RemoveSecondName(change);
    else if (change.Before.Attributes != 0 && GetFileAttributesA(change.Path.c_str()) != change.Before.Attributes)
        SetFileAttributesA(change.Path.c_str(), change.Before.Attributes);
}

void RemoveKeepDirectories(const std::vector<TJournalEntry>& entries)
{
    std::map<std::string, std::string> buckets, roots;  // by PathKey, as spelled
    for (const TJournalEntry& entry : entries) {
        std::string root = WithoutSeparator(KeepDirectoryOf(entry.Change.KeepAside));
        if (root.empty()) continue;
        std::string bucket = WithoutSeparator(DirectoryPart(entry.Change.KeepAside));
        buckets.emplace(PathKey(bucket), bucket);
        roots.emplace(PathKey(root), root);
    }
    // One that is not empty (a kept file that could not go) stays, and so does its root.
    for (const auto* level : {&buckets, &roots})
        for (const auto& [key, directory] : *level)
            if (RemoveDirectoryA(directory.c_str())) NoteDirectoryChanged(directory);
}
