// The demo's self-registering server: registration writes a class entry for
// the current user naming this library, unregistration removes it.
#include <windows.h>

#include <string>

namespace {

constexpr const char* ClassKey = "Software\\Classes\\CLSID\\{6B1F2C3D-4E5A-4B7C-9D8E-0F1A2B3C4D5E}";
constexpr HRESULT ClassError = static_cast<HRESULT>(0x80040201);  // SELFREG_E_CLASS

HMODULE ThisModule = nullptr;

bool SetDefault(HKEY key, const char* text)
{
    return RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(lstrlenA(text) + 1)) == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) ThisModule = instance;
    return TRUE;
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(ThisModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ClassError;
    HKEY classKey = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, ClassKey, 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr) !=
        ERROR_SUCCESS)
        return ClassError;
    HKEY serverKey = nullptr;
    bool ok = SetDefault(classKey, "Vantorel demo server") &&
              RegCreateKeyExA(classKey, "InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr) ==
                  ERROR_SUCCESS;
    RegCloseKey(classKey);
    if (!ok) return ClassError;
    ok = SetDefault(serverKey, path);
    RegCloseKey(serverKey);
    return ok ? S_OK : ClassError;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(ClassKey) + "\\InprocServer32").c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return ClassError;
    result = RegDeleteKeyA(HKEY_CURRENT_USER, ClassKey);
    // Not registered is what unregistering asks for; S_FALSE says so.
    if (result == ERROR_FILE_NOT_FOUND) return S_FALSE;
    return result == ERROR_SUCCESS ? S_OK : ClassError;
}
