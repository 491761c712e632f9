// Reading the files of a release once each: size, last-write time, SHA-256
// and file version from one pass over the bytes. The files are shared out
// among a few threads, each reading whole files: the system's SHA-256 costs
// more than reading from a cache, and over a network a second request in
// flight hides the first one's wait.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/sha256.h"

struct TFileDigest {
    enum class TOutcome {
        NotRead,     // left when another file failed first
        Read,
        Unreadable,  // Error holds the system's code
        Changed,     // its size or time changed while it was read
        HashFailed,  // the system's hash failed: Problem says how
    };
    TOutcome Outcome = TOutcome::NotRead;
    DWORD Error = 0;
    std::string Problem;
    int64_t Size = 0;
    FILETIME WriteTime{};
    TSha256Digest Sha256{};
    std::string Version;     // empty when the file has none
    bool AskSystem = false;  // a form of program file whose version the bytes did not tell
};

// Reads the files (full paths), shared for reading only so that nobody
// writes one while it is read, on up to `threads` threads; stops at the
// first that fails. The digests come in the order of the paths. The
// system's hash must have been begun once on the calling thread before (it
// is loaded then), and its failure message read once (the message table is
// not filled from several threads).
std::vector<TFileDigest> DigestFiles(const std::vector<std::wstring>& paths, unsigned threads);
