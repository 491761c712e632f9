#include "script/expand.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/ansi_text.h"
#include "core/paths.h"
#include "core/run_state.h"

namespace {

// A constant that refers to itself, directly (path=%path%;C:\bin) or through
// others, is not expanded again inside its own value: that inner reference is
// left for the environment step, so %path% there becomes the process's search
// path. Values that multiply (a=%b%%b%, b=%c%%c%, ...) can still grow fast;
// the pass stops after this many replacements, or when the text has grown
// this long, and leaves the rest unexpanded.
constexpr int MaxReplacements = 1000;
constexpr size_t MaxExpandedLength = 32767;

constexpr DWORD EnvironmentBufferSize = 260;

// The text being expanded, with the origin of every character: the set of
// table slots whose values it was copied out of (empty for the given text).
class TracedText {
public:
    explicit TracedText(const std::string& text)
        : m_text(text), m_upper(UpperAnsi(text)), m_origin(text.size(), 0), m_origins(1)
    {
    }

    const std::string& Text() const { return m_text; }

    // Replaces the first occurrence of %name% of the slot (without regard to
    // case) that does not stem from the slot's own value; tells whether the
    // text changed.
    bool ReplaceFirst(size_t slot, const TConst& entry)
    {
        std::string reference = "%" + UpperAnsi(entry.Name) + "%";
        for (size_t at = m_upper.find(reference); at != std::string::npos;
             at = m_upper.find(reference, at + 1)) {
            if (StemsFrom(at, reference.size(), slot)) continue;
            if (m_text.compare(at, reference.size(), entry.Value) == 0) return false;
            Replace(at, reference.size(), slot, entry.Value);
            return true;
        }
        return false;
    }

private:
    using OriginSet = std::vector<size_t>;  // sorted slots

    bool StemsFrom(size_t at, size_t length, size_t slot) const
    {
        for (size_t i = at; i < at + length; ++i) {
            const OriginSet& set = m_origins[m_origin[i]];
            if (std::binary_search(set.begin(), set.end(), slot)) return true;
        }
        return false;
    }

    void Replace(size_t at, size_t length, size_t slot, const std::string& value)
    {
        // The inserted text stems from the slot and from everything the
        // reference itself stemmed from.
        OriginSet set{slot};
        for (size_t i = at; i < at + length; ++i) {
            const OriginSet& from = m_origins[m_origin[i]];
            OriginSet merged;
            std::set_union(set.begin(), set.end(), from.begin(), from.end(), std::back_inserter(merged));
            set = std::move(merged);
        }
        m_origins.push_back(std::move(set));
        uint32_t id = static_cast<uint32_t>(m_origins.size() - 1);

        m_text.replace(at, length, value);
        m_upper.replace(at, length, UpperAnsi(value));
        m_origin.erase(m_origin.begin() + static_cast<std::ptrdiff_t>(at),
                       m_origin.begin() + static_cast<std::ptrdiff_t>(at + length));
        m_origin.insert(m_origin.begin() + static_cast<std::ptrdiff_t>(at), value.size(), id);
    }

    std::string m_text;
    std::string m_upper;
    std::vector<uint32_t> m_origin;   // per character: index into m_origins
    std::vector<OriginSet> m_origins;  // 0: the given text
};

std::string ExpandTableConstants(const std::string& text)
{
    TracedText traced(text);
    int replacements = 0;
    size_t i = 0;
    while (i < ConstTable.size() && traced.Text().find('%') != std::string::npos) {
        const TConst& entry = ConstTable[i];
        if (!entry.Name.empty() && traced.ReplaceFirst(i, entry)) {
            if (++replacements >= MaxReplacements || traced.Text().size() > MaxExpandedLength) break;
            i = 0;
        } else {
            ++i;
        }
    }
    return traced.Text();
}

// A path that stays as it is: empty, from a root or with a drive.
bool Placed(const std::string& path)
{
    return path.empty() || path[0] == '\\' || (path.size() > 1 && path[1] == ':');
}

}  // namespace

std::string ExpandConstants(const std::string& text, unsigned char mode)
{
    // Nothing to expand (every file item of a script): the result is made in one piece.
    if (text.find('%') == std::string::npos)
        return mode == ExpandPlain || Placed(text) ? text : JoinedPath(Run.ExeDir, text);
    std::string result = ExpandTableConstants(text);
    if (result.find('%') != std::string::npos) {
        char buffer[EnvironmentBufferSize];
        DWORD needed = ExpandEnvironmentStringsA(result.c_str(), buffer, EnvironmentBufferSize);
        // A result that does not fit the buffer is not delivered: keep the text.
        if (needed > 0 && needed <= EnvironmentBufferSize) result = buffer;
    }
    if (mode != ExpandPlain && !Placed(result)) result = JoinedPath(Run.ExeDir, result);
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

std::string ExpandAs(const std::string& text, TExpansion how)
{
    switch (how) {
    case TExpansion::AsWritten:
        return text;
    case TExpansion::Plain:
        return ExpandConstants(text, ExpandPlain);
    case TExpansion::Path:
        return ExpandConstants(text, ExpandPath);
    case TExpansion::Decoded:
        return ExpandConstants(DecodeEscapes(text), ExpandPlain);
    case TExpansion::DecodedParts:
        break;
    }
    // Each NUL-separated part on its own: the environment step works on
    // NUL-terminated text and would drop everything after the first NUL of a
    // multi-string or binary value.
    std::string decoded = DecodeEscapes(text);
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t nul = decoded.find('\0', start);
        result += ExpandConstants(decoded.substr(start, nul == std::string::npos ? std::string::npos : nul - start),
                                  ExpandPlain);
        if (nul == std::string::npos) break;
        result += '\0';
        start = nul + 1;
    }
    return result;
}
