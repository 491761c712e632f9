#include "actions/text_file.h"

#include <windows.h>

#include "core/ansi_text.h"
#include "core/dir_listing.h"
#include "core/disk_files.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

constexpr DWORD ReadChunkSize = 64 * 1024;
constexpr const char* LineEnd = "\r\n";

[[noreturn]] void RaiseLastIoError()
{
    throw IoError(GetLastError());
}

// Others may read the file while we hold it, but nobody may write to it.
HANDLE OpenForReading(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
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

void CantOpenOrCreate(const std::string& path, DWORD code)
{
    FailStep(FormatMsg(MsgCantOpenOrCreate, path, static_cast<long>(code)));
}

}  // namespace

// Opens `source` for reading the item's file `path`: a failure names `path`.
bool OpenReader(const std::string& source, const std::string& path, TTextFile& file)
{
    file.m_handle.Reset(OpenForReading(source));
    if (!file.m_handle) {
        CantOpenOrCreate(path, GetLastError());
        return false;
    }
    // A pipe or device behind the name would keep the read waiting.
    if (!IsDiskFile(file.m_handle.Get())) {
        file.m_handle.Reset();
        FailStep(FormatMsg(MsgNotADiskFile, path));
        return false;
    }
    return true;
}

// A plan reads what the file would hold by then and creates nothing: a
// missing file reads as empty, unless its directory is missing too, which
// the run's creation would fail on.
bool OpenForPlan(const std::string& path, TTextFile& file)
{
    std::string source = PathToRead(path);
    if (source == path && !IsFilePath(path)) {
        if (!ParentWouldExist(path)) {
            CantOpenOrCreate(path, ERROR_PATH_NOT_FOUND);
            return false;
        }
        file.m_missing = true;
        return true;
    }
    return OpenReader(source, path, file);
}

bool TTextFile::Fill()
{
    m_buffer.resize(ReadChunkSize);
    DWORD read = 0;
    if (!ReadFile(m_handle.Get(), m_buffer.data(), ReadChunkSize, &read, nullptr)) RaiseLastIoError();
    m_buffer.resize(read);
    m_position = 0;
    return read > 0;
}

int TTextFile::NextByte()
{
    if (m_position >= m_buffer.size() && !Fill()) return -1;
    return static_cast<unsigned char>(m_buffer[m_position++]);
}

bool TTextFile::AtEnd()
{
    if (m_missing) return true;
    return m_position >= m_buffer.size() && !Fill();
}

// A line ends at LF or CR LF; a CR not followed by LF is dropped; Ctrl-Z is
// ordinary text. The last line may lack a line end.
std::string TTextFile::ReadLine()
{
    std::string line;
    for (int c = NextByte(); c != -1 && c != '\n'; c = NextByte()) {
        if (c != '\r') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (AtEnd()) break;
        if (m_buffer[m_position] == '\n') {
            ++m_position;
            break;
        }
    }
    return line;
}

void TTextFile::Append(const std::string& text)
{
    if (!m_appending) {
        // Reading is over for this item: from here on the file is only written at its end.
        m_handle.Reset();
        m_buffer.clear();
        m_position = 0;
        UniqueFile writer(CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!writer) RaiseLastIoError();
        NoteFileChanged(m_path);
        LONG high = 0;
        if (SetFilePointer(writer.Get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
            GetLastError() != NO_ERROR)
            RaiseLastIoError();
        m_handle = std::move(writer);
        m_appending = true;
    }
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        DWORD chunk = left > ReadChunkSize ? ReadChunkSize : static_cast<DWORD>(left);
        if (!WriteFile(m_handle.Get(), data, chunk, &written, nullptr)) RaiseLastIoError();
        if (written == 0) throw IoError(ERROR_DISK_FULL);
        data += written;
        left -= written;
    }
}

bool OpenTextFile(const std::string& path, TTextFile& file)
{
    file = TTextFile();
    file.m_path = path;
    if (IsDeviceName(path)) {
        FailStep(FormatMsg(MsgNotADiskFile, path));
        return false;
    }
    if (Run.Plan.Active) return OpenForPlan(path, file);
    if (!IsFilePath(path)) {
        // OPEN_ALWAYS: a file that appeared since the test above is kept as it is.
        UniqueFile created(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!created) {
            CantOpenOrCreate(path, GetLastError());
            return false;
        }
        NoteFileChanged(path);
    }
    return OpenReader(path, path, file);
}

TTextChange DecideTextEntry(TTextFile& file, const TTextEntry& entry, TSectionMode mode)
{
    if (mode != TSectionMode::Insert) return TTextChange::NotSupported;
    std::string upperPrefix = UpperAnsi(entry.Prefix);
    for (;;) {
        // Once the end has been reached, every later entry of the item is added.
        if (file.m_appending || file.AtEnd()) return TTextChange::Append;
        file.m_lastLine = file.ReadLine();
        if (LineMatches(file.m_lastLine, upperPrefix)) return TTextChange::Present;
    }
}

void ApplyTextEntry(TTextFile& file, const TTextEntry& entry, TTextChange change)
{
    switch (change) {
    case TTextChange::Present:
        return;
    case TTextChange::NotSupported:
        ReportItem(FormatMsg(MsgValueLine, entry.Prefix));
        FailStep(Msg(MsgNotSupported));
        return;
    case TTextChange::Append:
        ReportItem(FormatMsg(MsgValueLine, entry.Prefix));
        if (Run.Plan.Active) {
            // Every later entry of the item is added too, as in a run.
            file.m_appending = true;
            file.m_lastLine = entry.Full;
            return ReportChange(TChangeKind::TextLine, Msg(MsgPlanMissing));
        }
        // The previous last line is closed first; the new one stays open.
        file.Append(file.m_lastLine.empty() ? entry.Full : LineEnd + entry.Full);
        file.m_lastLine = entry.Full;
        ReportOk();
        return;
    }
}

void CloseTextFile(TTextFile& file)
{
    if (!file.m_handle) return;
    if (!CloseHandle(file.m_handle.Release())) RaiseLastIoError();
}

void ProcessTextItem(const TTextItem& item, TSectionMode mode)
{
    ReportItem(FormatMsg(MsgItemLine, item.Shown));
    TTextFile file;
    if (!OpenTextFile(item.Path, file)) return;
    bool anyEntry = false;
    for (const TTextEntry& entry : item.Entries) {
        if (!Run.RunOk) break;
        if (!anyEntry) WriteLine();
        anyEntry = true;
        ApplyTextEntry(file, entry, DecideTextEntry(file, entry, mode));
    }
    CloseTextFile(file);
    if (!anyEntry) WriteLine();
}
