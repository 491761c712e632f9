#include "release/version_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The headers of a program file lie in its first bytes; this is far more
// than any linker writes.
constexpr size_t HeadBytes = 64u << 10;
constexpr uint16_t ResourceTypeVersion = 16;
constexpr uint16_t VersionResourceName = 1;
constexpr uint32_t FixedInfoSize = 52;  // VS_FIXEDFILEINFO

uint16_t Word(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Dword(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Bytes of a held block, read with bounds.
struct TBlock {
    const std::vector<uint8_t>& Bytes;
    bool Has(uint64_t offset, uint64_t size) const { return offset <= Bytes.size() && size <= Bytes.size() - offset; }
    const uint8_t* At(uint64_t offset) const { return Bytes.data() + offset; }
};

enum class TFind { Found, Missing, Unclear };

// In the resource directory at `directory` (an offset in the section), the
// entry with the id, or with `id` 0 the only entry; gives the offset the entry
// points to and whether that is a subdirectory.
TFind FindEntry(const TBlock& section, uint64_t directory, uint16_t id, uint32_t& target, bool& isDirectory)
{
    if (!section.Has(directory, 16)) return TFind::Unclear;
    uint32_t named = Word(section.At(directory + 12));
    uint32_t ids = Word(section.At(directory + 14));
    uint64_t first = directory + 16;
    if (!section.Has(first, (static_cast<uint64_t>(named) + ids) * 8)) return TFind::Unclear;
    if (id == 0) {
        // The language level: with one entry the system takes that one;
        // with several it chooses by the user's language.
        if (named + ids == 0) return TFind::Missing;
        if (named + ids > 1) return TFind::Unclear;
    }
    for (uint32_t i = 0; i < named + ids; ++i) {
        const uint8_t* entry = section.At(first + i * 8ull);
        uint32_t name = Dword(entry);
        if (id != 0 && (i < named || (name & 0x80000000u) || name != id)) continue;
        uint32_t offset = Dword(entry + 4);
        isDirectory = (offset & 0x80000000u) != 0;
        target = offset & 0x7FFFFFFFu;
        return TFind::Found;
    }
    return TFind::Missing;
}

}  // namespace

void TVersionScan::Feed(const uint8_t* data, size_t size)
{
    if (m_state == TState::Head) {
        size_t take = std::min(size, HeadBytes - m_head.size());
        m_head.insert(m_head.end(), data, data + take);
        if (m_head.size() == HeadBytes) ReadHeaders();
    }
    if (m_state == TState::Section) Keep(data, size, m_offset);
    m_offset += size;
}

void TVersionScan::Keep(const uint8_t* data, size_t size, uint64_t offset)
{
    uint64_t end = offset + size;
    uint64_t sectionEnd = m_sectionStart + m_section.size();
    uint64_t from = std::max(offset, m_sectionStart + m_sectionFilled);
    uint64_t to = std::min(end, sectionEnd);
    if (from >= to) return;
    std::memcpy(m_section.data() + (from - m_sectionStart), data + (from - offset), static_cast<size_t>(to - from));
    m_sectionFilled = to - m_sectionStart;
}

// Finds the section that holds the resource tree from the headers in
// m_head, and makes room to keep it as it passes.
void TVersionScan::ReadHeaders()
{
    m_state = TState::Done;
    TBlock head{m_head};
    if (!head.Has(0, 64) || Word(head.At(0)) != 0x5A4D) return;  // "MZ": else no program file, no version
    m_result = TVersionScanResult::AskSystem;
    uint32_t pe = Dword(head.At(0x3C));
    if (!head.Has(pe, 24) || Dword(head.At(pe)) != 0x00004550) return;  // not "PE\0\0": 16-bit, or not read here
    uint16_t sections = Word(head.At(pe + 6));
    uint16_t optionalSize = Word(head.At(pe + 20));
    uint64_t optional = pe + 24ull;
    if (!head.Has(optional, 2)) return;
    uint16_t magic = Word(head.At(optional));
    uint64_t directories = optional + (magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0);
    if (directories == optional || !head.Has(directories - 4, 4)) return;
    uint32_t directoryCount = Dword(head.At(directories - 4));
    m_result = TVersionScanResult::None;
    if (directoryCount <= 2 || directories + 3 * 8 > optional + optionalSize) return;  // no resource directory
    if (!head.Has(directories + 2 * 8, 8)) return;
    m_resourceRva = Dword(head.At(directories + 2 * 8));
    if (m_resourceRva == 0 || Dword(head.At(directories + 2 * 8 + 4)) == 0) return;
    m_result = TVersionScanResult::AskSystem;
    uint64_t table = optional + optionalSize;
    if (!head.Has(table, sections * 40ull)) return;
    for (uint16_t i = 0; i < sections; ++i) {
        const uint8_t* section = head.At(table + i * 40ull);
        uint32_t virtualSize = Dword(section + 8);
        uint32_t rva = Dword(section + 12);
        uint32_t rawSize = Dword(section + 16);
        uint32_t rawStart = Dword(section + 20);
        uint32_t extent = std::max(virtualSize, rawSize);
        if (m_resourceRva < rva || m_resourceRva - rva >= extent) continue;
        if (rawSize > MaxSectionBytes || rawSize == 0) return;
        m_sectionStart = rawStart;
        m_sectionRva = rva;
        m_section.assign(rawSize, 0);
        m_sectionFilled = 0;
        m_state = TState::Section;
        // Bytes of the section already seen lie in the head.
        if (rawStart < m_head.size()) Keep(m_head.data() + rawStart, m_head.size() - rawStart, rawStart);
        return;
    }
}

TVersionScanResult TVersionScan::Finish(std::string& version)
{
    version.clear();
    if (m_state == TState::Head) ReadHeaders();
    if (m_state != TState::Section) return m_result;
    m_state = TState::Done;
    // A file that ended inside its resource section is not read here.
    if (m_sectionFilled < m_section.size()) return TVersionScanResult::AskSystem;
    TBlock section{m_section};
    uint32_t root = m_resourceRva - m_sectionRva;
    uint32_t offset = 0;
    bool isDirectory = false;
    TFind found = FindEntry(section, root, ResourceTypeVersion, offset, isDirectory);
    if (found != TFind::Found || !isDirectory)
        return found == TFind::Missing ? TVersionScanResult::None : TVersionScanResult::AskSystem;
    found = FindEntry(section, root + static_cast<uint64_t>(offset), VersionResourceName, offset, isDirectory);
    if (found != TFind::Found || !isDirectory)
        return found == TFind::Missing ? TVersionScanResult::None : TVersionScanResult::AskSystem;
    found = FindEntry(section, root + static_cast<uint64_t>(offset), 0, offset, isDirectory);
    if (found != TFind::Found || isDirectory)
        return found == TFind::Missing ? TVersionScanResult::None : TVersionScanResult::AskSystem;
    uint64_t dataEntry = root + static_cast<uint64_t>(offset);
    if (!section.Has(dataEntry, 16)) return TVersionScanResult::AskSystem;
    uint32_t dataRva = Dword(section.At(dataEntry));
    uint32_t dataSize = Dword(section.At(dataEntry + 4));
    if (dataRva < m_sectionRva) return TVersionScanResult::AskSystem;
    uint64_t data = dataRva - m_sectionRva;
    if (!section.Has(data, dataSize) || dataSize < 6) return TVersionScanResult::AskSystem;
    // VS_VERSIONINFO: length, value length, type, the key in UTF-16 up to
    // its zero, then the fixed part on a 4-byte boundary.
    uint16_t valueLength = Word(section.At(data + 2));
    uint64_t key = data + 6;
    while (key + 2 <= data + dataSize && Word(section.At(key)) != 0) key += 2;
    uint64_t value = ((key + 2 - data + 3) & ~3ull) + data;
    if (valueLength < FixedInfoSize) return TVersionScanResult::None;  // the system gives no fixed part either
    if (value + FixedInfoSize > data + dataSize) return TVersionScanResult::AskSystem;
    uint32_t high = Dword(section.At(value + 8));
    uint32_t low = Dword(section.At(value + 12));
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", high >> 16, high & 0xFFFFu, low >> 16, low & 0xFFFFu);
    version = text;
    return TVersionScanResult::Found;
}
