#include "run/rollback.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "actions/changes.h"
#include "actions/file_copy.h"
#include "actions/registry.h"
#include "core/ansi_text.h"
#include "core/dir_listing.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "engine/engine.h"
#include "machine/before_state.h"

namespace {

constexpr int64_t WholeIniLimit = 1 << 20;

// The place a replaced or deleted file is kept: beside it, so that keeping it
// is a rename on its own volume.
std::string AsideName(const std::string& target, int number)
{
    std::string aside = target + ".~vtk" + std::to_string(number);
    if (aside.size() < MAX_PATH) return aside;
    uint32_t hash = 2166136261u;
    for (char c : FileNamePart(target)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char name[32];
    std::snprintf(name, sizeof name, "~vk%08lx_%d.tmp", static_cast<unsigned long>(hash), number);
    return DirectoryPart(target) + name;
}

// A file left at that name by an earlier run is no kept file of this one.
void ClearAside(const std::string& aside)
{
    if (GetFileAttributesA(aside.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesA(aside.c_str(), FILE_ATTRIBUTE_NORMAL);  // the delete tells whether it mattered
    DeleteFileA(aside.c_str());
    NoteFileChanged(aside);
}

bool KeepsOldFile(const TChange& change)
{
    return change.Kind == TChangeKind::File &&
           (change.FileOp == TFileOp::Copy || change.FileOp == TFileOp::Insert ||
            change.FileOp == TFileOp::ReplaceScript || change.FileOp == TFileOp::Delete);
}

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

// What puts an entry back, in the order to make it; a message instead when
// the change stays.
struct TInverse {
    std::vector<TChange> Changes;
    unsigned Kept = 0;
};

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

// A file's or directory's last-write time as it was before the run.
void RestoreTime(const std::string& path, const TState& before)
{
    if (!before.Present || !before.Dated) return;
    UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // The contents are back; a time that cannot be set is only a time.
    if (file) SetFileTime(file.Get(), nullptr, nullptr, &before.WriteTime);
}

}  // namespace

bool Journaled(const TChange& change)
{
    if (change.Nothing || change.Kind == TChangeKind::Restart) return false;
    return !(change.Kind == TChangeKind::File &&
             (change.FileOp == TFileOp::StageOwnFile || change.FileOp == TFileOp::StageLanguage));
}

TFailure TRollback::Before(TChange& change)
{
    TJournalEntry entry;
    entry.Number = m_next++;
    switch (change.Kind) {
    case TChangeKind::File:
        if (KeepsOldFile(change)) {
            change.Before = FileState(change.Path);
            if (change.Before.Present) {
                change.KeepAside = AsideName(change.Path, entry.Number);
                ClearAside(change.KeepAside);
            }
        }
        break;
    case TChangeKind::Directory:
        if (change.Action == TChangeAction::Create) entry.Levels = MissingDirectoryLevels(change.Path);
        if (change.Action == TChangeAction::Delete) change.Before = FileState(change.Path);
        break;
    case TChangeKind::RegistryKey:
        if (change.Action == TChangeAction::Create)
            entry.Levels = MissingKeyLevels(change.Root, change.SubKey);
        else
            entry.Values = RegistryValues(change.Root, change.SubKey);
        break;
    case TChangeKind::RegistryValue:
        change.Before = WholeRegistryValue(change.Root, change.SubKey, change.Name);
        break;
    case TChangeKind::IniValue:
        change.Before = WholeIniValue(change.Path, change.Section, change.Name);
        entry.FileBefore = FileState(change.Path);
        // An INI file of unusual size is put back value by value instead.
        if (entry.FileBefore.Size <= WholeIniLimit && m_iniFiles.insert(UpperAnsi(change.Path)).second) {
            entry.WholeFile = true;
            if (entry.FileBefore.Present) entry.FileBefore.Data = FileBytes(change.Path);
        }
        break;
    case TChangeKind::TextLine:
        entry.FileBefore = FileState(change.Path);
        break;
    case TChangeKind::Alias: {
        TAliasLookup found = m_machine.Alias(change.Name);
        change.Before = TState{};
        change.Before.Known = true;
        change.Before.Present = found.Found;
        // Kept in the ANSI code page, as an item's parameters are, for the engine call that puts them back.
        change.Before.Data = FromWide(ToWide(found.Params, CP_OEMCP));
        change.Before.Version = found.DriverType;
        break;
    }
    default:
        break;
    }
    entry.Change = change;
    DWORD code = m_journal.Write(entry);
    if (code != 0)
        return FailureOf(FormatMsg(MsgJournalUnwritable, m_journal.Path(), SystemMessageOrCode(static_cast<int32_t>(code))));
    m_entries.push_back(entry);
    return {};
}

void TRollback::After(const TChange& change, const TApplied& applied)
{
    if (!change.UntilReboot || m_entries.empty()) return;
    for (const TFailure& failure : applied.Failures)
        if (failure.GoesOn && !failure.Message.empty()) {
            m_entries.back().Scheduled = true;
            m_journal.MarkScheduled(m_entries.back().Number);  // not written: the undo finds nothing to put back
            return;
        }
}

bool TRollback::UndoEntries(bool withCount)
{
    size_t left = 0;
    for (const TJournalEntry& entry : m_entries) left += entry.Undone ? 0 : 1;
    if (left == 0) return m_journal.Remove();
    if (withCount) WriteLine(FormatMsg(left == 1 ? MsgRollingBackOne : MsgRollingBackMany, std::to_string(left)));
    TRegistryWrites writes;
    bool all = true;
    for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
        if (entry->Undone) continue;
        WriteText(FormatMsg(MsgItemLine, entry->Change.Target));
        TInverse inverse = Inverse(*entry, m_machine);
        std::vector<TFailure> failures;
        for (const TChange& step : inverse.Changes) {
            // A copy broken off in a directory the run made leaves its scratch file there.
            if (step.Kind == TChangeKind::Directory && step.Action == TChangeAction::Delete)
                RemoveScratchCopies(step.Path + "\\");
            TApplied applied = ApplyChange(step);
            m_machine.Made(step);
            failures.insert(failures.end(), applied.Failures.begin(), applied.Failures.end());
        }
        if (entry->Change.Kind == TChangeKind::IniValue || entry->Change.Kind == TChangeKind::TextLine)
            RestoreTime(entry->Change.Path, entry->FileBefore);
        if (entry->Change.Kind == TChangeKind::Directory && entry->Change.Action == TChangeAction::Delete)
            RestoreTime(entry->Change.Path, entry->Change.Before);
        if (inverse.Kept)
            ShowKept(Msg(inverse.Kept));
        else if (failures.empty())
            ReportOk();
        else
            for (const TFailure& failure : failures) ShowFailure(FailureText(failure));
        if (!failures.empty()) {
            all = false;
            continue;
        }
        entry->Undone = true;
        m_journal.MarkUndone(entry->Number);  // unwritten, the next run puts it back once more, to the same effect
    }
    if (!all) {
        WriteLine(Msg(MsgRollbackIncomplete));
        m_journal.Close();
        return false;
    }
    return m_journal.Remove();
}

bool TRollback::Undo()
{
    return UndoEntries(true);
}

bool TRollback::Resume(bool restartedCopy)
{
    TJournalContents left = ReadJournal(m_journal.Path());
    if (!left.Exists) return true;
    m_entries = left.Entries;
    for (const TJournalEntry& entry : m_entries) {
        m_next = std::max(m_next, entry.Number + 1);
        if (entry.WholeFile) m_iniFiles.insert(UpperAnsi(entry.Change.Path));
    }
    if (left.Committed) {
        Commit();
        return true;
    }
    if (left.HandedOver && restartedCopy) {
        m_journal.MarkContinued();
        return true;
    }
    bool anyLeft = false;
    bool aliases = false;
    for (const TJournalEntry& entry : m_entries) {
        anyLeft = anyLeft || !entry.Undone;
        aliases = aliases || (!entry.Undone && entry.Change.Kind == TChangeKind::Alias);
    }
    if (anyLeft) WriteLine(Msg(MsgFinishingRollback));
    // Aliases go back through the engine, which this run has not started yet;
    // a failed start shows in the failure of their undo.
    bool engine = aliases && DbiInit(nullptr) == DBIERR_NONE;
    bool finished = UndoEntries(false);
    if (engine) {
        std::string failure = EngineFailureText(DbiCfgSave(nullptr, nullptr, DbiTrue));
        if (!failure.empty()) {
            ShowFailure(failure);
            finished = false;
        }
        DbiExit();
    }
    m_entries.clear();
    return finished;
}

void TRollback::Commit()
{
    if (m_entries.empty()) return;
    // Marked first: a run ended now finishes the cleaning and never undoes.
    m_journal.MarkCommitted();
    for (const TJournalEntry& entry : m_entries)
        if (!entry.Change.KeepAside.empty()) ClearAside(entry.Change.KeepAside);
    m_journal.Remove();
    m_entries.clear();
}

void TRollback::HandOver()
{
    if (m_entries.empty()) return;
    m_journal.MarkHandedOver();
    m_journal.Close();
}

std::vector<TUndoAhead> UndoAhead(const std::string& journalPath, TMachineView& machine)
{
    std::vector<TUndoAhead> ahead;
    TJournalContents left = ReadJournal(journalPath);
    if (!left.Exists || left.Committed) return ahead;
    for (auto entry = left.Entries.rbegin(); entry != left.Entries.rend(); ++entry) {
        if (entry->Undone) continue;
        TInverse inverse = Inverse(*entry, machine);
        TUndoAhead step;
        step.Line = FormatMsg(MsgItemLine, entry->Change.Target);
        step.Changes = inverse.Changes;
        step.Kept = inverse.Kept;
        ahead.push_back(step);
    }
    return ahead;
}
