// The record of what the run printed, for the run log: every text in the
// ANSI code page and without colours, a status box as its word at the status
// column. The record ends when the run waits for a key and a console control
// event (Ctrl-C, the window closed) takes it over.
#pragma once

#include <string>

// Records printed text (ANSI code page) unless a RecordPause is alive.
void RecordText(const std::string& ansiText);

// Completes the open line with the word of a status box (its blanks removed)
// at `column` (from 1), padded with blanks as redirected output is, and ends
// the line.
void RecordStatus(const std::string& box, int column);

// While one lives, printed text is not recorded: the status box and the key
// prompt are for the screen only.
class RecordPause {
public:
    RecordPause();
    ~RecordPause();
    RecordPause(const RecordPause&) = delete;
    RecordPause& operator=(const RecordPause&) = delete;
};

// While one lives the run waits for a key; a console control event may then
// take the record over (ClaimRecordForInterrupt) and the process ends.
class KeyWaitScope {
public:
    KeyWaitScope();
    ~KeyWaitScope();
    KeyWaitScope(const KeyWaitScope&) = delete;
    KeyWaitScope& operator=(const KeyWaitScope&) = delete;
};

// What was recorded so far.
const std::string& RecordedText();

// True while the run goes on (not waiting for a key, not interrupted).
bool RecordRunning();

// From the control handler's thread: true when the run waits for a key and
// the record is now the handler's to write (exactly one caller gets true).
bool ClaimRecordForInterrupt();

// The handler has written the record; a key wait that ends now returns.
void MarkInterruptWritten();
