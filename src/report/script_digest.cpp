#include "report/script_digest.h"

#include "core/sha256.h"

namespace {

std::string Base64(const uint8_t* data, size_t size)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string result;
    for (size_t i = 0; i < size; i += 3) {
        uint32_t chunk = uint32_t{data[i]} << 16 | (i + 1 < size ? uint32_t{data[i + 1]} << 8 : 0) |
                         (i + 2 < size ? data[i + 2] : 0);
        result += alphabet[chunk >> 18 & 63];
        result += alphabet[chunk >> 12 & 63];
        result += i + 1 < size ? alphabet[chunk >> 6 & 63] : '=';
        result += i + 2 < size ? alphabet[chunk & 63] : '=';
    }
    return result;
}

}  // namespace

std::string ScriptDigest(std::string_view script)
{
    TSha256Digest digest;
    std::string problem;
    if (!Sha256Of(script.data(), script.size(), digest, problem)) return {};
    return Base64(digest.data(), digest.size());
}
