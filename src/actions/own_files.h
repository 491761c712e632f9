// The program's own files: a new program or language file is staged beside the
// running program as "_" + name and the program restarts from that copy; the
// restarted copy replaces the file it was started from.
#pragma once

#include <string>

#include "actions/file_copy.h"

// Copies the new program or language file to "_" + name beside the program;
// when only the language file is new, also the running program, so that the
// restart finds a language file of its own name. Sets SelfReplaced. The copy
// is held to the source's facts (see CopyWhole).
TFileResult StageOwnFile(const std::string& source, const std::string& fileName, const TSourceFacts& facts = {});

