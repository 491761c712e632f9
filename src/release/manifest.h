// The release manifest: the file "vantorel.release" that --publish writes
// into a source directory and that a run reads to know what a whole release
// is. Plain text, one line per file, in UTF-8 so that a name reads the same
// under every code page:
//
//   Vantorel release manifest 1
//   ; comment lines start with a semicolon
//   release 7
//   published 133599911810000000 2024-05-12 12:39:41 UTC
//   files 2
//   file 10240 133599911810000000 1.2.3.4 9f86...0a08 ledger.exe
//   file 512 133599911810000000 - 2c26...e7ae my notes.txt
//   end
//   key <public key, 128 hexadecimal digits>
//   signature <signature of every byte before this line, 128 hexadecimal digits>
//
// A file line holds the size, the last-write time in FILETIME ticks (UTC),
// the file version ("-" for none), the SHA-256 and the name, which is the
// rest of the line and may hold blanks. Lines end with CR LF. The key and
// signature lines are there only when the release is signed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/ecdsa.h"
#include "core/sha256.h"

// The manifest's name in the source directory.
constexpr const char* ReleaseFileName = "vantorel.release";
// Its name while --publish writes it: hidden, so that neither a run's masks
// nor a later publish take it; one left by a publish that was broken off is
// written over by the next.
constexpr const char* PendingReleaseFileName = "vantorel.release.new";
// The highest release number a manifest may hold: anything longer is no
// number a publisher could have counted up to.
constexpr uint64_t MaxReleaseNumber = 999999999999999ull;
// Larger manifests are refused unread (about 100,000 files fit).
constexpr size_t MaxManifestBytes = 32u << 20;

struct TReleaseEntry {
    std::string Name;  // as the manifest has it (UTF-8)
    int64_t Size = 0;
    FILETIME WriteTime{};  // UTC, as the directory listing gives it
    std::string Version;   // "major.minor.release.build"; empty when the file has none
    TSha256Digest Sha256{};
};

enum class TReleaseStatus {
    None,          // the directory holds no manifest
    Unreadable,    // the manifest is there but cannot be read: Problem says why
    Malformed,     // not a manifest this program wrote, or cut short: Problem says where
    Unsigned,      // well formed, without a signature
    ForeignKey,    // signed, but with a key other than the one required
    Altered,       // signed with the required key, but the bytes are not the ones signed
    Unverifiable,  // signed, and the system cannot check signatures: Problem says why
    Good,          // well formed; signed with the required key when one is required
};

struct TRelease {
    TReleaseStatus Status = TReleaseStatus::None;
    std::string Problem;  // a message text for Unreadable, Malformed and Unverifiable
    uint64_t Number = 0;
    FILETIME Published{};  // UTC
    std::vector<TReleaseEntry> Entries;
    bool Signed = false;
    TEcPublicKey SignedBy{};  // the key the manifest names, when signed
    TEcSignature Signature{};
    size_t SignedLength = 0;  // the bytes the signature covers: all before its line
    // The entries by their names in the system's upper case, as the file
    // functions compare names.
    std::map<std::wstring, size_t> Index;
};

// The manifest's text up to the signature line: every line above, with the
// key line when `release.Signed` (its key from SignedBy).
std::string FormatManifest(const TRelease& release);

// The last line of a signed manifest.
std::string SignatureLine(const TEcSignature& signature);

// Reads the bytes of a manifest into a release with the status Malformed,
// Unsigned, or Good when it carries a signature (not checked here).
TRelease ParseManifest(const std::string& bytes);

// The entry for a file name in the ANSI code page, found without regard to
// case as the file functions find it; null when the manifest has none.
const TReleaseEntry* FindReleaseEntry(const TRelease& release, const std::string& ansiName);

// The same for a name as the manifest spells it (UTF-8).
const TReleaseEntry* FindReleaseEntryUtf8(const TRelease& release, const std::string& name);

enum class TListingMatch {
    Same,         // the size and the last-write time are the entry's
    SizeDiffers,  // (and perhaps the time too)
    TimeDiffers,
};

// Holds what a directory listing says of a file to its entry: the size and
// the last-write time, to the tick.
TListingMatch CompareWithListing(const TReleaseEntry& entry, int64_t size, const FILETIME& writeTime);

// A FILETIME as the tick count, and back.
uint64_t FileTimeTicks(const FILETIME& time);
FILETIME TicksFileTime(uint64_t ticks);

// A time as "2024-05-12 12:39:41 UTC" (the manifest's "published" line).
std::string ReadableUtc(const FILETIME& time);
