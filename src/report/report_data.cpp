#include "report/report_data.h"

#include <functional>

#include "report/report_text.h"

namespace {

const char* const Columns[] = {"computer", "state", "outcome", "time", "days_since", "user", "version", "release",
                               "script", "exit_code", "failed_step", "error", "interrupted", "runs", "failed_runs",
                               "last_success", "older_version", "older_release", "log_file", "log_line"};
const char* const PlaceKinds[] = {"cut_off", "not_understood", "garbage", "outside_blocks", "end_without_beginning"};

// The workstation's values in the order of Columns: texts, or numbers and
// truth values as JSON writes them (`text` false).
void Values(const TWorkstation& station, const std::function<void(const std::string&, bool text)>& value)
{
    bool never = station.Stamp.empty();
    value(station.Computer, true);
    value(StateName(station.State), true);
    value(StateName(station.Outcome, never), true);
    value(station.Stamp, true);
    value(never ? "null" : std::to_string(station.DaysSince), false);
    value(station.User, true);
    value(station.Version, true);
    value(station.Release, true);
    value(station.Script, true);
    value(station.HasExitCode ? std::to_string(station.ExitCode) : "null", false);
    value(station.FailedStep, true);
    value(station.Error, true);
    value(station.Interrupted, true);
    value(std::to_string(station.Runs), false);
    value(std::to_string(station.FailedRuns), false);
    value(station.LastSuccess, true);
    value(station.OlderVersion ? "true" : "false", false);
    value(station.OlderRelease ? "true" : "false", false);
    value(station.LogFile, true);
    value(never ? "null" : std::to_string(station.LogLine), false);
}

std::string Field(const char* name, const std::string& json)
{
    return std::string("\"") + name + "\": " + json;
}

}  // namespace

const char* StateName(TStationState state, bool neverSeen)
{
    if (neverSeen) return "never_seen";
    switch (state) {
    case TStationState::Failed: return "failed";
    case TStationState::NotUpdated: return "not_updated";
    case TStationState::NotSeen: return "not_seen";
    case TStationState::PlannedOnly: return "planned_only";
    default: return "succeeded";
    }
}

std::string ReportCsv(const TFleetReport& report)
{
    std::string csv = "\xEF\xBB\xBF";
    for (const char* column : Columns) csv += std::string(column == Columns[0] ? "" : ",") + column;
    csv += "\r\n";
    for (const TWorkstation& station : report.Workstations) {
        std::string line;
        Values(station, [&line](const std::string& value, bool text) {
            // A missing number is an empty field.
            line += (line.empty() ? "" : ",") + (text ? CsvField(value) : value == "null" ? "" : value);
        });
        csv += line + "\r\n";
    }
    return csv;
}

std::string ReportJson(const TFleetReport& report)
{
    const int64_t* counts = report.Counts;
    auto count = [counts](TStationState state) { return std::to_string(counts[static_cast<int>(state)]); };
    std::string json = "{\n" + Field("format_version", std::to_string(ReportFormatVersion)) + ",\n" +
                       Field("made", JsonText(report.Made)) + ",\n" +
                       Field("stale_days", std::to_string(report.StaleDays)) + ",\n" +
                       Field("period", report.Days.empty() ? "null"
                                                           : "{\"first\": " + JsonText(report.Days.front().Date) +
                                                                 ", \"last\": " + JsonText(report.Days.back().Date) + "}") +
                       ",\n" + Field("files", std::to_string(report.Files)) + ",\n" +
                       Field("blocks", std::to_string(report.Blocks)) + ",\n" +
                       Field("unreadable_blocks", std::to_string(report.Unreadable)) + ",\n";
    json += Field("counts", "{\"workstations\": " + std::to_string(report.Workstations.size()) +
                                ", \"failed\": " + count(TStationState::Failed) +
                                ", \"not_updated\": " + count(TStationState::NotUpdated) +
                                ", \"not_seen\": " + count(TStationState::NotSeen) +
                                ", \"planned_only\": " + count(TStationState::PlannedOnly) +
                                ", \"succeeded\": " + count(TStationState::Succeeded) + "}") +
            ",\n";

    auto list = [&json](const char* name, size_t size, const std::function<std::string(size_t)>& item) {
        json += std::string("\"") + name + "\": [";
        for (size_t i = 0; i < size; ++i) json += (i == 0 ? "\n  " : ",\n  ") + item(i);
        json += size == 0 ? "]" : "\n]";
    };
    list("unreadable", report.UnreadablePlaces.size(), [&](size_t i) {
        const TPlace& place = report.UnreadablePlaces[i];
        return "{\"file\": " + JsonText(place.File) + ", \"line\": " + std::to_string(place.Line) +
               ", \"kind\": \"" + PlaceKinds[static_cast<int>(place.Kind)] + "\"}";
    });
    json += ",\n";
    list("skipped_files", report.Skipped.size(), [&](size_t i) {
        return "{\"path\": " + JsonText(report.Skipped[i].Path) + ", \"reason\": " + JsonText(report.Skipped[i].Reason) +
               "}";
    });
    json += ",\n";
    list("days", report.Days.size(), [&](size_t i) {
        const TDayFigures& day = report.Days[i];
        return "{\"date\": " + JsonText(day.Date) + ", \"runs\": " + std::to_string(day.Runs) +
               ", \"failed\": " + std::to_string(day.Failed) + ", \"not_updated\": " + std::to_string(day.NotUpdated) +
               "}";
    });
    json += ",\n";
    list("first_seen", report.Markers.size(), [&](size_t i) {
        const TMarker& marker = report.Markers[i];
        return "{\"date\": " + JsonText(marker.Date) + ", \"kind\": \"" + (marker.Release ? "release" : "program") +
               "\", \"version\": " + JsonText(marker.Version) + "}";
    });
    json += ",\n";
    for (auto [name, versions] : {std::pair{"versions", &report.Versions}, std::pair{"releases", &report.Releases}}) {
        list(name, versions->size(), [&](size_t i) {
            return "{\"version\": " + JsonText((*versions)[i].Version) +
                   ", \"workstations\": " + std::to_string((*versions)[i].Workstations) + "}";
        });
        json += ",\n";
    }
    list("workstations", report.Workstations.size(), [&](size_t i) {
        std::string item;
        size_t column = 0;
        Values(report.Workstations[i], [&](const std::string& value, bool text) {
            item += (item.empty() ? "{" : ", ") + Field(Columns[column++], text ? JsonText(value) : value);
        });
        return item + "}";
    });
    return json + "\n}\n";
}
