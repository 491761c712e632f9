// The machine itself, as a run's decisions read it: every answer is asked of
// the system (through the run's directory listings where they answer),
// registry keys stay open for reading for the rest of the run once opened, and
// an INI file is read once for all the values asked of it until the run
// changes anything (ini_image.h).
#pragma once

#include <map>
#include <string>

#include "core/handles.h"
#include "machine/ini_image.h"
#include "machine/machine_view.h"

class TLiveMachine : public TMachineView {
public:
    TEntry Entry(const std::string& path) override;
    DWORD Attributes(const std::string& path) override;
    std::vector<TListedFile> Matches(const std::string& pattern, bool withHiddenAndSystem, bool fromSource) override;
    std::string Version(const std::string& path) override;
    std::vector<std::string> Contents(const std::string& directory) override;
    DWORD WriteProblem(const std::string& path) override;
    bool MayOpenAsFile(const std::string& path, bool once) override;
    std::string ContentPath(const std::string& path) override;
    TKeyState RegistryKey(HKEY root, const std::string& subKey, bool withSubKeys) override;
    TStoredValue RegistryValue(HKEY root, const std::string& subKey, const std::string& name) override;
    TIniRead IniValue(const std::string& file, const std::string& section, const std::string& key) override;
    TTextRead TextFile(const std::string& path) override;
    TAliasLookup Alias(const std::string& oemName) override;
    void Made(const TChange& change) override;
    void HoldToRelease(const std::string& directory, std::shared_ptr<const TRelease> release) override;
    const TRelease* ReleaseOf(const std::string& sourcePath, const TReleaseEntry*& entry) override;

private:
    // The key open for reading, or the system's code why it is not.
    HKEY OpenKey(HKEY root, const std::string& subKey, LONG& code);

    struct TIniFile {
        TIniFileRead Status = TIniFileRead::AskSystem;
        TIniImage Image;
    };

    std::map<std::string, UniqueHKey> m_keys;  // by RegistryKeyId
    std::map<std::string, TIniFile> m_iniFiles;  // by the path as asked
    std::map<std::string, std::shared_ptr<const TRelease>> m_releases;  // by the directory's PathKey
};

// A registry key's identity: its root and its path in upper case, without
// trailing separators ("HKCU\Software\X" and "HKEY_CURRENT_USER\software\x\"
// are one key).
std::string RegistryKeyId(HKEY root, const std::string& subKey);
