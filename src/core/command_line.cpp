#include "core/command_line.h"

#include "core/ansi_text.h"
#include "core/messages.h"

namespace {

// The forms of help that administrators type from habit.
bool IsHelp(const std::string& argument)
{
    std::string upper = UpperAscii(argument);
    for (const char* form : {"--HELP", "-H", "/?", "-?", "/H", "/HELP"})
        if (upper == form) return true;
    return false;
}

bool IsOption(const std::string& argument)
{
    return argument.rfind("--", 0) == 0 || IsHelp(argument);
}

void SetWrong(TCommandLine& result, unsigned problem, const std::string& argument, const std::string& other = {})
{
    if (result.Mode == TProgramMode::Wrong) return;  // the first problem is the one told
    result.Mode = TProgramMode::Wrong;
    result.Problem = problem;
    result.ProblemArgument = argument;
    result.OtherArgument = other;
}

// Takes the value of an option that needs one into `value`; a missing,
// empty or option-like value is the problem `missing`.
void TakeValue(TCommandLine& result, int argc, char** argv, int& i, unsigned missing, std::string& value)
{
    if (i + 1 >= argc || IsOption(argv[i + 1]) || std::string(argv[i + 1]).empty())
        SetWrong(result, missing, argv[i]);
    else
        value = argv[++i];
}

TProgramMode ModeOf(const std::string& option)
{
    if (option == "--plan") return TProgramMode::Plan;
    if (option == "--check") return TProgramMode::Check;
    if (option == "--publish") return TProgramMode::Publish;
    if (option == "--report") return TProgramMode::Report;
    return TProgramMode::NewKey;
}

// The options that only --report takes; each takes the next argument as its value.
bool IsReportOption(const std::string& argument)
{
    return argument == "--out" || argument == "--computers" || argument == "--stale-days";
}

// Takes a report option's value into the request; false when it is not one.
bool TakeReportValue(TReportRequest& report, const std::string& option, const std::string& value)
{
    if (option == "--out") {
        report.OutPath = value;
    } else if (option == "--computers") {
        report.ComputersPath = value;
    } else {
        if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)
            return false;
        report.StaleDays = std::stoi(value);
    }
    return true;
}

// The report's format from "--format"; false for one it does not write.
bool TakeReportFormat(TReportRequest& report, const std::string& value)
{
    if (value == "html") report.Format = TReportFormat::Html;
    else if (value == "csv") report.Format = TReportFormat::Csv;
    else if (value == "json") report.Format = TReportFormat::Json;
    else return false;
    return true;
}

unsigned ReportValueProblem(const std::string& option)
{
    if (option == "--stale-days") return MsgUsageStaleDays;
    return MsgUsageNoValue;
}

}  // namespace

TCommandLine ParseCommandLine(int argc, char** argv)
{
    TCommandLine result;
    std::string modeOption;  // the option that chose the mode, for the messages
    bool anyOption = false;
    bool scriptSeen = false;
    bool keySeen = false;
    bool help = false;
    bool version = false;
    std::string reportOption;  // the first option that only --report takes
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (!IsOption(argument)) {
            if (!scriptSeen) result.ScriptName = argument;
            scriptSeen = true;
            result.Report.Inputs.push_back(argument);
            continue;
        }
        anyOption = true;
        if (IsHelp(argument)) {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else if (argument == "--log") {
            TakeValue(result, argc, argv, i, MsgUsageNoValue, result.LogPath);
        } else if (argument == "--format") {
            TakeValue(result, argc, argv, i, MsgUsageNoFormat, result.Format);
        } else if (argument == "--key") {
            keySeen = true;
            TakeValue(result, argc, argv, i, MsgUsageNoValue, result.KeyFile);
        } else if (IsReportOption(argument)) {
            if (reportOption.empty()) reportOption = argument;
            bool given = i + 1 < argc && !IsOption(argv[i + 1]) && *argv[i + 1] != '\0';
            if (!given || !TakeReportValue(result.Report, argument, argv[++i]))
                SetWrong(result, ReportValueProblem(argument), argument);
        } else if (argument == "--plan" || argument == "--check" || argument == "--publish" ||
                   argument == "--new-key" || argument == "--report") {
            TProgramMode mode = ModeOf(argument);
            if (mode == TProgramMode::Publish)
                TakeValue(result, argc, argv, i, MsgUsageNeedsDirectory, result.PublishDirectory);
            else if (mode == TProgramMode::NewKey)
                TakeValue(result, argc, argv, i, MsgUsageNoValue, result.NewKeyFile);
            if (!modeOption.empty() && modeOption != argument)
                SetWrong(result, MsgUsageTwoModes, modeOption, argument);
            else if (result.Mode != TProgramMode::Wrong)
                result.Mode = mode;
            modeOption = argument;
        } else {
            SetWrong(result, MsgUsageUnknownOption, argument);
        }
    }
    bool release = result.Mode == TProgramMode::Publish || result.Mode == TProgramMode::NewKey;
    if (keySeen && result.Mode != TProgramMode::Publish) SetWrong(result, MsgUsageOnlyWith, "--key", "--publish");
    if (release && !result.LogPath.empty()) SetWrong(result, MsgUsageTwoModes, "--log", modeOption);
    if (release && scriptSeen) SetWrong(result, MsgUsageStrayArgument, result.ScriptName, modeOption);
    if (result.Mode == TProgramMode::Report && !result.LogPath.empty())
        SetWrong(result, MsgUsageTwoModes, "--report", "--log");
    else if (result.Mode != TProgramMode::Report && !reportOption.empty())
        SetWrong(result, MsgUsageOnlyForReport, reportOption);
    if (result.Mode == TProgramMode::Wrong) return result;
    if (!result.Format.empty() && !help && !version) {
        if (result.Mode == TProgramMode::Report) {
            if (!TakeReportFormat(result.Report, result.Format)) SetWrong(result, MsgUsageFormat, "--format");
        } else if (result.Mode != TProgramMode::Plan) {
            SetWrong(result, MsgUsageFormatWithoutPlan, "--format");
        } else if (result.Format != "json" && result.Format != "text") {
            SetWrong(result, MsgUsageFormatUnknown, result.Format);
        }
        if (result.Mode == TProgramMode::Wrong) return result;
    }
    if (help) {
        result.Mode = TProgramMode::Help;
        result.ScriptReference = UpperAscii(result.ScriptName) == UpperAscii(Msg(WordScriptTopic));
    } else if (version) {
        result.Mode = TProgramMode::Version;
    } else if (result.Mode == TProgramMode::Report) {
        if (result.Report.Inputs.empty()) SetWrong(result, MsgUsageNoInput, "--report");
    } else if (anyOption && result.ScriptName.empty() && !release) {
        // An option without a script: a plain run would only say that the
        // script is missing and wait for a key.
        SetWrong(result, MsgUsageNoScript, modeOption.empty() ? std::string("--log") : modeOption);
    }
    return result;
}
