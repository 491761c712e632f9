#include "core/json_writer.h"

#include <cstdio>

#include "core/ansi_text.h"

std::string JsonString(const std::string& ansi)
{
    std::string utf8 = FromWide(ToWide(ansi), CP_UTF8);
    std::string out = "\"";
    for (char c : utf8) {
        auto code = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (code < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void TJsonWriter::NewLine()
{
    m_out += "\n" + std::string(2 * m_first.size(), ' ');
}

void TJsonWriter::BeforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_first.empty()) return;
    if (!m_first.back()) m_out += ",";
    m_first.back() = false;
    NewLine();
}

void TJsonWriter::BeginObject()
{
    BeforeValue();
    m_out += "{";
    m_first.push_back(true);
}

void TJsonWriter::EndObject()
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) NewLine();
    m_out += "}";
    if (m_first.empty()) m_out += "\n";
}

void TJsonWriter::BeginArray()
{
    BeforeValue();
    m_out += "[";
    m_first.push_back(true);
}

void TJsonWriter::EndArray()
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) NewLine();
    m_out += "]";
}

TJsonWriter& TJsonWriter::Key(const std::string& name)
{
    BeforeValue();
    m_out += JsonString(name) + ": ";
    m_afterKey = true;
    return *this;
}

void TJsonWriter::Text(const std::string& ansi)
{
    BeforeValue();
    m_out += JsonString(ansi);
}

void TJsonWriter::Number(int64_t value)
{
    BeforeValue();
    m_out += std::to_string(value);
}

void TJsonWriter::Bool(bool value)
{
    BeforeValue();
    m_out += value ? "true" : "false";
}

void TJsonWriter::Null()
{
    BeforeValue();
    m_out += "null";
}
