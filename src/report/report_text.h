// Text from the logs made safe for what the report writes: UTF-8 for the page
// and the data files, and escaped for each of them. Every user of every
// workstation can write the logs, so none of their text is ever markup.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Text of the ANSI code page as UTF-8; control characters (which no run
// prints) become U+FFFD.
std::string TextFromLog(std::string_view ansi);

// UTF-8 text for HTML content and attribute values: & < > " ' as entities.
std::string HtmlText(std::string_view text);

// UTF-8 text as a JSON string with its quotes. Besides what JSON needs, < > &
// and U+2028/U+2029 are escaped too, so that the string can stand inside a
// script element of a page and never end it.
std::string JsonText(std::string_view text);

// UTF-8 text as one quoted CSV field. A field that a spreadsheet would take
// as a formula (= + - @ first) is given a leading apostrophe.
std::string CsvField(std::string_view text);

// A message of the table in force as UTF-8, each "%s" filled with the next
// text (UTF-8, taken as it is) and "%%" as "%".
std::string MessageText(unsigned id, std::initializer_list<std::string> texts = {});
