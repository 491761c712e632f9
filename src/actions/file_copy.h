// The all-or-nothing copy: a target is at every moment either its old file or
// the complete new one. The new file is written beside the target first, as a
// scratch file, flushed, and then renamed over it; scratch files that an
// interrupted run left are swept once per directory and run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/sha256.h"

// What a failed copy met besides a system error.
enum class TCopyProblem {
    None,
    SourceReplaced,  // before anything was copied, the source no longer had the decided facts
    SourceChanged,   // the source changed while it was copied
    NotADiskFile,    // the source or the target is a device or another object that is no disk file
    BytesDiffer,     // the bytes copied are not the ones the facts' SHA-256 stands for
    HashFailed,      // the system could not hash them: Text says why
};

// What the decision saw of the source: its size and stored write time.
struct TSourceFacts {
    bool Known = false;
    int64_t Size = 0;
    FILETIME WriteTime{};
    DWORD Attributes = 0;
    bool Hashed = false;  // the bytes must have this SHA-256 (a release's entry)
    TSha256Digest Sha256{};
};

// The outcome of one file operation: success, or the system's code for why not.
struct TFileResult {
    TFileResult() = default;
    TFileResult(bool ok, DWORD code) : Ok(ok), Code(code) {}
    bool Ok = true;
    DWORD Code = 0;
    TCopyProblem Problem = TCopyProblem::None;
    TSourceFacts Found;  // with SourceReplaced: the source as the copy found it
    std::string Text;    // with HashFailed: the system's reason
};

// Call at once after the failing call: it reads the thread's last error.
inline TFileResult LastFileFailure()
{
    return {false, GetLastError()};
}

// Copies source onto target, overwriting it, all or nothing. The new file
// has the source's attributes and last-write time. With known facts the copy
// is held to them: a source of another size or write time when the copy
// begins is not copied (SourceReplaced, with the facts found); a source
// whose bytes or facts change while it is copied leaves the old target in
// place (SourceChanged), so that a target is never a file that matches no
// version of its source. With a SHA-256 in the facts the bytes are hashed
// as they are copied, and bytes of another hash leave the old target in
// place too (BytesDiffer). A source or target that is not a disk file is
// refused (NotADiskFile). With `keepAside`, an existing target is kept under
// that name instead of being lost, just before the new file takes its place:
// a second name of the same file (a hard link) where the file system has
// them, else renamed there.
// With `copiedAhead` the scratch copy beside the target is already complete
// and on the disk (CopyBeside): it only takes the target's place. With
// `targetAbsent` the caller has just found no target there: it is not asked
// again (a missing name costs Wine a scan of its directory).
TFileResult CopyWhole(const std::string& source, const std::string& target, const TSourceFacts& facts = {},
                      const std::string& keepAside = {}, bool copiedAhead = false, bool targetAbsent = false);

// Gives an existing target the plain archive attribute (so that a read-only
// file can be overwritten), then copies all or nothing.
TFileResult ClearAndCopy(const std::string& source, const std::string& target, const TSourceFacts& facts = {},
                         const std::string& keepAside = {}, bool copiedAhead = false, bool targetAbsent = false);

// The first half of a copy, done ahead of its turn: the source held to the
// facts, copied into the scratch file beside the target and flushed to the
// disk; the target itself is not touched. A failure leaves no scratch file.
// Safe on any thread: it reads and writes only its own two files and keeps
// no state of the run.
TFileResult CopyBeside(const std::string& source, const std::string& target, const TSourceFacts& facts);

// Gives the existing target a second name, `keepAside` (a hard link on its
// volume), where its old file stays when a copy replaces it; nothing about
// the target changes. The directory the name goes in is made when missing
// (MakeKeepDirectory). False, with the system's error, where the file system
// has no second names. Safe on any thread, like CopyBeside.
bool KeepBySecondName(const std::string& target, const std::string& keepAside);

// Renames the file to `keepAside`, making its directory when missing; false
// with the system's error.
bool MoveAside(const std::string& path, const std::string& keepAside);

// Makes the directory `keepAside` goes in, and the one above it, where they
// are missing (a run's keep directory and its bucket); false with the
// system's error.
bool MakeKeepDirectory(const std::string& keepAside);

// Removes the scratch file beside the target that CopyBeside made.
void RemoveCopyBeside(const std::string& target);

// Whether the existing target could be written now; the failure is the one a
// copy onto it would meet (a sharing violation for a file held open or a
// running program), found before anything is copied.
TFileResult ProbeWritable(const std::string& target);

// Gives the file the plain archive attribute.
TFileResult ResetAttributes(const std::string& path);

// The name of the scratch file that a copy onto `target` is written to before
// it replaces the target: in the target's own directory, so the replacement is
// a rename on one volume.
std::string PartialCopyPath(const std::string& target);

// Removes the scratch files that interrupted runs left in the directory (with
// trailing separator); once per directory and run (Run.SweptDirectories).
void SweepLeftoverCopies(const std::string& directory);

// Removes the scratch files of copies in the directory (with trailing
// separator) now, however often asked: before a directory the run made is
// removed again.
void RemoveScratchCopies(const std::string& directory);
