#include "release/manifest.h"

#include <cstdio>

#include "core/ansi_text.h"
#include "core/folded_index.h"
#include "core/messages.h"

namespace {

constexpr const char* HeaderLine = "Vantorel release manifest 1";
constexpr const char* ColumnsComment =
    "; Written by \"vantorel.exe --publish\". Each file: size, last-write time (FILETIME ticks, UTC), "
    "file version (- for none), SHA-256, name.";
constexpr const char* FileLineForm = "file <size> <time> <version> <SHA-256> <name>";
// The largest number of FILETIME ticks; also the largest size.
constexpr uint64_t MaxTicks = 0x7FFFFFFFFFFFFFFFull;

std::string Decimal(uint64_t value)
{
    return std::to_string(value);
}


// A decimal number as this program writes it: digits only, no leading zero,
// at most `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value)
{
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');  // 19 digits fit in 64 bits
    }
    return value <= max;
}

// "-", or one to four dot-separated numbers up to 65535.
bool ParseVersion(const std::string& text, std::string& version)
{
    version.clear();
    if (text == "-") return true;
    size_t parts = 0;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        uint64_t value = 0;
        if (++parts > 4 || !ParseNumber(part, 65535, value)) return false;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    version = text;
    return true;
}

std::wstring Utf8ToWide(const std::string& text)
{
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0);
    if (length <= 0) return {};  // not UTF-8
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}


// A plain file name: no separator, wildcard or control character, not "."
// or "..", and not ending in a blank or a dot (the system drops those).
bool IsPlainName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L".." || name.back() == L' ' || name.back() == L'.') return false;
    for (wchar_t c : name)
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c)) return false;
    return true;
}

// Walks the lines of a manifest, telling each line's number.
class TLineReader {
public:
    explicit TLineReader(const std::string& bytes) : m_bytes(bytes)
    {
        if (m_bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) m_next = 3;  // a byte-order mark an editor added
    }
    bool AtEnd() const { return m_next >= m_bytes.size(); }
    size_t LineStart() const { return m_start; }
    size_t LineNumber() const { return m_number; }
    // The next line without its end; false at the end of the bytes. `cut`
    // tells a last line without a line end.
    bool Next(std::string& line, bool& cut)
    {
        if (AtEnd()) return false;
        m_start = m_next;
        ++m_number;
        size_t end = m_bytes.find('\n', m_next);
        cut = end == std::string::npos;
        if (cut) end = m_bytes.size();
        line.assign(m_bytes, m_next, end - m_next);
        m_next = cut ? end : end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

private:
    const std::string& m_bytes;
    size_t m_next = 0;
    size_t m_start = 0;
    size_t m_number = 0;
};

bool HasControlBytes(const std::string& line)
{
    for (char c : line)
        if (static_cast<unsigned char>(c) < 32) return true;
    return false;
}

// The words of a line split at single blanks, at most `count` of them; the
// last takes the rest of the line.
std::vector<std::string> SplitWords(const std::string& line, size_t count)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (words.size() + 1 < count) {
        size_t blank = line.find(' ', start);
        if (blank == std::string::npos) break;
        words.push_back(line.substr(start, blank - start));
        start = blank + 1;
    }
    words.push_back(line.substr(start));
    return words;
}

TRelease Malformed(std::string problem)
{
    TRelease release;
    release.Status = TReleaseStatus::Malformed;
    release.Problem = std::move(problem);
    return release;
}

TRelease Expected(size_t line, const char* form)
{
    return Malformed(FormatMsg(MsgManifestExpected, Decimal(line), form));
}

// Reads "<word> <number>" into the number; false when the line is not that.
bool WordAndNumber(const std::string& line, const char* word, uint64_t max, uint64_t& value)
{
    std::vector<std::string> words = SplitWords(line, 3);
    return words.size() == 2 && words[0] == word && ParseNumber(words[1], max, value);
}

bool ParseEntry(const std::string& line, TReleaseEntry& entry, std::wstring& wide)
{
    std::vector<std::string> words = SplitWords(line, 6);
    uint64_t size = 0;
    uint64_t ticks = 0;
    if (words.size() != 6 || words[0] != "file" || !ParseNumber(words[1], MaxTicks, size) ||
        !ParseNumber(words[2], MaxTicks, ticks) || !ParseVersion(words[3], entry.Version) ||
        !ParseHex(words[4], entry.Sha256))
        return false;
    wide = Utf8ToWide(words[5]);
    if (!IsPlainName(wide)) return false;
    entry.Name = words[5];
    entry.Size = static_cast<int64_t>(size);
    entry.WriteTime = TicksFileTime(ticks);
    return true;
}

}  // namespace

uint64_t FileTimeTicks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME TicksFileTime(uint64_t ticks)
{
    return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

std::string ReadableUtc(const FILETIME& time)
{
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&time, &utc)) return "UTC";  // a time the system cannot show: the ticks say it all
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond);
    return text;
}

std::string FormatManifest(const TRelease& release)
{
    std::string text;
    text.reserve(256 + release.Entries.size() * 128);
    auto line = [&text](const std::string& content) { text += content + "\r\n"; };
    line(HeaderLine);
    line(ColumnsComment);
    line("release " + Decimal(release.Number));
    line("published " + Decimal(FileTimeTicks(release.Published)) + " " + ReadableUtc(release.Published));
    line("files " + Decimal(release.Entries.size()));
    for (const TReleaseEntry& entry : release.Entries)
        line("file " + Decimal(static_cast<uint64_t>(entry.Size)) + " " + Decimal(FileTimeTicks(entry.WriteTime)) +
             " " + (entry.Version.empty() ? std::string("-") : entry.Version) + " " + HexText(entry.Sha256) + " " +
             entry.Name);
    line("end");
    if (release.Signed) line("key " + HexText(release.SignedBy));
    return text;
}

std::string SignatureLine(const TEcSignature& signature)
{
    return "signature " + HexText(signature) + "\r\n";
}

TRelease ParseManifest(const std::string& bytes)
{
    if (bytes.size() > MaxManifestBytes) return Malformed(FormatMsg(MsgManifestTooLarge, Decimal(MaxManifestBytes)));
    TRelease release;
    TLineReader reader(bytes);
    std::string line;
    bool cut = false;
    // The fixed lines first: the header, then the release, the time and the
    // count, comments and empty lines passed over.
    enum { Header, Number, Published, Count, Files, Key, Signature, Done } expect = Header;
    uint64_t count = 0;
    while (reader.Next(line, cut)) {
        size_t number = reader.LineNumber();
        if (HasControlBytes(line)) return Malformed(FormatMsg(MsgManifestNotText, Decimal(number)));
        if (cut) return Malformed(Msg(MsgManifestTruncated));
        if (expect == Done) return Malformed(FormatMsg(MsgManifestAfterSignature, Decimal(number)));
        if (expect != Header && expect < Key && (line.empty() || line[0] == ';')) continue;
        uint64_t value = 0;
        switch (expect) {
        case Header:
            if (line != HeaderLine) return Expected(number, HeaderLine);
            expect = Number;
            break;
        case Number:
            if (!WordAndNumber(line, "release", MaxReleaseNumber, release.Number) || release.Number == 0)
                return Expected(number, "release <number>");
            expect = Published;
            break;
        case Published: {
            std::vector<std::string> words = SplitWords(line, 3);
            if (words.size() < 2 || words[0] != "published" || !ParseNumber(words[1], MaxTicks, value))
                return Expected(number, "published <time>");
            release.Published = TicksFileTime(value);
            expect = Count;
            break;
        }
        case Count:
            if (!WordAndNumber(line, "files", MaxManifestBytes, count)) return Expected(number, "files <count>");
            expect = Files;
            break;
        case Files: {
            if (line == "end") {
                if (release.Entries.size() != count)
                    return Malformed(FormatMsg(MsgManifestCount, Decimal(release.Entries.size()), Decimal(count)));
                expect = Key;
                break;
            }
            TReleaseEntry entry;
            std::wstring wide;
            if (!ParseEntry(line, entry, wide)) return Expected(number, FileLineForm);
            if (!release.Index.emplace(FoldWide(wide), release.Entries.size()).second)
                return Malformed(FormatMsg(MsgManifestDuplicate, Decimal(number), FromWide(wide)));
            release.Entries.push_back(std::move(entry));
            break;
        }
        case Key: {
            std::vector<std::string> words = SplitWords(line, 3);
            if (words.size() != 2 || words[0] != "key" || !ParseHex(words[1], release.SignedBy))
                return Expected(number, "key <public key>");
            expect = Signature;
            break;
        }
        case Signature: {
            std::vector<std::string> words = SplitWords(line, 3);
            if (words.size() != 2 || words[0] != "signature" || !ParseHex(words[1], release.Signature))
                return Expected(number, "signature <signature>");
            release.Signed = true;
            release.SignedLength = reader.LineStart();
            expect = Done;
            break;
        }
        case Done:
            break;
        }
    }
    if (expect == Signature) return Expected(reader.LineNumber() + 1, "signature <signature>");
    if (expect != Key && expect != Done) return Malformed(Msg(MsgManifestTruncated));
    release.Status = release.Signed ? TReleaseStatus::Good : TReleaseStatus::Unsigned;
    return release;
}

const TReleaseEntry* FindReleaseEntry(const TRelease& release, const std::string& ansiName)
{
    auto found = release.Index.find(FoldedName(ansiName));
    return found == release.Index.end() ? nullptr : &release.Entries[found->second];
}

const TReleaseEntry* FindReleaseEntryUtf8(const TRelease& release, const std::string& name)
{
    auto found = release.Index.find(FoldWide(Utf8ToWide(name)));
    return found == release.Index.end() ? nullptr : &release.Entries[found->second];
}

TListingMatch CompareWithListing(const TReleaseEntry& entry, int64_t size, const FILETIME& writeTime)
{
    if (size != entry.Size) return TListingMatch::SizeDiffers;
    if (CompareFileTime(&writeTime, &entry.WriteTime) != 0) return TListingMatch::TimeDiffers;
    return TListingMatch::Same;
}
