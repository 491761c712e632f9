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
// A target is replaced only by a complete copy: the new file is written beside
// it first, so a copy that breaks off leaves the old target as it was.
bool UpdateFile(const std::string& name, const std::string& flags, char mode);

// Size of the file, or -1 when the path does not exist or is a directory.
int64_t QueryFileSize(const std::string& path);

// The file version of the version resource as "major.minor.release.build";
// empty when the file has none.
std::string GetFileVersionText(const std::string& path);

// Positive when version a is higher, 0 when equal, negative when lower. Up to
// four dot-separated decimal parts, missing parts 0; a text with more parts or
// a part that is not a number counts as 0.0.0.0.
int CompareVersions(const std::string& a, const std::string& b);

// The name of the scratch file that a copy onto `target` is written to before
// it replaces the target: in the target's own directory, so the replacement is
// a rename on one volume.
std::string PartialCopyPath(const std::string& target);
