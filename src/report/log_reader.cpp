#include "report/log_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/disk_files.h"
#include "core/handles.h"

namespace {

// Longer lines are garbage: a run prints lines of a console's width or so.
constexpr size_t MaxLine = 16 * 1024;
// The texts kept of a block are cut to this.
constexpr size_t MaxText = 1024;
constexpr size_t ReadSize = 256 * 1024;
// A log held by a writer appending its block is waited for this long.
constexpr DWORD HeldWaitMs = 3000;
constexpr DWORD RetryMs = 50;

// The first line end in the bytes, or null; `zero` is set when a zero byte
// comes before it. Eight bytes at a time: the C runtime's search goes byte by
// byte on some systems, and every byte of every log passes here.
const char* LineEnd(const char* data, size_t size, bool& zero)
{
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull, newlines = ones * '\n';
    size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        uint64_t word;
        std::memcpy(&word, data + at, 8);
        uint64_t other = word ^ newlines;
        if (((other - ones) & ~other & highs) | ((word - ones) & ~word & highs)) break;
    }
    for (; at < size; ++at) {
        if (data[at] == '\n') return data + at;
        zero = zero || data[at] == '\0';
    }
    return nullptr;
}

// One buffer for every file: reading into fresh memory of this size costs
// more than the reading itself (under Wine, five times a month of logs).
char* ReadBuffer()
{
    static std::unique_ptr<char[]> buffer(new char[ReadSize]);
    return buffer.get();
}

std::string Capped(std::string_view text)
{
    return std::string(text.substr(0, MaxText));
}

// The first character decides most lines without a call to the C runtime.
bool StartsWith(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() && (start.empty() || text[0] == start[0]) &&
           text.compare(0, start.size(), start) == 0;
}

// "-> report.dll..." as "report.dll".
std::string_view StepName(std::string_view text)
{
    if (StartsWith(text, "->") || StartsWith(text, "=>")) text = TrimBlanks(text.substr(2));
    while (!text.empty() && text.back() == '.') text.remove_suffix(1);
    return text;
}

bool EndsWithNoCase(const std::string& name, const char* end)
{
    size_t length = std::strlen(end);
    if (name.size() <= length) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = name[name.size() - length + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != end[i]) return false;
    }
    return true;
}

// Rotated files sort before their current one: "a.log.1" reads as "a.log" + "\1",
// "a.log" as "a.log" + "\2".
std::string SortKey(const std::string& name)
{
    bool rotated = EndsWithNoCase(name, ".log.1");
    std::string key = rotated ? name.substr(0, name.size() - 2) : name;
    for (char& c : key) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return key + (rotated ? '\1' : '\2');
}

}  // namespace

TLogParser::TLogParser(const std::vector<TLogLanguage>& languages, TBlockSink& sink)
    : m_languages(languages), m_sink(sink)
{
}

void TLogParser::Feed(const char* data, size_t size)
{
    if (m_atStart && size > 0) {
        m_atStart = false;
        if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
            data += 3;
            size -= 3;
        }
    }
    while (size > 0) {
        bool zero = false;
        const char* end = LineEnd(data, size, zero);
        size_t length = end ? static_cast<size_t>(end - data) : size;
        if (!end || !m_carry.empty() || m_carryTooLong) {
            size_t room = MaxLine - std::min(MaxLine, m_carry.size());
            m_carry.append(data, std::min(room, length));
            m_carryTooLong = m_carryTooLong || length > room;
            m_carryZero = m_carryZero || zero;
            if (!end) break;
            Line(m_carry, m_carryTooLong, m_carryZero);
            KeepViews();
            m_carry.clear();
            m_carryTooLong = m_carryZero = false;
        } else {
            Line(std::string_view(data, std::min(length, MaxLine)), length > MaxLine, zero);
        }
        data += length + 1;
        size -= length + 1;
    }
    KeepViews();
}

void TLogParser::KeepViews()
{
    for (auto [view, kept] : {std::pair{&m_previousLine, &m_previousKept}, std::pair{&m_lastItem, &m_lastItemKept}}) {
        if (view->empty() || view->data() == kept->data()) continue;
        kept->assign(*view);
        *view = *kept;
    }
}

void TLogParser::Finish()
{
    if (!m_carry.empty() || m_carryTooLong) Line(m_carry, m_carryTooLong, m_carryZero);
    m_carry.clear();
    m_carryTooLong = m_carryZero = false;
    if (m_state == TState::InBlock) m_sink.OnUnreadable({TUnreadableKind::CutOff, m_block.Line});
    if (m_state == TState::InBadBlock) m_sink.OnUnreadable({TUnreadableKind::NotUnderstood, m_badLine});
    m_state = TState::Outside;
}

void TLogParser::Line(std::string_view line, bool tooLong, bool zero)
{
    ++m_line;
    bool garbage = tooLong || zero;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // Zeros (a write the system never finished, text of two bytes a
    // character) spoil the line; a header may still follow them.
    if (zero) {
        size_t last = line.find_last_of('\0');
        if (last != std::string_view::npos) line = line.substr(last + 1);
    }
    if (StartsWith(line, "====")) {
        if (garbage && m_state == TState::InBlock) m_blockGarbage = true;
        MarkerLine(line);
        return;
    }
    if (m_state == TState::InBlock) {
        if (garbage) m_blockGarbage = true;
        BodyLine(line);
    } else if (m_state == TState::Outside && (garbage || !TrimBlanks(line).empty()) && !m_strayOpen) {
        m_strayOpen = true;
        m_sink.OnUnreadable({TUnreadableKind::Stray, m_line});
    }
}

void TLogParser::MarkerLine(std::string_view line)
{
    TLogFooter footer;
    bool anyFooter = m_state == TState::InBlock && ParseFooter(line, m_languages[m_block.Header.Language], footer);
    for (const TLogLanguage& language : m_languages) anyFooter = anyFooter || ParseFooter(line, language, footer);
    if (anyFooter && m_state == TState::InBlock) {
        m_block.Footer = footer;
        CloseBlock();
        return;
    }
    if (anyFooter && m_state == TState::InBadBlock) {
        m_sink.OnUnreadable({TUnreadableKind::NotUnderstood, m_badLine});
        m_state = TState::Outside;
        return;
    }
    if (anyFooter && m_state == TState::Outside) {
        m_sink.OnUnreadable({TUnreadableKind::FooterAlone, m_line});
        return;
    }
    // A header, or a line that would be one: what was open is cut off.
    if (m_state == TState::InBlock) m_sink.OnUnreadable({TUnreadableKind::CutOff, m_block.Line});
    if (m_state == TState::InBadBlock) m_sink.OnUnreadable({TUnreadableKind::NotUnderstood, m_badLine});
    m_strayOpen = false;
    TLogHeader header;
    if (ParseHeader(line, m_languages, header)) {
        BeginBlock(header);
    } else {
        m_state = TState::InBadBlock;
        m_badLine = m_line;
    }
}

void TLogParser::BeginBlock(const TLogHeader& header)
{
    m_state = TState::InBlock;
    m_block = TLogBlock{};
    m_block.Header = header;
    m_block.Line = m_line;
    m_blockGarbage = false;
    m_failed = false;
    m_errorKept = false;
    m_errorOpen = false;
    m_previousLine = {};
    m_lastItem = {};
}

void TLogParser::BodyLine(std::string_view line)
{
    const TLogLanguage& language = m_languages[m_block.Header.Language];
    std::string_view trimmed = TrimBlanks(line);
    std::string_view step;
    if (trimmed == language.RestartLine) {
        m_block.Restarting = true;
    } else if (!m_failed && FailedStepText(line, language, step)) {
        m_failed = true;
        std::string_view text = TrimBlanks(step);
        // A step too long for the status column has its word on a line of its own.
        if (text.empty()) text = TrimBlanks(m_previousLine);
        bool entry = !StartsWith(text, "->") && !StartsWith(text, "=>") && !m_lastItem.empty();
        m_block.FailedStep = Capped(entry ? std::string(StepName(m_lastItem)) + ": " + std::string(text)
                                          : std::string(StepName(text)));
    } else if (!language.ErrorPrefix.empty() && StartsWith(line, language.ErrorPrefix)) {
        m_errorOpen = !m_errorKept;
        if (m_errorOpen) m_block.Error = Capped(line.substr(language.ErrorPrefix.size()));
        m_errorKept = m_errorKept || m_failed;
    } else if (m_errorOpen && !trimmed.empty()) {
        // The system's text of an error stands on the lines after it.
        m_block.Error = Capped(m_block.Error + " " + std::string(trimmed));
    } else {
        m_errorOpen = false;
    }
    if (StartsWith(trimmed, "->")) m_lastItem = trimmed.substr(0, MaxText);
    m_previousLine = line.substr(0, MaxText);
}

void TLogParser::CloseBlock()
{
    m_state = TState::Outside;
    if (m_blockGarbage) {
        m_sink.OnUnreadable({TUnreadableKind::Garbage, m_block.Line});
        return;
    }
    m_sink.OnBlock(m_block);
}

DWORD ReadLogFile(const std::string& path, const std::vector<TLogLanguage>& languages, TBlockSink& sink)
{
    if (IsDeviceName(path)) return ERROR_BAD_DEVICE;
    UniqueFile file;
    for (DWORD start = GetTickCount();;) {
        file.Reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file) break;
        DWORD code = GetLastError();
        if ((code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) || GetTickCount() - start >= HeldWaitMs)
            return code;
        Sleep(RetryMs);
    }
    if (!IsDiskFile(file.Get())) return ERROR_BAD_DEVICE;
    TLogParser parser(languages, sink);
    char* buffer = ReadBuffer();
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer, static_cast<DWORD>(ReadSize), &read, nullptr)) {
            DWORD code = GetLastError();
            parser.Finish();
            return code;
        }
        if (read == 0) break;
        parser.Feed(buffer, read);
    }
    parser.Finish();
    return ERROR_SUCCESS;
}

DWORD ListLogFiles(const std::string& path, std::vector<std::string>& files)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        files.push_back(path);
        return ERROR_SUCCESS;
    }
    std::string directory = path;
    if (directory.find_last_of("\\/:") != directory.size() - 1) directory += '\\';
    WIN32_FIND_DATAA found{};
    UniqueFind find(FindFirstFileA((directory + "*").c_str(), &found));
    if (!find) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code;
    }
    std::vector<std::string> names;
    do {
        std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            (EndsWithNoCase(name, ".log") || EndsWithNoCase(name, ".log.1")))
            names.push_back(name);
    } while (FindNextFileA(find.Get(), &found));
    // The listing's end (ERROR_NO_MORE_FILES) or a failure part way: what was listed is read.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return SortKey(a) < SortKey(b); });
    for (const std::string& name : names) files.push_back(directory + name);
    return ERROR_SUCCESS;
}
