#include "machine/planned_files.h"

#include <windows.h>

#include "core/ansi_text.h"
#include "core/folded_index.h"
#include "core/name_mask.h"
#include "core/paths.h"

namespace {

constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE;
// The profile functions give a value cut to this many characters.
constexpr size_t IniValueLength = 259;

// Full, backslashes only, no trailing separator but a root's.
std::string FullPath(const std::string& path)
{
    char buffer[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    std::string full = length == 0 || length >= MAX_PATH ? path : std::string(buffer, length);
    for (char& c : full)
        if (c == '/') c = '\\';
    while (full.size() > 1 && full.back() == '\\' && !(full.size() == 3 && full[1] == ':')) full.pop_back();
    return full;
}

// The key of the directory that holds a key; empty at the top.
std::string ParentKey(const std::string& key)
{
    size_t slash = key.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 == key.size()) return {};
    if (slash == 2 && key[1] == ':') return key.substr(0, 3);
    return key.substr(0, slash);
}

bool IsBelow(const std::string& key, const std::string& directoryKey)
{
    std::string prefix = directoryKey.back() == '\\' ? directoryKey : directoryKey + "\\";
    return key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0;
}

bool DirectlyBelow(const std::string& key, const std::string& directoryKey)
{
    return IsBelow(key, directoryKey) && ParentKey(key) == directoryKey;
}

FILETIME Now()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return now;
}

std::string IniKey(const std::string& section, const std::string& key)
{
    return UpperAnsi(section) + "\n" + UpperAnsi(key);
}

}  // namespace

std::string PlanKey(const std::string& path)
{
    return UpperAnsi(FullPath(path));
}

TPlannedFiles::TPlace TPlannedFiles::Find(const std::string& path)
{
    TPlace place;
    std::string full = FullPath(path);
    std::string key = UpperAnsi(full);
    place.RealPath = path;
    if (auto file = m_files.find(key); file != m_files.end()) {
        place.What = TPlace::File;
        place.FileEntry = &file->second;
        return place;
    }
    if (auto dir = m_dirs.find(key); dir != m_dirs.end()) {
        place.What = dir->second.Exists ? TPlace::Dir : TPlace::Absent;
        place.DirEntry = &dir->second;
        if (!dir->second.RealPath.empty()) place.RealPath = dir->second.RealPath;
        return place;
    }
    for (std::string above = ParentKey(key); !above.empty(); above = ParentKey(above)) {
        auto dir = m_dirs.find(above);
        if (dir == m_dirs.end()) continue;
        if (!dir->second.Exists || dir->second.Fresh) {
            place.What = TPlace::Absent;
            return place;
        }
        if (!dir->second.RealPath.empty()) {
            place.RealPath = dir->second.RealPath + full.substr(above.size());
            return place;
        }
    }
    return place;
}

TEntry TPlannedFiles::Entry(const std::string& path)
{
    TPlace place = Find(path);
    switch (place.What) {
    case TPlace::File: {
        const TFile& file = *place.FileEntry;
        if (!file.Exists) return {};
        return {true, file.Attributes, file.Size, file.WriteTime};
    }
    case TPlace::Dir:
        if (!place.DirEntry->Fresh) return m_live.Entry(place.RealPath);
        return {true, FILE_ATTRIBUTE_DIRECTORY, 0, {}};
    case TPlace::Absent:
        return {};
    case TPlace::Live:
        break;
    }
    return m_live.Entry(place.RealPath);
}

DWORD TPlannedFiles::Attributes(const std::string& path)
{
    TPlace place = Find(path);
    switch (place.What) {
    case TPlace::File:
        return place.FileEntry->Exists ? place.FileEntry->Attributes : INVALID_FILE_ATTRIBUTES;
    case TPlace::Dir:
        return FILE_ATTRIBUTE_DIRECTORY;
    case TPlace::Absent:
        return INVALID_FILE_ATTRIBUTES;
    case TPlace::Live:
        break;
    }
    return m_live.Attributes(place.RealPath);
}

std::vector<TListedFile> TPlannedFiles::Matches(const std::string& pattern, bool withHiddenAndSystem, bool fromSource)
{
    std::string directory = DirectoryPart(pattern);
    std::string mask = FileNamePart(pattern);
    std::string directoryKey = PlanKey(directory.empty() ? "." : directory);
    std::vector<TListedFile> matches;
    TPlace place = Find(directory.empty() ? "." : directory);
    bool fresh = place.What == TPlace::Dir && place.DirEntry->Fresh;
    if ((place.What == TPlace::Live || place.What == TPlace::Dir) && !fresh) {
        std::string real = place.RealPath == directory ? directory : place.RealPath + "\\";
        for (TListedFile& found : m_live.Matches(real + mask, withHiddenAndSystem, fromSource)) {
            auto planned = m_files.find(directoryKey + (directoryKey.back() == '\\' ? "" : "\\") + UpperAnsi(found.Name));
            if (planned == m_files.end()) {
                matches.push_back(found);
                continue;
            }
            if (!planned->second.Exists) continue;
            const TFile& file = planned->second;
            matches.push_back({found.Name, file.Size, file.WriteTime, file.Attributes});
        }
    }
    std::wstring foldedMask = FoldedName(mask);
    for (const auto& [key, file] : m_files) {
        if (!file.Exists || !DirectlyBelow(key, directoryKey)) continue;
        if (!withHiddenAndSystem && (file.Attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) continue;
        if (!MaskMatches(FoldedName(file.Name), foldedMask)) continue;
        bool listed = false;
        for (const TListedFile& match : matches) listed = listed || UpperAnsi(match.Name) == UpperAnsi(file.Name);
        if (!listed) matches.push_back({file.Name, file.Size, file.WriteTime, file.Attributes});
    }
    return matches;
}

std::string TPlannedFiles::Version(const std::string& path)
{
    TPlace place = Find(path);
    if (place.What == TPlace::File) {
        const TFile& file = *place.FileEntry;
        return file.Exists && !file.Content.empty() ? m_live.Version(file.Content) : std::string();
    }
    return place.What == TPlace::Live ? m_live.Version(place.RealPath) : std::string();
}

std::vector<std::string> TPlannedFiles::Contents(const std::string& directory)
{
    std::string directoryKey = PlanKey(directory);
    std::vector<std::string> names;
    TPlace place = Find(directory);
    bool fresh = place.What == TPlace::Dir && place.DirEntry->Fresh;
    if ((place.What == TPlace::Live || place.What == TPlace::Dir) && !fresh) {
        for (const std::string& name : m_live.Contents(place.RealPath)) {
            std::string key = directoryKey + "\\" + UpperAnsi(name);
            auto file = m_files.find(key);
            auto dir = m_dirs.find(key);
            if (file != m_files.end() && !file->second.Exists) continue;
            if (dir != m_dirs.end() && !dir->second.Exists) continue;
            names.push_back(name);
        }
    }
    auto add = [&names](const std::string& name) {
        for (const std::string& known : names)
            if (UpperAnsi(known) == UpperAnsi(name)) return;
        names.push_back(name);
    };
    for (const auto& [key, file] : m_files)
        if (file.Exists && DirectlyBelow(key, directoryKey)) add(file.Name);
    for (const auto& [key, dir] : m_dirs)
        if (dir.Exists && DirectlyBelow(key, directoryKey)) add(key.substr(key.find_last_of('\\') + 1));
    return names;
}

DWORD TPlannedFiles::WriteProblem(const std::string& path)
{
    TPlace place = Find(path);
    if (place.What == TPlace::Live) return m_live.WriteProblem(place.RealPath);
    // A file the plan would have replaced is still the machine's one, held as it is held now.
    if (place.What == TPlace::File && m_live.Attributes(path) != INVALID_FILE_ATTRIBUTES)
        return m_live.WriteProblem(path);
    return 0;
}

std::string TPlannedFiles::ContentPath(const std::string& path)
{
    TPlace place = Find(path);
    if (place.What == TPlace::File && place.FileEntry->Exists && !place.FileEntry->Content.empty())
        return place.FileEntry->Content;
    return place.What == TPlace::Live ? place.RealPath : path;
}

TIniRead TPlannedFiles::IniValue(const std::string& file, const std::string& section, const std::string& key)
{
    TPlace place = Find(file);
    if (place.What == TPlace::Live) return m_live.IniValue(place.RealPath, section, key);
    if (place.What != TPlace::File || !place.FileEntry->Exists) return {};
    const TFile& planned = *place.FileEntry;
    std::string sectionKey = UpperAnsi(section) + "\n";
    if (key.empty()) {
        // A whole section: its first key, as far as the plan can tell.
        for (const auto& [name, entry] : planned.Ini)
            if (entry.Present && name.compare(0, sectionKey.size(), sectionKey) == 0)
                return {true, name.substr(sectionKey.size())};
    } else if (auto entry = planned.Ini.find(IniKey(section, key)); entry != planned.Ini.end()) {
        return {entry->second.Present, entry->second.Text};
    }
    if (planned.DeletedSections.count(UpperAnsi(section)) || planned.Content.empty()) return {};
    return m_live.IniValue(planned.Content, section, key);
}

TTextRead TPlannedFiles::TextFile(const std::string& path)
{
    TPlace place = Find(path);
    if (place.What == TPlace::Live) return m_live.TextFile(place.RealPath);
    TTextRead read;
    if (place.What != TPlace::File || !place.FileEntry->Exists) return read;
    const TFile& planned = *place.FileEntry;
    if (!planned.Content.empty()) {
        read = m_live.TextFile(planned.Content);
        if (read.Status != TTextRead::Read) return read;
    }
    read.Status = TTextRead::Read;
    read.Bytes += planned.Appended;
    return read;
}

TPlannedFiles::TFile& TPlannedFiles::FileFor(const std::string& path)
{
    std::string key = PlanKey(path);
    auto found = m_files.find(key);
    if (found != m_files.end()) return found->second;
    TFile file;
    file.Name = FileNamePart(FullPath(path));
    TPlace place = Find(path);
    if (place.What == TPlace::Live) {
        TEntry entry = m_live.Entry(place.RealPath);
        if (entry.Exists && !entry.IsDirectory()) {
            file.Exists = true;
            file.Attributes = entry.Attributes;
            file.Size = entry.Size;
            file.WriteTime = entry.WriteTime;
            file.Content = place.RealPath;
        }
    }
    return m_files[key] = file;
}

void TPlannedFiles::DropBelow(const std::string& key)
{
    for (auto at = m_files.begin(); at != m_files.end();) at = IsBelow(at->first, key) ? m_files.erase(at) : std::next(at);
    for (auto at = m_dirs.begin(); at != m_dirs.end();) at = IsBelow(at->first, key) ? m_dirs.erase(at) : std::next(at);
}

void TPlannedFiles::MoveBelow(const std::string& oldKey, const std::string& newKey)
{
    std::map<std::string, TFile> files;
    std::map<std::string, TDir> dirs;
    for (auto at = m_files.begin(); at != m_files.end();) {
        if (!IsBelow(at->first, oldKey)) {
            ++at;
            continue;
        }
        files[newKey + at->first.substr(oldKey.size())] = at->second;
        at = m_files.erase(at);
    }
    for (auto at = m_dirs.begin(); at != m_dirs.end();) {
        if (!IsBelow(at->first, oldKey)) {
            ++at;
            continue;
        }
        TDir dir = at->second;
        dirs[newKey + at->first.substr(oldKey.size())] = dir;
        at = m_dirs.erase(at);
    }
    m_files.insert(files.begin(), files.end());
    m_dirs.insert(dirs.begin(), dirs.end());
}

void TPlannedFiles::MadeFile(const TChange& change)
{
    std::string key = PlanKey(change.Path);
    switch (change.FileOp) {
    case TFileOp::Copy:
    case TFileOp::Insert:
    case TFileOp::ReplaceScript:
    case TFileOp::ReplaceProgram: {
        TFile file;
        file.Exists = true;
        file.Name = FileNamePart(FullPath(change.Path));
        DWORD kept = change.FromState.Attributes & KeptAttributes;
        file.Attributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
        file.Size = change.FromState.Size;
        file.WriteTime = change.FromState.WriteTime;
        file.Content = ContentPath(change.From);
        m_files[key] = file;
        return;
    }
    case TFileOp::StageOwnFile:
    case TFileOp::StageLanguage:
        return;  // the program restarts before anything reads them
    case TFileOp::RemoveMade: {
        TFile gone;
        gone.Name = FileNamePart(FullPath(change.Path));
        m_files[key] = gone;
        return;
    }
    case TFileOp::PutBack: {
        // The kept file takes its old place again.
        TFile kept = FileFor(change.From);
        TFile gone;
        gone.Name = kept.Name;
        m_files[PlanKey(change.From)] = gone;
        kept.Name = FileNamePart(FullPath(change.Path));
        if (kept.Exists) m_files[key] = kept;
        return;
    }
    case TFileOp::Restore: {
        TFile restored;
        restored.Exists = true;
        restored.Name = FileNamePart(FullPath(change.Path));
        restored.Size = change.Before.Size;
        restored.WriteTime = change.Before.WriteTime;
        m_files[key] = restored;
        return;
    }
    case TFileOp::Delete: {
        TFile gone;
        gone.Name = FileNamePart(FullPath(change.Path));
        m_files[key] = gone;
        return;
    }
    case TFileOp::Rename: {
        TFile moved = FileFor(change.Path);
        TFile gone;
        gone.Name = moved.Name;
        m_files[key] = gone;
        moved.Name = FileNamePart(FullPath(change.To));
        m_files[PlanKey(change.To)] = moved;
        return;
    }
    case TFileOp::CreateEmpty: {
        TFile file;
        file.Exists = true;
        file.Name = FileNamePart(FullPath(change.Path));
        file.WriteTime = Now();
        m_files[key] = file;
        return;
    }
    }
}

void TPlannedFiles::MadeDirectory(const TChange& change)
{
    std::string full = FullPath(change.Path);
    std::string key = UpperAnsi(full);
    switch (change.Action) {
    case TChangeAction::Create: {
        // Every level that is not there now, as the run makes them.
        std::vector<std::string> levels;
        for (std::string level = full; !level.empty(); level = ParentKey(level)) {
            if (Attributes(level) != INVALID_FILE_ATTRIBUTES) break;
            levels.push_back(level);
            if (level.size() <= 3) break;
        }
        for (const std::string& level : levels) {
            TDir dir;
            dir.Exists = true;
            dir.Fresh = true;
            m_dirs[UpperAnsi(level)] = dir;
        }
        return;
    }
    case TChangeAction::Delete:
        DropBelow(key);
        m_dirs[key] = TDir{};
        return;
    case TChangeAction::Rename: {
        TPlace place = Find(change.Path);
        TDir moved;
        moved.Exists = true;
        moved.Fresh = place.What == TPlace::Dir && place.DirEntry->Fresh;
        if (!moved.Fresh) moved.RealPath = place.RealPath;
        std::string newKey = PlanKey(change.To);
        MoveBelow(key, newKey);
        m_dirs[key] = TDir{};
        m_dirs[newKey] = moved;
        return;
    }
    default:
        return;
    }
}

void TPlannedFiles::Made(const TChange& change)
{
    switch (change.Kind) {
    case TChangeKind::File:
        return MadeFile(change);
    case TChangeKind::Directory:
        return MadeDirectory(change);
    case TChangeKind::IniValue: {
        TFile& file = FileFor(change.Path);
        file.Exists = true;  // writing a value makes the file
        std::string section = UpperAnsi(change.Section);
        if (change.Name.empty()) {
            file.DeletedSections.insert(section);
            for (auto at = file.Ini.begin(); at != file.Ini.end();)
                at = at->first.compare(0, section.size() + 1, section + "\n") == 0 ? file.Ini.erase(at) : std::next(at);
            return;
        }
        TIniEntry& entry = file.Ini[IniKey(change.Section, change.Name)];
        entry.Present = change.Action != TChangeAction::Delete && !change.After.Data.empty();
        entry.Text = entry.Present ? change.After.Data.substr(0, IniValueLength) : std::string();
        return;
    }
    case TChangeKind::TextLine: {
        TFile& file = FileFor(change.Path);
        file.Exists = true;
        file.Appended += change.After.Data;
        file.Size += static_cast<int64_t>(change.After.Data.size());
        file.WriteTime = Now();
        return;
    }
    default:
        return;
    }
}
