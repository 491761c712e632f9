#include "actions/ole_server.h"

#include <windows.h>

#include "core/handles.h"
#include "core/report.h"
#include "core/run_state.h"

namespace {

using SelfRegistrationEntry = HRESULT(WINAPI*)();

const char* EntryPointName(char mode)
{
    return mode == 'I' || mode == 'U' ? "DllRegisterServer" : "DllUnregisterServer";
}

void FailWithCode(int32_t code)
{
    Run.LastErrorCode = code;
    ReportError();
    FailRun();
}

}  // namespace

void RegisterServer(const std::string& path, char mode)
{
    const char* entryName = EntryPointName(mode);
    UniqueModule library;
    DWORD loadError = 0;
    {
        ErrorModeScope noOpenFileBox(SEM_NOOPENFILEERRORBOX);
        library.Reset(LoadLibraryA(path.c_str()));
        if (!library) loadError = GetLastError();
    }
    if (!library) {
        FailWithCode(static_cast<int32_t>(loadError));
        return;
    }
    FARPROC address = GetProcAddress(library.Get(), entryName);
    if (address == nullptr) {
        FailWithCode(static_cast<int32_t>(GetLastError()));
        return;
    }
    HRESULT result = reinterpret_cast<SelfRegistrationEntry>(address)();
    if (result < 0) {
        FailWithCode(static_cast<int32_t>(result));
        return;
    }
    // S_FALSE and other positive codes are success too.
    Run.LastErrorCode = static_cast<int32_t>(result);
    ReportOk();
}
