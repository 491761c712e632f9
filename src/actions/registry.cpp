#include "actions/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/handles.h"
#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"

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

struct TRegistryData {
    DWORD Type = REG_BINARY;
    std::string Bytes;     // exactly the bytes handed to the registry
    uint32_t Number = 0;   // REG_DWORD only
    size_t TextLength = 0; // length of the converted text (for the comparison)
};

TRegistryData ConvertValueText(const std::string& text, char typeLetter)
{
    TRegistryData data;
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

// How the stored value differs from the new one, tested in this order; false
// when it does not.
enum class TRegistryDifference { Missing, TypeDiffers, SizeDiffers, DataDiffers };

bool StoredValueDiffers(const TStoredValue& stored, const TRegistryData& data, TRegistryDifference& why)
{
    // Compared as the run has always compared them: within a zeroed buffer of the stored value's size.
    std::string bytes = stored.Bytes;
    bytes.resize(StoredValueBufferSize, '\0');
    DWORD size = static_cast<DWORD>(stored.Bytes.size());
    why = TRegistryDifference::TypeDiffers;
    if (stored.Type != data.Type) return true;
    why = TRegistryDifference::SizeDiffers;
    switch (data.Type) {
    case REG_SZ:
    case REG_MULTI_SZ:
        if (size != data.TextLength + 1) return true;
        break;
    case REG_BINARY:
        if (size != data.TextLength) return true;
        break;
    case REG_DWORD: {
        why = TRegistryDifference::DataDiffers;
        uint32_t number = 0;
        std::memcpy(&number, bytes.data(), sizeof number);  // little-endian, as stored
        return number != data.Number;
    }
    default:
        break;
    }
    why = TRegistryDifference::DataDiffers;
    return std::memcmp(bytes.data(), data.Bytes.data(), data.TextLength) != 0;
}

bool IsDefaultValueName(const std::string& name)
{
    std::string word = Msg(WordDefault);
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(), static_cast<int>(name.size()),
                          word.data(), static_cast<int>(word.size())) == CSTR_EQUAL;
}

// Data as a script writes it: text between quotes, numbers in decimal, and
// bytes that are not plain text as a backslash and their decimal code.
std::string DataText(DWORD type, const std::string& bytes)
{
    if (type == REG_DWORD && bytes.size() == 4) {
        uint32_t number = 0;
        std::memcpy(&number, bytes.data(), sizeof number);
        return std::to_string(number);
    }
    std::string data = bytes;
    // A string's terminating NUL is no part of its text.
    if ((type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) && !data.empty() && data.back() == '\0')
        data.pop_back();
    std::string text = "\"";
    for (char c : data) {
        unsigned char code = static_cast<unsigned char>(c);
        if (code < 32 || c == '\\' || c == '"')
            text += "\\" + std::to_string(code);
        else
            text += c;
    }
    return text + "\"";
}


// The decision's reason in the words a plan shows.
std::string ReasonText(TRegistryDifference why, const TStoredValue& stored, const TRegistryData& data)
{
    switch (why) {
    case TRegistryDifference::Missing:
        break;
    case TRegistryDifference::TypeDiffers:
        return FormatMsg(MsgPlanTypeDiffers, RegistryTypeName(stored.Type), RegistryTypeName(data.Type));
    case TRegistryDifference::SizeDiffers:
    case TRegistryDifference::DataDiffers:
        return FormatMsg(MsgPlanValueDiffers, DataText(stored.Type, stored.Bytes), DataText(data.Type, data.Bytes));
    }
    return Msg(MsgPlanMissing);
}

// An empty key path names no root and no subkey: the system rejects the calls.
const char* SubKeyArgument(const TChange& change)
{
    return change.Root ? change.SubKey.c_str() : nullptr;
}

// The key that values are written through, open for writing until the item ends.
struct TWriteKey {
    HKEY Root = nullptr;
    std::string SubKey;
    UniqueHKey Key;
};
TWriteKey g_writeKey;

LONG OpenForWrite(const TChange& change, HKEY& key)
{
    if (g_writeKey.Key && g_writeKey.Root == change.Root && g_writeKey.SubKey == change.SubKey) {
        key = g_writeKey.Key.Get();
        return ERROR_SUCCESS;
    }
    g_writeKey = TWriteKey{};
    UniqueHKey opened;
    LONG code = RegOpenKeyExA(change.Root, SubKeyArgument(change), 0, WriteAccess, opened.Put());
    if (code != ERROR_SUCCESS) {
        opened.Release();  // never close what a failed call may have left there
        code = RegCreateKeyExA(change.Root, SubKeyArgument(change), 0, nullptr, REG_OPTION_NON_VOLATILE, WriteAccess,
                               nullptr, opened.Put(), nullptr);
        if (code != ERROR_SUCCESS) {
            opened.Release();
            return code;
        }
    }
    g_writeKey.Root = change.Root;
    g_writeKey.SubKey = change.SubKey;
    g_writeKey.Key = std::move(opened);
    key = g_writeKey.Key.Get();
    return ERROR_SUCCESS;
}

TApplied ApplyKey(const TChange& change)
{
    if (change.Action == TChangeAction::Delete) {
        LONG code = RegDeleteKeyA(change.Root, SubKeyArgument(change));
        return code == ERROR_SUCCESS ? TApplied{} : Applied(FailureOf(code));
    }
    UniqueHKey created;
    LONG code = RegCreateKeyExA(change.Root, SubKeyArgument(change), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                                nullptr, created.Put(), nullptr);
    if (code != ERROR_SUCCESS) {
        created.Release();
        return Applied(FailureOf(code));
    }
    return {};
}

TApplied ApplyValue(const TChange& change)
{
    HKEY key = nullptr;
    LONG code = OpenForWrite(change, key);
    if (code != ERROR_SUCCESS) {
        // The failed reopen has a report of its own, then the value's line gets the same code.
        TApplied applied = Applied(FailureOf(code));
        applied.Failures.push_back(FailureOf(code));
        return applied;
    }
    if (change.Action == TChangeAction::Delete)
        code = RegDeleteValueA(key, change.Name.c_str());
    else
        code = RegSetValueExA(key, change.Name.c_str(), 0, change.After.Type,
                              reinterpret_cast<const BYTE*>(change.After.Data.data()),
                              static_cast<DWORD>(change.After.Data.size()));
    return code == ERROR_SUCCESS ? TApplied{} : Applied(FailureOf(code));
}

}  // namespace

TRegistryWrites::~TRegistryWrites()
{
    // A flush failure changes nothing that was already written; the close follows anyway.
    if (g_writeKey.Key) RegFlushKey(g_writeKey.Key.Get());
    g_writeKey = TWriteKey{};
}

uint32_t RegistryInteger(const std::string& text)
{
    uint32_t number = 0;
    return ParseRegistryInteger(text, number) ? number : 0;
}

bool ParseRegistryInteger(const std::string& text, uint32_t& number)
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
    if (i >= text.size()) return false;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        int digit = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) return false;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return false;
    }
    if (!hex && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return false;
    uint32_t result = static_cast<uint32_t>(value);
    number = negative ? 0u - result : result;
    return true;
}

TChange DecideRegistryKey(const TRegistryItem& item, TChangeAction action)
{
    TChange change;
    change.Kind = TChangeKind::RegistryKey;
    change.Action = action;
    change.Target = item.Path;
    change.Root = item.Root;
    change.SubKey = item.SubKey;
    change.StatusInRun = false;
    bool create = action == TChangeAction::Create;
    change.Reason = Msg(create ? MsgPlanMissing : MsgPlanPresent);
    change.Before.Known = change.After.Known = true;
    change.Before.Present = !create;
    change.After.Present = create;
    return change;
}

std::optional<TChange> DecideRegistryValue(const TRegistryItem& item, const TRegistryValue& value,
                                           TSectionMode mode, TMachineView& machine)
{
    TRegistryData data;
    if (mode != TSectionMode::Delete) data = ConvertValueText(value.Text, value.TypeLetter);
    std::string name = IsDefaultValueName(value.Name) ? std::string() : value.Name;
    TStoredValue stored = machine.RegistryValue(item.Root, item.SubKey, name);

    TChange change;
    change.Kind = TChangeKind::RegistryValue;
    change.Target = item.Path + "\\" + name;
    change.Line = FormatMsg(MsgValueLine, name);
    change.Root = item.Root;
    change.SubKey = item.SubKey;
    change.Name = name;
    change.Before.Known = true;
    change.Before.Present = stored.Present;
    change.Before.Type = stored.Type;
    change.Before.Data = stored.Bytes;
    change.After.Known = true;
    TRegistryDifference why = TRegistryDifference::Missing;
    if (!stored.Present) {
        if (mode == TSectionMode::Delete) return std::nullopt;
        change.Action = TChangeAction::Create;
    } else if (mode == TSectionMode::Delete) {
        change.Action = TChangeAction::Delete;
        change.Reason = Msg(MsgPlanPresent);
        return change;
    } else if (mode == TSectionMode::Update && StoredValueDiffers(stored, data, why)) {
        change.Action = TChangeAction::Replace;
    } else {
        return std::nullopt;
    }
    change.After.Present = true;
    change.After.Type = data.Type;
    change.After.Data = data.Bytes;
    change.Reason = ReasonText(why, stored, data);
    return change;
}

TApplied ApplyRegistryChange(const TChange& change)
{
    return change.Kind == TChangeKind::RegistryKey ? ApplyKey(change) : ApplyValue(change);
}

TApplied ForeseeRegistryChange(const TChange& change, TMachineView& machine)
{
    if (change.Kind != TChangeKind::RegistryKey) return {};
    TKeyState key = machine.RegistryKey(change.Root, change.SubKey, change.Action == TChangeAction::Delete);
    // No path: no key either way; the run's creation fails with it.
    if (!change.Root) return Applied(FailureOf(key.OpenError));
    if (change.Action == TChangeAction::Delete && key.HasSubKeys) return Applied(FailureOf(ERROR_ACCESS_DENIED));
    return {};
}

bool ProcessRegistryItem(const TRegistryItem& item, TSectionMode mode, TSteps& steps)
{
    TRegistryWrites writes;
    TMachineView& machine = steps.Machine();
    if (!item.Path.empty()) ReportItem(FormatMsg(MsgItemLine, item.Path));
    bool ok = true;
    TKeyState key = machine.RegistryKey(item.Root, item.SubKey, false);
    if (!key.Exists) {
        // A key that is not there in a Delete section is reported, but the run goes on.
        if (mode == TSectionMode::Delete) {
            TFailure notThere = FailureOf(key.OpenError);
            notThere.GoesOn = true;
            Take(steps, FailedStep(TChangeKind::RegistryKey, item.Path, notThere), ok);
            return true;
        }
        // A key that cannot be made takes its values along, in a plan too.
        if (!Take(steps, DecideRegistryKey(item, TChangeAction::Create), ok) || !ok) return false;
    }
    if (item.Values.empty()) {
        if (mode == TSectionMode::Delete && !Take(steps, DecideRegistryKey(item, TChangeAction::Delete), ok))
            return false;
        EndOpenLine();
        return ok;
    }
    EndOpenLine();
    for (const TRegistryValue& value : item.Values) {
        std::optional<TChange> change = DecideRegistryValue(item, value, mode, machine);
        if (change && !Take(steps, *change, ok)) break;
    }
    return ok;
}
