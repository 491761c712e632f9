// The fleet from its run logs: each workstation's last run, the runs and
// failures of each day, the versions in use. Blocks are taken one at a time
// and only what the report shows is kept, so memory grows with the number of
// workstations and days, not with the logs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "report/log_reader.h"

// A workstation's state, in the order the report ranks them.
enum class TStationState { Failed, NotUpdated, NotSeen, PlannedOnly, Succeeded };
constexpr int StationStateCount = 5;

// The exit code of a run that did not update because the source was being
// published, and started the application as it was.
constexpr int ExitNotUpdated = 4;

// One workstation; every text is UTF-8.
struct TWorkstation {
    std::string Computer;
    TStationState State = TStationState::NotSeen;    // what it counts as: NotSeen when not seen for too long
    TStationState Outcome = TStationState::NotSeen;  // how its last run ended; NotSeen: never seen at all
    std::string Stamp;                       // its last run's local time (a plan's, when only planned)
    std::string User, Version, Release, Script;
    bool HasExitCode = false;
    int ExitCode = 0;
    std::string Interrupted;  // ended while waiting for a key: the reason
    std::string FailedStep, Error;
    bool NoCopyBlock = false;  // a self-update was started and the restarted copy wrote no block
    std::string LastSuccess;
    int64_t Runs = 0, FailedRuns = 0;
    int64_t DaysSince = -1;  // whole days since Stamp; -1 never seen
    bool OlderVersion = false, OlderRelease = false;
    std::string LogFile;
    uint64_t LogLine = 0;
};

struct TDayFigures {
    std::string Date;  // yyyy-mm-dd
    int64_t Runs = 0, Failed = 0, NotUpdated = 0;
};

// A program version or a release first seen on a day of the period.
struct TMarker {
    std::string Date;
    bool Release = false;  // a release, else a version of the program
    std::string Version;   // UTF-8
};

struct TVersionCount {
    std::string Version;  // UTF-8
    int64_t Workstations = 0;
};

struct TPlace {
    std::string File;  // UTF-8
    uint64_t Line = 0;
    TUnreadableKind Kind = TUnreadableKind::CutOff;
};

struct TSkippedFile {
    std::string Path, Reason;  // UTF-8
};

struct TFleetReport {
    std::string Made;  // "yyyy-mm-dd hh:mm", local time
    int StaleDays = 3;
    int64_t Counts[StationStateCount] = {};
    std::vector<TWorkstation> Workstations;  // by computer name
    std::vector<TDayFigures> Days;           // each day of the period, the empty ones too
    std::vector<TMarker> Markers;
    std::vector<TVersionCount> Versions, Releases;  // newest first
    int64_t Files = 0, Blocks = 0, Unreadable = 0;
    std::vector<TPlace> UnreadablePlaces;  // the first few
    std::vector<TSkippedFile> Skipped;
};

class TFleet : public TBlockSink {
public:
    // The file whose blocks follow.
    void BeginFile(const std::string& path);
    void OnBlock(const TLogBlock& block) override;
    void OnUnreadable(const TUnreadable& place) override;
    // A file named on the command line or listed that could not be read.
    void SkipFile(const std::string& path, const std::string& reason);
    // A workstation that should appear, seen or not (ANSI code page).
    void ExpectComputer(const std::string& name);
    // The report as of `now` (local time): a workstation whose last run is
    // more than `staleDays` days old counts as not seen.
    TFleetReport Finish(const SYSTEMTIME& now, int staleDays) const;

private:
    struct TSeen {
        std::string Computer;  // as its last block writes it; empty while only expected
        bool HasRun = false, HasPlan = false;
        TLogBlock Run, Plan;
        size_t RunFile = 0, PlanFile = 0;
        std::string LastSuccess;
        int64_t Runs = 0, FailedRuns = 0;
    };
    struct TDayCounts {
        int64_t Runs = 0, Failed = 0, NotUpdated = 0;
    };
    std::map<std::string, TSeen> m_seen;  // by the computer's name in capitals
    std::map<std::string, TDayCounts> m_days;
    std::map<std::string, std::string> m_versionFirst, m_releaseFirst;  // first stamp each was seen
    std::vector<std::string> m_files;
    int64_t m_blocks = 0, m_unreadable = 0;
    std::vector<TPlace> m_places;
    std::vector<TSkippedFile> m_skipped;
};

// Dotted versions compared part by part, numbers as numbers ("1.10" > "1.9").
bool VersionLess(const std::string& a, const std::string& b);

// Days since 1970-01-01 of a date "yyyy-mm-dd...", and the date of such a day.
int64_t DayNumber(const std::string& stamp);
std::string DateOfDay(int64_t day);
