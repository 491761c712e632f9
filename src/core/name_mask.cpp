#include "core/name_mask.h"

bool MaskMatches(std::wstring_view name, const std::wstring& mask)
{
    const size_t none = std::wstring::npos;
    size_t n = 0;
    size_t m = 0;
    size_t afterStars = none;  // mask position after the last run of stars
    size_t retry = 0;          // name position the last star's match began at
    while (n < name.size() && m < mask.size()) {
        if (mask[m] == L'*') {
            while (m < mask.size() && mask[m] == L'*') ++m;
            if (m == mask.size()) return true;
            afterStars = m;
            while (n < name.size() && name[n] != mask[m]) ++n;
            retry = n;
        } else if (mask[m] == L'?') {
            ++m;
            ++n;
        } else if (mask[m] == name[n]) {
            ++m;
            ++n;
            if (m == mask.size()) {
                if (n == name.size()) return true;
                if (afterStars != none) m = afterStars;
            }
        } else {
            if (afterStars == none) return false;
            m = afterStars;
            n = ++retry;
        }
    }
    while (m < mask.size() && (mask[m] == L'.' || mask[m] == L'*')) ++m;
    return n == name.size() && m == mask.size();
}
