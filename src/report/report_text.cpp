#include "report/report_text.h"

#include <windows.h>

#include <cstdio>

#include "core/ansi_text.h"
#include "core/messages.h"

namespace {

bool IsPlainAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
    return true;
}

}  // namespace

std::string TextFromLog(std::string_view ansi)
{
    if (IsPlainAscii(ansi)) return std::string(ansi);
    std::wstring wide = ToWide(ansi.data(), ansi.size());
    for (wchar_t& c : wide)
        if (c == L'\t') c = L' ';
        else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = 0xFFFD;
    return FromWide(wide, CP_UTF8);
}

std::string HtmlText(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        case '\'': result += "&#39;"; break;
        default: result += c;
        }
    }
    return result;
}

std::string JsonText(std::string_view text)
{
    std::string result = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char escape[8];
        if (c == '"' || c == '\\') {
            result += '\\';
            result += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            result += escape;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            // U+2028 and U+2029 end a line in a script, though not in JSON.
            result += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            result += static_cast<char>(c);
        }
    }
    return result + "\"";
}

std::string CsvField(std::string_view text)
{
    std::string result = "\"";
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@')) result += '\'';
    for (char c : text) {
        if (c == '"') result += '"';
        result += c;
    }
    return result + "\"";
}

std::string MessageText(unsigned id, std::initializer_list<std::string> texts)
{
    std::string format = TextFromLog(Msg(id));
    std::string result;
    auto next = texts.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == '%' || format[i + 1] == 's')) {
            if (format[i + 1] == '%') result += '%';
            else if (next != texts.end()) result += *next++;
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}
