// The administrator's commands around releases: --publish writes the release
// manifest of a source directory, --new-key makes the key pair that signs it.
// Paths are taken from the current directory when relative, as a shell
// gives them.
#pragma once

#include <string>

#include "run/exit_codes.h"

// Publishes the directory, signed with the private key file when one is
// named; prints what it published (files, bytes, release number, time taken)
// or the file that failed it. ExitGood or ExitFailed.
int PublishCommand(const std::string& directory, const std::string& keyFile);

// Makes a key pair into `file` (private) and `file`.pub (public), never over
// an existing file; prints the key and where each half belongs. ExitGood or
// ExitFailed.
int NewKeyCommand(const std::string& file);
