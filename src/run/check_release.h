// The script check's look at a source directory's release: what a run would
// meet there before it takes anything (a manifest that does not match its
// directory, one the workstation's key refuses, an older release).
#pragma once

#include <string>

#include "run/check_findings.h"

// Judges the source directory (with its separator) as a run would and
// reports each reason it would not take the release: one finding per file
// where the directory and the manifest part, else the refusal (VC150 to
// VC155). Nothing when there is no manifest and no key.
void CheckSourceRelease(TCheck& check, const std::string& sourceDir);
