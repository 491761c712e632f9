#include "actions/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// How the stored value differs from the new one, tested in this order; false
// when it does not.
bool StoredValueDiffers(const TStoredValue& stored, const TRegistryData& data, TRegistryDifference& why)
{
    why = TRegistryDifference::TypeDiffers;
    if (stored.Type != data.Type) return true;
    why = TRegistryDifference::SizeDiffers;
    switch (data.Type) {
    case REG_SZ:
    case REG_MULTI_SZ:
        if (stored.Size != data.TextLength + 1) return true;
        break;
    case REG_BINARY:
        if (stored.Size != data.TextLength) return true;
        break;
    case REG_DWORD: {
        why = TRegistryDifference::DataDiffers;
        uint32_t number = 0;
        std::memcpy(&number, stored.Data, sizeof number);  // little-endian, as stored
        return number != data.Number;
    }
    default:
        break;
    }
    why = TRegistryDifference::DataDiffers;
    return std::memcmp(stored.Data, data.Bytes.data(), data.TextLength) != 0;
}

bool IsDefaultValueName(const std::string& name)
{
    std::string word = Msg(WordDefault);
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(), static_cast<int>(name.size()),
                          word.data(), static_cast<int>(word.size())) == CSTR_EQUAL;
}

// Opens, creates or deletes the key as asked; gives the system's code.
LONG OpenKey(TRegistryItemKey& key, const TRegistryItem& item, TKeyOpening opening)
{
    REGSAM access = KEY_READ;
    if (opening == TKeyOpening::ForWrite) {
        if (key.Key && key.KeyOpenForWrite) return ERROR_SUCCESS;
        key.KeyOpenForWrite = false;
        key.Key.Reset();
        access = WriteAccess;
    }
    // An empty path names no root and no subkey: the system rejects the calls.
    HKEY root = nullptr;
    const char* subKey = nullptr;
    if (!item.Path.empty()) {
        if (opening == TKeyOpening::OpenOrCreate || opening == TKeyOpening::OpenOnly)
            ReportItem(FormatMsg(MsgItemLine, item.Path));
        root = item.Root;
        subKey = item.SubKey.c_str();
    }
    if (opening == TKeyOpening::DeleteKey) return RegDeleteKeyA(root, subKey);
    UniqueHKey opened;
    bool created = false;
    LONG code = RegOpenKeyExA(root, subKey, 0, access, opened.Put());
    if (code != ERROR_SUCCESS && opening != TKeyOpening::OpenOnly) {
        opened.Release();  // never close what a failed call may have left there
        code = RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, opened.Put(),
                               nullptr);
        created = true;
    }
    if (code != ERROR_SUCCESS) {
        opened.Release();
        return code;
    }
    key.Key = std::move(opened);
    // A key created here is reopened by the next write, as on every other open for reading.
    key.KeyOpenForWrite = access == WriteAccess && !created;
    return ERROR_SUCCESS;
}

// The key as a plan remembers it: its root and its path in upper case.
std::string PlannedKey(const TRegistryItem& item)
{
    std::string path = item.SubKey;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return std::to_string(reinterpret_cast<uintptr_t>(item.Root)) + "\\" + PathKey(path);
}

std::string PlannedValueKey(const TRegistryItem& item, const std::string& name)
{
    return PlannedKey(item) + "\n" + PathKey(name);
}

const char* TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return nullptr;
    }
}

std::string TypeText(DWORD type)
{
    const char* name = TypeName(type);
    return name ? name : std::to_string(type);
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
std::string RegistryReasonText(const TRegistryChange& change)
{
    if (change.Kind == TRegistryChangeKind::Delete) return Msg(MsgPlanPresent);
    switch (change.Why) {
    case TRegistryDifference::Missing:
        break;
    case TRegistryDifference::TypeDiffers:
        return FormatMsg(MsgPlanTypeDiffers, TypeText(change.StoredType), TypeText(change.Type));
    case TRegistryDifference::SizeDiffers:
    case TRegistryDifference::DataDiffers:
        return FormatMsg(MsgPlanValueDiffers, DataText(change.StoredType, change.StoredBytes),
                         DataText(change.Type, change.Bytes));
    }
    return Msg(MsgPlanMissing);
}

// How a plan finds an item's key.
enum class TPlannedKey {
    Open,     // there now, and open for reading
    There,    // not there now, but an earlier step would have created it
    Created,  // missing: shown as the change the run would make
    Failed,   // missing where the run reports it (Delete sections, no path)
};

// A plan: the item line and the key opened for reading; a missing key as
// the run would meet it.
TPlannedKey ShowKeyOpening(TRegistryItemKey& key, const TRegistryItem& item, TSectionMode mode)
{
    LONG code = OpenKey(key, item, TKeyOpening::OpenOnly);
    if (code == ERROR_SUCCESS) return TPlannedKey::Open;
    std::string planned = PlannedKey(item);
    if (!item.Path.empty() && Run.Plan.RegistryKeys.count(planned)) return TPlannedKey::There;
    // No path: no key either way; the run's creation fails with it.
    if (item.Path.empty() || mode == TSectionMode::Delete) {
        ReportFailure(code);
        return TPlannedKey::Failed;
    }
    Run.Plan.RegistryKeys.insert(planned);
    ReportChange(TChangeKind::RegistryKey, Msg(MsgPlanMissing));
    return TPlannedKey::Created;
}

// A plan: a key with subkeys cannot be deleted.
void ShowKeyDeletion(const TRegistryItemKey& key)
{
    DWORD subKeys = 0;
    if (key.Key &&
        RegQueryInfoKeyA(key.Key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subKeys > 0)
        return FailStep(ERROR_ACCESS_DENIED);
    ReportChange(TChangeKind::RegistryKey, Msg(MsgPlanPresent));
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

bool OpenRegistryKey(TRegistryItemKey& key, const TRegistryItem& item, TKeyOpening opening)
{
    LONG code = OpenKey(key, item, opening);
    if (code == ERROR_SUCCESS) return true;
    ReportFailure(code);
    return false;
}

TRegistryChange DecideRegistryValue(const TRegistryItemKey& key, const TRegistryItem& item,
                                    const TRegistryValue& value, TSectionMode mode)
{
    TRegistryChange change;
    TRegistryData data;
    if (mode != TSectionMode::Delete) data = ConvertValueText(value.Text, value.TypeLetter);
    change.Type = data.Type;
    change.Bytes = data.Bytes;
    change.Name = IsDefaultValueName(value.Name) ? std::string() : value.Name;

    TStoredValue stored = QueryStoredValue(key.Key.Get(), change.Name);
    if (Run.Plan.Active) {
        auto planned = Run.Plan.RegistryValues.find(PlannedValueKey(item, change.Name));
        if (planned != Run.Plan.RegistryValues.end()) {
            stored.Present = planned->second.Present;
            stored.Type = planned->second.Type;
            stored.Size = static_cast<DWORD>(std::min<size_t>(planned->second.Bytes.size(), StoredValueBufferSize));
            std::memcpy(stored.Data, planned->second.Bytes.data(), stored.Size);
        }
    }
    if (stored.Present) {
        change.StoredType = stored.Type;
        change.StoredBytes.assign(reinterpret_cast<const char*>(stored.Data), stored.Size);
    }
    if (!stored.Present) {
        if (mode != TSectionMode::Delete) change.Kind = TRegistryChangeKind::Write;
    } else if (mode == TSectionMode::Delete) {
        change.Kind = TRegistryChangeKind::Delete;
    } else if (mode == TSectionMode::Update && StoredValueDiffers(stored, data, change.Why)) {
        change.Kind = TRegistryChangeKind::Write;
    }
    return change;
}

void ApplyRegistryValue(TRegistryItemKey& key, const TRegistryItem& item, const TRegistryChange& change)
{
    if (change.Kind == TRegistryChangeKind::None) return;
    WriteText(FormatMsg(MsgValueLine, change.Name));
    if (Run.Plan.Active) {
        TPlannedValue& planned = Run.Plan.RegistryValues[PlannedValueKey(item, change.Name)];
        planned.Present = change.Kind == TRegistryChangeKind::Write;
        planned.Type = change.Type;
        planned.Bytes = change.Bytes;
        return ReportChange(TChangeKind::RegistryValue, RegistryReasonText(change));
    }
    LONG code = OpenKey(key, item, TKeyOpening::ForWrite);
    if (code != ERROR_SUCCESS) {
        // The failed reopen has a report of its own, then the value's line gets the same code.
        ReportFailure(code);
    } else if (change.Kind == TRegistryChangeKind::Write) {
        code = RegSetValueExA(key.Key.Get(), change.Name.c_str(), 0, change.Type,
                              reinterpret_cast<const BYTE*>(change.Bytes.data()),
                              static_cast<DWORD>(change.Bytes.size()));
    } else {
        code = RegDeleteValueA(key.Key.Get(), change.Name.c_str());
    }
    if (code != ERROR_SUCCESS) return FailStep(code);
    ReportOk();
}

void ProcessRegistryItem(const TRegistryItem& item, TSectionMode mode)
{
    TRegistryItemKey key;
    // A plan goes on with a key that is not there now but would be by then;
    // the line of a key shown as created is ended already.
    bool planned = false;
    bool lineOpen = true;
    if (Run.Plan.Active) {
        TPlannedKey found = ShowKeyOpening(key, item, mode);
        planned = found == TPlannedKey::There || found == TPlannedKey::Created;
        lineOpen = found != TPlannedKey::Created;
    } else if (mode == TSectionMode::Delete) {
        OpenRegistryKey(key, item, TKeyOpening::OpenOnly);  // a missing key is reported, but the run goes on
    } else if (Run.RunOk) {
        if (!OpenRegistryKey(key, item, TKeyOpening::OpenOrCreate)) FailRun();
    }
    if (!key.Key && !planned) return;

    key.KeyOpenForWrite = false;
    int processed = 0;
    for (const TRegistryValue& value : item.Values) {
        if (processed++ == 0 && lineOpen) WriteLine();
        ApplyRegistryValue(key, item, DecideRegistryValue(key, item, value, mode));
        if (!Run.RunOk) break;
    }

    if (processed == 0) {
        if (mode == TSectionMode::Delete && Run.Plan.Active) return ShowKeyDeletion(key);
        if (mode == TSectionMode::Delete && Run.RunOk && !OpenRegistryKey(key, item, TKeyOpening::DeleteKey))
            FailRun();
        if (Run.RunOk && lineOpen) WriteLine();
    }
    // The key is flushed (when written) and closed by its owner.
}
