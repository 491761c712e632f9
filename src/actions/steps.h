// The road of a step. An item's walk decides each change from the machine
// view, then hands it to the steps: a run makes it and reports OK or the
// failure; a plan tells whether it could be made, lays it over the machine it
// shows and reports CHANGE with the reason. The walks hold no rule of their
// own about which of the two they serve.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "machine/change.h"
#include "machine/machine_view.h"

// How making (or, in a plan, foreseeing) a change ended.
struct TApplied {
    std::vector<TFailure> Failures;  // in the order they happened; none: made
    bool SourceReplaced = false;     // a copy found a complete new source: decide again from Found
    TState Found;
    bool Deferred = false;  // the program file is in use by another run of the program; a later run replaces it

    bool Ok() const { return Failures.empty() && !SourceReplaced; }
};

TApplied Applied(const TFailure& failure);

class TSteps {
public:
    virtual ~TSteps() = default;

    // The machine the decisions read.
    virtual TMachineView& Machine() = 0;

    // Prints the change's line (none for a quiet change, or one that
    // completes the line already open).
    virtual void Show(const TChange& change) = 0;

    // A run makes the change; a plan tells whether it could be made now and,
    // when it could, lays it over the machine it shows. Nothing is reported.
    virtual TApplied Make(const TChange& change) = 0;

    // Reports how the step ended: its status, or its failures. Gives whether
    // the item's walk goes on.
    virtual bool Report(const TChange& change, const TApplied& applied) = 0;

    // The item failed: a run has failed with it; a plan goes on.
    virtual void ItemFailed() = 0;

    // A run removes what interrupted runs left beside the targets in the
    // directory before it copies into it; a plan leaves it.
    virtual void Tidy(const std::string& directory) = 0;

    // A run waits; a plan does not.
    virtual void Pause(DWORD milliseconds) = 0;

    // Whether the walk should tell the copies it will come to: a run that
    // made a copy since the walk last asked.
    virtual bool LooksAhead() { return false; }
    // A copy the walk will come to soon, as decided now: a run may copy it
    // beside its target ahead of its turn. Nothing is reported.
    virtual void Ahead(const TChange&) {}
    // The walk of the file items ended: what was copied ahead and not
    // claimed goes.
    virtual void EndAhead() {}
};

// A step that fails before anything could be decided (a key that cannot be
// opened, the engine's list that cannot be read): it completes the line that
// is open.
TChange FailedStep(TChangeKind kind, const std::string& target, const TFailure& failure);

// Show, Make and Report in one (a failure known when deciding is reported
// without making anything). Gives whether the walk goes on; `ok` becomes false
// when the step failed.
bool Take(TSteps& steps, const TChange& change, bool& ok);
