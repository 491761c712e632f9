#include "core/command_line.h"

#include "core/messages.h"

namespace {

bool IsOption(const std::string& argument)
{
    return argument.rfind("--", 0) == 0 || argument == "-h" || argument == "/?";
}

void SetWrong(TCommandLine& result, unsigned problem, const std::string& argument, const std::string& other = {})
{
    if (result.Mode == TProgramMode::Wrong) return;  // the first problem is the one told
    result.Mode = TProgramMode::Wrong;
    result.Problem = problem;
    result.ProblemArgument = argument;
    result.OtherArgument = other;
}

}  // namespace

TCommandLine ParseCommandLine(int argc, char** argv)
{
    TCommandLine result;
    std::string modeOption;  // the option that chose the mode, for the messages
    bool anyOption = false;
    bool scriptSeen = false;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (!IsOption(argument)) {
            if (!scriptSeen) result.ScriptName = argument;
            scriptSeen = true;
            continue;
        }
        anyOption = true;
        if (argument == "-h" || argument == "/?" || argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else if (argument == "--log") {
            if (i + 1 >= argc || IsOption(argv[i + 1]) || std::string(argv[i + 1]).empty())
                SetWrong(result, MsgUsageNoValue, argument);
            else
                result.LogPath = argv[++i];
        } else if (argument == "--format") {
            if (i + 1 >= argc || IsOption(argv[i + 1]) || std::string(argv[i + 1]).empty())
                SetWrong(result, MsgUsageNoFormat, argument);
            else
                result.Format = argv[++i];
        } else if (argument == "--plan" || argument == "--check") {
            TProgramMode mode = argument == "--plan" ? TProgramMode::Plan : TProgramMode::Check;
            if (!modeOption.empty() && modeOption != argument)
                SetWrong(result, MsgUsageTwoModes, modeOption, argument);
            else if (result.Mode != TProgramMode::Wrong)
                result.Mode = mode;
            modeOption = argument;
        } else {
            SetWrong(result, MsgUsageUnknownOption, argument);
        }
    }
    if (result.Mode == TProgramMode::Wrong) return result;
    if (!result.Format.empty() && !help && !version) {
        if (result.Mode != TProgramMode::Plan)
            SetWrong(result, MsgUsageFormatWithoutPlan, "--format");
        else if (result.Format != "json" && result.Format != "text")
            SetWrong(result, MsgUsageFormatUnknown, result.Format);
        if (result.Mode == TProgramMode::Wrong) return result;
    }
    if (help) {
        result.Mode = TProgramMode::Help;
    } else if (version) {
        result.Mode = TProgramMode::Version;
    } else if (anyOption && result.ScriptName.empty()) {
        // An option without a script: a plain run would only say that the
        // script is missing and wait for a key.
        SetWrong(result, MsgUsageNoScript, modeOption.empty() ? std::string("--log") : modeOption);
    }
    return result;
}
