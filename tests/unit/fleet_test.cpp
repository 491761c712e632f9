#include <gtest/gtest.h>

#include "report/fleet.h"

namespace {

struct BlockShape {
    const char* Stamp;
    const char* Computer;
    TLogInstance Instance = TLogInstance::FirstRun;
    int ExitCode = 0;
    const char* Version = "1.5";
    const char* Release = "";
    bool Restarting = false;
    bool Interrupted = false;
};

TLogBlock Block(const BlockShape& shape)
{
    TLogBlock block;
    block.Header.Stamp = shape.Stamp;
    block.Header.Computer = shape.Computer;
    block.Header.Instance = shape.Instance;
    block.Header.Version = shape.Version;
    block.Header.Release = shape.Release;
    block.Footer.ExitCode = shape.ExitCode;
    block.Footer.Interrupted = shape.Interrupted;
    block.Restarting = shape.Restarting;
    block.Error = shape.ExitCode == 0 ? "" : "Access denied";
    return block;
}

SYSTEMTIME At(WORD year, WORD month, WORD day)
{
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = 9;
    time.wMinute = 30;
    return time;
}

const TWorkstation& Station(const TFleetReport& report, const std::string& computer)
{
    for (const TWorkstation& station : report.Workstations)
        if (station.Computer == computer) return station;
    throw std::runtime_error("no workstation " + computer);
}

TEST(Fleet, EachWorkstationCountsByItsLastRealRun)
{
    using I = TLogInstance;
    TFleet fleet;
    fleet.BeginFile("a.log");
    for (const BlockShape& shape : std::initializer_list<BlockShape>{
             // A self-update: the restarted copy's block, of the same second, tells how it ended.
             {"2024-05-14 08:00:00", "SELF", I::FirstRun, 0, "1.4", "", true},
             {"2024-05-14 08:00:00", "SELF", I::RestartedCopy, 2},
             // Plans and checks never make a failure; alone they are all there is.
             {"2024-05-13 08:00:00", "RUNS", I::FirstRun, 2},
             {"2024-05-14 08:00:00", "RUNS", I::FirstRun, 0},
             {"2024-05-14 09:00:00", "RUNS", I::Plan, 2},
             {"2024-05-14 08:00:00", "PLANS", I::Check, 2},
             {"2024-05-14 08:00:00", "BUSY", I::FirstRun, 4, "1.5", "42"},
             {"2024-05-14 08:00:00", "KEY", I::FirstRun, 0, "1.5", "41", false, true},
             {"2024-05-09 08:00:00", "AWAY", I::FirstRun, 2, "1.3"},
             // The copy's block missing: the first run is all that is known.
             {"2024-05-14 08:00:00", "ALONE", I::FirstRun, 0, "1.4", "", true},
         })
        fleet.OnBlock(Block(shape));
    fleet.ExpectComputer("never");
    fleet.ExpectComputer("runs");
    TFleetReport report = fleet.Finish(At(2024, 5, 14), 3);

    using S = TStationState;
    EXPECT_EQ(Station(report, "SELF").State, S::Failed);
    EXPECT_EQ(Station(report, "SELF").Runs, 1);
    EXPECT_EQ(Station(report, "RUNS").State, S::Succeeded);
    EXPECT_EQ(Station(report, "RUNS").FailedRuns, 1);
    EXPECT_EQ(Station(report, "RUNS").LastSuccess, "2024-05-14 08:00:00");
    EXPECT_EQ(Station(report, "PLANS").State, S::PlannedOnly);
    EXPECT_EQ(Station(report, "BUSY").State, S::NotUpdated);
    EXPECT_EQ(Station(report, "KEY").State, S::Failed);
    EXPECT_EQ(Station(report, "KEY").HasExitCode, false);
    const TWorkstation& away = Station(report, "AWAY");
    EXPECT_EQ(away.State, S::NotSeen);
    EXPECT_EQ(away.Outcome, S::Failed);
    EXPECT_EQ(away.DaysSince, 5);
    EXPECT_TRUE(away.OlderVersion);
    EXPECT_TRUE(Station(report, "ALONE").NoCopyBlock);
    EXPECT_EQ(Station(report, "never").Stamp, "");
    EXPECT_EQ(Station(report, "never").State, S::NotSeen);
    EXPECT_EQ(report.Workstations.size(), 8u) << "a listed name that ran is the same workstation";
    EXPECT_TRUE(Station(report, "KEY").OlderRelease);
    int64_t counts[StationStateCount] = {2, 1, 2, 1, 2};  // failed, not updated, not seen, planned, succeeded
    EXPECT_TRUE(std::equal(counts, counts + StationStateCount, report.Counts));
    ASSERT_EQ(report.Versions.size(), 3u);
    EXPECT_EQ(report.Versions[0].Version, "1.5");
    EXPECT_EQ(report.Versions[0].Workstations, 5);
}

TEST(Fleet, DaysCoverThePeriodUpToTodayWithNewVersionsMarked)
{
    TFleet fleet;
    for (const BlockShape& shape : std::initializer_list<BlockShape>{
             {"2024-02-27 08:00:00", "A", TLogInstance::FirstRun, 0, "1.4", "7"},
             {"2024-03-01 08:00:00", "A", TLogInstance::FirstRun, 2, "1.4", "8"},
             {"2024-03-01 09:00:00", "B", TLogInstance::FirstRun, 4, "1.10", "8"},
             {"2099-01-01 08:00:00", "C"},  // a clock set ahead
         })
        fleet.OnBlock(Block(shape));
    TFleetReport report = fleet.Finish(At(2024, 3, 2), 3);
    ASSERT_EQ(report.Days.size(), 4u);
    EXPECT_EQ(report.Days[1].Date, "2024-02-28");
    EXPECT_EQ(report.Days[2].Date, "2024-02-29");
    EXPECT_EQ(report.Days[3].Runs, 2);
    EXPECT_EQ(report.Days[3].Failed, 1);
    EXPECT_EQ(report.Days[3].NotUpdated, 1);
    ASSERT_EQ(report.Markers.size(), 2u);
    EXPECT_EQ(report.Markers[0].Version, "1.10");
    EXPECT_EQ(report.Markers[1].Version, "8");
    EXPECT_TRUE(report.Markers[1].Release);

    TFleet year;
    year.OnBlock(Block({"2020-01-01 08:00:00", "A"}));
    year.OnBlock(Block({"2024-03-01 08:00:00", "A"}));
    EXPECT_EQ(year.Finish(At(2024, 3, 2), 3).Days.size(), 400u) << "at most the last 400 days";
}

TEST(Fleet, VersionsAndDatesCompareAsTheyRead)
{
    EXPECT_TRUE(VersionLess("1.9", "1.10"));
    EXPECT_TRUE(VersionLess("1.5", "1.5.1"));
    EXPECT_FALSE(VersionLess("2.0", "1.99"));
    EXPECT_TRUE(VersionLess("1.5a", "1.5b"));
    EXPECT_FALSE(VersionLess("99999999999999999999", "1"));
    for (const char* date : {"1970-01-01", "2000-02-29", "2024-12-31", "2100-03-01"})
        EXPECT_EQ(DateOfDay(DayNumber(date)), date);
    EXPECT_EQ(DayNumber("2024-03-01") - DayNumber("2024-02-28"), 2);
}

}  // namespace
