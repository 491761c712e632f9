// Reading a source directory's release manifest and checking its signature,
// and signing one: what a run asks before it takes anything from the
// directory, and what --publish does last.
#pragma once

#include <string>

#include "release/manifest.h"

// Reads and checks "<directory>vantorel.release" (`directory` ends with a
// separator). Without a key the status is None, Unreadable, Malformed,
// Unsigned or Good (a signature is then not checked). With the public key a
// workstation requires, a signed manifest is Good only when that key signed
// exactly the bytes before its signature line; otherwise ForeignKey (another
// key signed it), Altered (a byte changed since), or Unverifiable (the system
// cannot check signatures). The file is opened so that a publisher can still
// replace it, and read once.
TRelease ReadRelease(const std::string& directory, const TEcPublicKey* key);

// The same checks for manifest bytes already read.
TRelease CheckRelease(const std::string& bytes, const TEcPublicKey* key);

// Whether a run may take the release: Good, or Unsigned when the workstation
// requires no key.
bool ReleaseAccepted(const TRelease& release, bool keyRequired);

// One sentence for a status a run refuses (Unreadable, Malformed, Unsigned
// with a key required, ForeignKey, Altered, Unverifiable), naming the
// manifest by `path`; empty for None and Good.
std::string DescribeRelease(const TRelease& release, const std::string& path, const TEcPublicKey* key);

// Appends the signature line of the pair's key over every byte of `text`,
// after checking that the signature verifies with the pair's public key (a
// key file whose halves do not belong together is refused). False with the
// reason in `problem`.
bool SignManifest(std::string& text, const TEcKeyPair& pair, std::string& problem);
