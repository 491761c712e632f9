#include "report/fleet.h"

#include <algorithm>
#include <cstdio>

#include "core/ansi_text.h"
#include "report/report_text.h"

namespace {

// The chart shows at most this many days, the last ones.
constexpr int64_t MaxDays = 400;
// Unreadable places named by the report; the rest are counted.
constexpr size_t MaxPlaces = 20;

bool IsPlan(const TLogBlock& block)
{
    return block.Header.Instance == TLogInstance::Plan || block.Header.Instance == TLogInstance::Check;
}

TStationState RunOutcome(const TLogBlock& block)
{
    if (block.Footer.Interrupted) return TStationState::Failed;
    if (block.Footer.ExitCode == 0) return TStationState::Succeeded;
    if (block.Footer.ExitCode == ExitNotUpdated) return TStationState::NotUpdated;
    return TStationState::Failed;
}

// The first process of a self-update, which ended as soon as it had started
// its copy: the copy's own block tells how the run ended.
bool StartsCopy(const TLogBlock& block)
{
    return block.Restarting && block.Header.Instance == TLogInstance::FirstRun && !block.Footer.Interrupted &&
           block.Footer.ExitCode == 0;
}

// The later of two blocks; of one second, the one read later, but never a
// first run over the restarted copy it started.
bool Newer(const TLogBlock& candidate, const TLogBlock& current)
{
    if (candidate.Header.Stamp != current.Header.Stamp) return candidate.Header.Stamp > current.Header.Stamp;
    return !(current.Header.Instance == TLogInstance::RestartedCopy &&
             candidate.Header.Instance == TLogInstance::FirstRun);
}

void NoteFirstSeen(std::map<std::string, std::string>& firsts, const std::string& key, const std::string& stamp)
{
    if (key.empty()) return;
    auto at = firsts.find(key);
    if (at == firsts.end()) firsts.emplace(key, stamp);
    else if (stamp < at->second) at->second = stamp;
}

int Digits(const std::string& text, size_t at, size_t count)
{
    int value = 0;
    for (size_t i = at; i < at + count && i < text.size(); ++i)
        value = value * 10 + (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : 0);
    return value;
}

int64_t StampSeconds(const std::string& stamp)
{
    return DayNumber(stamp) * 86400 + Digits(stamp, 11, 2) * 3600 + Digits(stamp, 14, 2) * 60 + Digits(stamp, 17, 2);
}

std::string Newest(const std::map<std::string, std::string>& firsts)
{
    std::string newest;
    for (const auto& [version, first] : firsts)
        if (newest.empty() || VersionLess(newest, version)) newest = version;
    return newest;
}

std::vector<TVersionCount> ByVersion(const std::map<std::string, int64_t>& counts)
{
    std::vector<TVersionCount> result;
    for (const auto& [version, count] : counts) result.push_back({version, count});
    std::sort(result.begin(), result.end(),
              [](const TVersionCount& a, const TVersionCount& b) { return VersionLess(b.Version, a.Version); });
    for (TVersionCount& entry : result) entry.Version = TextFromLog(entry.Version);
    return result;
}

}  // namespace

void TFleet::BeginFile(const std::string& path)
{
    m_files.push_back(path);
}

void TFleet::OnBlock(const TLogBlock& block)
{
    ++m_blocks;
    size_t file = m_files.empty() ? 0 : m_files.size() - 1;
    TSeen& seen = m_seen[UpperAnsi(block.Header.Computer)];
    seen.Computer = block.Header.Computer;
    if (IsPlan(block)) {
        if (!seen.HasPlan || Newer(block, seen.Plan)) {
            seen.Plan = block;
            seen.PlanFile = file;
            seen.HasPlan = true;
        }
        return;
    }
    const std::string& stamp = block.Header.Stamp;
    TStationState outcome = RunOutcome(block);
    if (!StartsCopy(block)) {
        TDayCounts& day = m_days[stamp.substr(0, 10)];
        ++seen.Runs;
        ++day.Runs;
        if (outcome == TStationState::Failed) {
            ++seen.FailedRuns;
            ++day.Failed;
        }
        if (outcome == TStationState::NotUpdated) ++day.NotUpdated;
        if (outcome == TStationState::Succeeded && stamp > seen.LastSuccess) seen.LastSuccess = stamp;
    }
    NoteFirstSeen(m_versionFirst, block.Header.Version, stamp);
    NoteFirstSeen(m_releaseFirst, block.Header.Release, stamp);
    if (!seen.HasRun || Newer(block, seen.Run)) {
        seen.Run = block;
        seen.RunFile = file;
        seen.HasRun = true;
    }
}

void TFleet::OnUnreadable(const TUnreadable& place)
{
    ++m_unreadable;
    if (m_places.size() < MaxPlaces)
        m_places.push_back({TextFromLog(m_files.empty() ? std::string() : m_files.back()), place.Line, place.Kind});
}

void TFleet::SkipFile(const std::string& path, const std::string& reason)
{
    m_skipped.push_back({TextFromLog(path), TextFromLog(reason)});
}

void TFleet::ExpectComputer(const std::string& name)
{
    TSeen& seen = m_seen[UpperAnsi(name)];
    if (seen.Computer.empty()) seen.Computer = name;
}

TFleetReport TFleet::Finish(const SYSTEMTIME& now, int staleDays) const
{
    TFleetReport report;
    char made[32];
    std::snprintf(made, sizeof made, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    report.Made = std::string(made).substr(0, 16);
    report.StaleDays = staleDays;
    const int64_t nowSeconds = StampSeconds(made);
    const std::string newestVersion = Newest(m_versionFirst);
    const std::string newestRelease = Newest(m_releaseFirst);
    std::map<std::string, int64_t> versions, releases;

    for (const auto& [key, seen] : m_seen) {
        TWorkstation station;
        station.Computer = TextFromLog(seen.Computer);
        const TLogBlock* block = seen.HasRun ? &seen.Run : seen.HasPlan ? &seen.Plan : nullptr;
        if (block) {
            const TLogHeader& header = block->Header;
            station.Outcome = seen.HasRun ? RunOutcome(*block) : TStationState::PlannedOnly;
            station.Stamp = header.Stamp;
            station.User = TextFromLog(header.User);
            station.Version = TextFromLog(header.Version);
            station.Release = TextFromLog(header.Release);
            station.Script = TextFromLog(header.Script);
            if (seen.HasRun) {
                station.HasExitCode = !block->Footer.Interrupted;
                station.ExitCode = block->Footer.ExitCode;
                station.Interrupted = TextFromLog(block->Footer.Reason);
                station.NoCopyBlock = StartsCopy(*block);
                if (station.Outcome != TStationState::Succeeded) {
                    station.FailedStep = TextFromLog(block->FailedStep);
                    station.Error = TextFromLog(block->Error);
                }
            }
            station.LastSuccess = seen.LastSuccess;
            station.LogFile = TextFromLog(m_files.empty() ? "" : m_files[seen.HasRun ? seen.RunFile : seen.PlanFile]);
            station.LogLine = block->Line;
            int64_t seconds = nowSeconds - StampSeconds(header.Stamp);
            station.DaysSince = std::max<int64_t>(0, seconds / 86400);
            station.State = seconds > int64_t{staleDays} * 86400 ? TStationState::NotSeen : station.Outcome;
            station.OlderVersion = VersionLess(header.Version, newestVersion);
            station.OlderRelease = !header.Release.empty() && VersionLess(header.Release, newestRelease);
            ++versions[header.Version];
            if (!header.Release.empty()) ++releases[header.Release];
        }
        station.Runs = seen.Runs;
        station.FailedRuns = seen.FailedRuns;
        ++report.Counts[static_cast<int>(station.State)];
        report.Workstations.push_back(std::move(station));
    }
    report.Versions = ByVersion(versions);
    report.Releases = ByVersion(releases);

    if (!m_days.empty()) {
        // A clock set ahead must not stretch the period past today.
        int64_t today = DayNumber(made);
        auto end = m_days.upper_bound(DateOfDay(today));
        int64_t last = DayNumber(end == m_days.begin() ? m_days.rbegin()->first : std::prev(end)->first);
        int64_t first = std::max(DayNumber(m_days.begin()->first), last - (MaxDays - 1));
        for (int64_t day = first; day <= last; ++day) {
            TDayFigures figures;
            figures.Date = DateOfDay(day);
            auto counts = m_days.find(figures.Date);
            if (counts != m_days.end()) {
                figures.Runs = counts->second.Runs;
                figures.Failed = counts->second.Failed;
                figures.NotUpdated = counts->second.NotUpdated;
            }
            report.Days.push_back(figures);
        }
        // What was there on the first day may be older: only later firsts are marked.
        for (auto [firsts, release] : {std::pair{&m_versionFirst, false}, std::pair{&m_releaseFirst, true}})
            for (const auto& [version, stamp] : *firsts) {
                int64_t day = DayNumber(stamp);
                if (day > first && day <= last)
                    report.Markers.push_back({stamp.substr(0, 10), release, TextFromLog(version)});
            }
        std::stable_sort(report.Markers.begin(), report.Markers.end(),
                  [](const TMarker& a, const TMarker& b) { return a.Date < b.Date; });
    }
    report.Files = static_cast<int64_t>(m_files.size());
    report.Blocks = m_blocks;
    report.Unreadable = m_unreadable;
    report.UnreadablePlaces = m_places;
    report.Skipped = m_skipped;
    return report;
}

bool VersionLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        size_t endA = a.find('.', i), endB = b.find('.', j);
        std::string partA = a.substr(std::min(i, a.size()), endA == std::string::npos ? std::string::npos : endA - i);
        std::string partB = b.substr(std::min(j, b.size()), endB == std::string::npos ? std::string::npos : endB - j);
        bool numbers = !partA.empty() && !partB.empty() && partA.size() <= 18 && partB.size() <= 18 &&
                       partA.find_first_not_of("0123456789") == std::string::npos &&
                       partB.find_first_not_of("0123456789") == std::string::npos;
        if (numbers && std::stoll(partA) != std::stoll(partB)) return std::stoll(partA) < std::stoll(partB);
        if (!numbers && partA != partB) return partA < partB;
        i = endA == std::string::npos ? a.size() : endA + 1;
        j = endB == std::string::npos ? b.size() : endB + 1;
    }
    return false;
}

int64_t DayNumber(const std::string& stamp)
{
    // Days from the civil date, the proleptic Gregorian calendar.
    int64_t y = Digits(stamp, 0, 4), m = Digits(stamp, 5, 2), d = Digits(stamp, 8, 2);
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::string DateOfDay(int64_t day)
{
    day += 719468;
    int64_t era = (day >= 0 ? day : day - 146096) / 146097;
    int64_t doe = day - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    int64_t y = yoe + era * 400 + (m <= 2);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
    return text;
}
