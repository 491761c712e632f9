#include "actions/ole_server.h"

#include <windows.h>

#include "core/disk_files.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

using SelfRegistrationEntry = HRESULT(WINAPI*)();

const char* EntryPointName(TServerChange change)
{
    return change == TServerChange::Register ? "DllRegisterServer" : "DllUnregisterServer";
}

}  // namespace

TServerChange DecideServer(TSectionMode mode)
{
    return mode == TSectionMode::Delete ? TServerChange::Unregister : TServerChange::Register;
}

void ApplyServer(const TServerItem& item, TServerChange change)
{
    ReportItem(FormatMsg(MsgItemLine, item.Shown));
    if (!MayOpenAsFile(item.Path)) return FailStep(FormatMsg(MsgNotADiskFile, item.Path));
    if (Run.Plan.Active) {
        // Loading the library would run its code: a plan only looks for the file.
        if (!IsFilePath(item.Path)) return FailStep(ERROR_MOD_NOT_FOUND);
        return ReportChange(TChangeKind::Server,
                            Msg(change == TServerChange::Register ? MsgPlanRegisterAgain : MsgPlanUnregisterAgain));
    }
    const char* entryName = EntryPointName(change);
    UniqueModule library;
    DWORD loadError = 0;
    {
        ErrorModeScope noOpenFileBox(SEM_NOOPENFILEERRORBOX);
        library.Reset(LoadLibraryA(item.Path.c_str()));
        if (!library) loadError = GetLastError();
    }
    if (!library) return FailStep(static_cast<int32_t>(loadError));
    FARPROC address = GetProcAddress(library.Get(), entryName);
    if (address == nullptr) return FailStep(static_cast<int32_t>(GetLastError()));
    HRESULT result = reinterpret_cast<SelfRegistrationEntry>(address)();
    if (result < 0) return FailStep(static_cast<int32_t>(result));
    // S_FALSE and other positive codes are success too.
    Run.LastErrorCode = static_cast<int32_t>(result);
    ReportOk();
}

void RegisterServer(const TServerItem& item, TSectionMode mode)
{
    ApplyServer(item, DecideServer(mode));
}
