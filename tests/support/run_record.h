// Records of the program's runs, for tools/same-output.sh: when the
// environment variable VANTOREL_RECORD_DIR names a directory (a Linux path
// such as /tmp/rec, or a Windows path), every run a test makes is appended to
// "<Suite>.<Test>.txt" there. What differs between runs and machines but is
// not the program's doing is replaced by placeholders first, so that records
// of two builds can be compared byte for byte.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct RunResult;

// Text a test made up that varies from run to run (a temporary directory, a
// GUID); its placeholders are numbered per test: "<TEMP1>", "<GUID2>".
void NoteMadeUpText(const std::string& text, const std::string& kind);

// Text of this machine, replaced by "<KIND>" without a number; a whole-word
// value matches only between non-alphanumeric characters.
struct VolatileText {
    std::string Text;
    std::string Kind;
    bool Numbered = false;
    bool WholeWord = false;
};

// Numbers given so far, per kind and value (in upper case).
using PlaceholderNumbers = std::map<std::string, std::map<std::string, int>>;

// The text with every value replaced by its placeholder, matched without
// regard to case, from left to right, the longest value first where several
// start at one place. New values of a numbered kind take the kind's next
// number in the order they appear.
std::string ReplaceVolatileText(const std::string& text, const std::vector<VolatileText>& values,
                                PlaceholderNumbers& numbers);

// Appends the run to the current test's record when recording is on; a
// failure to write is reported as a test failure.
void RecordRun(const std::string& commandLine, const RunResult& result);

}  // namespace testing_support
