#include "script/constants.h"

std::vector<TConst> ConstTable;

// PLACEHOLDER until the configuration work lands: loads no constants.
void LoadConstants(const std::string& /*file*/) {}

TRootKey ParseRootKey(const std::string& path)
{
    static const struct {
        const char* Full;
        const char* Short;
        HKEY Key;
    } roots[] = {
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", "HKUS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", "HKPD", HKEY_PERFORMANCE_DATA},
        {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
        {"HKEY_DYN_DATA", "HKDD", HKEY_DYN_DATA},
    };
    TRootKey result;
    result.SubKey = path;
    if (path.size() < 2 || path[0] == '\\') return result;
    size_t slash = path.find('\\');
    if (slash == std::string::npos) return result;
    std::string first = path.substr(0, slash);
    for (const auto& root : roots) {
        if (first == root.Full || first == root.Short) {
            result.Root = root.Key;
            result.SubKey = path.substr(slash + 1);
            result.Recognised = true;
            break;
        }
    }
    return result;
}
