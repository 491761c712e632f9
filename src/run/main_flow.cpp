#include "run/main_flow.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>

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
#include "run/plan_json.h"
#include "run/release_commands.h"
#include "run/release_run.h"
#include "run/rollback.h"
#include "run/run_check.h"
#include "run/run_lock.h"
#include "run/run_steps.h"
#include "run/script_check.h"
#include "run/script_location.h"
#include "run/script_reference.h"
#include "run/start_up.h"
#include "script/constants.h"
#include "script/log_options.h"
#include "script/read_source.h"
#include "script/run_options.h"
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
void UpdatePass(TSteps& steps, bool plan, const std::function<void()>& settingsRead)
{
    Run.SourceDir.clear();
    if (!ScriptIsADiskFile(steps)) return;
    LoadScriptSettings();
    // The run log's file is known from here on, before the first item.
    ReadLogOptions(ScriptPath());
    settingsRead();
    if (!HoldSourceRelease(steps, plan)) return;
    const TSectionMode update = TSectionMode::Update;
    // A script named by a full path outside the program's directory is the
    // administrator's own: it is read where it is, never replaced from the source.
    const std::string script = IsRootedPath(Run.ScriptName) ? std::string() : Run.ScriptName;
    if (plan) {
        for (const std::string& name : {Run.ExeName, Run.LanguageName, Run.SettingsName, script})
            UpdateFile(name, "", update, steps);
        return;
    }
    Run.RunOk = UpdateFile(Run.ExeName, "", update, steps) && UpdateFile(Run.LanguageName, "", update, steps) &&
                UpdateFile(Run.SettingsName, "", update, steps) && UpdateFile(script, "", update, steps);
}

// A plan goes on as the restarted copy would; the restart is shown where the
// run would make it.
void ShowRestart(TSteps& steps)
{
    WriteLine(Msg(MsgRepeatLoading));
    TChange restart;
    restart.Kind = TChangeKind::Restart;
    restart.Action = TChangeAction::Restart;
    restart.Target = Run.ExeDir + "_" + Run.ExeName;
    restart.Reason = FormatMsg(MsgPlanRestart, "_" + Run.ExeName);
    bool ok = true;
    Take(steps, restart, ok);
}

void Processing(TSteps& steps, bool plan)
{
    LoadScriptSettings();
    // A new script may name another source.
    if (!HoldSourceRelease(steps, plan)) return;
    std::string script = ScriptPath();
    ProcessIncludes(script, steps);
    if (!Run.RunOk) return;
    WriteLine(FormatMsg(MsgProcessing, Run.ScriptName));
    ProcessScript(script, steps);
}

void EngineShutdown(bool plan)
{
    if (!Run.EngineStarted) return;
    // A plan changed nothing, so there is nothing to save.
    if (plan) {
        DbiExit();
        return;
    }
    WriteText(Msg(MsgSavingEngineConfig));
    std::string failure = EngineFailureText(DbiCfgSave(nullptr, nullptr, static_cast<BOOL>(-1)));
    if (failure.empty()) {
        ReportOk();
    } else {
        ReportError(failure);
        FailRun();
    }
    DbiExit();
}

// The end of a plan: with --format json, the document on standard output.
int FinishPlan(const TPlanSteps& plan, bool json, bool launches, const TRollbackOptions& rollback,
               const std::string& error, int exitCode)
{
    if (!json) return exitCode;
    TPlanFacts facts;
    facts.Rollback = rollback.Rollback;
    facts.StartAfterFailure = rollback.StartAfterFailure;
    facts.Script = ScriptPath();
    facts.Computer = Run.ComputerName;
    facts.Launches = launches;
    facts.Program = Run.RunProgram;
    facts.Parameters = Run.RunParameters;
    facts.Summary = plan.Summary();
    facts.ExitCode = exitCode;
    facts.Releases = ReleasesSeen();
    facts.Error = error;
    WriteStandardOutput(PlanJson(plan, facts));
    return exitCode;
}

// The run once it has its turn: what an earlier run left unfinished first,
// then the update pass, the script, and the end - the restart, the launch,
// or (with Rollback=1) the undo of a failed run. Gives the exit code.
int RunRoad(TRunSteps& steps)
{
    TRollback rollback(JournalPath(), steps.Machine());
    if (!rollback.Resume(!Run.ExeName.empty() && Run.ExeName[0] == '_')) {
        ReportError(Msg(MsgRollbackUnfinished));
        FailRun();
        return ExitFailed;
    }
    TRollbackOptions options;
    auto settingsRead = [&] {
        options = ReadRollbackOptions(ScriptPath());
        // A journal the restarted copy took over goes on whatever the script says now.
        if (options.Rollback || rollback.Any()) steps.UseRollback(rollback);
    };
    std::string fatal;  // an error raised on the way
    try {
        UpdatePass(steps, false, settingsRead);
        // A run that takes nothing this time has nothing to check either.
        if (Run.RunOk && !Run.SelfReplaced && !ReleaseNotUpdated()) CheckBeforeItems();
        if (Run.RunOk && !Run.SelfReplaced) Processing(steps, false);
    } catch (const std::exception& error) {
        fatal = error.what();
        FailRun();
    } catch (...) {
        fatal = OsError(0).what();
        FailRun();
    }
    bool undone = false;
    if (!Run.RunOk && steps.Rollback()) {
        // The changes go back first; then the failure is told as ever.
        if (!fatal.empty()) ReportFailedBox();
        undone = rollback.Undo();
        for (const TFailure& failure : steps.TakeHeldFailures()) {
            if (failure.Message.empty()) Run.LastErrorCode = failure.Code;
            ReportErrorText(FailureText(failure));
        }
        if (!fatal.empty()) ReportErrorText(fatal);
        fatal.clear();
    }
    // The engine configuration is saved before an error is shown.
    EngineShutdown(false);
    if (!fatal.empty()) {
        ReportError(fatal);
        return ExitFailed;
    }
    if (Run.RunOk) {
        if (Run.SelfReplaced) {
            rollback.HandOver();
            Restart();
        } else {
            rollback.Commit();
            LaunchApplication();
        }
        if (!Run.RunOk) return ExitFailed;
        return ReleaseNotUpdated() ? ExitNotUpdated : ExitGood;
    }
    if (undone && options.StartAfterFailure) {
        WriteLine(Msg(MsgStartedAnyway));
        LaunchApplication();
    }
    return ExitFailed;
}

// A plan once it may start: the run's road with its steps, then what the
// launch and a failure would do, and the summary.
// A plan: what the run would first put back of a run that was ended before
// it finished, laid over the machine the plan shows.
void PlanUndoAhead(TPlanSteps& plan)
{
    // Aliases are looked up through the engine, started here as the run would start it.
    bool engine = DbiInit(nullptr) == DBIERR_NONE;
    std::vector<TUndoAhead> ahead = UndoAhead(JournalPath(), plan.Machine());
    if (engine) DbiExit();
    if (ahead.empty()) return;
    WriteLine(Msg(MsgFinishingRollback));
    for (TUndoAhead& step : ahead) {
        if (step.Kept) {
            WriteText(step.Line);
            ShowKept(Msg(step.Kept));
            continue;
        }
        bool ok = true;
        for (size_t i = 0; i < step.Changes.size(); ++i) {
            TChange& change = step.Changes[i];
            // One line for the change put back; the steps it takes beyond the first go without one.
            change.Line = i == 0 ? step.Line : std::string();
            change.Quiet = i > 0;
            change.Reason = Msg(MsgPlanPutBack);
            Take(plan, change, ok);
        }
        if (step.Changes.empty()) {
            WriteText(step.Line);
            ReportOk();
        }
    }
}

int PlanRoad(TPlanSteps& plan, bool json)
{
    TRollbackOptions options;
    try {
        PlanUndoAhead(plan);
        UpdatePass(plan, true, [&options] { options = ReadRollbackOptions(ScriptPath()); });
        if (plan.Restart()) ShowRestart(plan);
        // A run that takes nothing this time has nothing to check either.
        if (Run.RunOk && !Run.SelfReplaced && !ReleaseNotUpdated()) CheckBeforeItems();
        if (Run.RunOk && !Run.SelfReplaced) Processing(plan, true);
    } catch (...) {
        EngineShutdown(true);
        throw;
    }
    EngineShutdown(true);
    bool launches = ShowLaunch();
    if (options.Rollback) WriteLine(Msg(options.StartAfterFailure ? MsgPlanRollbackAndStart : MsgPlanRollback));
    WriteLine(plan.Summary());
    int exitCode = plan.ExitCode();
    if (exitCode != ExitFailed && ReleaseNotUpdated()) exitCode = ExitNotUpdated;
    return FinishPlan(plan, json, launches, options, std::string(), exitCode);
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
    for (unsigned id : {MsgUsageRun, MsgUsageRunText, MsgUsagePlan, MsgUsagePlanText, MsgUsagePlanJson,
                        MsgUsagePlanJsonText, MsgUsageCheck, MsgUsageCheckText, MsgUsagePublish, MsgUsagePublishText,
                        MsgUsageNewKey, MsgUsageNewKeyText, MsgUsageReport, MsgUsageReportText, MsgUsageReportOptions,
                        MsgUsageLog, MsgUsageLogText, MsgUsageHelp, MsgUsageVersion})
        WriteLine(FormatMsg(id, exe));
    WriteLine();
    WriteLine(Msg(MsgUsageScript));
    WriteLine(FormatMsg(MsgUsageReference, exe));
    WriteLine();
    WriteLine(Msg(MsgUsageExitCodes));
    for (unsigned id : {MsgUsageExit0, MsgUsageExit1, MsgUsageExit2, MsgUsageExit3, MsgUsageExit4, MsgUsageExitRelease,
                        MsgUsageExitReport})
        WriteLine(Msg(id));
}

void WriteProblem(const TCommandLine& arguments)
{
    WriteLine();
    if (!arguments.OtherArgument.empty())
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
    // Standard output is the plan's JSON document, and nothing else.
    const bool json = arguments.Mode == TProgramMode::Plan && arguments.Format == "json";
    if (json) MuteScreen();
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
        if (arguments.ScriptReference)
            WriteScriptReference(Run.ExeName);
        else
            WriteUsage();
        return ExitGood;
    }
    if (arguments.Mode == TProgramMode::Wrong) {
        WriteProblem(arguments);
        return ExitNoScript;
    }
    if (arguments.Mode == TProgramMode::Publish)
        return PublishCommand(arguments.PublishDirectory, arguments.KeyFile);
    if (arguments.Mode == TProgramMode::NewKey) return NewKeyCommand(arguments.NewKeyFile);
    if (arguments.Mode == TProgramMode::Report) return RunReport(arguments.Report);
    if (!arguments.LogPath.empty()) UseLogFromCommandLine(arguments.LogPath);
    Run.ScriptName = LocateScript(arguments.ScriptName, Run.ExeDir);
    if (arguments.Mode == TProgramMode::Check) {
        NameRunLogInstance(MsgLogCheckRun);
        return CheckMode();
    }
    const bool plan = arguments.Mode == TProgramMode::Plan;
    std::unique_ptr<TPlanSteps> planSteps;
    std::unique_ptr<TRunSteps> runSteps;
    if (plan)
        planSteps = std::make_unique<TPlanSteps>();
    else
        runSteps = std::make_unique<TRunSteps>();
    TSteps& steps = plan ? static_cast<TSteps&>(*planSteps) : *runSteps;
    // A plan reads the script, its settings and includes as its update pass
    // would have left them.
    if (plan) SetReadSource([&steps](const std::string& path) { return steps.Machine().ContentPath(path); });
    // The plan's machine ends with this function: so does reading through it.
    struct TReadSourceReset {
        ~TReadSourceReset() { SetReadSource(nullptr); }
    } readSourceReset;
    if (plan) {
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
    bool markerRemoved = plan;
    auto removeMarker = [&markerRemoved] {
        if (!markerRemoved) SuccessMarker(true);
        markerRemoved = true;
    };

    try {
        ReadWorkstationFacts();
        BuildBuiltInConstants();
        ConsoleWriteLine();
        // A plan changes nothing, so it neither waits for a run nor holds one up.
        bool turn = plan || TakeRunLock();
        removeMarker();
        if (!turn) return ExitFailed;

        if (plan) return PlanRoad(*planSteps, json);
        int code = RunRoad(*runSteps);
        if (code != ExitGood) return code;
    } catch (const std::exception& error) {
        removeMarker();
        if (!plan) {
            ReportError(error.what());
            return ExitFailed;
        }
        // A plan shows the error and waits for no one.
        ShowFailure(error.what());
        if (json) WriteStandardError(ToOem(Msg(MsgErrorPrefix) + error.what()) + "\r\n");
        return FinishPlan(*planSteps, json, false, {}, error.what(), ExitFailed);
    } catch (...) {
        removeMarker();
        if (!plan) {
            ReportError(OsError(0).what());
            return ExitFailed;
        }
        ShowFailure(OsError(0).what());
        return FinishPlan(*planSteps, json, false, {}, OsError(0).what(), ExitFailed);
    }

    if (!Run.RunOk) return ExitFailed;
    if (ReleaseNotUpdated()) return ExitNotUpdated;
    if (!Run.SelfReplaced) RecordReleaseTaken();
    SuccessMarker(false);
    return ExitGood;
}
