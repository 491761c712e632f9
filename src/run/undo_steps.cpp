#include "run/undo_steps.h"

#include <windows.h>

#include "actions/registry.h"
#include "core/ansi_text.h"
#include "core/disk_files.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/run_state.h"
#include "machine/before_state.h"

namespace {

TChange Step(TChangeKind kind, TChangeAction action, const std::string& path)
{
    TChange change;
    change.Kind = kind;
    change.Action = action;
    change.Path = change.Target = path;
    return change;
}

TChange FileStep(TFileOp op, const std::string& path)
{
    TChange change = Step(TChangeKind::File, TChangeAction::Delete, path);
    change.FileOp = op;
    return change;
}

TChange RegistryStep(TChangeKind kind, TChangeAction action, const TChange& of, const std::string& subKey)
{
    TChange change = Step(kind, action, of.Target);
    change.Root = of.Root;
    change.SubKey = subKey;
    change.Name = of.Name;
    return change;
}

bool IsThere(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TInverse FileInverse(const TJournalEntry& entry)
{
    const TChange& c = entry.Change;
    TInverse inverse;
    switch (c.FileOp) {
    case TFileOp::Rename:
        if (IsThere(c.To) && !IsThere(c.Path)) {
            TChange back = FileStep(TFileOp::Rename, c.To);
            back.Action = TChangeAction::Rename;
            back.To = c.Path;
            inverse.Changes.push_back(back);
        }
        return inverse;
    case TFileOp::ReplaceProgram:
        inverse.Kept = MsgKeptProgram;
        return inverse;
    default:
        break;
    }
    if (!c.KeepAside.empty()) {
        TChange back = FileStep(TFileOp::PutBack, c.Path);
        back.From = c.KeepAside;
        back.Before = c.Before;
        inverse.Changes.push_back(back);
    } else if (!c.Before.Present) {
        inverse.Changes.push_back(FileStep(TFileOp::RemoveMade, c.Path));
    }
    return inverse;
}

TInverse RegistryInverse(const TJournalEntry& entry)
{
    const TChange& c = entry.Change;
    TInverse inverse;
    if (c.Kind == TChangeKind::RegistryKey && c.Action == TChangeAction::Create) {
        for (const std::string& level : entry.Levels)
            inverse.Changes.push_back(RegistryStep(TChangeKind::RegistryKey, TChangeAction::Delete, c, level));
        return inverse;
    }
    if (c.Kind == TChangeKind::RegistryKey) {
        inverse.Changes.push_back(RegistryStep(TChangeKind::RegistryKey, TChangeAction::Create, c, c.SubKey));
        for (const auto& [name, value] : entry.Values) {
            TChange write = RegistryStep(TChangeKind::RegistryValue, TChangeAction::Create, c, c.SubKey);
            write.Name = name;
            write.After = value;
            inverse.Changes.push_back(write);
        }
        return inverse;
    }
    TChange value = RegistryStep(TChangeKind::RegistryValue, TChangeAction::Replace, c, c.SubKey);
    value.After = c.Before;
    if (!c.Before.Present) value.Action = TChangeAction::Delete;
    // A value that is not there now needs no deleting.
    if (value.Action != TChangeAction::Delete || WholeRegistryValue(c.Root, c.SubKey, c.Name).Present)
        inverse.Changes.push_back(value);
    return inverse;
}

TInverse IniInverse(const TJournalEntry& entry)
{
    const TChange& c = entry.Change;
    TInverse inverse;
    if (entry.WholeFile) {
        // The file as it was, whole: the system's profile functions rewrite a
        // file in place, and a run ended meanwhile may leave it cut short.
        TChange whole = FileStep(entry.FileBefore.Present ? TFileOp::Restore : TFileOp::RemoveMade, c.Path);
        whole.Before = entry.FileBefore;
        inverse.Changes.push_back(whole);
        return inverse;
    }
    TChange undo = Step(TChangeKind::IniValue, TChangeAction::Delete, c.Path);
    undo.Section = c.Section;
    undo.Name = c.Name;
    if (!c.Name.empty()) {
        if (c.Before.Present) {
            undo.Action = TChangeAction::Replace;
            undo.After = c.Before;
        }
        inverse.Changes.push_back(undo);
    } else {
        // A whole section: removed, then its lines as they were.
        inverse.Changes.push_back(undo);
        for (size_t start = 0; start < c.Before.Data.size();) {
            size_t end = c.Before.Data.find('\0', start);
            if (end == std::string::npos) end = c.Before.Data.size();
            std::string line = c.Before.Data.substr(start, end - start);
            start = end + 1;
            size_t equals = line.find('=');
            if (line.empty() || equals == std::string::npos) continue;
            TChange write = undo;
            write.Action = TChangeAction::Replace;
            write.Name = line.substr(0, equals);
            write.After.Data = line.substr(equals + 1);
            inverse.Changes.push_back(write);
        }
    }
    if (entry.FileBefore.Known && !entry.FileBefore.Present)
        inverse.Changes.push_back(FileStep(TFileOp::RemoveMade, c.Path));
    return inverse;
}

// The path in the form paths are compared in, without trailing separators.
std::string Key(const std::string& path)
{
    std::string key = PathKey(path);
    while (!key.empty() && (key.back() == '\\' || key.back() == '/')) key.pop_back();
    return key;
}

// The path `inner` is `outer` or lies below it.
bool Within(const std::string& outer, const std::string& inner)
{
    if (outer.empty() || inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
    return inner.size() == outer.size() || inner[outer.size()] == '\\' || inner[outer.size()] == '/';
}

}  // namespace

TInverse Inverse(const TJournalEntry& entry, TMachineView& machine)
{
    const TChange& c = entry.Change;
    TInverse inverse;
    if (entry.Scheduled) {
        inverse.Kept = MsgKeptAtRestart;
        return inverse;
    }
    switch (c.Kind) {
    case TChangeKind::File:
        return FileInverse(entry);
    case TChangeKind::Directory:
        if (c.Action == TChangeAction::Create) {
            for (const std::string& level : entry.Levels)
                if (IsThere(level)) inverse.Changes.push_back(Step(TChangeKind::Directory, TChangeAction::Delete, level));
        } else if (c.Action == TChangeAction::Delete) {
            if (!IsThere(c.Path)) {
                TChange made = Step(TChangeKind::Directory, TChangeAction::Create, c.Path);
                made.Before = c.Before;
                inverse.Changes.push_back(made);
            }
        } else if (IsThere(c.To) && !IsThere(c.Path)) {
            TChange back = Step(TChangeKind::Directory, TChangeAction::Rename, c.To);
            back.To = c.Path;
            inverse.Changes.push_back(back);
        }
        return inverse;
    case TChangeKind::RegistryKey:
    case TChangeKind::RegistryValue:
        return RegistryInverse(entry);
    case TChangeKind::IniValue:
        return IniInverse(entry);
    case TChangeKind::TextLine: {
        // A file the run made for its lines is removed by that file's own undo.
        if (!entry.FileBefore.Present) return inverse;
        TChange cut = Step(TChangeKind::TextLine, TChangeAction::Delete, c.Path);
        cut.Before = entry.FileBefore;
        inverse.Changes.push_back(cut);
        return inverse;
    }
    case TChangeKind::Alias: {
        TChange undo = Step(TChangeKind::Alias, TChangeAction::Delete, c.Target);
        undo.Name = c.Name;
        bool there = machine.Alias(c.Name).Found;
        if (!c.Before.Present && !there) return inverse;
        if (c.Before.Present) {
            undo.Action = there ? TChangeAction::Replace : TChangeAction::Create;
            undo.DriverType = c.Before.Version;  // the driver type as the engine gave it
            undo.After.Data = undo.DriverType.empty() ? c.Before.Data : undo.DriverType + ";" + c.Before.Data;
        }
        inverse.Changes.push_back(undo);
        return inverse;
    }
    case TChangeKind::Server:
        inverse.Kept = MsgKeptServer;
        return inverse;
    case TChangeKind::Restart:
        break;
    }
    return inverse;
}

std::vector<bool> NeverMade(const std::vector<TJournalEntry>& entries)
{
    std::vector<bool> never(entries.size(), false);
    std::vector<std::string> touched;  // paths the later changes not undone touch
    for (size_t i = entries.size(); i-- > 0;) {
        const TJournalEntry& entry = entries[i];
        if (entry.Undone) continue;
        const TChange& c = entry.Change;
        if (entry.Ahead && !entry.Scheduled && c.Kind == TChangeKind::File) {
            // Where a target was there, the change keeps the old file under a
            // second name before it replaces the target; where there was none,
            // making the target is all it does.
            const std::string& evidence = c.Before.Present ? c.KeepAside : c.Path;
            std::string target = Key(c.Path), kept = Key(evidence);
            bool moved = false;
            for (const std::string& path : touched) moved = moved || Within(path, target) || Within(path, kept);
            if (!evidence.empty() && !moved)
                never[i] = !IsThere(evidence) || (c.Before.Present && SameFile(evidence, c.Path));
        }
        for (const std::string* path : {&c.Path, &c.To})
            if (!path->empty()) touched.push_back(Key(*path));
    }
    return never;
}

void RestoreTime(const std::string& path, const TState& before)
{
    if (!before.Present || !before.Dated) return;
    UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // The contents are back; a time that cannot be set is only a time.
    if (file) SetFileTime(file.Get(), nullptr, nullptr, &before.WriteTime);
}

