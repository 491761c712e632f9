#include "actions/file_version.h"

#include <windows.h>

#include <cstdint>
#include <vector>

std::string GetFileVersionText(const std::string& path)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return {};  // no version resource (or no file): version 0.0.0.0
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    char text[32];
    wsprintfA(text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
              HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return text;
}

namespace {

struct TVersion {
    uint16_t Parts[4] = {0, 0, 0, 0};
};

TVersion ParseVersion(const std::string& text)
{
    TVersion version;
    size_t part = 0;
    uint32_t value = 0;
    size_t digits = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (part >= 4) return {};
            version.Parts[part++] = static_cast<uint16_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        char c = text[i];
        // More than nine digits is no number this program could have written.
        if (c < '0' || c > '9' || ++digits > 9) return {};
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return version;
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b)
{
    TVersion left = ParseVersion(a);
    TVersion right = ParseVersion(b);
    for (size_t i = 0; i < 4; ++i)
        if (left.Parts[i] != right.Parts[i]) return left.Parts[i] > right.Parts[i] ? 1 : -1;
    return 0;
}
