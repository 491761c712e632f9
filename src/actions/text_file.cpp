#include "actions/text_file.h"

#include <windows.h>

#include "core/errors.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "script/dispatch.h"
#include "script/expand.h"
#include "script/script_image.h"

namespace {

constexpr DWORD ReadChunkSize = 64 * 1024;
constexpr const char* LineEnd = "\r\n";

[[noreturn]] void RaiseLastIoError()
{
    throw IoError(GetLastError());
}

bool IsExistingFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Others may read the file while we hold it, but nobody may write to it.
HANDLE OpenForReading(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

std::string UpperAnsi(std::string text)
{
    if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
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

std::string EntryKey(int item, int entry, unsigned partId)
{
    return Msg(WordText) + std::to_string(item) + Msg(WordStr) + std::to_string(entry) + Msg(partId);
}

}  // namespace

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
    if (!IsExistingFile(path)) {
        // OPEN_ALWAYS: a file that appeared since the test above is kept as it is.
        UniqueFile created(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!created) {
            DWORD code = GetLastError();
            ReportError(FormatMsg(MsgCantOpenOrCreate, path, static_cast<long>(code)));
            FailRun();
            return false;
        }
    }
    file.m_handle.Reset(OpenForReading(path));
    if (!file.m_handle) {
        DWORD code = GetLastError();
        ReportError(FormatMsg(MsgCantOpenOrCreate, path, static_cast<long>(code)));
        FailRun();
        return false;
    }
    return true;
}

void EditTextFile(TTextFile& file, const std::string& prefix, const std::string& full, char mode)
{
    std::string expandedPrefix = ExpandConstants(DecodeEscapes(prefix), ExpandPlain);
    if (mode != 'I') {
        ReportItem(FormatMsg(MsgValueLine, expandedPrefix));
        ReportError(Msg(MsgNotSupported));
        FailRun();
        return;
    }
    std::string expandedFull = ExpandConstants(DecodeEscapes(full), ExpandPlain);
    std::string upperPrefix = UpperAnsi(expandedPrefix);
    for (;;) {
        if (file.m_appending || file.AtEnd()) {
            ReportItem(FormatMsg(MsgValueLine, expandedPrefix));
            file.Append(file.m_lastLine.empty() ? expandedFull : LineEnd + expandedFull);
            file.m_lastLine = expandedFull;
            ReportOk();
            return;
        }
        file.m_lastLine = file.ReadLine();
        if (LineMatches(file.m_lastLine, upperPrefix)) return;
    }
}

void CloseTextFile(TTextFile& file)
{
    if (!file.m_handle) return;
    if (!CloseHandle(file.m_handle.Release())) RaiseLastIoError();
}

void ProcessTextItem(const std::string& scriptPath, const std::string& section, int item, char mode)
{
    std::string path = ExpandConstants(ItemValue, ExpandPath);
    ReportItem(FormatMsg(MsgItemLine, ExpandConstants(ItemValue, ExpandPlain)));
    TTextFile file;
    if (!OpenTextFile(path, file)) return;
    bool anyEntry = false;
    for (int entry = 1; Run.RunOk; ++entry) {
        std::string prefix = ReadScriptString(scriptPath, section, EntryKey(item, entry, WordPrefix));
        if (prefix.empty()) break;
        std::string full = ReadScriptString(scriptPath, section, EntryKey(item, entry, WordFull));
        if (!anyEntry) WriteLine();
        anyEntry = true;
        EditTextFile(file, prefix, full, mode);
    }
    CloseTextFile(file);
    if (!anyEntry) WriteLine();
}
