// Text-file items: lines that must be present in a text file. A line is added
// at the end when no line of the file begins with the entry's prefix; lines
// are never changed or removed.
#pragma once

#include <string>

#include "core/handles.h"

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
    friend void EditTextFile(TTextFile& file, const std::string& prefix, const std::string& full, char mode);
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
    std::string m_lastLine;
};

// Opens the file for reading, creating it empty when it does not exist. On
// failure reports "Can't open or create file" with the system's code, clears
// RunOk and gives false.
bool OpenTextFile(const std::string& path, TTextFile& file);

// Makes sure that some line from the reading position on begins with `prefix`
// (blanks and control characters around the line and case do not matter);
// otherwise appends `full` and prints the value line with its status. Both
// texts are expanded here. Only Insert sections ('I') may add lines; other
// modes fail with "Capability not supported.". Input/output errors raise
// IoError.
void EditTextFile(TTextFile& file, const std::string& prefix, const std::string& full, char mode);

// Closes the file; a failing close raises IoError. (A file left open by an
// error on its way out is closed by its owner without a report.)
void CloseTextFile(TTextFile& file);

// Carries out text item number `item` of the section `section` of the script:
// the file is ItemValue, the entries are Text<n>Str<m>Prefix/Full. Prints its
// own lines; a failure clears RunOk; input/output errors raise IoError.
void ProcessTextItem(const std::string& scriptPath, const std::string& section, int item, char mode);
