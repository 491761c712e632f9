#include "core/errors.h"

#include <cstdio>

namespace {

std::string OsErrorText(DWORD code)
{
    if (code == 0) return "A call to an OS function failed";
    char head[64];
    std::snprintf(head, sizeof head, "System Error.  Code: %lu.", static_cast<unsigned long>(code));
    return std::string(head) + "\r\n" + SystemMessage(code);
}

std::string IoErrorText(DWORD code)
{
    std::string text = SystemMessage(code);
    if (!text.empty()) return text;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "I/O error %lu", static_cast<unsigned long>(code));
    return buffer;
}

}  // namespace

OsError::OsError(DWORD code) : std::runtime_error(OsErrorText(code)), m_code(code) {}

IoError::IoError(DWORD code) : std::runtime_error(IoErrorText(code)), m_code(code) {}

void RaiseLastOsError()
{
    throw OsError(GetLastError());
}

void RaiseOsError(DWORD code)
{
    throw OsError(code);
}

std::string SystemMessage(DWORD code)
{
    char buffer[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty()) {
        unsigned char last = static_cast<unsigned char>(text.back());
        if (last >= 33 && last != '.') break;
        text.pop_back();
    }
    return text;
}

std::string SystemMessageOrCode(int32_t code)
{
    std::string text = SystemMessage(static_cast<DWORD>(code));
    if (!text.empty()) return text;
    char buffer[32];
    if (code < 0)
        std::snprintf(buffer, sizeof buffer, "Error 0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(code)));
    else
        std::snprintf(buffer, sizeof buffer, "Error %ld", static_cast<long>(code));
    return buffer;
}
