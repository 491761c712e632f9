// Step lines and their status boxes. A step line is written without a line
// break, the step is done, and ReportOk or ReportError completes the line with
// a box at StatusColumn.
#pragma once

#include <cstdint>
#include <string>

#include "core/run_state.h"

// The text converted from the ANSI code page to the OEM code page, same length.
std::string ToOem(const std::string& text);

// Writes the text converted with ToOem and leaves the line open.
void WriteText(const std::string& text);
// Writes the text converted with ToOem and ends the line.
void WriteLine(const std::string& text = std::string());

// Prints the pending banner and heading (each on its own line, then cleared),
// then the text without a line break.
void ReportItem(const std::string& text);

// Completes the open step line with "  OK  " in light green.
void ReportOk();

// Completes the open step line with " FAILED " in light red, prints
// "ERROR: " and the message in white, and waits for a key. In a plan the
// message stands on the next line instead, indented, and nothing is waited
// for: the plan goes on.
void ReportError(const std::string& message);

// In a plan: completes the open step line with "CHANGE" in light yellow and
// prints the reason on the next line, indented; the change is counted.
void ReportChange(TChangeKind kind, const std::string& reason);

// ReportError with the system's text for the code (the code itself where the
// system has none); the code is recorded as the run's LastErrorCode.
void ReportFailure(int32_t code);

// A failed step: the failure reported as above, and the run has failed.
void FailStep(int32_t code);
void FailStep(const std::string& message);
