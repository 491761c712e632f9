// Making a file change, and foreseeing the failure it would meet: copies
// (all or nothing, held to the source the decision saw), the "_" copies of a
// self-update, deletions and renames, replacements and deletions left for the
// next start of the system, and the empty file a text item needs.
#pragma once

#include <string>

#include "actions/file_copy.h"
#include "actions/steps.h"

// What a copy of the change holds its source to: the size and time the
// decision saw, and the digest of the release the source is held to.
TSourceFacts DecidedFacts(const TChange& change);

// Makes the change as its FileOp says.
TApplied ApplyFileChange(const TChange& change);

// The failure the change would meet that the machine can tell now: a target
// directory that is not there, a target in use, a new name that is taken.
TApplied ForeseeFileChange(const TChange& change, TMachineView& machine);

// The empty file a text item reads when its file is not there yet; the run
// makes it without a word of its own.
TChange EmptyFileCreation(const std::string& path);
