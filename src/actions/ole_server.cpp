#include "actions/ole_server.h"

#include <windows.h>

#include "core/handles.h"
#include "core/messages.h"
#include "core/run_state.h"

namespace {

using SelfRegistrationEntry = HRESULT(WINAPI*)();

}  // namespace

TChange DecideServer(const TServerItem& item, TSectionMode mode, TMachineView& machine)
{
    TChange change;
    change.Kind = TChangeKind::Server;
    bool registers = mode != TSectionMode::Delete;
    change.Action = registers ? TChangeAction::Register : TChangeAction::Unregister;
    change.Target = item.Path;
    change.Path = item.Path;
    change.Line = FormatMsg(MsgItemLine, item.Shown);
    change.Reason = Msg(registers ? MsgPlanRegisterAgain : MsgPlanUnregisterAgain);
    if (!machine.MayOpenAsFile(item.Path, false)) change.Failure = FailureOf(FormatMsg(MsgNotADiskFile, item.Path));
    return change;
}

TApplied ApplyServerChange(const TChange& change)
{
    const char* entryName = change.Action == TChangeAction::Register ? "DllRegisterServer" : "DllUnregisterServer";
    UniqueModule library;
    DWORD loadError = 0;
    {
        ErrorModeScope noOpenFileBox(SEM_NOOPENFILEERRORBOX);
        library.Reset(LoadLibraryA(change.Path.c_str()));
        if (!library) loadError = GetLastError();
    }
    if (!library) return Applied(FailureOf(static_cast<int32_t>(loadError)));
    FARPROC address = GetProcAddress(library.Get(), entryName);
    if (address == nullptr) return Applied(FailureOf(static_cast<int32_t>(GetLastError())));
    HRESULT result = reinterpret_cast<SelfRegistrationEntry>(address)();
    if (result < 0) return Applied(FailureOf(static_cast<int32_t>(result)));
    // S_FALSE and other positive codes are success too.
    Run.LastErrorCode = static_cast<int32_t>(result);
    return {};
}

TApplied ForeseeServerChange(const TChange& change, TMachineView& machine)
{
    if (!IsFile(machine, change.Path)) return Applied(FailureOf(ERROR_MOD_NOT_FOUND));
    return {};
}

bool ProcessServerItem(const TServerItem& item, TSectionMode mode, TSteps& steps)
{
    bool ok = true;
    Take(steps, DecideServer(item, mode, steps.Machine()), ok);
    return ok;
}
