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

// Same contract as ReadProfileString: the value, or the empty text when the
// file, section or key is missing. The image is parsed again whenever the
// file's size or last-write time changes.
std::string ReadScriptString(const std::string& file, const std::string& section, const std::string& key);

// Forgets every image (end of the run).
void ForgetScriptImages();
