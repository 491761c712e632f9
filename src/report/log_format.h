// The lines of a run log as the report reads them: a block's header and
// footer, a failed step's status word at the status column, the error line
// and the self-update's restart line. The texts come from the message table,
// so a block is read in the language of the table in force and in the
// built-in English one; a workstation with a language file writes its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class TLogInstance { FirstRun, RestartedCopy, Plan, Check };

// The texts of one message table.
struct TLogLanguage {
    std::vector<std::string> HeaderParts;     // the header's text around its six fields
    std::vector<std::string> FooterParts;     // "==== exit code ", ", ", " s"
    std::vector<std::string> InterruptParts;  // around the reason and the seconds
    std::string Instances[4];                 // by TLogInstance
    std::string FailedWord;                   // the status word of a failure ("FAILED")
    std::string ErrorPrefix;                  // "ERROR: "
    std::string RestartLine;                  // "=> Repeating of Vantorel loading..."
};

// The table in force first, then the built-in one when it differs.
std::vector<TLogLanguage> LoadLogLanguages();

struct TLogHeader {
    std::string Stamp;  // "yyyy-mm-dd hh:mm:ss", local time of the workstation
    std::string Computer;
    std::string User;
    std::string Version;
    std::string Script;
    std::string Release;  // empty when the header names none
    TLogInstance Instance = TLogInstance::FirstRun;
    size_t Language = 0;  // index into the languages the header was read with
};

// Reads a header line (without its line end). False when the line is no
// header of any of the languages: another format, another code page, a line
// cut short. Fields between the script and the instance ("  <word> <value>")
// are passed over, except "release", which is kept.
bool ParseHeader(std::string_view line, const std::vector<TLogLanguage>& languages, TLogHeader& header);

struct TLogFooter {
    bool Interrupted = false;  // ended while waiting for a key: no exit code
    int ExitCode = 0;
    std::string Reason;  // Interrupted: why ("Ctrl-C")
};

// Reads a footer line in the block's language. False when it is none.
bool ParseFooter(std::string_view line, const TLogLanguage& language, TLogFooter& footer);

// The text before the status column when the line ends with the failure's
// status word there ("    -> report.dll..."); false otherwise.
bool FailedStepText(std::string_view line, const TLogLanguage& language, std::string_view& step);

// True when the stamp is a real date and time "yyyy-mm-dd hh:mm:ss".
bool IsValidStamp(std::string_view stamp);

// The text without blanks at either end.
std::string_view TrimBlanks(std::string_view text);
