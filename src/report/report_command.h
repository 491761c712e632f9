// The report command (--report): reads the run logs named on the command
// line, writes the page (or the CSV or JSON table) and prints where, with a
// one-line summary and what could not be read.
#pragma once

#include "core/command_line.h"

// Runs the report and gives its exit code: 0 when the file was written, 2
// when it was not (it cannot be written, or the list of workstations cannot
// be read). Log files that cannot be read are named and passed over. The
// file is written under a temporary name and then renamed, so that a page
// being read is never seen half written.
int RunReport(const TReportRequest& request);
