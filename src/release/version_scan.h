// The file version of a program file, read from its bytes as they pass by:
// --publish reads every file once for its hash and takes the version from
// the same read, instead of having the system open and map the file again.
// It reads what the system's version functions read for "\": the fixed part
// of the version resource (type 16, name 1) of a 32- or 64-bit program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TVersionScanResult {
    Found,      // the version is in `version`
    None,       // the file has no version resource: `version` is empty
    AskSystem,  // a form this scan does not read (a 16-bit program, several
                // languages, a resource section of more than MaxSectionBytes)
};

class TVersionScan {
public:
    // The largest resource section held while the bytes pass.
    static constexpr size_t MaxSectionBytes = 16u << 20;

    // The next bytes of the file, in order from its start.
    void Feed(const uint8_t* data, size_t size);
    // After the last bytes: the version as "major.minor.release.build".
    TVersionScanResult Finish(std::string& version);

private:
    void ReadHeaders();
    void Keep(const uint8_t* data, size_t size, uint64_t offset);

    enum class TState { Head, Section, Done };
    TState m_state = TState::Head;
    TVersionScanResult m_result = TVersionScanResult::None;
    uint64_t m_offset = 0;       // bytes fed so far
    std::vector<uint8_t> m_head;  // the first bytes, up to HeadBytes
    // The section that holds the resource tree, and where it lies.
    uint64_t m_sectionStart = 0;  // in the file
    uint32_t m_sectionRva = 0;
    uint32_t m_resourceRva = 0;
    std::vector<uint8_t> m_section;
    uint64_t m_sectionFilled = 0;  // bytes of it seen so far
};
