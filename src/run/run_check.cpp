#include "run/run_check.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/log_record.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_log.h"
#include "core/run_state.h"
#include "run/script_check.h"
#include "run/start_up.h"
#include "script/check_option.h"

namespace {

// The run's constants: the check loads the scripts' constants into a table
// of the built-in ones, as --check does, and the run's come back after it.
class RunConstantsScope {
public:
    RunConstantsScope() : m_saved(ConstTable) {}
    ~RunConstantsScope() { ConstTable = m_saved; }
    RunConstantsScope(const RunConstantsScope&) = delete;
    RunConstantsScope& operator=(const RunConstantsScope&) = delete;

private:
    std::vector<TConst> m_saved;
};

// Where the findings can be read: the run log, or the check itself.
std::string WhereListed()
{
    if (RunLogFileChosen()) return Msg(MsgRunCheckInLog);
    // A restarted copy is named "_" + the program's name; the user knows the program.
    std::string exe = Run.ExeName;
    if (!exe.empty() && exe[0] == '_') exe.erase(0, 1);
    return FillMsg(MsgRunCheckByCheck, {exe, Run.ScriptName});
}

bool Has(const TCheckResult& result, TSeverity severity)
{
    for (const TFinding& finding : result.Findings)
        if (finding.Severity == severity) return true;
    return false;
}

}  // namespace

void CheckBeforeItems()
{
    TCheckOption option = ReadCheckOption(ScriptPath());
    if (option == TCheckOption::Off) return;
    TCheckResult result;
    {
        RunConstantsScope constants;
        BuildBuiltInConstants();
        result = CheckScript(Run.ScriptName);
    }
    AddRunLogHeaderField(FillMsg(MsgLogFindings, {std::to_string(result.Findings.size())}));
    if (result.Findings.empty()) return;
    // The findings are for the log; the screen gets their counts.
    for (const TFinding& finding : result.Findings) RecordText(FormatFinding(finding) + "\r\n");
    std::string summary = FormatCheckSummary(result);
    bool errors = Has(result, TSeverity::Error);
    if (option == TCheckOption::Strict && errors) {
        WriteText(FillMsg(MsgRunChecking, {Run.ScriptName}));
        throw std::runtime_error(
            FillMsg(MsgRunCheckStrict, {summary, Msg(WordCheck) + "=" + Msg(WordStrict), WhereListed()}));
    }
    // Notes alone count as a clean script, as for --check: the log has them.
    if (!errors && !Has(result, TSeverity::Warning)) return;
    std::string line = FillMsg(MsgRunCheckCounts, {summary});
    ConsoleWrite(ToOem(line + WhereListed()), line);
    ConsoleWriteLine();
}
