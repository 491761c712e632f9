// The check's look at what a run takes without a word and then writes wrongly
// to every workstation: a file in UTF-8 without a byte-order mark, a registry
// type word the run reads by its first letter, a number that is none, a
// comment inside a value, a program path with a blank that is not quoted, a
// source directory taken from wherever the run was started, and the value
// of the Check option.
#pragma once

#include <string>

#include "run/check_findings.h"

// The bytes of the file as the run decodes them: a file without a byte-order
// mark is read in the ANSI code page, so UTF-8 text in it, or bytes that are
// no text in that code page, come out as other letters.
void CheckEncoding(TCheck& check, const TFileView& view);

// A ";" after a blank (or a "#" between blanks) in a value that is not
// quoted: the script reader knows no comments after a value, so it is part
// of it.
void CheckInlineComment(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& value);

// One entry of a registry item of an Insert or Update section: its type word
// (read by its first letter) and, for a number, its value. Either may be null.
void CheckRegistryEntry(TCheck& check, const TFileView& view, const TScriptLine* type, const TScriptLine* value);

// The script's Run: the run splits it at its first blank into the program and
// its parameters, so a program path with a blank needs quotes.
void CheckRunProgram(TCheck& check, const TFileView& view, const TScriptLine& run);

// A SourcePath that is no full path is taken from the current directory.
void CheckSourcePath(TCheck& check, const TFileView& view, const TScriptLine& line);

// Check takes 0, 1 or strict.
void CheckCheckOption(TCheck& check, const TFileView& view, const TScriptLine& line);

// The item order with the directories before the files, for a file copied
// into a directory that a later Dir item makes ("FDRIBTS" gives "DFRIBTS").
std::string DirectoriesFirst(const std::string& order);
