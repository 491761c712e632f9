// The page's chart of runs and failures per day, drawn as inline SVG (the
// page fetches nothing), with the first day of each new program version or
// release marked, so that failures that began with a publish show as such.
#pragma once

#include <string>

#include "report/fleet.h"

// The chart and its legend as HTML; a short note when there are no days.
std::string DayChart(const TFleetReport& report);
