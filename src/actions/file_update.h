// Bringing files up to date from the source directory, deleting them, and
// scheduling both for the next restart of the system.
#pragma once

#include <cstdint>
#include <string>

// Path of the last "_" copy of the program (or language file) made.
extern std::string SelfCopyPath;

// Updates (mode 'I' or 'U') or deletes (mode 'D') the file or mask `name`
// (expanded here, relative to ExeDir) by the flag words in `flags`. Prints its
// own item lines and status. True when the item succeeded; an empty name is a
// success. Sets SelfReplaced when it staged the program or language file.
bool UpdateFile(const std::string& name, const std::string& flags, char mode);

// Size of the file, or -1 when the path does not exist or is a directory.
int64_t QueryFileSize(const std::string& path);

// The file version of the version resource as "major.minor.release.build";
// empty when the file has none.
std::string GetFileVersionText(const std::string& path);

// Positive when version a is higher, 0 when equal, negative when lower.
int CompareVersions(const std::string& a, const std::string& b);
