#include "script/expand.h"

#include <windows.h>

#include "core/run_state.h"
#include "script/constants.h"

namespace {

// A constant that refers to itself, directly or through others, would make
// the text grow for ever: the pass stops after this many replacements, or
// when the text has grown this long, and leaves the rest unexpanded.
constexpr int MaxReplacements = 1000;
constexpr size_t MaxExpandedLength = 32767;

constexpr DWORD EnvironmentBufferSize = 260;

std::string UpperAnsi(std::string text)
{
    if (!text.empty()) CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Replaces the first occurrence of %name% (without regard to case) and tells
// whether the text changed.
bool ReplaceFirst(std::string& text, std::string& upperText, const TConst& entry)
{
    std::string reference = "%" + UpperAnsi(entry.Name) + "%";
    size_t at = upperText.find(reference);
    if (at == std::string::npos) return false;
    std::string replaced = text.substr(0, at) + entry.Value + text.substr(at + reference.size());
    if (replaced == text) return false;
    text = std::move(replaced);
    upperText = UpperAnsi(text);
    return true;
}

}  // namespace

std::string ExpandConstants(const std::string& text, unsigned char mode)
{
    std::string result = text;
    if (result.find('%') != std::string::npos) {
        std::string upper = UpperAnsi(result);
        int replacements = 0;
        size_t i = 0;
        while (i < ConstTable.size() && result.find('%') != std::string::npos) {
            const TConst& entry = ConstTable[i];
            if (!entry.Name.empty() && ReplaceFirst(result, upper, entry)) {
                if (++replacements >= MaxReplacements || result.size() > MaxExpandedLength) break;
                i = 0;
            } else {
                ++i;
            }
        }
    }
    if (result.find('%') != std::string::npos) {
        char buffer[EnvironmentBufferSize];
        DWORD needed = ExpandEnvironmentStringsA(result.c_str(), buffer, EnvironmentBufferSize);
        // A result that does not fit the buffer is not delivered: keep the text.
        if (needed > 0 && needed <= EnvironmentBufferSize) result = buffer;
    }
    if (mode != ExpandPlain && !result.empty() && result[0] != '\\' && !(result.size() > 1 && result[1] == ':'))
        result = Run.ExeDir + result;
    return result;
}

std::string DecodeEscapes(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size() || text[i + 1] < '0' || text[i + 1] > '9') {
            result += c;
            ++i;
            continue;
        }
        // The code is the number modulo 256, also for runs too long for 32 bits.
        unsigned code = 0;
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            code = (code * 10 + static_cast<unsigned>(text[i] - '0')) % 256;
            ++i;
        }
        result += static_cast<char>(code);
    }
    return result;
}
