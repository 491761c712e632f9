#include "run/journal.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <stdexcept>

#include "core/disk_files.h"

namespace {

constexpr const char* FirstLine = "Vantorel rollback journal 1";

uint32_t Crc32(const std::string& text)
{
    static uint32_t table[256] = {};
    if (table[1] == 0)
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : text) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// Tabs, line ends, "%" and control characters as %XX; the rest as it is.
std::string Escaped(const std::string& value)
{
    std::string out;
    for (unsigned char c : value) {
        if (c < 0x20 || c == '%' || c == '=') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Unescaped(const std::string& value)
{
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

class TRecord {
public:
    explicit TRecord(const char* type) : m_text(type) {}
    TRecord& Field(const char* key, const std::string& value)
    {
        m_text += std::string("\t") + key + "=" + Escaped(value);
        return *this;
    }
    TRecord& Number(const char* key, int64_t value) { return Field(key, std::to_string(value)); }
    TRecord& State(const char* prefix, const TState& state)
    {
        std::string p = prefix;
        if (!state.Known) return *this;
        Number((p + "present").c_str(), state.Present);
        Number((p + "size").c_str(), state.Size);
        if (state.Dated)
            Field((p + "time").c_str(), std::to_string(state.WriteTime.dwHighDateTime) + ":" +
                                            std::to_string(state.WriteTime.dwLowDateTime));
        Number((p + "attr").c_str(), state.Attributes);
        Number((p + "type").c_str(), state.Type);
        Field((p + "data").c_str(), state.Data);
        if (!state.Version.empty()) Field((p + "version").c_str(), state.Version);
        return *this;
    }
    std::string Line() const
    {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X", Crc32(m_text));
        return m_text + "\t#" + crc + "\r\n";
    }

private:
    std::string m_text;
};

// The fields of one record in their order ("level" and "vname" repeat).
using TFields = std::vector<std::pair<std::string, std::string>>;

std::string Get(const TFields& fields, const std::string& key)
{
    for (const auto& [name, value] : fields)
        if (name == key) return value;
    return {};
}

int64_t GetNumber(const TFields& fields, const std::string& key)
{
    std::string text = Get(fields, key);
    return text.empty() ? 0 : std::stoll(text);
}

TState GetState(const TFields& fields, const std::string& prefix)
{
    TState state;
    if (Get(fields, prefix + "present").empty()) return state;
    state.Known = true;
    state.Present = GetNumber(fields, prefix + "present") != 0;
    state.Size = GetNumber(fields, prefix + "size");
    std::string time = Get(fields, prefix + "time");
    if (!time.empty()) {
        size_t colon = time.find(':');
        state.WriteTime.dwHighDateTime = static_cast<DWORD>(std::stoul(time.substr(0, colon)));
        state.WriteTime.dwLowDateTime = static_cast<DWORD>(std::stoul(time.substr(colon + 1)));
        state.Dated = true;
    }
    state.Attributes = static_cast<DWORD>(GetNumber(fields, prefix + "attr"));
    state.Type = static_cast<DWORD>(GetNumber(fields, prefix + "type"));
    state.Data = Get(fields, prefix + "data");
    state.Version = Get(fields, prefix + "version");
    return state;
}

std::string EntryLine(const TJournalEntry& entry)
{
    const TChange& c = entry.Change;
    TRecord record("change");
    record.Number("n", entry.Number)
        .Number("kind", static_cast<int>(c.Kind))
        .Number("action", static_cast<int>(c.Action))
        .Number("op", static_cast<int>(c.FileOp))
        .Field("target", c.Target)
        .Field("path", c.Path)
        .Field("from", c.From)
        .Field("to", c.To)
        .Field("aside", c.KeepAside)
        .Number("reboot", c.UntilReboot)
        .Number("root", static_cast<int64_t>(reinterpret_cast<uintptr_t>(c.Root)))
        .Field("subkey", c.SubKey)
        .Field("name", c.Name)
        .Field("section", c.Section)
        .Field("drivertype", c.DriverType)
        .State("b.", c.Before)
        .State("a.", c.After)
        .State("f.", entry.FileBefore)
        .Number("whole", entry.WholeFile);
    if (entry.Ahead) record.Number("ahead", 1);
    for (const std::string& level : entry.Levels) record.Field("level", level);
    for (const auto& [name, value] : entry.Values) record.Field("vname", name).State("v.", value);
    return record.Line();
}

TJournalEntry EntryOf(const TFields& fields)
{
    TJournalEntry entry;
    TChange& c = entry.Change;
    entry.Number = static_cast<int>(GetNumber(fields, "n"));
    c.Kind = static_cast<TChangeKind>(GetNumber(fields, "kind"));
    c.Action = static_cast<TChangeAction>(GetNumber(fields, "action"));
    c.FileOp = static_cast<TFileOp>(GetNumber(fields, "op"));
    c.Target = Get(fields, "target");
    c.Path = Get(fields, "path");
    c.From = Get(fields, "from");
    c.To = Get(fields, "to");
    c.KeepAside = Get(fields, "aside");
    c.UntilReboot = GetNumber(fields, "reboot") != 0;
    c.Root = reinterpret_cast<HKEY>(static_cast<uintptr_t>(GetNumber(fields, "root")));
    c.SubKey = Get(fields, "subkey");
    c.Name = Get(fields, "name");
    c.Section = Get(fields, "section");
    c.DriverType = Get(fields, "drivertype");
    c.Before = GetState(fields, "b.");
    c.After = GetState(fields, "a.");
    entry.FileBefore = GetState(fields, "f.");
    entry.WholeFile = GetNumber(fields, "whole") != 0;
    entry.Ahead = GetNumber(fields, "ahead") != 0;  // absent in the records of older runs
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].first == "level") entry.Levels.push_back(fields[i].second);
        if (fields[i].first != "vname") continue;
        // The value's state fields follow its name.
        TFields state;
        for (size_t k = i + 1; k < fields.size() && fields[k].first.rfind("v.", 0) == 0; ++k)
            state.push_back(fields[k]);
        entry.Values.emplace_back(fields[i].second, GetState(state, "v."));
    }
    return entry;
}

// A line's type and fields; false for a line cut off or damaged.
bool ParseLine(const std::string& line, std::string& type, TFields& fields)
{
    size_t mark = line.rfind("\t#");
    if (mark == std::string::npos) return false;
    std::string body = line.substr(0, mark);
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", Crc32(body));
    if (line.substr(mark + 2) != crc) return false;
    size_t at = body.find('\t');
    type = body.substr(0, at);
    while (at != std::string::npos) {
        size_t next = body.find('\t', at + 1);
        std::string field = body.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        size_t equals = field.find('=');
        if (equals == std::string::npos) return false;
        fields.emplace_back(field.substr(0, equals), Unescaped(field.substr(equals + 1)));
        at = next;
    }
    return true;
}

// Whether the file of that size ends with a record's line end; false when it
// cannot be told (the next record then starts on a fresh line, which a reader
// passes over when empty).
bool EndsWithLineEnd(HANDLE file, int64_t size)
{
    if (size < 2) return false;
    LARGE_INTEGER at{};
    at.QuadPart = size - 2;
    char last[2] = {};
    DWORD read = 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, last, 2, &read, nullptr) || read != 2)
        return false;
    return last[0] == '\r' && last[1] == '\n';
}

}  // namespace

TJournalContents ReadJournal(const std::string& path)
{
    TJournalContents contents;
    // A script of a device's name would have the journal read the device and wait.
    if (IsDeviceName(path)) return contents;
    // A plan reads the journal of a run that is still writing it.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !IsDiskFile(file.Get())) return contents;
    contents.Exists = true;
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    std::map<int, size_t> byNumber;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) break;  // the last line was cut off: its change was never made
        std::string line = text.substr(start, end - start);
        start = end + 2;
        std::string type;
        TFields fields;
        int number = 0;
        TJournalEntry entry;
        try {
            if (line == FirstLine || !ParseLine(line, type, fields)) continue;
            number = static_cast<int>(GetNumber(fields, "n"));
            if (type == "change") entry = EntryOf(fields);
        } catch (const std::exception&) {
            continue;  // not a record this program wrote
        }
        if (type == "change") {
            byNumber[number] = contents.Entries.size();
            contents.Entries.push_back(entry);
        } else if ((type == "undone" || type == "scheduled") && byNumber.count(number)) {
            TJournalEntry& entry = contents.Entries[byNumber[number]];
            (type == "undone" ? entry.Undone : entry.Scheduled) = true;
        } else if (type == "handover") {
            contents.HandedOver = true;
        } else if (type == "commit") {
            contents.Committed = true;
        } else if (type == "continued") {
            contents.HandedOver = false;
        }
    }
    return contents;
}

DWORD TJournal::Append(const std::string& records)
{
    std::string text;
    if (!m_file) {
        if (IsDeviceName(m_path)) return ERROR_INVALID_NAME;
        m_file.Reset(CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_file) return GetLastError();
        if (!IsDiskFile(m_file.Get())) {
            m_file.Reset();
            return ERROR_INVALID_NAME;
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(m_file.Get(), &size)) return WriteFailed(GetLastError());
        if (size.QuadPart == 0)
            text = std::string(FirstLine) + "\r\n";
        else if (!EndsWithLineEnd(m_file.Get(), size.QuadPart))
            text = "\r\n";  // a record cut off before: the next one must not run into it
        LARGE_INTEGER end{};
        if (!SetFilePointerEx(m_file.Get(), end, nullptr, FILE_END)) return WriteFailed(GetLastError());
    }
    text += records;
    DWORD written = 0;
    if (!WriteFile(m_file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return WriteFailed(GetLastError());
    if (written != text.size()) return WriteFailed(ERROR_DISK_FULL);
    // Written ahead: the change it announces is made only once the record is on the disk.
    if (!FlushFileBuffers(m_file.Get())) return WriteFailed(GetLastError());
    return 0;
}

DWORD TJournal::WriteFailed(DWORD code)
{
    // What part of the records reached the file is not known: the next write
    // opens it again and starts on a line of its own.
    m_file.Reset();
    return code;
}

void TJournalBatch::Add(const TJournalEntry& entry)
{
    m_text += EntryLine(entry);
}

void TJournalBatch::AddUndone(int number)
{
    m_text += TRecord("undone").Number("n", number).Line();
}

DWORD TJournal::Write(const TJournalBatch& batch)
{
    return batch.Empty() ? 0 : Append(batch.m_text);
}

DWORD TJournal::Write(const TJournalEntry& entry)
{
    return Append(EntryLine(entry));
}

DWORD TJournal::MarkUndone(int number)
{
    return Append(TRecord("undone").Number("n", number).Line());
}

DWORD TJournal::MarkScheduled(int number)
{
    return Append(TRecord("scheduled").Number("n", number).Line());
}

DWORD TJournal::MarkHandedOver()
{
    return Append(TRecord("handover").Line());
}

DWORD TJournal::MarkContinued()
{
    return Append(TRecord("continued").Line());
}

DWORD TJournal::MarkCommitted()
{
    return Append(TRecord("commit").Line());
}

bool TJournal::Remove()
{
    m_file.Reset();
    return DeleteFileA(m_path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}
