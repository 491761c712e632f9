// Which file the script reader reads for a path. A plan reads a script,
// settings file or include that its update pass would have brought from the
// source copy instead, and an INI lookup of a constant the file an earlier
// step would have put in place; the plan tells the reader so here.
#pragma once

#include <functional>
#include <string>

using TReadSource = std::function<std::string(const std::string& path)>;

// From now on paths are read from the file `source` gives for them; an
// empty function reads every path itself.
void SetReadSource(TReadSource source);

// The file to read for `path`.
std::string ReadSourceOf(const std::string& path);

// Whether paths are read from other files now (SetReadSource).
bool ReadsFromElsewhere();
