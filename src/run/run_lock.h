// One run at a time per program directory and script. A user who starts the
// application twice while an update is under way would otherwise have two
// runs copy the same files, and the second fail on the first's scratch
// files. The second run waits for the first (a named mutex of the program
// directory and script) and then runs as usual: by then everything is
// current, so it is quick, and it launches the application as asked.
//
// The restarted "_" copy of a self-update belongs to the run that started
// it: that run leaves a mark (a named event, alive exactly as long as the
// copy) before it ends, and a waiting run that gets the mutex while the mark
// is there gives it back until the copy has it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/handles.h"

// Waits for the run's turn and keeps it until the process ends. When another
// run has it, prints "=> Waiting for another run to end..." (a restarted copy
// waits for the run that started it without a word) and completes that line
// when the turn comes. After a few minutes the line fails with the reason,
// the run has failed, and the result is false.
bool TakeRunLock();

// After the restart: the started copy `process` is the next to have the turn.
void HandOverRunLock(HANDLE process);

// The kernel object name of the lock of a program directory and script (the
// same for any spelling of the same path that the system resolves alike).
std::string RunLockName(const std::string& exeDir, const std::string& scriptName);

enum class TLockWait {
    Taken,     // the turn is ours
    TimedOut,  // another run kept it past the bound
    NoLock,    // the lock could not be made; the run goes on without it
};

// The wait itself, for the lock of `name` within `boundMs`; `onWait` is
// called once when the turn is someone else's. When the result is Taken the
// calling thread owns the mutex that `held` now holds.
TLockWait WaitForTurn(const std::string& name, bool restartedCopy, DWORD boundMs,
                      const std::function<void()>& onWait, UniqueKernelHandle& held);
