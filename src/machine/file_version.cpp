#include "machine/file_version.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/handles.h"

namespace {

// The version library, loaded at the first decision that needs a version:
// most runs never compare one, and loading it costs every run a few
// milliseconds at its start.
class TVersionLibrary {
public:
    bool Ready()
    {
        if (m_tried) return m_ready;
        m_tried = true;
        m_module.Reset(LoadLibraryA("version.dll"));
        if (!m_module) return false;  // without it no file has a version: 0.0.0.0, as for a file without one
        GetSize = reinterpret_cast<decltype(GetSize)>(GetProcAddress(m_module.Get(), "GetFileVersionInfoSizeA"));
        GetInfo = reinterpret_cast<decltype(GetInfo)>(GetProcAddress(m_module.Get(), "GetFileVersionInfoA"));
        Query = reinterpret_cast<decltype(Query)>(GetProcAddress(m_module.Get(), "VerQueryValueA"));
        m_ready = GetSize && GetInfo && Query;
        return m_ready;
    }
    DWORD(WINAPI* GetSize)(LPCSTR, LPDWORD) = nullptr;
    BOOL(WINAPI* GetInfo)(LPCSTR, DWORD, DWORD, LPVOID) = nullptr;
    BOOL(WINAPI* Query)(LPCVOID, LPCSTR, LPVOID*, PUINT) = nullptr;

private:
    UniqueModule m_module;
    bool m_tried = false;
    bool m_ready = false;
};

TVersionLibrary VersionLibrary;

}  // namespace

std::string GetFileVersionText(const std::string& path)
{
    if (!VersionLibrary.Ready()) return {};
    DWORD handle = 0;
    DWORD size = VersionLibrary.GetSize(path.c_str(), &handle);
    if (size == 0) return {};  // no version resource (or no file): version 0.0.0.0
    std::vector<char> data(size);
    if (!VersionLibrary.GetInfo(path.c_str(), 0, size, data.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VersionLibrary.Query(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
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
