// A stand-in for the database engine library IDAPI32.DLL.
//
// It is not a database engine. It keeps a list of aliases (name, driver type,
// parameter list) and offers the entries that Vantorel calls, so that alias
// items can be run and tested without the real engine:
//
//   DbiInitFn(version 500, environment)   loads the saved aliases (first start)
//   DbiExit()                             ends one start; unsaved changes are lost
//   DbiOpenDatabaseList(&cursor)          a cursor over the aliases
//   DbiGetNextRecord(cursor, lock, record, properties)
//                                         record: name NUL-terminated in bytes
//                                         0-31, driver type in bytes 32-63, the
//                                         parameter list from byte 64 (up to
//                                         1024 bytes with its NUL)
//   DbiCloseCursor(&cursor)
//   DbiAddAlias(config, name, type, params, persistent)
//   DbiDeleteAlias(database, name)
//   DbiGetErrorString(code, text[260])
//   DbiCfgSave(database, file, persistent)
//                                         writes the persistent aliases to
//                                         `file`, or to the default file
//   DLLINITFUNCTION(client record)        accepted and logged
//
// Names are compared byte for byte (case-sensitive) and are 1 to 31 bytes.
//
// The default configuration file is "standin_aliases.cfg" beside the DLL: one
// alias a line, name, driver type and parameter list separated by tabs, with
// "%", tab, CR and LF written as %25, %09, %0D and %0A; lines starting with
// ";" are comments.
//
// Environment variables of the stand-in:
//   VANTOREL_STANDIN_LOG   a file to which every call is appended as one line
//                          with its arguments and result
//   VANTOREL_STANDIN_FAIL  entry names, separated by commas, that fail with
//                          code 0x3E0A ("Simulated failure") without acting
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using DBIResult = uint16_t;

constexpr DBIResult Ok = 0;
constexpr DBIResult EndOfList = 0x2202;
constexpr DBIResult NotInitialized = 0x3E01;
constexpr DBIResult InvalidParameter = 0x3E02;
constexpr DBIResult InvalidCursor = 0x3E03;
constexpr DBIResult AliasExists = 0x3E04;
constexpr DBIResult UnknownAlias = 0x3E05;
constexpr DBIResult InvalidAliasName = 0x3E06;
constexpr DBIResult UnsupportedVersion = 0x3E07;
constexpr DBIResult ConfigNotReadable = 0x3E08;
constexpr DBIResult ConfigNotWritable = 0x3E09;
constexpr DBIResult SimulatedFailure = 0x3E0A;

struct ErrorText {
    DBIResult Code;
    const char* Text;
};
constexpr ErrorText ErrorTexts[] = {
    {EndOfList, "At the end of the alias list"},
    {NotInitialized, "The engine is not initialized"},
    {InvalidParameter, "Invalid parameter"},
    {InvalidCursor, "Invalid cursor"},
    {AliasExists, "Alias already exists"},
    {UnknownAlias, "Unknown alias"},
    {InvalidAliasName, "Invalid alias name (1 to 31 characters)"},
    {UnsupportedVersion, "Unsupported interface version"},
    {ConfigNotReadable, "Cannot read the alias configuration"},
    {ConfigNotWritable, "Cannot write the alias configuration"},
    {SimulatedFailure, "Simulated failure"},
};

constexpr size_t NameField = 32;
constexpr size_t DriverTypeField = 32;
constexpr size_t ParamsField = 1024;
constexpr size_t RecordSize = NameField + DriverTypeField + ParamsField;
constexpr size_t ErrorTextSize = 260;
constexpr uint16_t InterfaceVersion = 500;
constexpr const char* ConfigFileName = "standin_aliases.cfg";

struct Alias {
    std::string Name;
    std::string DriverType;
    std::string Params;
    bool Persistent = true;
};

struct Cursor {
    std::vector<Alias> Rows;  // a snapshot: changes after opening do not show
    size_t Next = 0;
};

HMODULE Self = nullptr;
CRITICAL_SECTION Lock;
int InitCount = 0;
std::vector<Alias> Aliases;
std::set<Cursor*> Cursors;
DBIResult LastCode = Ok;
std::string LastDetail;

class Locked {
public:
    Locked() { EnterCriticalSection(&Lock); }
    ~Locked() { LeaveCriticalSection(&Lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

std::string Environment(const char* name)
{
    char value[1024] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// A string argument as the log shows it: quoted, the quote and backslash
// escaped with a backslash, every byte outside printable ASCII as \xNN; null
// as NULL.
std::string Quote(const char* text)
{
    if (!text) return "NULL";
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') {
            out += '\\';
            out += static_cast<char>(*p);
        } else if (*p >= 0x20 && *p < 0x7F) {
            out += static_cast<char>(*p);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", *p);
            out += hex;
        }
    }
    return out + "\"";
}

std::string Pointer(const void* pointer) { return pointer ? "ptr" : "NULL"; }
std::string Number(long value) { return std::to_string(value); }
std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

void Log(const std::string& call, DBIResult result)
{
    std::string path = Environment("VANTOREL_STANDIN_LOG");
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;  // the log is a convenience, never a reason to fail
    std::string line = call + " = " + Hex(result) + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

bool FailureRequested(const char* entry)
{
    std::string list = "," + Environment("VANTOREL_STANDIN_FAIL") + ",";
    list.erase(std::remove(list.begin(), list.end(), ' '), list.end());
    return list.find("," + std::string(entry) + ",") != std::string::npos;
}

DBIResult Fail(DBIResult code, const std::string& detail)
{
    LastCode = code;
    LastDetail = detail;
    return code;
}

std::string DefaultConfigPath()
{
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(Self, path, MAX_PATH);
    std::string dir(path, length);
    size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + ConfigFileName;
}

// Percent escapes keep a line one alias while paths keep their backslashes.
std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool ReadWholeFile(const std::string& path, std::string& content, DWORD& error)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != 0) && read > 0) content.append(buffer, read);
    if (!ok) error = GetLastError();
    CloseHandle(file);
    return ok;
}

DBIResult LoadAliases()
{
    Aliases.clear();
    std::string path = DefaultConfigPath();
    std::string content;
    DWORD error = 0;
    if (!ReadWholeFile(path, content, error)) {
        if (error == ERROR_FILE_NOT_FOUND) return Ok;  // nothing saved yet
        return Fail(ConfigNotReadable, path + " (system error " + Number(static_cast<long>(error)) + ")");
    }
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        size_t tab1 = line.find('\t');
        size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) {
            Aliases.clear();
            return Fail(ConfigNotReadable, path + ", line " + Number(static_cast<long>(lineNumber)));
        }
        Alias alias;
        alias.Name = Unescape(line.substr(0, tab1));
        alias.DriverType = Unescape(line.substr(tab1 + 1, tab2 - tab1 - 1));
        alias.Params = Unescape(line.substr(tab2 + 1));
        Aliases.push_back(alias);
    }
    return Ok;
}

DBIResult SaveAliases(const std::string& path)
{
    std::string content = "; Aliases of the Vantorel engine stand-in, written by DbiCfgSave.\r\n"
                          "; name<TAB>driver type<TAB>parameter list\r\n";
    for (const Alias& alias : Aliases)
        if (alias.Persistent)
            content += Escape(alias.Name) + "\t" + Escape(alias.DriverType) + "\t" + Escape(alias.Params) + "\r\n";
    // Written beside the target and moved over it, so that a failed save
    // leaves the previous configuration whole.
    std::string temporary = path + ".new";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Fail(ConfigNotWritable, path + " (system error " + Number(static_cast<long>(GetLastError())) + ")");
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
              written == content.size() && FlushFileBuffers(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (ok && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = FALSE;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temporary.c_str());
        return Fail(ConfigNotWritable, path + " (system error " + Number(static_cast<long>(error)) + ")");
    }
    return Ok;
}

std::vector<Alias>::iterator FindAlias(const std::string& name)
{
    return std::find_if(Aliases.begin(), Aliases.end(), [&](const Alias& a) { return a.Name == name; });
}

void CopyField(char* field, size_t size, const std::string& text)
{
    size_t length = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

void EndSession()
{
    for (Cursor* cursor : Cursors) delete cursor;
    Cursors.clear();
    Aliases.clear();
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        Self = instance;
        InitializeCriticalSection(&Lock);
    } else if (reason == DLL_PROCESS_DETACH) {
        EndSession();
        DeleteCriticalSection(&Lock);
    }
    return TRUE;
}

#pragma pack(push, 1)
struct ClientRecord {
    int16_t Version;
    const char* ModuleName;
    const char* ClientTag;
};
#pragma pack(pop)

DBIResult WINAPI DLLINITFUNCTION(ClientRecord* client)
{
    Locked locked;
    DBIResult result = client ? Ok : Fail(InvalidParameter, "client record is null");
    if (client)
        Log("DLLINITFUNCTION(" + Number(client->Version) + ", " + Quote(client->ModuleName) + ", " +
                Quote(client->ClientTag) + ")",
            result);
    else
        Log("DLLINITFUNCTION(NULL)", result);
    return result;
}

DBIResult WINAPI DbiInitFn(uint16_t version, void* environment)
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiInitFn"))
        result = Fail(SimulatedFailure, "DbiInitFn");
    else if (version != InterfaceVersion)
        result = Fail(UnsupportedVersion, Number(version));
    else if (InitCount == 0)
        result = LoadAliases();
    if (result == Ok) ++InitCount;
    Log("DbiInitFn(" + Number(version) + ", " + Pointer(environment) + ")", result);
    return result;
}

DBIResult WINAPI DbiExit()
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiExit"))
        result = Fail(SimulatedFailure, "DbiExit");
    else if (InitCount == 0)
        result = Fail(NotInitialized, "");
    else if (--InitCount == 0)
        EndSession();
    Log("DbiExit()", result);
    return result;
}

DBIResult WINAPI DbiOpenDatabaseList(void** cursor)
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiOpenDatabaseList"))
        result = Fail(SimulatedFailure, "DbiOpenDatabaseList");
    else if (InitCount == 0)
        result = Fail(NotInitialized, "");
    else if (!cursor)
        result = Fail(InvalidParameter, "cursor is null");
    else {
        Cursor* created = new Cursor{Aliases, 0};
        Cursors.insert(created);
        *cursor = created;
    }
    Log("DbiOpenDatabaseList(" + Pointer(cursor) + ")", result);
    return result;
}

DBIResult WINAPI DbiGetNextRecord(void* cursor, int lock, void* record, void* properties)
{
    Locked locked;
    DBIResult result = Ok;
    Cursor* current = static_cast<Cursor*>(cursor);
    if (FailureRequested("DbiGetNextRecord"))
        result = Fail(SimulatedFailure, "DbiGetNextRecord");
    else if (!Cursors.count(current))
        result = Fail(InvalidCursor, "");
    else if (!record)
        result = Fail(InvalidParameter, "record buffer is null");
    else if (current->Next >= current->Rows.size())
        result = EndOfList;
    else {
        const Alias& row = current->Rows[current->Next++];
        char* bytes = static_cast<char*>(record);
        std::memset(bytes, 0, RecordSize);
        CopyField(bytes, NameField, row.Name);
        CopyField(bytes + NameField, DriverTypeField, row.DriverType);
        CopyField(bytes + NameField + DriverTypeField, ParamsField, row.Params);
    }
    std::string shown = result == Ok ? " -> " + Quote(static_cast<char*>(record)) : "";
    Log("DbiGetNextRecord(" + Pointer(cursor) + ", " + Number(lock) + ", " + Pointer(record) + ", " +
            Pointer(properties) + ")" + shown,
        result);
    return result;
}

DBIResult WINAPI DbiCloseCursor(void** cursor)
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiCloseCursor"))
        result = Fail(SimulatedFailure, "DbiCloseCursor");
    else if (!cursor || !Cursors.count(static_cast<Cursor*>(*cursor)))
        result = Fail(InvalidCursor, "");
    else {
        Cursors.erase(static_cast<Cursor*>(*cursor));
        delete static_cast<Cursor*>(*cursor);
        *cursor = nullptr;
    }
    Log("DbiCloseCursor(" + Pointer(cursor) + ")", result);
    return result;
}

DBIResult WINAPI DbiAddAlias(void* config, const char* name, const char* driverType,
                                                   const char* params, BOOL persistent)
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiAddAlias"))
        result = Fail(SimulatedFailure, "DbiAddAlias");
    else if (InitCount == 0)
        result = Fail(NotInitialized, "");
    else if (!name)
        result = Fail(InvalidParameter, "alias name is null");
    else if (name[0] == '\0' || std::strlen(name) >= NameField)
        result = Fail(InvalidAliasName, name);
    else if (FindAlias(name) != Aliases.end())
        result = Fail(AliasExists, name);
    else
        Aliases.push_back(Alias{name, driverType ? driverType : "", params ? params : "", persistent != FALSE});
    Log("DbiAddAlias(" + Pointer(config) + ", " + Quote(name) + ", " + Quote(driverType) + ", " + Quote(params) +
            ", " + Number(persistent) + ")",
        result);
    return result;
}

DBIResult WINAPI DbiDeleteAlias(void* database, const char* name)
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiDeleteAlias"))
        result = Fail(SimulatedFailure, "DbiDeleteAlias");
    else if (InitCount == 0)
        result = Fail(NotInitialized, "");
    else if (!name)
        result = Fail(InvalidParameter, "alias name is null");
    else {
        auto found = FindAlias(name);
        if (found == Aliases.end())
            result = Fail(UnknownAlias, name);
        else
            Aliases.erase(found);
    }
    Log("DbiDeleteAlias(" + Pointer(database) + ", " + Quote(name) + ")", result);
    return result;
}

DBIResult WINAPI DbiGetErrorString(DBIResult code, char* text)
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiGetErrorString"))
        result = SimulatedFailure;  // keeps the failure being explained as the last one
    else if (!text)
        result = InvalidParameter;
    else {
        std::string message = "Unknown error " + Hex(code);
        for (const ErrorText& entry : ErrorTexts)
            if (entry.Code == code) message = entry.Text;
        if (code == LastCode && !LastDetail.empty()) message += ": " + LastDetail;
        CopyField(text, ErrorTextSize, message);
    }
    std::string shown = result == Ok ? " -> " + Quote(text) : "";
    Log("DbiGetErrorString(" + Hex(code) + ", " + Pointer(text) + ")" + shown, result);
    return result;
}

DBIResult WINAPI DbiCfgSave(void* database, const char* file, BOOL persistent)
{
    Locked locked;
    DBIResult result = Ok;
    if (FailureRequested("DbiCfgSave"))
        result = Fail(SimulatedFailure, "DbiCfgSave");
    else if (InitCount == 0)
        result = Fail(NotInitialized, "");
    else
        result = SaveAliases(file ? std::string(file) : DefaultConfigPath());
    Log("DbiCfgSave(" + Pointer(database) + ", " + Quote(file) + ", " + Number(persistent) + ")", result);
    return result;
}

}  // extern "C"
