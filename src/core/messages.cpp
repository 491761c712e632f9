#include "core/messages.h"

#include <windows.h>

#include <unordered_map>
#include <vector>

#include "core/ansi_text.h"
#include "core/disk_files.h"
#include "core/handles.h"

namespace {

UniqueModule g_languageFile;
// Texts already looked up in the table in force: an item of ten values asks
// for the same few words dozens of times.
std::unordered_map<unsigned, std::string> g_texts;

// Formats with the C runtime; the message texts carry the %s/%d markers.
template <typename... Args>
std::string Format(const std::string& format, Args... args)
{
    int length = std::snprintf(nullptr, 0, format.c_str(), args...);
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::snprintf(buffer.data(), buffer.size(), format.c_str(), args...);
    return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string ReplaceExtension(const std::string& name, const std::string& ext)
{
    size_t dot = name.find_last_of('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + "." + ext;
}

}  // namespace

void LoadLanguageFile(const std::string& exeDir, const std::string& exeName)
{
    char abbreviation[16] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation) == 0)
        return;  // no locale information: the built-in table serves
    std::string abbrev = abbreviation;
    for (std::string ext : {abbrev.substr(0, 3), abbrev.substr(0, 2)}) {
        if (ext.empty()) continue;
        std::string path = exeDir + ReplaceExtension(exeName, ext);
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES || !MayOpenAsFile(path)) continue;
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module) {
            g_languageFile.Reset(module);
            g_texts.clear();
            return;
        }
    }
}

void UnloadLanguageFile()
{
    g_languageFile.Reset();
    g_texts.clear();
}

std::string Msg(unsigned id)
{
    auto known = g_texts.find(id);
    if (known != g_texts.end()) return known->second;
    HINSTANCE source = g_languageFile ? g_languageFile.Get() : GetModuleHandleA(nullptr);
    return g_texts[id] = LoadTableString(source, id, 4096);
}

std::string FormatMsg(unsigned id, const std::string& a)
{
    return Format(Msg(id), a.c_str());
}

std::string FormatMsg(unsigned id, const std::string& a, const std::string& b)
{
    return Format(Msg(id), a.c_str(), b.c_str());
}

std::string FormatMsg(unsigned id, const std::string& a, long n)
{
    return Format(Msg(id), a.c_str(), n);
}

std::string FormatMsg(unsigned id, const std::string& a, const std::string& b, const std::string& c)
{
    return Format(Msg(id), a.c_str(), b.c_str(), c.c_str());
}

std::string FillMsg(unsigned id, std::initializer_list<std::string> texts)
{
    std::string format = Msg(id);
    std::string result;
    auto next = texts.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            result += '%';
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            if (next != texts.end()) result += *next++;
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}
