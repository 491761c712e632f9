// Taking a release. Before a run takes anything from a source directory that
// holds "vantorel.release", it reads the manifest once and holds every
// release file of the directory (every visible file but the manifest, as
// --publish lists them) to its entry by the listing's size and last-write
// time; the copies then bring exactly the bytes the manifest lists. A
// workstation whose program directory holds "vantorel.pub" takes only
// releases signed with that key, and no source without one. The last release
// taken is kept beside the program ("<script>.taken"), and an older one is
// refused.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "actions/steps.h"
#include "release/manifest.h"
#include "release/release_match.h"

enum class TReleaseOutcome {
    AsBefore,    // no manifest and no key: the directory is taken as it is
    Taken,       // the run takes the release
    NotUpdated,  // incomplete, or older than this workstation's: nothing is taken, the application starts
    Fails,       // refused or unusable: the run fails before it changes anything
};

// What a run saw of one source directory's release, for a plan to show.
struct TReleaseSeen {
    std::string Source;           // the directory, with its separator
    bool Manifest = false;        // the directory holds a manifest
    TReleaseStatus Status = TReleaseStatus::None;
    uint64_t Number = 0;          // 0 when none could be read
    FILETIME Published{};
    std::string SignedBy;         // the key's short name; empty when not signed
    std::string KeyRequired;      // the short name of the key of vantorel.pub; empty when none
    uint64_t Workstation = 0;     // the release this workstation took last; 0 none
    TReleaseOutcome Outcome = TReleaseOutcome::AsBefore;
    std::string Refusal;          // NotUpdated and Fails: the sentence shown
};

// A source directory's release as a run would judge it: the release read,
// and where it stops the run, the file concerned (Fails) or up to `limit`
// places where the directory and the manifest part (NotUpdated).
struct TReleaseJudgement {
    TReleaseSeen Seen;
    std::shared_ptr<const TRelease> Release;
    std::string FailedPath;
    std::vector<TReleaseMismatch> Mismatches;
};

// Judges the directory (with its separator) by the workstation's key and
// record as a run does, changing nothing and printing nothing.
TReleaseJudgement JudgeSourceRelease(const std::string& directory, size_t limit);

// A place where the directory and the manifest part, as a clause
// ('"a.dll" differs from its entry in size').
std::string MismatchText(const TReleaseMismatch& mismatch);

// Called whenever the run turns to Run.SourceDir, before it takes anything
// from it (each directory is held once per run). Holds the directory to its
// release and the machine view to the release's digests; when the release
// cannot be taken says so: an incomplete or older one with one line (a
// plan the same), a refused or unusable one as a failed step on the
// manifest (a run fails there). A plan first shows the release at the source
// and the one this workstation has. False when the run takes nothing more:
// then ReleaseNotUpdated tells whether the application is started as it is.
bool HoldSourceRelease(TSteps& steps, bool plan);

// Nothing was taken from a source, and the application is to be started as
// it is (exit code 4).
bool ReleaseNotUpdated();

// A run that took a release has ended well: the release is recorded beside
// the program, so that older ones are refused from now on.
void RecordReleaseTaken();

// The source directories' releases as the run saw them (only those with a
// manifest, a key or a release taken before).
const std::vector<TReleaseSeen>& ReleasesSeen();

// The outcome's word in the plan's JSON ("taken", "not_updated", ...).
const char* ReleaseOutcomeName(TReleaseOutcome outcome);
