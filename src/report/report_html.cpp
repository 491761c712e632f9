#include "report/report_html.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "core/messages.h"
#include "report/report_chart.h"
#include "report/report_text.h"
#include "report/script_digest.h"

namespace {

// Causes of failure listed above the failures; computer names listed per older version.
constexpr size_t ListedCauses = 5;
constexpr size_t ListedStragglers = 40;
// Versions listed, newest first; older ones are counted.
constexpr size_t ListedVersions = 12;

std::string M(unsigned id, std::initializer_list<std::string> texts = {})
{
    return HtmlText(MessageText(id, texts));
}

const char* StateClass(TStationState state)
{
    switch (state) {
    case TStationState::Failed: return "failed";
    case TStationState::NotUpdated: return "notupdated";
    case TStationState::NotSeen: return "notseen";
    case TStationState::PlannedOnly: return "planned";
    default: return "succeeded";
    }
}

unsigned StateMessage(TStationState state)
{
    switch (state) {
    case TStationState::Failed: return MsgReportStateFailed;
    case TStationState::NotUpdated: return MsgReportStateNotUpdated;
    case TStationState::NotSeen: return MsgReportStateNotSeen;
    case TStationState::PlannedOnly: return MsgReportStatePlanned;
    default: return MsgReportStateSucceeded;
    }
}

std::string Badge(TStationState state, bool neverSeen)
{
    if (neverSeen) return "<span class=\"state neverseen\">" + M(MsgReportStateNeverSeen) + "</span>";
    return std::string("<span class=\"state ") + StateClass(state) + "\">" + M(StateMessage(state)) + "</span>";
}

// Dotted numbers padded, so that versions sort as versions in the page.
std::string VersionKey(const std::string& version)
{
    std::string key, digits;
    for (char c : version + '.') {
        if (c >= '0' && c <= '9') {
            digits += c;
            continue;
        }
        if (!digits.empty()) key += std::string(digits.size() < 12 ? 12 - digits.size() : 0, '0') + digits;
        digits.clear();
        key += c;
    }
    return key;
}

std::string Td(const std::string& html, const char* className = "", const std::string* key = nullptr)
{
    std::string cell = "<td";
    if (*className) cell += std::string(" class=\"") + className + "\"";
    if (key) cell += " data-key=\"" + HtmlText(*key) + "\"";
    return cell + ">" + html + "</td>";
}

std::string Head(std::initializer_list<unsigned> ids, unsigned sorted = 0, const char* order = "ascending")
{
    std::string row = "<thead><tr>";
    for (unsigned id : ids)
        row += (id == sorted ? std::string("<th aria-sort=\"") + order + "\">" : std::string("<th>")) + M(id) + "</th>";
    return row + "</tr></thead>";
}

// A time to the minute; it sorts by the second.
std::string TimeCell(const std::string& stamp)
{
    return Td(HtmlText(stamp.substr(0, 16)), "time", &stamp);
}

std::string VersionCell(const std::string& version, bool older)
{
    std::string key = VersionKey(version);
    return Td(HtmlText(version), older ? "old nowrap" : "nowrap", &key);
}

// The error, after the failed step when `withStep`.
std::string ErrorCell(const TWorkstation& station, bool withStep = false)
{
    std::string html = HtmlText(station.Error);
    if (withStep && !station.FailedStep.empty())
        html = "<b>" + HtmlText(station.FailedStep) + "</b>" + (html.empty() ? "" : ": ") + html;
    if (!station.Interrupted.empty())
        html += "<div class=\"note\">" + M(MsgReportInterrupted, {station.Interrupted}) + "</div>";
    if (station.NoCopyBlock) html += "<div class=\"note\">" + M(MsgReportSelfUpdateOnly) + "</div>";
    return Td(html, "err");
}

std::string Count(size_t count)
{
    return " <span class=\"count\">" + std::to_string(count) + "</span>";
}

void Tiles(std::string& out, const TFleetReport& report)
{
    out += "<section class=\"tiles\">";
    auto tile = [&](const char* className, const char* link, int64_t count, const std::string& label) {
        out += std::string("<a class=\"tile ") + className + (count == 0 ? " zero" : "") + "\" href=\"#" + link +
               "\"><span class=\"n\">" + std::to_string(count) + "</span><span class=\"l\">" + label + "</span></a>";
    };
    const int64_t* counts = report.Counts;
    tile("failed", "failed", counts[static_cast<int>(TStationState::Failed)], M(MsgReportStateFailed));
    tile("notupdated", "all", counts[static_cast<int>(TStationState::NotUpdated)], M(MsgReportStateNotUpdated));
    tile("notseen", "notseen", counts[static_cast<int>(TStationState::NotSeen)],
         M(MsgReportTileNotSeen, {std::to_string(report.StaleDays)}));
    tile("planned", "all", counts[static_cast<int>(TStationState::PlannedOnly)], M(MsgReportStatePlanned));
    tile("succeeded", "all", counts[static_cast<int>(TStationState::Succeeded)], M(MsgReportStateSucceeded));
    tile("total", "all", static_cast<int64_t>(report.Workstations.size()), M(MsgReportWorkstations));
    out += "</section>";
}

void Causes(std::string& out, const std::vector<const TWorkstation*>& failed)
{
    std::map<std::pair<std::string, std::string>, int> counts;
    for (const TWorkstation* station : failed) ++counts[{station->FailedStep, station->Error}];
    std::vector<std::pair<int, std::pair<std::string, std::string>>> causes;
    for (const auto& [cause, count] : counts) causes.push_back({count, cause});
    std::stable_sort(causes.begin(), causes.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    out += "<div class=\"causes\"><h3>" + M(MsgReportCauses) + "</h3><ol>";
    for (size_t i = 0; i < causes.size() && i < ListedCauses; ++i) {
        const auto& [step, error] = causes[i].second;
        out += "<li><b>" + std::to_string(causes[i].first) + "</b> " + HtmlText(step) +
               (step.empty() || error.empty() ? "" : " &mdash; ") + HtmlText(error) + "</li>";
    }
    out += "</ol></div>";
}

void FailedSection(std::string& out, const TFleetReport& report)
{
    std::vector<const TWorkstation*> failed;
    for (const TWorkstation& station : report.Workstations)
        if (station.State == TStationState::Failed) failed.push_back(&station);
    std::stable_sort(failed.begin(), failed.end(),
                     [](const TWorkstation* a, const TWorkstation* b) { return a->Stamp > b->Stamp; });
    out += "<section id=\"failed\"><h2>" + M(MsgReportFailedHeading) + Count(failed.size()) + "</h2>";
    if (failed.empty()) {
        out += "<p class=\"empty\">" + M(MsgReportNothingFailed) + "</p></section>";
        return;
    }
    if (failed.size() > 1) Causes(out, failed);
    out += "<div class=\"tablewrap\"><table class=\"sortable\" id=\"failed-table\">" +
           Head({MsgReportColComputer, MsgReportColTime, MsgReportColUser, MsgReportColVersion, MsgReportColRelease,
                 MsgReportColScript, MsgReportColStep, MsgReportColError},
                MsgReportColTime, "descending") +
           "<tbody>";
    for (const TWorkstation* station : failed)
        out += "<tr>" + Td("<b>" + HtmlText(station->Computer) + "</b>") + TimeCell(station->Stamp) +
               Td(HtmlText(station->User)) + VersionCell(station->Version, station->OlderVersion) +
               VersionCell(station->Release, station->OlderRelease) + Td(HtmlText(station->Script)) +
               Td(HtmlText(station->FailedStep), "step") + ErrorCell(*station) + "</tr>";
    out += "</tbody></table></div></section>";
}

void NotSeenSection(std::string& out, const TFleetReport& report)
{
    std::vector<const TWorkstation*> away;
    for (const TWorkstation& station : report.Workstations)
        if (station.State == TStationState::NotSeen) away.push_back(&station);
    // Never seen first, then the longest away.
    std::stable_sort(away.begin(), away.end(),
                     [](const TWorkstation* a, const TWorkstation* b) { return a->Stamp < b->Stamp; });
    std::string days = std::to_string(report.StaleDays);
    out += "<section id=\"notseen\"><h2>" + M(MsgReportNotSeenHeading, {days}) + Count(away.size()) + "</h2>";
    if (away.empty()) {
        out += "<p class=\"empty\">" + M(MsgReportAllSeen, {days}) + "</p></section>";
        return;
    }
    out += "<div class=\"tablewrap\"><table class=\"sortable\">" +
           Head({MsgReportColComputer, MsgReportColLastSeen, MsgReportColOutcome, MsgReportColUser,
                 MsgReportColVersion, MsgReportColScript},
                MsgReportColLastSeen) +
           "<tbody>";
    for (const TWorkstation* station : away) {
        bool never = station->Stamp.empty();
        std::string seen = never ? Badge(TStationState::NotSeen, true)
                                 : HtmlText(station->Stamp.substr(0, 16)) + " <span class=\"note\">" +
                                       M(MsgReportDaysAgo, {std::to_string(station->DaysSince)}) + "</span>";
        out += "<tr>" + Td("<b>" + HtmlText(station->Computer) + "</b>") + Td(seen, "time", &station->Stamp) +
               Td(never ? std::string() : Badge(station->Outcome, false)) + Td(HtmlText(station->User)) +
               VersionCell(station->Version, station->OlderVersion) + Td(HtmlText(station->Script)) + "</tr>";
    }
    out += "</tbody></table></div></section>";
}

void VersionList(std::string& out, unsigned heading, const std::vector<TVersionCount>& versions,
                 const TFleetReport& report, bool releases)
{
    // The computers on each version, gathered in one pass: a log can name any number of versions.
    std::map<std::string, std::pair<std::string, size_t>> stragglers;
    for (const TWorkstation& station : report.Workstations) {
        if (station.Stamp.empty()) continue;
        auto& [names, count] = stragglers[releases ? station.Release : station.Version];
        if (count++ < ListedStragglers) names += (names.empty() ? "" : ", ") + HtmlText(station.Computer);
    }
    int64_t largest = 1;
    for (const TVersionCount& entry : versions) largest = std::max(largest, entry.Workstations);
    out += "<div><h3>" + M(heading) + "</h3>";
    for (size_t i = 0; i < versions.size() && i < ListedVersions; ++i) {
        const TVersionCount& entry = versions[i];
        out += std::string("<div class=\"vrow") + (i == 0 ? " newest" : "") + "\"><span>" + HtmlText(entry.Version) +
               (i == 0 ? "<span class=\"tag\">" + M(MsgReportNewest) + "</span>" : "") +
               "</span><div><div class=\"vbar\" style=\"width:" +
               std::to_string(std::max<int64_t>(1, entry.Workstations * 100 / largest)) + "%\"></div></div>" +
               "<span class=\"num\">" + std::to_string(entry.Workstations) + "</span></div>";
        if (i == 0) continue;
        const auto& [names, count] = stragglers[entry.Version];
        std::string more = count > ListedStragglers ? " " + M(MsgReportMore, {std::to_string(count - ListedStragglers)}) : "";
        out += "<p class=\"stragglers\">" + names + more + "</p>";
    }
    if (versions.size() > ListedVersions)
        out += "<p class=\"note\">" + M(MsgReportMore, {std::to_string(versions.size() - ListedVersions)}) + "</p>";
    out += "</div>";
}

void VersionsSection(std::string& out, const TFleetReport& report)
{
    if (report.Versions.empty()) return;
    out += "<section id=\"versions\"><h2>" + M(MsgReportVersionsHeading) + "</h2><div class=\"versions\">";
    VersionList(out, MsgReportColVersion, report.Versions, report, false);
    if (!report.Releases.empty()) VersionList(out, MsgReportColRelease, report.Releases, report, true);
    out += "</div></section>";
}

void AllSection(std::string& out, const TFleetReport& report)
{
    out += "<section id=\"all\"><h2>" + M(MsgReportAllHeading) + Count(report.Workstations.size()) +
           "</h2><div class=\"filterbar\"><input type=\"search\" id=\"filter\" autocomplete=\"off\" placeholder=\"" +
           M(MsgReportFilter) + "\" aria-label=\"" + M(MsgReportFilter) + "\"><span id=\"shown\" class=\"note\" data-text=\"" +
           HtmlText(TextFromLog(Msg(MsgReportShown))) + "\"></span></div><div class=\"tablewrap\"><table class=\"sortable\" id=\"all-table\">" +
           Head({MsgReportColState, MsgReportColComputer, MsgReportColTime, MsgReportColUser, MsgReportColVersion,
                 MsgReportColRelease, MsgReportColScript, MsgReportColError, MsgReportColRuns,
                 MsgReportColFailedRuns, MsgReportColLastGood},
                MsgReportColComputer) +
           "<tbody>";
    for (const TWorkstation& station : report.Workstations) {
        std::string rank = std::to_string(static_cast<int>(station.State));
        std::string runs = std::to_string(station.Runs), failedRuns = std::to_string(station.FailedRuns);
        out += "<tr>" + Td(Badge(station.State, station.Stamp.empty()), "", &rank) +
               Td("<b>" + HtmlText(station.Computer) + "</b>") + TimeCell(station.Stamp) +
               Td(HtmlText(station.User)) + VersionCell(station.Version, station.OlderVersion) +
               VersionCell(station.Release, station.OlderRelease) + Td(HtmlText(station.Script)) +
               ErrorCell(station, true) + Td(runs, "num") +
               Td(failedRuns, "num") + TimeCell(station.LastSuccess) + "</tr>";
    }
    out += "</tbody></table></div><p id=\"none\" class=\"empty\" hidden>" + M(MsgReportNoMatch) + "</p></section>";
}

void Problems(std::string& out, const TFleetReport& report)
{
    if (report.Unreadable == 0 && report.Skipped.empty()) return;
    out += "<section class=\"problems\"><h2>" + M(MsgReportProblems) + "</h2><ul>";
    if (report.Unreadable > 0) out += "<li>" + HtmlText(UnreadableSummary(report)) + "</li>";
    for (const TSkippedFile& skipped : report.Skipped)
        out += "<li>" + M(MsgReportFileSkipped, {skipped.Path, skipped.Reason}) + "</li>";
    out += "</ul></section>";
}

std::string PageTemplate()
{
    HMODULE program = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(program, "REPORT_PAGE", MAKEINTRESOURCEA(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    // The frame is built into the program: without it the program is broken.
    if (!data) throw std::runtime_error("REPORT_PAGE");
    return std::string(data, SizeofResource(program, found));
}

}  // namespace

std::string UnreadableSummary(const TFleetReport& report)
{
    static const unsigned kinds[] = {MsgReportCutOff, MsgReportNotUnderstood, MsgReportGarbage, MsgReportStray,
                                     MsgReportFooterAlone};
    std::string places;
    for (const TPlace& place : report.UnreadablePlaces)
        places += (places.empty() ? "" : "; ") + MessageText(MsgReportPlace, {place.File, std::to_string(place.Line)}) +
                  ", " + MessageText(kinds[static_cast<int>(place.Kind)]);
    int64_t more = report.Unreadable - static_cast<int64_t>(report.UnreadablePlaces.size());
    if (more > 0) places += "; " + MessageText(MsgReportMore, {std::to_string(more)});
    return MessageText(MsgReportUnreadable, {std::to_string(report.Unreadable), places});
}

std::string ReportPage(const TFleetReport& report)
{
    std::string body = "<header><h1>" + M(MsgReportTitle) + "</h1><p class=\"meta\">" +
                       M(MsgReportMade, {report.Made, std::to_string(report.Files), std::to_string(report.Blocks)}) + " " +
                       (report.Days.empty() ? M(MsgReportNoPeriod)
                                            : M(MsgReportPeriod, {report.Days.front().Date, report.Days.back().Date})) +
                       "</p></header>";
    Problems(body, report);
    Tiles(body, report);
    FailedSection(body, report);
    body += "<section id=\"chart\"><h2>" + M(MsgReportChartHeading) + "</h2>" + DayChart(report) + "</section>";
    NotSeenSection(body, report);
    VersionsSection(body, report);
    AllSection(body, report);

    const std::string frame = PageTemplate();
    size_t scriptStart = frame.find("<script>"), scriptEnd = frame.find("</script>");
    std::string script = scriptStart == std::string::npos || scriptEnd < scriptStart
                             ? std::string()
                             : frame.substr(scriptStart + 8, scriptEnd - scriptStart - 8);
    const std::map<std::string, std::string> fields = {{"lang", M(MsgReportLanguage)},
                                                       {"title", M(MsgReportTitle)},
                                                       {"script-hash", "sha256-" + ScriptDigest(script)},
                                                       {"body", body}};
    // The frame's fields are filled in one pass, so that nothing filled in is read as a field.
    std::string page;
    for (size_t at = 0;;) {
        size_t open = frame.find("{{", at), close = open == std::string::npos ? open : frame.find("}}", open);
        auto field = close == std::string::npos ? fields.end() : fields.find(frame.substr(open + 2, close - open - 2));
        if (field == fields.end()) {
            page += frame.substr(at, open == std::string::npos ? std::string::npos : open + 2 - at);
            if (open == std::string::npos) return page;
            at = open + 2;
            continue;
        }
        page += frame.substr(at, open - at) + field->second;
        at = close + 2;
    }
}
