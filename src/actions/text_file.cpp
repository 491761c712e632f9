#include "actions/text_file.h"

#include <windows.h>

#include "actions/file_apply.h"
#include "core/ansi_text.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/report.h"

namespace {

constexpr DWORD WriteChunkSize = 64 * 1024;
constexpr const char* LineEnd = "\r\n";

[[noreturn]] void RaiseLastIoError()
{
    throw IoError(GetLastError());
}

// The line, without the characters of codes 0..32 around it and in upper
// case, begins with the (upper-case) prefix. Only as much of the line as the
// prefix is long is converted. An empty prefix matches nothing, so its line
// is added on every run.
bool LineMatches(const std::string& line, const std::string& upperPrefix)
{
    if (line.empty() || upperPrefix.empty()) return false;
    size_t first = 0;
    size_t last = line.size();
    while (first < last && static_cast<unsigned char>(line[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(line[last - 1]) <= ' ') --last;
    if (last - first < upperPrefix.size()) return false;
    return UpperAnsi(line.substr(first, upperPrefix.size())) == upperPrefix;
}

TFailure CantOpenOrCreate(const std::string& path, DWORD code)
{
    return FailureOf(FormatMsg(MsgCantOpenOrCreate, path, static_cast<long>(code)));
}

}  // namespace

std::string TTextReader::ReadLine()
{
    std::string line;
    while (m_position < m_bytes.size()) {
        char c = m_bytes[m_position++];
        if (c == '\n') break;
        if (c != '\r') {
            line.push_back(c);
            continue;
        }
        if (AtEnd()) break;
        if (m_bytes[m_position] == '\n') {
            ++m_position;
            break;
        }
    }
    return line;
}

std::optional<TChange> DecideTextEntry(TTextReader& file, const std::string& path, const TTextEntry& entry,
                                       TSectionMode mode)
{
    TChange change;
    change.Kind = TChangeKind::TextLine;
    change.Action = TChangeAction::Append;
    change.Target = path;
    change.Path = path;
    change.Line = FormatMsg(MsgValueLine, entry.Prefix);
    if (mode != TSectionMode::Insert) {
        change.Failure = FailureOf(Msg(MsgNotSupported));
        return change;
    }
    std::string upperPrefix = UpperAnsi(entry.Prefix);
    // Once the end has been reached, every later entry of the item is added.
    while (!file.Appending && !file.AtEnd()) {
        file.LastLine = file.ReadLine();
        if (LineMatches(file.LastLine, upperPrefix)) return std::nullopt;
    }
    change.Reason = Msg(MsgPlanMissing);
    change.Before.Known = change.After.Known = true;
    change.Before.Size = file.Length();
    change.After.Present = true;
    // The previous last line is closed first; the new one stays open.
    change.After.Data = file.LastLine.empty() ? entry.Full : LineEnd + entry.Full;
    change.After.Size = file.Length() + static_cast<int64_t>(change.After.Data.size());
    file.Appending = true;
    file.LastLine = entry.Full;
    file.Appended(change.After.Data.size());
    return change;
}

namespace {

// Undo: the file cut back to its length before the run appended to it, and
// its last-write time as it was.
TApplied CutBack(const TChange& change)
{
    UniqueFile file(CreateFileA(change.Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        // A file that is gone was made by the run, and its own undo removes it.
        return error == ERROR_FILE_NOT_FOUND ? TApplied{} : Applied(FailureOf(static_cast<int32_t>(error)));
    }
    LARGE_INTEGER length;
    length.QuadPart = change.Before.Size;
    if (!SetFilePointerEx(file.Get(), length, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get()))
        return Applied(FailureOf(static_cast<int32_t>(GetLastError())));
    if (change.Before.Dated) SetFileTime(file.Get(), nullptr, nullptr, &change.Before.WriteTime);  // the content is what matters
    NoteFileChanged(change.Path);
    return {};
}

}  // namespace

TApplied ApplyTextChange(const TChange& change)
{
    if (change.Action == TChangeAction::Delete) return CutBack(change);
    UniqueFile writer(CreateFileA(change.Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writer) RaiseLastIoError();
    NoteFileChanged(change.Path);
    LONG high = 0;
    if (SetFilePointer(writer.Get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        RaiseLastIoError();
    const char* data = change.After.Data.data();
    size_t left = change.After.Data.size();
    while (left > 0) {
        DWORD written = 0;
        DWORD chunk = left > WriteChunkSize ? WriteChunkSize : static_cast<DWORD>(left);
        if (!WriteFile(writer.Get(), data, chunk, &written, nullptr)) RaiseLastIoError();
        if (written == 0) throw IoError(ERROR_DISK_FULL);
        data += written;
        left -= written;
    }
    if (!CloseHandle(writer.Release())) RaiseLastIoError();
    return {};
}

bool ProcessTextItem(const TTextItem& item, TSectionMode mode, TSteps& steps)
{
    ReportItem(FormatMsg(MsgItemLine, item.Shown));
    bool ok = true;
    if (IsDeviceName(item.Path)) {
        Take(steps, FailedStep(TChangeKind::TextLine, item.Path, FailureOf(FormatMsg(MsgNotADiskFile, item.Path))), ok);
        return false;
    }
    TMachineView& machine = steps.Machine();
    TTextRead read = machine.TextFile(item.Path);
    if (read.Status == TTextRead::Missing) {
        if (!Take(steps, EmptyFileCreation(item.Path), ok) || !ok) return false;
        read = machine.TextFile(item.Path);
    }
    if (read.Status == TTextRead::OpenFailed || read.Status == TTextRead::NotADiskFile) {
        TFailure failure = read.Status == TTextRead::OpenFailed ? CantOpenOrCreate(item.Path, read.Code)
                                                                : FailureOf(FormatMsg(MsgNotADiskFile, item.Path));
        Take(steps, FailedStep(TChangeKind::TextLine, item.Path, failure), ok);
        return false;
    }
    TTextReader file(read.Bytes);
    bool anyEntry = false;
    for (const TTextEntry& entry : item.Entries) {
        if (!anyEntry) WriteLine();
        anyEntry = true;
        std::optional<TChange> change = DecideTextEntry(file, item.Path, entry, mode);
        if (change && !Take(steps, *change, ok)) break;
    }
    if (!anyEntry) WriteLine();
    return ok;
}
