// Text-file items: lines that must be present in a text file. A line is added
// at the end when no line of the file begins with the entry's prefix; lines
// are never changed or removed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "actions/steps.h"
#include "core/section_mode.h"

struct TTextEntry {
    std::string Prefix;  // escapes decoded, constants expanded
    std::string Full;    // the same; only Insert sections use it
};

struct TTextItem {
    std::string Shown;  // the file's name with constants expanded, as the line shows it
    std::string Path;   // the same, relative names below the program's directory
    std::vector<TTextEntry> Entries;
};

// A text file as one item reads it: forward only (one entry's search goes on
// where the previous one stopped) and, once a line is to be appended, never
// again. A line ends at LF or CR LF; a CR not followed by LF is dropped;
// Ctrl-Z is ordinary text; the last line may lack a line end.
class TTextReader {
public:
    explicit TTextReader(std::string bytes) : m_bytes(std::move(bytes)) {}
    bool AtEnd() const { return m_position >= m_bytes.size(); }
    std::string ReadLine();

    bool Appending = false;
    std::string LastLine;  // the line read last, or after an append the text appended
    int64_t Length() const { return static_cast<int64_t>(m_bytes.size()) + m_appended; }
    void Appended(size_t bytes) { m_appended += static_cast<int64_t>(bytes); }

private:
    std::string m_bytes;
    size_t m_position = 0;
    int64_t m_appended = 0;
};

// Searches the file from its reading position for a line that begins with
// the prefix (blanks and control characters around the line and case do not
// matter); nothing when one does. Otherwise the line to append (after the
// previous last line is ended); outside Insert sections that step fails with
// "Capability not supported.".
std::optional<TChange> DecideTextEntry(TTextReader& file, const std::string& path, const TTextEntry& entry,
                                       TSectionMode mode);

// Appends the change's bytes at the end of the file; input/output errors
// raise IoError.
TApplied ApplyTextChange(const TChange& change);

// Carries out one text item: its line, the file (created empty when it is
// not there), each entry's decision and step. False when a step failed;
// input/output errors raise IoError.
bool ProcessTextItem(const TTextItem& item, TSectionMode mode, TSteps& steps);
