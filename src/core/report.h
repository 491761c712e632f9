// Step lines and their status boxes. A step line is written without a line
// break, the step is done, and ReportOk or ReportError completes the line with
// a box at StatusColumn.
#pragma once

#include <cstdint>
#include <string>


// The text converted from the ANSI code page to the OEM code page, same length.
std::string ToOem(const std::string& text);

// Writes the text converted with ToOem and leaves the line open.
void WriteText(const std::string& text);
// Writes the text converted with ToOem and ends the line.
void WriteLine(const std::string& text = std::string());

// A line for a person about the program's own trouble (a run log that
// cannot be written, an error that ends the program): on the screen as
// WriteLine, or on standard error while the screen is muted.
void WriteDiagnosticLine(const std::string& text);

// Prints the pending banner and heading (each on its own line, then cleared),
// then the text without a line break.
void ReportItem(const std::string& text);

// Completes the open step line with "  OK  " in light green.
void ReportOk();

// Completes the open step line with " FAILED " in light red, prints
// "ERROR: " and the message in white, and waits for a key.
void ReportError(const std::string& message);

// A plan's forms: the open step line completed with "CHANGE" in light yellow
// and the reason on the next line, indented; or with " FAILED " and the
// error on the next line, indented, and no key waited for.
void ShowChange(const std::string& reason);
void ShowFailure(const std::string& message);
// The open step line completed with " KEPT " in light yellow, and why on the next line.
void ShowKept(const std::string& reason);

// The run's failure told after its step's box: "ERROR: " and the message,
// then the wait for a key (the box itself: ReportFailedBox).
void ReportFailedBox();
void ReportErrorText(const std::string& message);

// Whether text has been written since the last line break.
bool LineOpen();
// Ends the line when one is open.
void EndOpenLine();

// ReportError with the system's text for the code (the code itself where the
// system has none); the code is recorded as the run's LastErrorCode.
void ReportFailure(int32_t code);

