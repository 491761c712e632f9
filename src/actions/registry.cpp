#include "actions/registry.h"

#include <windows.h>

#include <cstring>

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"
#include "script/constants.h"
#include "script/dispatch.h"
#include "script/expand.h"
#include "script/script_image.h"

namespace {

// Enough to set and delete values and to create subkeys, but neither DELETE
// nor the full KEY_WRITE, so that policies that grant only these rights on a
// key still let the program work.
constexpr REGSAM WriteAccess =
    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | WRITE_DAC;
static_assert(WriteAccess == 0x4001F);

constexpr DWORD StoredValueBufferSize = 260;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Expands each NUL-separated part on its own: the environment step works on
// NUL-terminated text and would drop everything after the first NUL of a
// multi-string or binary value.
std::string ExpandValueText(const std::string& text)
{
    std::string result;
    size_t start = 0;
    for (;;) {
        size_t nul = text.find('\0', start);
        result += ExpandConstants(text.substr(start, nul == std::string::npos ? std::string::npos : nul - start),
                                  ExpandPlain);
        if (nul == std::string::npos) break;
        result += '\0';
        start = nul + 1;
    }
    return result;
}

struct TRegistryData {
    DWORD Type = REG_BINARY;
    std::string Bytes;     // exactly the bytes handed to the registry
    uint32_t Number = 0;   // REG_DWORD only
    size_t TextLength = 0; // length of the converted text (for the comparison)
};

TRegistryData ConvertValueText(const std::string& rawText, char typeLetter)
{
    TRegistryData data;
    std::string text = ExpandValueText(DecodeEscapes(rawText));
    data.TextLength = text.size();
    switch (typeLetter) {
    case 'I': {
        data.Type = REG_DWORD;
        data.Number = RegistryInteger(text);
        for (int i = 0; i < 4; ++i) data.Bytes += static_cast<char>((data.Number >> (8 * i)) & 0xFF);
        break;
    }
    case 'S':
    case 'M':
        data.Type = typeLetter == 'S' ? REG_SZ : REG_MULTI_SZ;
        data.Bytes = text + '\0';
        break;
    default:
        data.Type = REG_BINARY;
        data.Bytes = text;
        break;
    }
    return data;
}

struct TStoredValue {
    bool Present = false;
    DWORD Type = 0;
    DWORD Size = 0;
    unsigned char Data[StoredValueBufferSize] = {};
};

TStoredValue QueryStoredValue(HKEY key, const std::string& name)
{
    TStoredValue stored;
    stored.Size = StoredValueBufferSize;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &stored.Type, stored.Data, &stored.Size);
    // Any failure, a value too long for the buffer included, means "absent".
    stored.Present = result == ERROR_SUCCESS;
    return stored;
}

bool StoredValueDiffers(const TStoredValue& stored, const TRegistryData& data)
{
    if (stored.Type != data.Type) return true;
    switch (data.Type) {
    case REG_SZ:
    case REG_MULTI_SZ:
        if (stored.Size != data.TextLength + 1) return true;
        break;
    case REG_BINARY:
        if (stored.Size != data.TextLength) return true;
        break;
    case REG_DWORD: {
        uint32_t number = 0;
        std::memcpy(&number, stored.Data, sizeof number);  // little-endian, as stored
        return number != data.Number;
    }
    default:
        break;
    }
    return std::memcmp(stored.Data, data.Bytes.data(), data.TextLength) != 0;
}

bool IsDefaultValueName(const std::string& name)
{
    std::string word = Msg(WordDefault);
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(), static_cast<int>(name.size()),
                          word.data(), static_cast<int>(word.size())) == CSTR_EQUAL;
}

std::string ValueKey(int item, int value, unsigned wordId)
{
    return Msg(WordReg) + std::to_string(item) + Msg(WordVal) + std::to_string(value) + Msg(wordId);
}

char TypeLetter(const std::string& text)
{
    if (text.empty()) return 'S';
    char c = text[0];
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

TRegistryItemKey::~TRegistryItemKey()
{
    // A flush failure changes nothing that was already written; the close follows anyway.
    if (Key && KeyOpenForWrite) RegFlushKey(Key.Get());
}

uint32_t RegistryInteger(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size()) return 0;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        int digit = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) return 0;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return 0;
    }
    if (!hex && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return 0;
    uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

bool OpenRegistryKey(TRegistryItemKey& item, const std::string& rawPath, char mode)
{
    REGSAM access = KEY_READ;
    if (mode == 'W') {
        if (item.Key && item.KeyOpenForWrite) return true;
        item.KeyOpenForWrite = false;
        item.Key.Reset();
        access = WriteAccess;
    }
    std::string path = ExpandConstants(rawPath, ExpandPlain);
    // An empty path names no root and no subkey: the system rejects the calls.
    HKEY root = nullptr;
    std::string subKey;
    const char* subKeyArg = nullptr;
    if (!path.empty()) {
        if (mode != 'D' && mode != 'W') ReportItem(FormatMsg(MsgItemLine, path));
        TRootKey parsed = ParseRootKey(path);
        root = parsed.Root;
        subKey = parsed.SubKey;
        subKeyArg = subKey.c_str();
    }
    if (mode == 'D') {
        Run.LastErrorCode = RegDeleteKeyA(root, subKeyArg);
    } else {
        UniqueHKey opened;
        bool created = false;
        Run.LastErrorCode = RegOpenKeyExA(root, subKeyArg, 0, access, opened.Put());
        if (Run.LastErrorCode != ERROR_SUCCESS && mode != 'O') {
            opened.Release();  // never close what a failed call may have left there
            Run.LastErrorCode = RegCreateKeyExA(root, subKeyArg, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                                nullptr, opened.Put(), nullptr);
            created = true;
        }
        if (Run.LastErrorCode == ERROR_SUCCESS) {
            item.Key = std::move(opened);
            // A key created here is reopened by the next write, as on every other open for reading.
            item.KeyOpenForWrite = access == WriteAccess && !created;
        } else {
            opened.Release();
        }
    }
    if (Run.LastErrorCode == ERROR_SUCCESS) return true;
    ReportError();
    return false;
}

void SetRegistryValue(TRegistryItemKey& item, const std::string& name, const std::string& text, char typeLetter,
                      char mode)
{
    TRegistryData data;
    if (mode != 'D') data = ConvertValueText(text, typeLetter);
    Run.LastErrorCode = -1;
    std::string valueName = ExpandConstants(name, ExpandPlain);
    if (IsDefaultValueName(valueName)) valueName.clear();

    TStoredValue stored = QueryStoredValue(item.Key.Get(), valueName);
    bool write = false;
    bool remove = false;
    if (!stored.Present)
        write = mode != 'D';
    else if (mode == 'D')
        remove = true;
    else if (mode == 'U')
        write = StoredValueDiffers(stored, data);

    if (write || remove) {
        WriteText(FormatMsg(MsgValueLine, valueName));
        if (OpenRegistryKey(item, ItemValue, 'W')) {
            if (write)
                Run.LastErrorCode = RegSetValueExA(item.Key.Get(), valueName.c_str(), 0, data.Type,
                                                   reinterpret_cast<const BYTE*>(data.Bytes.data()),
                                                   static_cast<DWORD>(data.Bytes.size()));
            else
                Run.LastErrorCode = RegDeleteValueA(item.Key.Get(), valueName.c_str());
        }
    }

    if (Run.LastErrorCode == -1) return;
    if (Run.LastErrorCode != ERROR_SUCCESS) {
        FailRun();
        ReportError();
    } else {
        ReportOk();
    }
}

void ProcessRegistryItem(const std::string& scriptPath, const std::string& section, int item, char mode)
{
    TRegistryItemKey key;
    if (mode == 'D') {
        OpenRegistryKey(key, ItemValue, 'O');  // a missing key is reported, but the run goes on
    } else if (Run.RunOk) {
        if (!OpenRegistryKey(key, ItemValue, mode)) FailRun();
    }
    if (!key.Key) return;

    key.KeyOpenForWrite = false;
    int processed = 0;
    for (int value = 1;; ++value) {
        std::string name = ReadScriptString(scriptPath, section, ValueKey(item, value, WordName));
        if (name.empty()) break;
        char typeLetter = 'S';
        std::string text;
        if (mode != 'D') {
            typeLetter = TypeLetter(ReadScriptString(scriptPath, section, ValueKey(item, value, WordType)));
            text = ReadScriptString(scriptPath, section, ValueKey(item, value, WordValue));
        }
        if (processed++ == 0) WriteLine();
        SetRegistryValue(key, name, text, typeLetter, mode);
        if (!Run.RunOk) break;
    }

    if (processed == 0) {
        if (mode == 'D' && Run.RunOk && !OpenRegistryKey(key, ItemValue, 'D')) FailRun();
        if (Run.RunOk) WriteLine();
    }
    // The key is flushed (when written) and closed by its owner.
}
