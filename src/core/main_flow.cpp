#include "core/main_flow.h"

#include <windows.h>

#include <exception>

#include "actions/file_update.h"
#include "core/command_line.h"
#include "core/console.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_log.h"
#include "core/run_state.h"
#include "core/version.h"
#include "engine/engine.h"
#include "script/constants.h"
#include "script/dispatch.h"
#include "script/expand.h"
#include "script/includes.h"
#include "script/log_options.h"
#include "script/profile.h"
#include "script/settings.h"

namespace {

constexpr const char* BannerLine = "Vantorel & Updater " VANTOREL_VERSION_TEXT;
constexpr const char* SecondBannerLine = "Brings the application up to date, then starts it.";
constexpr const char* CurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* WineKey = "Software\\Wine";
constexpr DWORD WorkBufferSize = 260;

void SetProgramPath()
{
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    std::string path(buffer, length);
    Run.ExeDir = DirectoryPart(path);
    Run.ExeName = FileNamePart(path);
}

std::string QueryDirectory(UINT(WINAPI* query)(LPSTR, UINT))
{
    char buffer[WorkBufferSize] = {};
    UINT length = query(buffer, WorkBufferSize);
    return length < WorkBufferSize ? std::string(buffer, length) : std::string();
}

// Reads a string value; a failure raises an operating-system error.
std::string ReadRegistryText(HKEY key, const char* name)
{
    char buffer[WorkBufferSize] = {};
    DWORD size = WorkBufferSize;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS) RaiseOsError(static_cast<DWORD>(result));
    buffer[WorkBufferSize - 1] = '\0';
    return buffer;
}

UniqueHKey OpenKeyForReading(HKEY root, const char* path)
{
    UniqueHKey key;
    LONG result = RegOpenKeyExA(root, path, 0, KEY_READ, key.Put());
    if (result != ERROR_SUCCESS) RaiseOsError(static_cast<DWORD>(result));
    return key;
}

void BuildBuiltInConstants()
{
    ConstTable.assign(BuiltInSlotCount, TConst{});
    auto set = [](size_t slot, unsigned nameId, std::string value) {
        ConstTable[slot] = TConst{Msg(nameId), std::move(value)};
    };
    std::string windir = QueryDirectory(GetWindowsDirectoryA);
    std::string winsysdir = QueryDirectory(GetSystemDirectoryA);
    set(SlotWinDir, WordWinDir, windir);
    set(SlotWinSysDir, WordWinSysDir, winsysdir);
    set(SlotEtcDir, WordEtcDir, Run.NtFamily ? winsysdir + "\\drivers\\etc" : windir);
    char temp[WorkBufferSize] = {};
    DWORD tempLength = GetTempPathA(WorkBufferSize, temp);
    set(SlotTempDir, WordTempDir, tempLength < WorkBufferSize ? std::string(temp, tempLength) : std::string());

    UniqueHKey current = OpenKeyForReading(HKEY_LOCAL_MACHINE, CurrentVersionKey);
    set(SlotPfDir, WordPfDir, ReadRegistryText(current.Get(), "ProgramFilesDir"));
    set(SlotCfDir, WordCfDir, ReadRegistryText(current.Get(), "CommonFilesDir"));
    // A system without a media directory keeps the slot nameless and empty.
    if (RegQueryValueExA(current.Get(), "MediaPath", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        set(SlotMediaDir, WordMediaDir, ReadRegistryText(current.Get(), "MediaPath"));
    UniqueHKey setup = OpenKeyForReading(current.Get(), "Setup");
    set(SlotBootDir, WordBootDir, ReadRegistryText(setup.Get(), "BootDir"));
    ConstTable[SlotSrcDir].Name = Msg(WordSrcDir);
}

bool IsNtFamily()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return true;  // only very old systems fail this; they are not NT
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void ReadComputerName()
{
    char buffer[WorkBufferSize] = {};
    DWORD size = WorkBufferSize;
    // An unknown name stays empty; the dispatcher then skips the per-computer sections.
    if (GetComputerNameA(buffer, &size)) Run.ComputerName.assign(buffer, size);
}

void UpdatePass()
{
    Run.SourceDir.clear();
    std::string script = ScriptPath();
    LoadConstants(script);
    LoadSettings(script);
    // The run log's file is known from here on, before the first item.
    ReadLogOptions(script);
    Run.RunOk = UpdateFile(Run.ExeName, "", 'U') && UpdateFile(Run.LanguageName, "", 'U') &&
                UpdateFile(Run.SettingsName, "", 'U') && UpdateFile(Run.ScriptName, "", 'U');
}

void Processing()
{
    std::string script = ScriptPath();
    LoadConstants(script);
    LoadSettings(script);
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

// Starts a process and does not wait for it; a failure raises the system error.
void StartProcess(std::string commandLine, const char* currentDirectory)
{
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        currentDirectory, &Run.StartupInfo, &info)) {
        DWORD code = GetLastError();
        FailRun();
        RaiseOsError(code);
    }
    // Nothing waits for the new process: its handles are only released.
    UniqueKernelHandle thread(info.hThread);
    UniqueKernelHandle process(info.hProcess);
}

void Restart()
{
    WriteLine(Msg(MsgRepeatLoading));
    // Quoted, so that a program directory or script name with blanks cannot
    // start another program (C:\Program.exe for C:\Program Files\...).
    std::string commandLine =
        "\"" + Run.ExeDir + "_" + Run.ExeName + "\" " + RunLogRestartArguments() + "\"" + Run.ScriptName + "\"";
    StartProcess(commandLine, nullptr);
    ReportOk();
}

void LaunchApplication()
{
    std::string script = ScriptPath();
    std::string options = Msg(WordOptions);
    if (Run.UnderWine) {
        std::string flags =
            ExpandConstants(ReadProfileString(script, options, Msg(WordRun) + Msg(WordFlags)), ExpandPlain);
        if (flags.find(Msg(WordWine)) == std::string::npos) return;
    }
    std::string value = ReadProfileString(script, options, Msg(WordRun));
    size_t blank = value.find(' ');
    if (blank == std::string::npos) {
        Run.RunProgram = ExpandConstants(value, ExpandPlain);
        Run.RunParameters.clear();
    } else {
        Run.RunProgram = ExpandConstants(value.substr(0, blank), ExpandPlain);
        Run.RunParameters = ExpandConstants(value.substr(blank), ExpandPlain);
    }
    if (Run.RunProgram.empty()) return;
    WriteText(FormatMsg(MsgLoading, Run.RunProgram));
    StartProcess(Run.RunProgram + Run.RunParameters, Run.ExeDir.c_str());
    ReportOk();
}

}  // namespace

std::string SuccessMarkerPath(const std::string& exeDir, const std::string& scriptName)
{
    std::string name = scriptName;
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of("\\/:");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
    return exeDir + name + ".ok";
}

void SuccessMarker(bool remove)
{
    std::string path = SuccessMarkerPath(Run.ExeDir, Run.ScriptName);
    if (remove) {
        DeleteFileA(path.c_str());  // a marker that is not there is what we want
        return;
    }
    // The run has succeeded either way; a marker that cannot be written only
    // makes the run look failed to whoever checks it.
    UniqueFile marker(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

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
        ReadComputerName();
        {
            UniqueHKey wine;
            Run.UnderWine = RegOpenKeyExA(HKEY_CURRENT_USER, WineKey, 0, KEY_READ, wine.Put()) == ERROR_SUCCESS;
        }
        Run.NtFamily = IsNtFamily();
        BuildBuiltInConstants();
        ConsoleWriteLine();

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
