// The release a workstation took last, kept beside the program (never on the
// share) so that a source offering an older release is refused. One small
// text file per script, named like the script with the extension ".taken":
//
//   Vantorel release taken 1
//   release 8
//
// It is written when a run that took the release ends well.
#pragma once

#include <cstdint>
#include <string>

// The record's path for a script name: the script's path with the extension
// ".taken" (replaced or added), beside it as the success marker is (in the
// program's directory for a script named relative to it).
std::string TakenReleasePath(const std::string& exeDir, const std::string& scriptName);

enum class TTakenRead {
    None,     // no record: this workstation has taken no release yet
    Read,     // `number` holds the release
    Damaged,  // there, but not a record this program wrote, or unreadable: `problem` says why
};

// Reads the record.
TTakenRead ReadTakenRelease(const std::string& path, uint64_t& number, std::string& problem);

// Writes the record for the release: beside it first, then put in its place
// with one rename, so that a record is never found half written. False when
// it cannot be written (the run has ended well either way).
bool WriteTakenRelease(const std::string& path, uint64_t number);
