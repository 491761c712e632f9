#include "run/rollback.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "actions/changes.h"
#include "actions/file_copy.h"
#include "actions/registry.h"
#include "core/ansi_text.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"
#include "engine/engine.h"
#include "machine/before_state.h"
#include "run/kept_files.h"
#include "run/undo_steps.h"

namespace {

constexpr int64_t WholeIniLimit = 1 << 20;

bool KeepsOldFile(const TChange& change)
{
    return change.Kind == TChangeKind::File &&
           (change.FileOp == TFileOp::Copy || change.FileOp == TFileOp::Insert ||
            change.FileOp == TFileOp::ReplaceScript || change.FileOp == TFileOp::Delete);
}

// What is at a file change's target now, as the run's listings answer it: a
// target the decision has just found missing is not asked for again (a
// missing name costs Wine a scan of its whole directory).
TState TargetState(const TChange& change, TMachineView& machine)
{
    TState state;
    state.Known = true;
    if (change.Before.Known && !change.Before.Present) return state;
    TEntry entry = machine.Entry(change.Path);
    if (!entry.Exists) return state;
    state.Present = state.Dated = true;
    state.Size = entry.Size;
    state.WriteTime = entry.WriteTime;
    state.Attributes = entry.Attributes;
    return state;
}

bool SameFileState(const TState& a, const TState& b)
{
    if (a.Present != b.Present) return false;
    return !a.Present || (a.Size == b.Size && a.Attributes == b.Attributes && a.Dated == b.Dated &&
                          CompareFileTime(&a.WriteTime, &b.WriteTime) == 0);
}

// The copy journaled ahead is the one decided at its turn: the same source as
// the decision saw it, onto a target that is still as the record has it.
bool SameCopy(const TChange& written, const TChange& now, const TState& targetNow)
{
    return written.Kind == now.Kind && written.FileOp == now.FileOp && written.Action == now.Action &&
           written.UntilReboot == now.UntilReboot && PathKey(written.Path) == PathKey(now.Path) &&
           written.From == now.From && SameFileState(written.FromState, now.FromState) &&
           written.Release == now.Release && written.Sha256 == now.Sha256 &&
           SameFileState(written.Before, targetNow);
}

TFailure Unwritable(const TJournal& journal, DWORD code)
{
    return FailureOf(FormatMsg(MsgJournalUnwritable, journal.Path(), SystemMessageOrCode(static_cast<int32_t>(code))));
}

}  // namespace

bool Journaled(const TChange& change)
{
    if (change.Nothing || change.Kind == TChangeKind::Restart) return false;
    return !(change.Kind == TChangeKind::File &&
             (change.FileOp == TFileOp::StageOwnFile || change.FileOp == TFileOp::StageLanguage));
}

void TRollback::KeepOld(TChange& change, int number)
{
    change.Before = TargetState(change, m_machine);
    change.KeepAside.clear();
    if (!change.Before.Present) return;
    change.KeepAside = KeptName(change.Path, number, m_journal.Path());
    // A file left at that name by an earlier run is no kept file of this one.
    // There is none where the keep directory was not there before the run:
    // asked once per directory, not per name (each costs a look at the system).
    std::string keep = KeepDirectoryOf(change.KeepAside);
    if (!keep.empty()) {
        auto [known, fresh] = m_keepsLeft.try_emplace(PathKey(keep));
        if (fresh) known->second = m_machine.Entry(keep.substr(0, keep.size() - 1)).Exists;
        if (!known->second) return;
    }
    if (m_machine.Entry(change.KeepAside).Exists) RemoveKept(change.KeepAside);
}

TJournalEntry* TRollback::Entry(int number)
{
    for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry)
        if (entry->Number == number) return &*entry;
    return nullptr;
}

TRollback::TClaim TRollback::ClaimAhead(TChange& change, TJournalBatch& batch, DWORD& code)
{
    auto found = change.Kind == TChangeKind::File ? m_ahead.find(PathKey(change.Path)) : m_ahead.end();
    if (found == m_ahead.end()) return TClaim::None;
    int number = found->second;
    m_ahead.erase(found);
    bool kept = false;
    code = m_writer.Wait(number, kept);
    // Entries written ahead are among the last ones.
    auto last = std::find_if(m_entries.rbegin(), m_entries.rend(),
                             [number](const TJournalEntry& e) { return e.Number == number; });
    if (last == m_entries.rend()) return TClaim::None;
    auto entry = std::next(last).base();
    if (kept) NoteFileChanged(entry->Change.KeepAside);
    if (code != 0) {
        entry->Undone = true;  // perhaps never on the disk: its change is not made
        return TClaim::Unwritten;
    }
    if (!SameCopy(entry->Change, change, TargetState(change, m_machine))) {
        // Decided otherwise at its turn: the record covers nothing, and the
        // old file's second name goes before the record says so.
        if (kept) RemoveSecondName(entry->Change);
        entry->Undone = true;
        batch.AddUndone(number);
        return TClaim::None;
    }
    change.Before = entry->Change.Before;
    // Kept by its second name already: the copy only puts the new file in place.
    change.KeepAside = kept ? std::string() : entry->Change.KeepAside;
    // From here on it is an entry like any other, in the place of its change:
    // the run's own undo goes back in the order the changes were made.
    TJournalEntry claimed = std::move(*entry);
    claimed.Ahead = false;
    m_entries.erase(entry);
    m_entries.push_back(std::move(claimed));
    m_current = number;
    return TClaim::Claimed;
}

bool TRollback::Finish()
{
    // The journal goes last: a run ended before finds the directories through it.
    RemoveKeepDirectories(m_entries);
    return m_journal.Remove();
}

TJournal& TRollback::Journal()
{
    m_writer.Idle();
    return m_journal;
}

TFailure TRollback::Before(TChange& change)
{
    TJournalBatch batch;
    DWORD code = 0;
    switch (ClaimAhead(change, batch, code)) {
    case TClaim::Claimed:
        return {};
    case TClaim::Unwritten:
        return Unwritable(m_journal, code);
    case TClaim::None:
        break;
    }
    TJournalEntry entry;
    entry.Number = m_next++;
    switch (change.Kind) {
    case TChangeKind::File:
        if (KeepsOldFile(change)) KeepOld(change, entry.Number);
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
    batch.Add(entry);
    m_entries.push_back(entry);
    m_current = entry.Number;
    code = Journal().Write(batch);
    if (code != 0) {
        // Not on the disk for sure: the change is not made, and there is nothing of it to put back.
        m_entries.back().Undone = true;
        return Unwritable(m_journal, code);
    }
    return {};
}

void TRollback::Ahead(const TChange& change)
{
    if (!Journaled(change) || !KeepsOldFile(change)) return;
    std::string key = PathKey(change.Path);
    if (m_ahead.count(key)) return;  // one record ahead per target
    TJournalEntry entry;
    entry.Number = m_next++;
    entry.Ahead = true;
    entry.Change = change;
    KeepOld(entry.Change, entry.Number);
    m_writer.Submit(entry);
    m_ahead[key] = entry.Number;
    m_entries.push_back(std::move(entry));
}

void TRollback::SendAhead()
{
    m_writer.Send();
}

void TRollback::EndAhead()
{
    // The walk ended before their turns: nothing of them was made. A second
    // name given ahead goes before the record says so.
    TJournalBatch batch;
    for (const auto& [key, number] : m_ahead) {
        bool kept = false;
        DWORD code = m_writer.Wait(number, kept);
        TJournalEntry* entry = Entry(number);
        if (!entry) continue;
        if (kept) RemoveSecondName(entry->Change);
        entry->Undone = true;
        if (code == 0) batch.AddUndone(number);
    }
    m_ahead.clear();
    m_writer.Stop();
    m_journal.Write(batch);  // unwritten, the disk tells the next run as much
}

void TRollback::After(const TChange& change, const TApplied& applied)
{
    TJournalEntry* entry = m_current ? Entry(m_current) : nullptr;
    if (!change.UntilReboot || !entry) return;
    for (const TFailure& failure : applied.Failures)
        if (failure.GoesOn && !failure.Message.empty()) {
            entry->Scheduled = true;
            Journal().MarkScheduled(entry->Number);  // not written: the undo finds nothing to put back
            return;
        }
}

bool TRollback::UndoEntries(bool withCount)
{
    EndAhead();
    std::vector<bool> neverMade = NeverMade(m_entries);
    size_t left = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) left += m_entries[i].Undone || neverMade[i] ? 0 : 1;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (neverMade[i]) TidyNeverMade(m_entries[i].Change);
    if (left == 0) return Finish();
    if (withCount) WriteLine(FormatMsg(left == 1 ? MsgRollingBackOne : MsgRollingBackMany, std::to_string(left)));
    TRegistryWrites writes;
    bool all = true;
    for (size_t i = m_entries.size(); i-- > 0;) {
        TJournalEntry* entry = &m_entries[i];
        if (entry->Undone || neverMade[i]) continue;
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
        // A copy left for the restart of Windows keeps the old file in place:
        // a second name given to it ahead goes.
        if (entry->Scheduled && !entry->Change.KeepAside.empty() &&
            SameFile(entry->Change.KeepAside, entry->Change.Path))
            RemoveSecondName(entry->Change);
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
    return Finish();
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
    std::vector<bool> neverMade = NeverMade(m_entries);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        bool left = !m_entries[i].Undone && !neverMade[i];
        anyLeft = anyLeft || left;
        aliases = aliases || (left && m_entries[i].Change.Kind == TChangeKind::Alias);
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
    EndAhead();
    if (m_entries.empty()) return;
    // Marked first: a run ended now finishes the cleaning and never undoes.
    m_journal.MarkCommitted();
    // A file put back, or never kept (a record that covered nothing), is not aside.
    for (const TJournalEntry& entry : m_entries) {
        const TChange& c = entry.Change;
        if (entry.Undone || c.KeepAside.empty()) continue;
        // A record ahead read back from the journal may have left the target's
        // second name alone; the two names share the target's attributes.
        if (entry.Ahead && SameFile(c.KeepAside, c.Path))
            RemoveSecondName(c);
        else
            RemoveKept(c.KeepAside);
    }
    Finish();
    m_entries.clear();
}

void TRollback::HandOver()
{
    EndAhead();
    if (m_entries.empty()) return;
    m_journal.MarkHandedOver();
    m_journal.Close();
}

std::vector<TUndoAhead> UndoAhead(const std::string& journalPath, TMachineView& machine)
{
    std::vector<TUndoAhead> ahead;
    TJournalContents left = ReadJournal(journalPath);
    if (!left.Exists || left.Committed) return ahead;
    std::vector<bool> neverMade = NeverMade(left.Entries);
    for (size_t i = left.Entries.size(); i-- > 0;) {
        const TJournalEntry* entry = &left.Entries[i];
        if (entry->Undone || neverMade[i]) continue;
        TInverse inverse = Inverse(*entry, machine);
        TUndoAhead step;
        step.Line = FormatMsg(MsgItemLine, entry->Change.Target);
        step.Changes = inverse.Changes;
        step.Kept = inverse.Kept;
        ahead.push_back(step);
    }
    return ahead;
}
