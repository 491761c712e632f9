#include "run/main_flow.h"

#include <windows.h>

#include <exception>

#include "core/command_line.h"
#include "core/console.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_log.h"
#include "core/run_state.h"
#include "core/section_mode.h"
#include "core/version.h"
#include "engine/engine.h"
#include "report/report_command.h"
#include "run/dispatch.h"
#include "run/file_items.h"
#include "run/includes.h"
#include "run/launch.h"
#include "run/plan.h"
#include "run/run_lock.h"
#include "run/script_check.h"
#include "run/start_up.h"
#include "script/constants.h"
#include "script/log_options.h"
#include "script/settings.h"

namespace {

constexpr const char* BannerLine = "Vantorel & Updater " VANTOREL_VERSION_TEXT;
constexpr const char* SecondBannerLine = "Brings the application up to date, then starts it.";

void SetProgramPath()
{
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, length);
    Run.ExeDir = DirectoryPart(path);
    Run.ExeName = FileNamePart(path);
}

// The script's constants and settings, loaded again whenever the script may
// have been replaced, so that a new script serves the rest of the run.
void LoadScriptSettings()
{
    std::string script = ScriptPath();
    LoadConstants(script);
    LoadSettings(script);
}

// The program's own files first: the program, its language file, the
// settings file and the script, stopping at the first that fails (a plan
// shows them all).
void UpdatePass()
{
    Run.SourceDir.clear();
    if (!ScriptIsADiskFile()) return;
    LoadScriptSettings();
    // The run log's file is known from here on, before the first item.
    ReadLogOptions(ScriptPath());
    const TSectionMode update = TSectionMode::Update;
    if (Run.Plan.Active) {
        for (const std::string& name : {Run.ExeName, Run.LanguageName, Run.SettingsName, Run.ScriptName})
            UpdateFile(name, "", update);
        return;
    }
    Run.RunOk = UpdateFile(Run.ExeName, "", update) && UpdateFile(Run.LanguageName, "", update) &&
                UpdateFile(Run.SettingsName, "", update) && UpdateFile(Run.ScriptName, "", update);
}

// A plan goes on as the restarted copy would; the restart is shown where the
// run would make it.
void ShowRestart()
{
    WriteLine(Msg(MsgRepeatLoading));
    ReportChange(TChangeKind::Restart, FormatMsg(MsgPlanRestart, "_" + Run.ExeName));
}

void Processing()
{
    LoadScriptSettings();
    std::string script = ScriptPath();
    ProcessIncludes(script);
    if (!Run.RunOk) return;
    WriteLine(FormatMsg(MsgProcessing, Run.ScriptName));
    ProcessScript(script);
}

void EngineShutdown()
{
    if (!Run.EngineStarted) return;
    // A plan changed nothing, so there is nothing to save.
    if (Run.Plan.Active) {
        DbiExit();
        return;
    }
    WriteText(Msg(MsgSavingEngineConfig));
    if (CheckEngineResult(DbiCfgSave(nullptr, nullptr, static_cast<BOOL>(-1)))) ReportOk();
    DbiExit();
}

void WriteBanner()
{
    ConsoleWrite(BannerLine);
    ConsoleWriteLine();
    ConsoleWrite(SecondBannerLine);
    ConsoleWriteLine();
}

void WriteUsage()
{
    const std::string& exe = Run.ExeName;
    WriteLine(Msg(MsgUsageHead));
    for (unsigned id : {MsgUsageRun, MsgUsageRunText, MsgUsagePlan, MsgUsagePlanText, MsgUsageCheck,
                        MsgUsageCheckText, MsgUsageReport, MsgUsageReportText, MsgUsageReportOptions, MsgUsageLog,
                        MsgUsageLogText, MsgUsageHelp, MsgUsageVersion})
        WriteLine(FormatMsg(id, exe));
    WriteLine();
    WriteLine(Msg(MsgUsageScript));
    WriteLine(Msg(MsgUsageReference));
    WriteLine();
    WriteLine(Msg(MsgUsageExitCodes));
    for (unsigned id : {MsgUsageExit0, MsgUsageExit1, MsgUsageExit2, MsgUsageExit3, MsgUsageExitReport})
        WriteLine(Msg(id));
}

void WriteProblem(const TCommandLine& arguments)
{
    WriteLine();
    if (arguments.Problem == MsgUsageTwoModes)
        WriteLine(FormatMsg(arguments.Problem, arguments.ProblemArgument, arguments.OtherArgument));
    else
        WriteLine(FormatMsg(arguments.Problem, arguments.ProblemArgument));
    WriteLine();
    WriteUsage();
}

// --check: the findings in the form editors read, then the summary. The
// script's log options are read as a run reads them; the constants they need
// are loaded for that only.
int CheckMode()
{
    try {
        ReadWorkstationFacts();
        BuildBuiltInConstants();
        std::vector<TConst> builtIns = ConstTable;
        LoadScriptSettings();
        ReadLogOptions(ScriptPath());
        ConstTable = builtIns;
        TCheckResult result = CheckScript(Run.ScriptName);
        for (const TFinding& finding : result.Findings) WriteLine(FormatFinding(finding));
        WriteLine(FormatCheckSummary(result));
        return CheckExitCode(result);
    } catch (const std::exception& error) {
        ReportError(error.what());
        return ExitFailed;
    }
}

}  // namespace

int RunMainFlow(int argc, char** argv)
{
    TCommandLine arguments = ParseCommandLine(argc, argv);
    SetProgramPath();
    LoadLanguageFile(Run.ExeDir, Run.ExeName);
    SetWindowTitle(ToOem(Msg(MsgTitle)));
    if (arguments.Mode == TProgramMode::Version) {
        ConsoleWrite(BannerLine);
        ConsoleWriteLine();
        return ExitGood;
    }
    WriteBanner();
    if (arguments.Mode == TProgramMode::Help) {
        WriteLine();
        WriteUsage();
        return ExitGood;
    }
    if (arguments.Mode == TProgramMode::Wrong) {
        WriteProblem(arguments);
        return ExitNoScript;
    }
    if (arguments.Mode == TProgramMode::Report) return RunReport(arguments.Report);
    if (!arguments.LogPath.empty()) UseLogFromCommandLine(arguments.LogPath);
    Run.ScriptName = arguments.ScriptName;
    if (arguments.Mode == TProgramMode::Check) {
        NameRunLogInstance(MsgLogCheckRun);
        return CheckMode();
    }
    Run.Plan.Active = arguments.Mode == TProgramMode::Plan;
    if (Run.Plan.Active) {
        NameRunLogInstance(MsgLogPlanRun);
        WriteLine(Msg(MsgPlanIntro));
    }
    WriteText(Msg(MsgInitialization));

    GetStartupInfoA(&Run.StartupInfo);
    if (Run.ScriptName.empty()) {
        ReportError(Msg(MsgIniNameNeeded));
        return ExitNoScript;
    }
    // The marker is removed once the run has its turn: a run that waits must
    // not take away the marker of the run it waits for. A run that fails
    // before that removes it all the same. A plan leaves it as it is.
    bool markerRemoved = Run.Plan.Active;
    auto removeMarker = [&markerRemoved] {
        if (!markerRemoved) SuccessMarker(true);
        markerRemoved = true;
    };

    try {
        ReadWorkstationFacts();
        BuildBuiltInConstants();
        ConsoleWriteLine();
        // A plan changes nothing, so it neither waits for a run nor holds one up.
        bool turn = Run.Plan.Active || TakeRunLock();
        removeMarker();
        if (!turn) return ExitFailed;

        try {
            UpdatePass();
            if (Run.Plan.Restart) ShowRestart();
            if (Run.RunOk && !Run.SelfReplaced) Processing();
        } catch (...) {
            // The engine configuration is saved before the error is shown.
            EngineShutdown();
            throw;
        }
        EngineShutdown();

        if (Run.Plan.Active) {
            ShowLaunch();
            WriteLine(PlanSummary());
            return PlanExitCode();
        }
        if (Run.RunOk) {
            if (Run.SelfReplaced)
                Restart();
            else
                LaunchApplication();
        }
    } catch (const std::exception& error) {
        removeMarker();
        ReportError(error.what());
        return ExitFailed;
    } catch (...) {
        removeMarker();
        ReportError(OsError(0).what());
        return ExitFailed;
    }

    if (!Run.RunOk) return ExitFailed;
    SuccessMarker(false);
    return ExitGood;
}
