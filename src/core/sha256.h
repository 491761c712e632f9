// SHA-256 over the system's cryptography, fed as the bytes pass by: a copy
// loop or a reader hands each chunk to Feed, so a file is hashed from the
// same read that moves it. One call of the system per chunk, nothing copied.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/cng.h"

using TSha256Digest = std::array<uint8_t, 32>;

class TSha256 {
public:
    // Starts a new hash, dropping one under way. False when the system cannot
    // hash (no CNG: Windows XP), with the reason in `problem` (a message text).
    bool Begin(std::string& problem);
    // Hashes the next bytes. A failure of the system is kept for Finish.
    void Feed(const void* data, size_t size);
    // The digest of everything fed since Begin; false with the reason when
    // the system failed on the way. The hash must be begun again after it.
    bool Finish(TSha256Digest& digest, std::string& problem);

private:
    std::vector<uint8_t> m_object;  // the hash state, in memory of ours; outlives the handle
    UniqueCngHash m_hash;
    std::string m_problem;
};

// The digest of the bytes in one go; false with the reason as above.
bool Sha256Of(const void* data, size_t size, TSha256Digest& digest, std::string& problem);

// Bytes as lower-case hexadecimal digits.
std::string HexText(const uint8_t* data, size_t size);
template <size_t N>
std::string HexText(const std::array<uint8_t, N>& bytes)
{
    return HexText(bytes.data(), N);
}

// Exactly 2 * N hexadecimal digits (either case) into N bytes; false for
// anything else.
bool ParseHex(const std::string& text, uint8_t* data, size_t size);
template <size_t N>
bool ParseHex(const std::string& text, std::array<uint8_t, N>& bytes)
{
    return ParseHex(text, bytes.data(), N);
}
