// Reads of script files from a parsed image held in memory. A script with
// thousands of items is read key by key, and each read through the system's
// profile functions costs about a millisecond, more for a missing key in a
// long section. The image gives the same answers by the same rules: names
// match without regard to ASCII case and with blanks trimmed, the first
// section and the first key of a name win, a line without "=" hides later
// keys of its name, values are trimmed and lose one pair of enclosing quotes,
// and a value is cut to 259 characters.
#pragma once

#include <string>
#include <vector>

// Same contract as ReadProfileString: the value, or the empty text when the
// file, section or key is missing. The image is parsed again whenever the
// file's size or last-write time changes.
std::string ReadScriptString(const std::string& file, const std::string& section, const std::string& key);

// The lines of the section (its first occurrence) as the system's
// GetPrivateProfileSectionA gives them into a buffer of `bufferSize`
// characters: "name=value", or the name of a line without "="; comment lines
// (";") and a nameless line ("=x") right after another are left out. Read
// through the same image as ReadScriptString. False when the image cannot
// answer exactly as the system would: the file cannot be read now, the
// section's name is not plain ASCII without blanks around it, a line holds a
// NUL, or the section comes near the end of the buffer; ask the system then.
bool ReadScriptSection(const std::string& file, const std::string& section, size_t bufferSize,
                       std::vector<std::string>& lines);

// One key line of a script file, as written.
struct TScriptLine {
    std::string Name;   // blanks around it removed
    std::string Value;  // blanks around it removed; quotes and full length kept
    std::string Read;   // the value as ReadScriptString gives it (no quotes, cut)
    int Line = 0;       // from 1
    bool HasEquals = false;  // a line without "=" reads as missing and hides later keys of its name
};

struct TScriptSection {
    std::string Name;  // between the brackets, blanks around it removed
    int Line = 0;      // of the header; 0 for the lines above the first header
    std::vector<TScriptLine> Lines;
};

// Every section of the file in file order, each with its key lines in order,
// parsed by the same rules as the reads: a section or key that is written
// twice shows twice (the reads take the first). Lines above the first header
// come first as a section without a name and line, when there are any. False
// when the file cannot be read.
bool ListScriptSections(const std::string& file, std::vector<TScriptSection>& sections);

// The file's bytes as they are (for a look at how it is encoded); false when
// it cannot be read.
bool ReadScriptBytes(const std::string& file, std::string& bytes);

// Forgets every image (end of the run).
void ForgetScriptImages();

// While one is alive, each file's image is checked against the file once
// (one look-up of its size and time instead of one per key), and again only
// after the run noted a change of some file: the reads of one item, which
// read dozens of keys of one script between two of the run's own changes.
class TScriptReadScope {
public:
    TScriptReadScope();
    ~TScriptReadScope();
    TScriptReadScope(const TScriptReadScope&) = delete;
    TScriptReadScope& operator=(const TScriptReadScope&) = delete;
};
