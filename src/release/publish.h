// Publishing a release: the manifest of a source directory, written after
// the administrator has copied the new files. Every file a run can take is
// read once, for its hash and (from the same bytes) its file version; the
// manifest is written beside its final name and put in place with one
// rename, so a reader sees the old manifest or the new one, whole.
#pragma once

#include <cstdint>
#include <string>

#include "core/ecdsa.h"

// The system's reading of a file's version ("" for none), for the few
// program files whose version the publish cannot take from the bytes it read.
using TSystemVersionReader = std::string (*)(const std::string& path);

struct TPublishRequest {
    std::string Directory;  // a full path, with or without the trailing separator
    const TEcKeyPair* Key = nullptr;  // signs the manifest when given
    TSystemVersionReader SystemVersion = nullptr;
};

struct TPublishResult {
    bool Ok = false;
    std::string Problem;  // a message text: the file or directory and why; the manifest in place is unchanged
    uint64_t Number = 0;  // the release published
    uint64_t Files = 0;
    uint64_t Bytes = 0;
    uint64_t LeftOut = 0;       // hidden and system files, and names of devices
    bool ReplacedSigned = false;  // the manifest it replaced was signed
    uint64_t VersionsAsked = 0;   // files whose version the system read again
};

// Publishes the directory: release number one above the manifest it
// replaces (1 when there is none), the time, and per file its name, size,
// last-write time, version and SHA-256. Subdirectories, hidden and system
// files, device names and the manifest's own files are left out. A file that
// cannot be read, or that changes while it is read, fails it, as does a
// manifest in place that cannot be read (its number is not known).
TPublishResult PublishRelease(const TPublishRequest& request);
