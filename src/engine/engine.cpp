#include "engine/engine.h"

#include <cstring>

#include "core/handles.h"
#include "core/messages.h"

namespace {

using DbiInitFnProc = DBIResult(WINAPI*)(uint16_t version, void* environment);
using DbiExitProc = DBIResult(WINAPI*)();
using DbiOpenDatabaseListProc = DBIResult(WINAPI*)(hDBICur* cursor);
using DbiGetNextRecordProc = DBIResult(WINAPI*)(hDBICur cursor, int lock, void* record, void* properties);
using DbiCloseCursorProc = DBIResult(WINAPI*)(hDBICur* cursor);
using DbiDeleteAliasProc = DBIResult(WINAPI*)(hDBIDb database, const char* alias);
using DbiAddAliasProc = DBIResult(WINAPI*)(hDBIDb config, const char* alias, const char* driverType,
                                           const char* params, BOOL persistent);
using DbiGetErrorStringProc = DBIResult(WINAPI*)(DBIResult code, char* text);
using DbiCfgSaveProc = DBIResult(WINAPI*)(hDBIDb database, const char* configFile, BOOL persistent);

// Record handed to the library's optional "DLLINITFUNCTION" export when the
// first entry is bound: who is using the engine.
#pragma pack(push, 1)
struct ClientRecord {
    int16_t Version;
    const char* ModuleName;
    const char* ClientTag;
};
#pragma pack(pop)
using DllInitProc = DBIResult(WINAPI*)(ClientRecord* client);

constexpr const char* InitExport = "DbiInitFn";
constexpr const char* ExitExport = "DbiExit";
constexpr const char* ClientInitExport = "DLLINITFUNCTION";
constexpr const char* LoaderMutexName = "LIBLDRMUX";
constexpr const char* ClientTag = "VNT";
// Another process holds the setup mutex only for an instant; one that keeps
// it must not hang the workstation's start-up.
constexpr DWORD LoaderMutexWaitMs = 10000;

enum EntrySlot { OpenDatabaseListSlot, GetNextRecordSlot, CloseCursorSlot, DeleteAliasSlot, AddAliasSlot,
                 GetErrorStringSlot, CfgSaveSlot, SlotCount };
constexpr WORD EntryOrdinals[SlotCount] = {82, 16, 12, 1211, 1207, 298, 400};

struct EngineBinding {
    UniqueModule Module;
    int UseCount = 0;              // successful DbiInit calls not yet released
    bool ClientRegistered = false; // "DLLINITFUNCTION" was offered for this load
    FARPROC Entries[SlotCount] = {};
    char ModuleName[MAX_PATH + 1] = {};
};
EngineBinding Engine;

CRITICAL_SECTION BindLock;
bool BindLockReady = false;

void ForgetModule()
{
    Engine.Module.Reset();
    Engine.ClientRegistered = false;
    for (FARPROC& entry : Engine.Entries) entry = nullptr;
}

DBIResult LoadEngine()
{
    ErrorModeScope quiet(SEM_NOOPENFILEERRORBOX);
    char currentDir[MAX_PATH + 1] = {};
    DWORD length = GetCurrentDirectoryA(sizeof currentDir, currentDir);
    // An unknown current directory only skips the first place to look.
    std::string current = length > 0 && length < sizeof currentDir ? std::string(currentDir, length) : "";
    std::string path = engine_loader::LibraryPath(
        current, engine_loader::ReadDllPath(HKEY_LOCAL_MACHINE, engine_loader::ConfigKey));
    HMODULE module = LoadLibraryA(path.c_str());
    DWORD error = GetLastError();
    if (!module) return engine_loader::MapLoadError(error);
    Engine.Module.Reset(module);
    return DBIERR_NONE;
}

// Sets up the process-wide binding lock once, under the named mutex that
// every client of the engine uses for it.
bool EnsureBindLock()
{
    if (BindLockReady) return true;
    UniqueKernelHandle mutex(CreateMutexA(nullptr, FALSE, LoaderMutexName));
    if (!mutex) return false;
    DWORD wait = WaitForSingleObject(mutex.Get(), LoaderMutexWaitMs);
    // An abandoned mutex is ours all the same.
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
    if (!BindLockReady) {
        InitializeCriticalSection(&BindLock);
        BindLockReady = true;
    }
    ReleaseMutex(mutex.Get());  // we own it: this cannot fail
    return true;
}

class BindLockScope {
public:
    BindLockScope() { EnterCriticalSection(&BindLock); }
    ~BindLockScope() { LeaveCriticalSection(&BindLock); }
    BindLockScope(const BindLockScope&) = delete;
    BindLockScope& operator=(const BindLockScope&) = delete;
};

void RegisterClient()
{
    Engine.ClientRegistered = true;
    auto init = reinterpret_cast<DllInitProc>(GetProcAddress(Engine.Module.Get(), ClientInitExport));
    if (!init) return;  // the export is optional
    if (Engine.ModuleName[0] == '\0')
        // A name that cannot be had stays empty; the record still names the tag.
        GetModuleFileNameA(nullptr, Engine.ModuleName, MAX_PATH);
    static ClientRecord client;
    client = ClientRecord{1, Engine.ModuleName, ClientTag};
    // The engine tells nothing through this result that the calls after it
    // would not report themselves.
    init(&client);
}

// Binds the entry of `slot` (loading the library when nothing has); gives the
// entry or null with the code that the call returns instead of running.
template <typename Proc>
Proc Bind(EntrySlot slot, DBIResult& failure)
{
    if (Engine.Entries[slot]) return reinterpret_cast<Proc>(Engine.Entries[slot]);
    if (!EnsureBindLock()) {
        failure = DBIERR_NOLOCK;
        return nullptr;
    }
    BindLockScope locked;
    if (!Engine.Module && LoadEngine() != DBIERR_NONE) {
        failure = DBIERR_NOMODULE;
        return nullptr;
    }
    if (!Engine.ClientRegistered) RegisterClient();
    Engine.Entries[slot] = GetProcAddress(Engine.Module.Get(), MAKEINTRESOURCEA(EntryOrdinals[slot]));
    if (!Engine.Entries[slot]) {
        failure = DBIERR_NOENTRY;
        return nullptr;
    }
    return reinterpret_cast<Proc>(Engine.Entries[slot]);
}

}  // namespace

namespace engine_loader {

DBIResult MapLoadError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
        return DBIERR_NOTFOUND;
    case ERROR_OUTOFMEMORY:
        return DBIERR_NOMEMORY;
    default:
        return DBIERR_LOADFAILED;
    }
}

std::string ReadDllPath(HKEY root, const char* subKey)
{
    UniqueHKey key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return "";  // no engine configured
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), DllPathValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return "";
    if (type != REG_SZ && type != REG_EXPAND_SZ) return "";  // not a list of directories
    // Read whole: a cut list would name a directory that does not exist.
    std::string value(size + 1, '\0');
    size = static_cast<DWORD>(value.size());
    if (RegQueryValueExA(key.Get(), DllPathValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
        return "";  // changed under us: treat as not configured
    value.resize(strnlen(value.c_str(), value.size()));
    return value;
}

std::string LibraryPath(const std::string& currentDir, const std::string& dllPath)
{
    if (!currentDir.empty()) {
        std::string candidate = currentDir;
        if (candidate.back() != '\\' && candidate.back() != '/') candidate += '\\';
        candidate += LibraryName;
        DWORD attributes = GetFileAttributesA(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return candidate;
    }
    if (!dllPath.empty()) {
        char found[MAX_PATH + 1] = {};
        char* filePart = nullptr;
        DWORD length = SearchPathA(dllPath.c_str(), LibraryName, nullptr, sizeof found, found, &filePart);
        if (length > 0 && length < sizeof found) return std::string(found, length);
    }
    return LibraryName;
}

}  // namespace engine_loader

DBIResult DbiInit(void* environment)
{
    bool loadedHere = false;
    if (!Engine.Module) {
        DBIResult loaded = LoadEngine();
        if (loaded != DBIERR_NONE) return loaded;
        loadedHere = true;
    }
    auto init = reinterpret_cast<DbiInitFnProc>(GetProcAddress(Engine.Module.Get(), InitExport));
    DBIResult result = init ? init(DbiInterfaceVersion, environment) : DBIERR_NOENTRY;
    if (result != DBIERR_NONE) {
        if (loadedHere) ForgetModule();
        return result;
    }
    ++Engine.UseCount;
    return DBIERR_NONE;
}

DBIResult DbiExit()
{
    if (!Engine.Module || Engine.UseCount == 0) return DBIERR_NOMODULE;
    auto exit = reinterpret_cast<DbiExitProc>(GetProcAddress(Engine.Module.Get(), ExitExport));
    DBIResult result = exit ? exit() : DBIERR_NOENTRY;
    if (--Engine.UseCount == 0) ForgetModule();
    return result;
}

DBIResult DbiOpenDatabaseList(hDBICur* cursor)
{
    DBIResult failure = DBIERR_NONE;
    auto entry = Bind<DbiOpenDatabaseListProc>(OpenDatabaseListSlot, failure);
    return entry ? entry(cursor) : failure;
}

DBIResult DbiGetNextRecord(hDBICur cursor, int lock, void* record, void* properties)
{
    DBIResult failure = DBIERR_NONE;
    auto entry = Bind<DbiGetNextRecordProc>(GetNextRecordSlot, failure);
    return entry ? entry(cursor, lock, record, properties) : failure;
}

DBIResult DbiCloseCursor(hDBICur* cursor)
{
    DBIResult failure = DBIERR_NONE;
    auto entry = Bind<DbiCloseCursorProc>(CloseCursorSlot, failure);
    return entry ? entry(cursor) : failure;
}

DBIResult DbiDeleteAlias(hDBIDb database, const char* alias)
{
    DBIResult failure = DBIERR_NONE;
    auto entry = Bind<DbiDeleteAliasProc>(DeleteAliasSlot, failure);
    return entry ? entry(database, alias) : failure;
}

DBIResult DbiAddAlias(hDBIDb config, const char* alias, const char* driverType, const char* params,
                      BOOL persistent)
{
    DBIResult failure = DBIERR_NONE;
    auto entry = Bind<DbiAddAliasProc>(AddAliasSlot, failure);
    return entry ? entry(config, alias, driverType, params, persistent) : failure;
}

DBIResult DbiGetErrorString(DBIResult code, char* text)
{
    DBIResult failure = DBIERR_NONE;
    auto entry = Bind<DbiGetErrorStringProc>(GetErrorStringSlot, failure);
    return entry ? entry(code, text) : failure;
}

DBIResult DbiCfgSave(hDBIDb database, const char* configFile, BOOL persistent)
{
    DBIResult failure = DBIERR_NONE;
    auto entry = Bind<DbiCfgSaveProc>(CfgSaveSlot, failure);
    return entry ? entry(database, configFile, persistent) : failure;
}

std::string EngineFailureText(DBIResult code)
{
    if (code == DBIERR_NONE) return {};
    char text[DbiErrorTextSize] = {};
    std::string message;
    if (DbiGetErrorString(code, text) == DBIERR_NONE) message.assign(text, strnlen(text, sizeof text));
    // An empty text would have the failure explained by an unrelated system code.
    if (message.empty()) message = Msg(MsgEngineNotInstalled);
    return message;
}

bool AliasRecordMatches(const char* record, const std::string& oemName)
{
    size_t length = strnlen(record, DbiAliasNameField);
    return length < DbiAliasNameField && length == oemName.size() && std::memcmp(record, oemName.data(), length) == 0;
}
