#include "report/log_format.h"

#include <windows.h>

#include "core/ansi_text.h"
#include "core/console.h"
#include "core/messages.h"

namespace {

// A message's literal text around its "%s" parts ("%%" is one "%").
std::vector<std::string> SplitFormat(const std::string& format)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            parts.emplace_back();
            ++i;
        } else {
            if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') ++i;
            parts.back() += format[i];
        }
    }
    return parts;
}

std::string WithoutBlanks(const std::string& text)
{
    std::string result;
    for (char c : text)
        if (c != ' ') result += c;
    return result;
}

template <typename Text>
TLogLanguage MakeLanguage(Text text)
{
    TLogLanguage language;
    language.HeaderParts = SplitFormat(text(MsgLogHeader));
    language.FooterParts = SplitFormat(text(MsgLogFooter));
    language.InterruptParts = SplitFormat(text(MsgLogInterrupted));
    language.Instances[0] = text(MsgLogFirstRun);
    language.Instances[1] = text(MsgLogRestartedCopy);
    language.Instances[2] = text(MsgLogPlanRun);
    language.Instances[3] = text(MsgLogCheckRun);
    language.FailedWord = WithoutBlanks(text(MsgFailedBox));
    language.ErrorPrefix = text(MsgErrorPrefix);
    language.RestartLine = text(MsgRepeatLoading);
    return language;
}

bool Usable(const TLogLanguage& language)
{
    return language.HeaderParts.size() == 7 && !language.HeaderParts[0].empty() &&
           language.FooterParts.size() == 3 && language.InterruptParts.size() == 3 && !language.FailedWord.empty();
}

bool SameTexts(const TLogLanguage& a, const TLogLanguage& b)
{
    for (int i = 0; i < 4; ++i)
        if (a.Instances[i] != b.Instances[i]) return false;
    return a.HeaderParts == b.HeaderParts && a.FooterParts == b.FooterParts && a.InterruptParts == b.InterruptParts &&
           a.FailedWord == b.FailedWord && a.ErrorPrefix == b.ErrorPrefix && a.RestartLine == b.RestartLine;
}

// The first character decides most lines without a call to the C runtime.
bool StartsWith(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() && (start.empty() || text[0] == start[0]) &&
           text.compare(0, start.size(), start) == 0;
}

bool EndsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsDigits(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsLetters(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-')) return false;
    return true;
}

int Number(std::string_view digits)
{
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

// The optional fields after the script ("  release 42"), taken off its end;
// a part that is no "<word> <value>" belongs to the script's name.
void TakeOptionalFields(std::string_view& script, std::string& release)
{
    for (;;) {
        size_t at = script.rfind("  ");
        if (at == std::string_view::npos) return;
        std::string_view field = script.substr(at + 2);
        size_t blank = field.find(' ');
        if (blank == std::string_view::npos || !IsLetters(field.substr(0, blank)) || blank + 1 >= field.size())
            return;
        if (field.substr(0, blank) == "release" && release.empty()) release = field.substr(blank + 1);
        script = script.substr(0, at);
    }
}

bool ParseWith(std::string_view line, const TLogLanguage& language, TLogHeader& header)
{
    const std::vector<std::string>& parts = language.HeaderParts;
    if (!StartsWith(line, parts[0]) || !EndsWith(line, parts[6]) || line.size() < parts[0].size() + parts[6].size())
        return false;
    std::string_view rest = line.substr(parts[0].size(), line.size() - parts[0].size() - parts[6].size());
    // The instance ends the line; the script before it may hold blanks.
    int instance = -1;
    for (int i = 0; i < 4 && instance < 0; ++i) {
        const std::string& word = language.Instances[i];
        if (word.empty() || !EndsWith(rest, word) || !EndsWith(rest.substr(0, rest.size() - word.size()), parts[5]))
            continue;
        instance = i;
        rest = rest.substr(0, rest.size() - word.size() - parts[5].size());
    }
    if (instance < 0) return false;
    std::string_view fields[4];
    for (int i = 0; i < 4; ++i) {
        size_t at = rest.find(parts[i + 1]);
        if (at == std::string_view::npos) return false;
        fields[i] = rest.substr(0, at);
        rest = rest.substr(at + parts[i + 1].size());
    }
    if (!IsValidStamp(fields[0]) || fields[1].empty() || fields[1].find(' ') != std::string_view::npos ||
        fields[3].empty() || fields[3].find(' ') != std::string_view::npos)
        return false;
    header.Release.clear();
    TakeOptionalFields(rest, header.Release);
    header.Stamp = fields[0];
    header.Computer = fields[1];
    header.User = fields[2];
    header.Version = fields[3];
    header.Script = rest;
    header.Instance = static_cast<TLogInstance>(instance);
    return true;
}

}  // namespace

std::vector<TLogLanguage> LoadLogLanguages()
{
    std::vector<TLogLanguage> languages;
    TLogLanguage inForce = MakeLanguage([](unsigned id) { return Msg(id); });
    if (Usable(inForce)) languages.push_back(inForce);
    HMODULE program = GetModuleHandleA(nullptr);
    TLogLanguage builtIn = MakeLanguage([program](unsigned id) { return LoadTableString(program, id, 4096); });
    if (Usable(builtIn) && (languages.empty() || !SameTexts(builtIn, languages[0]))) languages.push_back(builtIn);
    return languages;
}

bool ParseHeader(std::string_view line, const std::vector<TLogLanguage>& languages, TLogHeader& header)
{
    for (size_t i = 0; i < languages.size(); ++i) {
        if (ParseWith(line, languages[i], header)) {
            header.Language = i;
            return true;
        }
    }
    return false;
}

bool ParseFooter(std::string_view line, const TLogLanguage& language, TLogFooter& footer)
{
    for (bool interrupted : {false, true}) {
        const std::vector<std::string>& parts = interrupted ? language.InterruptParts : language.FooterParts;
        if (!StartsWith(line, parts[0]) || !EndsWith(line, parts[2]) ||
            line.size() < parts[0].size() + parts[1].size() + parts[2].size())
            continue;
        std::string_view middle = line.substr(parts[0].size(), line.size() - parts[0].size() - parts[2].size());
        size_t at = middle.rfind(parts[1]);
        if (at == std::string_view::npos || at + parts[1].size() >= middle.size()) continue;
        std::string_view first = middle.substr(0, at);
        if (interrupted) {
            footer.Reason = first;
        } else {
            bool negative = !first.empty() && first[0] == '-';
            std::string_view digits = negative ? first.substr(1) : first;
            if (!IsDigits(digits) || digits.size() > 9) continue;
            footer.ExitCode = negative ? -Number(digits) : Number(digits);
            footer.Reason.clear();
        }
        footer.Interrupted = interrupted;
        return true;
    }
    return false;
}

bool FailedStepText(std::string_view line, const TLogLanguage& language, std::string_view& step)
{
    const size_t column = static_cast<size_t>(StatusColumn) - 1;
    const std::string& word = language.FailedWord;
    if (line.size() < column + word.size() || line[column] != word[0]) return false;
    if (TrimBlanks(line.substr(column)) != word) return false;
    step = line.substr(0, column);
    return true;
}

bool IsValidStamp(std::string_view stamp)
{
    if (stamp.size() != 19 || stamp[4] != '-' || stamp[7] != '-' || stamp[10] != ' ' || stamp[13] != ':' ||
        stamp[16] != ':')
        return false;
    for (size_t i : {0, 5, 8, 11, 14, 17})
        if (!IsDigits(stamp.substr(i, i == 0 ? 4 : 2))) return false;
    int year = Number(stamp.substr(0, 4));
    int month = Number(stamp.substr(5, 2));
    int day = Number(stamp.substr(8, 2));
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return year >= 1980 && month >= 1 && month <= 12 && day >= 1 &&
           day <= (month == 2 && !leap ? 28 : days[month - 1]) && Number(stamp.substr(11, 2)) < 24 &&
           Number(stamp.substr(14, 2)) < 60 && Number(stamp.substr(17, 2)) < 60;
}

std::string_view TrimBlanks(std::string_view text)
{
    // By hand: every line of every log passes here.
    size_t start = 0, end = text.size();
    while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.substr(start, end - start);
}
