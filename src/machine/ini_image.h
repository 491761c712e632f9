// An INI file read whole in one go and answered from memory as the system's
// profile functions answer GetPrivateProfileStringA into 260 bytes, so that
// the values of a run's INI items cost one read of their file instead of an
// open and a parse of it per value. The reading follows the profile functions
// line for line: names and values trimmed of blanks, section and key names
// matched with ASCII letters in either case, the first of duplicate sections
// and keys, a pair of double quotes around a value dropped. It answers only
// where the profile functions of every system read alike; for anything else
// (UTF-8 and big-endian files, control characters such as a NUL, blanks
// beyond ASCII, odd section headers, names beyond printable ASCII, lines
// without '=' that a question lands on, values near the buffer's size, ...)
// it says so and the caller asks the system.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "machine/machine_view.h"

struct TIniKey {
    std::wstring Name;
    bool HasValue = false;  // the line has a '='
    std::wstring Value;
};

constexpr size_t IndexedKeys = 16;

struct TIniSection {
    std::vector<TIniKey> Keys;
    // By name with ASCII letters in lower case; only for a section of more
    // than IndexedKeys keys (a few names are compared sooner than hashed, and
    // a file of thousands of keys, of which a run asks a few, is read without
    // a block from the heap per key).
    std::unordered_map<std::wstring, size_t> FirstKey;
    bool PlainKeyNames = true;                          // every key name printable ASCII
};

struct TIniImage {
    std::vector<TIniSection> Sections;  // an empty file has none; else the nameless one before the first header
    std::unordered_map<std::wstring, size_t> FirstSection;  // by name with ASCII letters in lower case
    bool PlainSectionNames = true;                          // every section name printable ASCII
};

// The image of a file's bytes; nothing for bytes the profile functions of
// different systems may read differently (see above).
std::optional<TIniImage> ParseIniImage(const std::string& bytes);

// What GetPrivateProfileStringA(section, key, "", buffer, 260, file) gives for
// the file of the image, with a NULL key when `key` is empty (then the
// section's first key name); nothing when the image cannot tell for sure.
std::optional<TIniRead> LookUpIniValue(const TIniImage& image, const std::string& section, const std::string& key);

enum class TIniFileRead {
    Read,       // the image holds the file
    Missing,    // no file, no directory: every value is absent
    AskSystem,  // a file to leave to the profile functions (see ReadIniFile)
};

// Reads the file of the path into `image` with one open and one read. Leaves
// to the profile functions: a path that is not full or is too long, a file the
// system maps to the registry, a file that cannot be opened for another
// reason than its absence, no disk file, one over some megabytes, and bytes
// ParseIniImage declines.
TIniFileRead ReadIniFile(const std::string& path, TIniImage& image);
