// The report as one self-contained HTML page: counts by state at the top,
// then the workstations whose last run failed, the runs per day, those not
// seen lately, the versions in use and every workstation's last run in a
// table that sorts and filters. The page fetches nothing and runs only its
// own script (its policy names the script by digest); every text from the
// logs is written as text.
#pragma once

#include <string>

#include "report/fleet.h"

// The page, UTF-8. The page's frame (style and script) is the program's
// resource REPORT_PAGE.
std::string ReportPage(const TFleetReport& report);

// "Unreadable blocks: <count> (<file> line <n>, cut off; ...)." in UTF-8.
std::string UnreadableSummary(const TFleetReport& report);
