// The check of an action section's items: keys the section does not read,
// gaps in item and entry numbers, kinds the item order leaves out, registry
// roots, flag words, sources missing at the source and directories made too
// late; and the pieces the options share with it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "run/check_findings.h"

// What is written under one number.
struct TSlot {
    int FirstLine = 0;
    std::string FirstKey;     // as written
    bool Present = false;     // the key that keeps the list going is there and not empty
    std::string EndKey;       // the key that ends the list here (when not present)
    bool EndKeyEmpty = false; // written, but empty
};

// Notes a line written under the slot's number.
void Note(TSlot& slot, const TScriptLine& line);

// The first number a run does not read: it reads 1, 2, ... up to the first
// that is not present.
int FirstUnread(const std::map<int, TSlot>& slots);

// Every number written after one that is not present is never read; each
// gap is reported at its first number, naming the key that ends the list
// there. `endKeyOf` names the key that a number without any key lacks. An
// empty key that ends the list with nothing after it is no mistake.
void CheckGaps(TCheck& check, const TFileView& view, const std::map<int, TSlot>& slots, TFindingCode code,
               const std::function<std::string(int)>& endKeyOf);

// The key lines the reads see: the first line of each name; comment lines
// are left out. Later lines of a name are reported.
std::vector<const TScriptLine*> ReadKeys(TCheck& check, const TFileView& view, const TScriptSection& section);

// Letters of an order key that name nothing are passed over by the run.
void CheckLetters(TCheck& check, const TFileView& view, const TScriptLine& line, const std::string& known,
                  TFindingCode code, unsigned message, unsigned word);

// An Insert, Update or Delete section (`mode` its letter).
void CheckActions(TCheck& check, const TFileView& view, const TScriptSection& section, char mode);

// The first file matching the name or mask that the run would take from the
// source (hidden and system files are passed over); empty when none.
std::string FirstVisibleMatch(const std::string& pattern);
