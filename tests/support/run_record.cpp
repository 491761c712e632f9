#include "run_record.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <mutex>

#include "core/handles.h"
#include "harness.h"

namespace testing_support {

namespace {

struct RecordState {
    std::mutex Lock;
    std::vector<VolatileText> MadeUp;
    std::string Test;  // the test the numbers and run count belong to
    PlaceholderNumbers Numbers;
    int Runs = 0;
};

RecordState& State()
{
    static RecordState state;
    return state;
}

bool SameNoCase(char a, char b)
{
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

bool IsWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// The first place at or after `from` where the value matches, or npos.
size_t FindValue(const std::string& text, const VolatileText& value, size_t from)
{
    while (from < text.size()) {
        auto hit = std::search(text.begin() + static_cast<long>(from), text.end(), value.Text.begin(),
                               value.Text.end(), SameNoCase);
        if (hit == text.end()) return std::string::npos;
        size_t at = static_cast<size_t>(hit - text.begin());
        size_t end = at + value.Text.size();
        bool bounded = !value.WholeWord || ((at == 0 || !IsWordChar(text[at - 1])) &&
                                            (end == text.size() || !IsWordChar(text[end])));
        if (bounded) return at;
        from = at + 1;
    }
    return std::string::npos;
}

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string WithoutTrailingBackslash(std::string path)
{
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// This machine's texts that can show up in the program's output.
std::vector<VolatileText> MachineTexts()
{
    std::vector<VolatileText> values{{WithoutTrailingBackslash(BuildDir()), "BUILD"},
                                     {WithoutTrailingBackslash(SourceDir()), "SOURCE"}};
    char temp[MAX_PATH + 1] = {};
    // Without a temporary path there is nothing of it to replace.
    if (GetTempPathA(MAX_PATH + 1, temp) != 0) values.push_back({WithoutTrailingBackslash(temp), "TMP"});
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    // Without a computer name the program prints none either.
    if (GetComputerNameA(computer, &size)) values.push_back({std::string(computer, size), "COMPUTER", false, true});
    return values;
}

// A file name from the test's name: characters Windows does not allow become "_".
std::string RecordFileName(const std::string& test)
{
    std::string name = test;
    for (char& c : name)
        if (std::string("\\/:*?\"<>|").find(c) != std::string::npos) c = '_';
    return name + ".txt";
}

}  // namespace

void NoteMadeUpText(const std::string& text, const std::string& kind)
{
    RecordState& state = State();
    std::lock_guard<std::mutex> hold(state.Lock);
    state.MadeUp.push_back({text, kind, true});
}

std::string ReplaceVolatileText(const std::string& text, const std::vector<VolatileText>& values,
                                PlaceholderNumbers& numbers)
{
    std::string result;
    size_t pos = 0;
    for (;;) {
        const VolatileText* best = nullptr;
        size_t bestAt = std::string::npos;
        for (const VolatileText& value : values) {
            if (value.Text.empty()) continue;
            size_t at = FindValue(text, value, pos);
            if (at < bestAt || (at == bestAt && at != std::string::npos && value.Text.size() > best->Text.size())) {
                best = &value;
                bestAt = at;
            }
        }
        if (!best) break;
        result.append(text, pos, bestAt - pos);
        std::string placeholder = best->Kind;
        if (best->Numbered) {
            auto& known = numbers[best->Kind];
            auto inserted = known.emplace(Upper(best->Text), static_cast<int>(known.size()) + 1);
            placeholder += std::to_string(inserted.first->second);
        }
        result += "<" + placeholder + ">";
        pos = bestAt + best->Text.size();
    }
    return result + text.substr(pos);
}

void RecordRun(const std::string& commandLine, const RunResult& result)
{
    char dir[MAX_PATH + 1] = {};
    DWORD length = GetEnvironmentVariableA("VANTOREL_RECORD_DIR", dir, sizeof dir);
    if (length == 0) return;  // recording is off
    if (length > MAX_PATH) {
        ADD_FAILURE() << "VANTOREL_RECORD_DIR is longer than " << MAX_PATH << " characters";
        return;
    }
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string test = info ? std::string(info->test_suite_name()) + "." + info->name() : "outside-tests";

    RecordState& state = State();
    std::lock_guard<std::mutex> hold(state.Lock);
    if (test != state.Test) {
        state.Test = test;
        state.Numbers.clear();
        state.Runs = 0;
    }
    std::vector<VolatileText> values = MachineTexts();
    values.insert(values.end(), state.MadeUp.begin(), state.MadeUp.end());
    // Numbered in the order the record shows them: the command line first.
    std::string shownCommand = ReplaceVolatileText(commandLine, values, state.Numbers);
    std::string output = ReplaceVolatileText(result.Output, values, state.Numbers);
    std::string run = std::to_string(++state.Runs);
    std::string record = "== run " + run + ": " + shownCommand + "\r\nexit code " + std::to_string(result.ExitCode) +
                         ", timed out: " + (result.TimedOut ? "yes" : "no") + "\r\n" + output;
    if (!output.empty() && output.back() != '\n')
        record += "\r\n== end of run " + run + " (the output has no line break at its end)\r\n";
    else
        record += "== end of run " + run + "\r\n";

    // The first run of a test in this process starts the record afresh.
    std::string path = WithoutTrailingBackslash(NativePath(dir)) + "\\" + RecordFileName(test);
    UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                state.Runs == 1 ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = GetLastError();
    if (!file) {
        ADD_FAILURE() << "cannot open the record " << path << ", error " << error;
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr)) {
        error = GetLastError();
        ADD_FAILURE() << "cannot write the record " << path << ", error " << error;
    }
}

}  // namespace testing_support
