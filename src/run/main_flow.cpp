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
#include "run/dispatch.h"
#include "run/file_items.h"
#include "run/includes.h"
#include "run/launch.h"
#include "run/run_lock.h"
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
// settings file and the script, stopping at the first that fails.
void UpdatePass()
{
    Run.SourceDir.clear();
    if (!ScriptIsADiskFile()) return;
    LoadScriptSettings();
    // The run log's file is known from here on, before the first item.
    ReadLogOptions(ScriptPath());
    const TSectionMode update = TSectionMode::Update;
    Run.RunOk = UpdateFile(Run.ExeName, "", update) && UpdateFile(Run.LanguageName, "", update) &&
                UpdateFile(Run.SettingsName, "", update) && UpdateFile(Run.ScriptName, "", update);
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
    WriteText(Msg(MsgSavingEngineConfig));
    if (CheckEngineResult(DbiCfgSave(nullptr, nullptr, static_cast<BOOL>(-1)))) ReportOk();
    DbiExit();
}

}  // namespace

int RunMainFlow(int argc, char** argv)
{
    TCommandLine arguments = ParseCommandLine(argc, argv);
    SetProgramPath();
    LoadLanguageFile(Run.ExeDir, Run.ExeName);
    SetWindowTitle(ToOem(Msg(MsgTitle)));
    ConsoleWrite(BannerLine);
    ConsoleWriteLine();
    ConsoleWrite(SecondBannerLine);
    ConsoleWriteLine();
    if (!arguments.LogPath.empty()) UseLogFromCommandLine(arguments.LogPath);
    WriteText(Msg(MsgInitialization));

    GetStartupInfoA(&Run.StartupInfo);
    Run.ScriptName = arguments.ScriptName;
    if (Run.ScriptName.empty()) {
        ReportError(Msg(MsgIniNameNeeded));
        return ExitNoScript;
    }
    SuccessMarker(true);

    try {
        ReadWorkstationFacts();
        BuildBuiltInConstants();
        ConsoleWriteLine();
        if (!TakeRunLock()) return ExitFailed;

        try {
            UpdatePass();
            if (Run.RunOk && !Run.SelfReplaced) Processing();
        } catch (...) {
            // The engine configuration is saved before the error is shown.
            EngineShutdown();
            throw;
        }
        EngineShutdown();

        if (Run.RunOk) {
            if (Run.SelfReplaced)
                Restart();
            else
                LaunchApplication();
        }
    } catch (const std::exception& error) {
        ReportError(error.what());
        return ExitFailed;
    } catch (...) {
        ReportError(OsError(0).what());
        return ExitFailed;
    }

    if (!Run.RunOk) return ExitFailed;
    SuccessMarker(false);
    return ExitGood;
}
