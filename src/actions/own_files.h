// The program's own files: a new program or language file is staged beside the
// running program as "_" + name and the program restarts from that copy; the
// restarted copy replaces the file it was started from. A new script or
// settings file is taken only from a source that keeps serving it.
#pragma once

#include <functional>
#include <string>

#include "actions/file_copy.h"

// Copies the new program or language file to "_" + name beside the program;
// when only the language file is new, also the running program, so that the
// restart finds a language file of its own name. Sets SelfReplaced. The copy
// is held to the source's facts (see CopyWhole).
TFileResult StageOwnFile(const std::string& source, const std::string& fileName, const TSourceFacts& facts = {});

// The current language file copied beside the staged program ("_" + name).
TFileResult StageCurrentLanguageFile(const std::string& fileName);

// Where the source copy of the script would take the run.
struct TNewScriptSource {
    bool Named = false;  // the source copy of the script names a SourcePath
    std::string Dir;     // that path, constants expanded, with a trailing backslash
};

// Asked before the script or the settings file is replaced. Reading scripts
// and loading their constants is the run's business, so the run answers it.
using TNewScriptSourceQuery = std::function<TNewScriptSource()>;

// Whether the source copy of the script names a source directory that holds
// the file too: a script without one would cut the workstation off from the
// share, and the script or settings file is not replaced. A missing file there
// is reported (and ends the walk); a source copy that names none is not.
TFileOutcome NewScriptSourceServes(const std::string& fileName, const TNewScriptSourceQuery& newSource);

// Replaces the script or settings file when the new source serves it.
TFileOutcome ReplaceScriptFile(const std::string& source, const std::string& target, const std::string& fileName,
                               const TNewScriptSourceQuery& newSource, const TSourceFacts& facts = {});
