// The report for programs: the per-workstation table as CSV (for
// spreadsheets and Import-Csv), or as JSON with the counts and the figures of
// each day. Names and values are fixed English words whatever the language:
// scripts read them. JSON carries "format_version"; a later version adds
// fields and never changes the meaning of one.
#pragma once

#include <string>

#include "report/fleet.h"

constexpr int ReportFormatVersion = 1;

// UTF-8 with a byte-order mark (which spreadsheets need to read UTF-8), CR LF
// line ends, a header line, then one line per workstation by computer name.
std::string ReportCsv(const TFleetReport& report);

// UTF-8 JSON object.
std::string ReportJson(const TFleetReport& report);

// A state as the data files name it: "failed", "not_updated", "not_seen",
// "planned_only", "succeeded"; a workstation never seen is "never_seen".
const char* StateName(TStationState state, bool neverSeen = false);
