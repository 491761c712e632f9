// Text-file items: lines that must be present in a text file. A line is added
// at the end when no line of the file begins with the entry's prefix; lines
// are never changed or removed.
#pragma once

#include <string>
#include <vector>

#include "core/handles.h"
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

enum class TTextChange {
    Present,       // a line from the reading position on begins with the prefix
    Append,        // no such line: the full line is added at the end
    NotSupported,  // outside Insert sections lines are never added
};

// A text file held by one item from the open step to the close step. It is
// read forward only (one entry's search goes on where the previous one
// stopped) and, once something has been appended, only appended to.
class TTextFile {
public:
    const std::string& Path() const { return m_path; }
    bool Appending() const { return m_appending; }
    // The line read last, or after an append the text appended.
    const std::string& LastLine() const { return m_lastLine; }

private:
    friend bool OpenTextFile(const std::string& path, TTextFile& file);
    friend bool OpenForPlan(const std::string& path, TTextFile& file);
    friend bool OpenReader(const std::string& source, const std::string& path, TTextFile& file);
    friend TTextChange DecideTextEntry(TTextFile& file, const TTextEntry& entry, TSectionMode mode);
    friend void ApplyTextEntry(TTextFile& file, const TTextEntry& entry, TTextChange change);
    friend void CloseTextFile(TTextFile& file);

    bool AtEnd();
    std::string ReadLine();
    void Append(const std::string& text);
    int NextByte();  // -1 at the end of the file
    bool Fill();

    std::string m_path;
    UniqueFile m_handle;
    std::string m_buffer;
    size_t m_position = 0;
    bool m_appending = false;
    bool m_missing = false;  // a plan: the file is not there yet and reads as empty
    std::string m_lastLine;
};

// Opens the file for reading, creating it empty when it does not exist. On
// failure reports "Can't open or create file" with the system's code, clears
// RunOk and gives false.
bool OpenTextFile(const std::string& path, TTextFile& file);

// Searches the file from its reading position for a line that begins with
// the prefix (blanks and control characters around the line and case do not
// matter); the reading position moves past the line that matched, or to the
// end. Input/output errors raise IoError.
TTextChange DecideTextEntry(TTextFile& file, const TTextEntry& entry, TSectionMode mode);

// Appends the full line (NotSupported: fails the run with "Capability not
// supported."), printing the value line and its status; nothing for Present.
void ApplyTextEntry(TTextFile& file, const TTextEntry& entry, TTextChange change);

// Closes the file; a failing close raises IoError. (A file left open by an
// error on its way out is closed by its owner without a report.)
void CloseTextFile(TTextFile& file);

// Carries out one text item: its line, the open step, each entry's decision
// and change, the close step. A failure clears RunOk; input/output errors
// raise IoError.
void ProcessTextItem(const TTextItem& item, TSectionMode mode);
