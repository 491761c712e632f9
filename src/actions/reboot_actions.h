// Replacing and deleting files at the next start of the system: delayed moves
// on the NT family, the [Rename] section of wininit.ini on the 9x family.
#pragma once

#include <string>

#include "actions/file_copy.h"

// The file is deleted at the next start of the system.
TFileResult ScheduleDelete(const std::string& path);

// The staged file replaces the target at the next start of the system.
TFileResult ScheduleReplace(const std::string& target, const std::string& staged);
