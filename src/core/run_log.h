// The run log: what the run printed, appended as one block to a file the
// administrator names, so that a failure on a workstation can still be read
// after the user has pressed a key. Without a file nothing is written.
//
// The reporting layer records what it prints (core/log_record.h). The block
// (header, the recorded lines, footer) is appended with one write
// when the run ends, or by a console control handler when the process is
// ended while it waits for a key.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Notes the start of the run (time, computer and user). Call first.
void BeginRunLog();

// Takes the log file (a full path) for this run; later calls are ignored. The
// file is opened once for appending at once; when that fails, one line says
// so (the file and the system's reason) and no block is written. A file held
// by another writer counts as writable. `fromCommandLine`: a restarted copy
// is given the same file on its command line.
void UseRunLogFile(const std::string& path, bool fromCommandLine);

// The header names this run by the message (a plan, a check) instead of by
// the program's name (first run, restarted copy).
void NameRunLogInstance(unsigned messageId);

// Adds a field to the block's header ("release 7", "findings 2"), after the
// script and before the kind of run, in the order they are added.
void AddRunLogHeaderField(const std::string& field);

// True once UseRunLogFile was called, whether or not the file can be written.
bool RunLogFileChosen();

// The size (bytes) the file may reach before it is renamed to "<name>.1".
void SetRunLogLimit(uint64_t bytes);

// `--log "<path>" ` when the log file came from the command line, for the
// restarted copy's command line; otherwise empty.
std::string RunLogRestartArguments();

// Appends the block with a footer of the exit code and the duration. Only the
// first call (or the control handler) writes.
void EndRunLog(int exitCode);

enum class AppendOutcome {
    Written,
    Locked,  // held by another writer for longer than the wait
    Failed,  // could not be opened or written
};

// Appends the bytes to the file with one write while holding it without
// sharing. When the file is not empty and the bytes would take it past
// `limit`, it is first renamed to "<path>.1" (replacing an older one) and a
// new file is begun. Retries while another writer holds the file, up to
// `waitMs`.
AppendOutcome AppendToLogFile(const std::string& path, const std::string& bytes, uint64_t limit, DWORD waitMs);
