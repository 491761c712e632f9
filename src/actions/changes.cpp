#include "actions/changes.h"

#include "actions/alias.h"
#include "actions/directory.h"
#include "actions/file_apply.h"
#include "actions/ini_values.h"
#include "actions/ole_server.h"
#include "actions/registry.h"
#include "actions/text_file.h"

TApplied ApplyChange(const TChange& change)
{
    switch (change.Kind) {
    case TChangeKind::File: return ApplyFileChange(change);
    case TChangeKind::Directory: return ApplyDirectoryChange(change);
    case TChangeKind::RegistryKey:
    case TChangeKind::RegistryValue: return ApplyRegistryChange(change);
    case TChangeKind::IniValue: return ApplyIniChange(change);
    case TChangeKind::TextLine: return ApplyTextChange(change);
    case TChangeKind::Alias: return ApplyAliasChange(change);
    case TChangeKind::Server: return ApplyServerChange(change);
    case TChangeKind::Restart: break;
    }
    return {};
}

TApplied ForeseeChange(const TChange& change, TMachineView& machine)
{
    switch (change.Kind) {
    case TChangeKind::File: return ForeseeFileChange(change, machine);
    case TChangeKind::Directory: return ForeseeDirectoryChange(change, machine);
    case TChangeKind::RegistryKey:
    case TChangeKind::RegistryValue: return ForeseeRegistryChange(change, machine);
    case TChangeKind::IniValue: return ForeseeIniChange(change, machine);
    case TChangeKind::Server: return ForeseeServerChange(change, machine);
    case TChangeKind::TextLine:
    case TChangeKind::Alias:
    case TChangeKind::Restart: break;
    }
    return {};
}
