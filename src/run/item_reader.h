// Reading an item whole from the parsed script into the typed item its action
// takes: the item's value and every sub-key its kind has, read in the
// sections and expanded as the script layout's row of the kind says
// (constants, escapes, paths below the program's directory).
#pragma once

#include <string>

#include "actions/alias.h"
#include "actions/directory.h"
#include "actions/file_update.h"
#include "actions/ini_values.h"
#include "actions/ole_server.h"
#include "actions/registry.h"
#include "actions/text_file.h"
#include "core/section_mode.h"

// Where an item stands: the script (full path), its section and its number.
struct TItemPlace {
    // The caller's texts: a place is made for the reads of one item.
    const std::string& Script;
    const std::string& Section;
    int Number = 0;
};

// A File item: an update or deletion, or in an Update section a rename.
struct TFileItemRead {
    bool Skipped = false;  // 9x_only on the NT family, nt_only on the 9x family
    bool IsRename = false;
    TFileItem Update;
    TFileRename Rename;
};

TFileItemRead ReadFileItem(const TItemPlace& place, const std::string& value, TSectionMode mode);
TDirItem ReadDirItem(const TItemPlace& place, const std::string& value, TSectionMode mode);
TRegistryItem ReadRegistryItem(const TItemPlace& place, const std::string& value, TSectionMode mode);
TIniItem ReadIniItem(const TItemPlace& place, const std::string& value, TSectionMode mode);
TAliasItem ReadAliasItem(const TItemPlace& place, const std::string& value, TSectionMode mode);
TTextItem ReadTextItem(const TItemPlace& place, const std::string& value, TSectionMode mode);
TServerItem ReadServerItem(const std::string& value);

// A file item for a name as written: outside Delete sections a restarted
// copy's own "_" names stand for the files it replaces.
TFileItem NamedFileItem(const std::string& name, const std::string& flags, TSectionMode mode);
