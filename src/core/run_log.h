// The run log: what the run printed, appended as one block to a file the
// administrator names, so that a failure on a workstation can still be read
// after the user has pressed a key. Without a file nothing is written.
//
// The reporting layer records every text it prints, in the ANSI code page and
// without colours; a status box is recorded as its word at the status column.
// The block (header, the recorded lines, footer) is appended with one write
// when the run ends, or by a console control handler when the process is
// ended while it waits for a key.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Notes the start of the run (time, computer and user). Call first.
void BeginRunLog();

// Records printed text (ANSI code page) unless a RecordPause is alive.
void RecordText(const std::string& ansiText);

// Completes the open line with the word of a status box (its blanks removed)
// at the status column, padded with blanks as redirected output is, and ends
// the line.
void RecordStatus(const std::string& box);

// While one lives, printed text is not recorded: the status box and the key
// prompt are for the screen only.
class RecordPause {
public:
    RecordPause();
    ~RecordPause();
    RecordPause(const RecordPause&) = delete;
    RecordPause& operator=(const RecordPause&) = delete;
};

// While one lives the run waits for a key; a console control event (Ctrl-C,
// the window closed) then writes the block before the process ends.
class KeyWaitScope {
public:
    KeyWaitScope();
    ~KeyWaitScope();
    KeyWaitScope(const KeyWaitScope&) = delete;
    KeyWaitScope& operator=(const KeyWaitScope&) = delete;
};

// Takes the log file (a full path) for this run; later calls are ignored. The
// file is opened once for appending at once; when that fails, one line says
// so (the file and the system's reason) and no block is written. A file held
// by another writer counts as writable. `fromCommandLine`: a restarted copy
// is given the same file on its command line.
void UseRunLogFile(const std::string& path, bool fromCommandLine);

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
