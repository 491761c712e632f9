#include "machine/planned_machine.h"

#include "core/ansi_text.h"
#include "machine/live_machine.h"

namespace {

// A registry value is read into this many bytes; a longer one counts as absent.
constexpr size_t StoredValueBufferSize = 260;

std::string ValueId(const std::string& keyId, const std::string& name)
{
    return keyId + "\n" + UpperAnsi(name);
}

bool IsBelow(const std::string& id, const std::string& above)
{
    return id.size() > above.size() && id.compare(0, above.size(), above) == 0 && id[above.size()] == '\\';
}

// "123\SOFTWARE\X" -> "123\SOFTWARE"; the root alone ("123\") has none above.
std::string KeyAbove(const std::string& id)
{
    size_t slash = id.find_last_of('\\');
    size_t rootEnd = id.find('\\');
    if (slash == std::string::npos || slash == rootEnd) return {};
    return id.substr(0, slash);
}

}  // namespace

const TPlannedMachine::TKey* TPlannedMachine::DecidingKey(const std::string& id, bool& itself) const
{
    itself = true;
    if (auto found = m_keys.find(id); found != m_keys.end()) return &found->second;
    itself = false;
    for (std::string above = KeyAbove(id); !above.empty(); above = KeyAbove(above)) {
        auto found = m_keys.find(above);
        if (found != m_keys.end() && (!found->second.Exists || found->second.Fresh)) return &found->second;
    }
    return nullptr;
}

TKeyState TPlannedMachine::RegistryKey(HKEY root, const std::string& subKey, bool withSubKeys)
{
    std::string id = RegistryKeyId(root, subKey);
    bool itself = false;
    const TKey* planned = DecidingKey(id, itself);
    if (!planned) return m_live.RegistryKey(root, subKey, withSubKeys);
    TKeyState state;
    state.Exists = itself && planned->Exists;
    state.OpenError = state.Exists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    if (!state.Exists) return state;
    for (const auto& [other, key] : m_keys) state.HasSubKeys = state.HasSubKeys || (key.Exists && IsBelow(other, id));
    if (withSubKeys && !planned->Fresh) state.HasSubKeys = state.HasSubKeys || m_live.RegistryKey(root, subKey, true).HasSubKeys;
    return state;
}

TStoredValue TPlannedMachine::RegistryValue(HKEY root, const std::string& subKey, const std::string& name)
{
    std::string id = RegistryKeyId(root, subKey);
    if (auto value = m_values.find(ValueId(id, name)); value != m_values.end()) return value->second;
    bool itself = false;
    const TKey* planned = DecidingKey(id, itself);
    if (planned && (!planned->Exists || planned->Fresh || !itself)) return {};
    return m_live.RegistryValue(root, subKey, name);
}

TAliasLookup TPlannedMachine::Alias(const std::string& oemName)
{
    auto planned = m_aliases.find(oemName);
    if (planned == m_aliases.end()) return m_live.Alias(oemName);
    TAliasLookup lookup;
    lookup.Found = planned->second;
    return lookup;
}

void TPlannedMachine::Made(const TChange& change)
{
    switch (change.Kind) {
    case TChangeKind::RegistryKey: {
        std::string id = RegistryKeyId(change.Root, change.SubKey);
        if (change.Action == TChangeAction::Delete) {
            m_keys[id] = TKey{};
            for (auto at = m_values.begin(); at != m_values.end();)
                at = at->first.compare(0, id.size() + 1, id + "\n") == 0 ? m_values.erase(at) : std::next(at);
            return;
        }
        // The key and every level above it that is not there, as the system makes them.
        for (std::string level = id; !level.empty(); level = KeyAbove(level)) {
            bool itself = false;
            const TKey* planned = DecidingKey(level, itself);
            bool there = planned ? itself && planned->Exists : false;
            if (!planned) {
                size_t rootEnd = level.find('\\');
                HKEY root = change.Root;
                there = m_live.RegistryKey(root, level.substr(rootEnd + 1), false).Exists;
            }
            if (there) break;
            m_keys[level] = TKey{true, true};
        }
        return;
    }
    case TChangeKind::RegistryValue: {
        TStoredValue& value = m_values[ValueId(RegistryKeyId(change.Root, change.SubKey), change.Name)];
        // Read back as the run reads it: a value too long for its buffer counts as absent.
        value.Present = change.Action != TChangeAction::Delete && change.After.Data.size() <= StoredValueBufferSize;
        value.Type = change.After.Type;
        value.Bytes = value.Present ? change.After.Data : std::string();
        return;
    }
    case TChangeKind::Alias:
        m_aliases[change.Name] = change.Action != TChangeAction::Delete;
        return;
    default:
        m_files.Made(change);
        return;
    }
}
