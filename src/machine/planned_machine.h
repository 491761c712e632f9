// The machine as a plan shows it: the machine itself with the changes planned
// so far laid over it, of every kind (copies, deletes, renames, directories,
// registry keys and values, INI values, appended lines, aliases). A plan's
// decisions read it exactly as a run's read the machine, so that each step
// sees what the steps before it would have made.
#pragma once

#include <map>
#include <string>

#include "machine/machine_view.h"
#include "machine/planned_files.h"

class TPlannedMachine : public TMachineView {
public:
    explicit TPlannedMachine(TMachineView& live) : m_live(live), m_files(live) {}

    TEntry Entry(const std::string& path) override { return m_files.Entry(path); }
    DWORD Attributes(const std::string& path) override { return m_files.Attributes(path); }
    std::vector<TListedFile> Matches(const std::string& pattern, bool withHiddenAndSystem, bool fromSource) override
    {
        return m_files.Matches(pattern, withHiddenAndSystem, fromSource);
    }
    std::string Version(const std::string& path) override { return m_files.Version(path); }
    std::vector<std::string> Contents(const std::string& directory) override { return m_files.Contents(directory); }
    DWORD WriteProblem(const std::string& path) override { return m_files.WriteProblem(path); }
    bool MayOpenAsFile(const std::string& path, bool once) override { return m_live.MayOpenAsFile(path, once); }
    std::string ContentPath(const std::string& path) override { return m_files.ContentPath(path); }
    TIniRead IniValue(const std::string& file, const std::string& section, const std::string& key) override
    {
        return m_files.IniValue(file, section, key);
    }
    TTextRead TextFile(const std::string& path) override { return m_files.TextFile(path); }

    TKeyState RegistryKey(HKEY root, const std::string& subKey, bool withSubKeys) override;
    TStoredValue RegistryValue(HKEY root, const std::string& subKey, const std::string& name) override;
    TAliasLookup Alias(const std::string& oemName) override;
    void Made(const TChange& change) override;
    // The source directories are the machine's: a plan holds them as a run does.
    void HoldToRelease(const std::string& directory, std::shared_ptr<const TRelease> release) override
    {
        m_live.HoldToRelease(directory, std::move(release));
    }
    const TRelease* ReleaseOf(const std::string& sourcePath, const TReleaseEntry*& entry) override
    {
        return m_live.ReleaseOf(sourcePath, entry);
    }

private:
    struct TKey {
        bool Exists = false;
        bool Fresh = false;  // made by the plan: none of the machine's values or subkeys are in it
    };
    // The planned key that decides about `id` (itself or one above it); null when none does.
    const TKey* DecidingKey(const std::string& id, bool& itself) const;

    TMachineView& m_live;
    TPlannedFiles m_files;
    std::map<std::string, TKey> m_keys;            // by RegistryKeyId
    std::map<std::string, TStoredValue> m_values;  // key id, "\n", the value's name in upper case
    std::map<std::string, bool> m_aliases;         // by the name in the OEM code page: there or not
};
