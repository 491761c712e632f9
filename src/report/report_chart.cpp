#include "report/report_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/messages.h"
#include "report/report_text.h"

namespace {

constexpr double Width = 1000, Height = 250, Left = 44, Right = 14, Top = 32, Bottom = 26;
constexpr double PlotWidth = Width - Left - Right, PlotHeight = Height - Top - Bottom;
constexpr const char* SucceededColour = "#9cc5a1";
constexpr const char* NotUpdatedColour = "#e8a33d";
constexpr const char* FailedColour = "#d93f3f";
constexpr const char* MarkerColour = "#5b4bd6";
// Markers named on the chart (the latest ones); the others are lines with a tooltip,
// down to this many: a log can name any number of versions.
constexpr size_t LabelledMarkers = 4;
constexpr size_t DrawnMarkers = 60;

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A step for the value axis of 1, 2 or 5 times a power of ten.
int64_t NiceStep(int64_t largest)
{
    double rough = std::max(1.0, static_cast<double>(largest) / 4);
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= rough) return std::max<int64_t>(1, static_cast<int64_t>(factor * power));
    return static_cast<int64_t>(10 * power);
}

void Rect(std::string& out, double x, double y, double width, double height, const char* colour)
{
    if (height <= 0) return;
    out += "<rect x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" width=\"" + Number(width) + "\" height=\"" +
           Number(height) + "\" fill=\"" + colour + "\"/>";
}

void Text(std::string& out, double x, double y, const char* anchor, const std::string& text)
{
    out += "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" text-anchor=\"" + anchor + "\">" + HtmlText(text) +
           "</text>";
}

void LegendEntry(std::string& out, const char* colour, const std::string& text, const char* className = "")
{
    out += std::string("<span><i class=\"") + className + "\" style=\"--c:" + colour + "\"></i>" + HtmlText(text) +
           "</span>";
}

}  // namespace

std::string DayChart(const TFleetReport& report)
{
    const std::vector<TDayFigures>& days = report.Days;
    if (days.empty()) return "<p class=\"empty\">" + HtmlText(MessageText(MsgReportChartNone)) + "</p>";
    int64_t largest = 1;
    for (const TDayFigures& day : days) largest = std::max(largest, day.Runs);
    int64_t step = NiceStep(largest);
    int64_t top = (largest + step - 1) / step * step;
    auto y = [top](double value) { return Top + PlotHeight - value / static_cast<double>(top) * PlotHeight; };
    const double slot = PlotWidth / static_cast<double>(days.size());
    const double bar = std::min(slot * 0.8, 36.0);

    std::string out = "<svg class=\"chart\" viewBox=\"0 0 " + Number(Width) + " " + Number(Height) +
                      "\" role=\"img\" font-size=\"11\" fill=\"#5f6b7a\">";
    for (int64_t value = 0; value <= top; value += step) {
        out += "<line x1=\"" + Number(Left) + "\" x2=\"" + Number(Width - Right) + "\" y1=\"" + Number(y(value)) +
               "\" y2=\"" + Number(y(value)) + "\" stroke=\"#e3e7ec\"/>";
        Text(out, Left - 6, y(value) + 4, "end", std::to_string(value));
    }
    const size_t labelEvery = (days.size() + 9) / 10;
    for (size_t i = 0; i < days.size(); ++i) {
        const TDayFigures& day = days[i];
        double x = Left + static_cast<double>(i) * slot + (slot - bar) / 2;
        if (day.Runs > 0) {
            int64_t succeeded = std::max<int64_t>(0, day.Runs - day.Failed - day.NotUpdated);
            out += "<g><title>" +
                   HtmlText(MessageText(MsgReportChartDay, {day.Date, std::to_string(day.Runs),
                                                            std::to_string(day.Failed), std::to_string(day.NotUpdated)})) +
                   "</title>";
            Rect(out, x, y(static_cast<double>(day.Failed)), bar, y(0) - y(static_cast<double>(day.Failed)), FailedColour);
            Rect(out, x, y(static_cast<double>(day.Failed + day.NotUpdated)), bar,
                 y(static_cast<double>(day.Failed)) - y(static_cast<double>(day.Failed + day.NotUpdated)), NotUpdatedColour);
            Rect(out, x, y(static_cast<double>(day.Runs)), bar,
                 y(static_cast<double>(day.Runs - succeeded)) - y(static_cast<double>(day.Runs)), SucceededColour);
            out += "</g>";
        }
        if (i % labelEvery == 0) Text(out, Left + (static_cast<double>(i) + 0.5) * slot, Height - 8, "middle", day.Date.substr(5));
    }
    out += "<line x1=\"" + Number(Left) + "\" x2=\"" + Number(Width - Right) + "\" y1=\"" + Number(y(0)) + "\" y2=\"" +
           Number(y(0)) + "\" stroke=\"#9aa5b1\"/>";

    const int64_t firstDay = DayNumber(days.front().Date);
    const std::vector<TMarker>& markers = report.Markers;
    double lastLabel = -1000;
    bool lowered = false;
    for (size_t i = markers.size() > DrawnMarkers ? markers.size() - DrawnMarkers : 0; i < markers.size(); ++i) {
        std::string name = MessageText(markers[i].Release ? MsgReportRelease : MsgReportProgram, {markers[i].Version});
        double x = Left + static_cast<double>(DayNumber(markers[i].Date) - firstDay) * slot;
        out += "<g><title>" + HtmlText(MessageText(MsgReportFirstSeen, {name, markers[i].Date})) +
               "</title><line x1=\"" + Number(x) + "\" x2=\"" + Number(x) + "\" y1=\"" + Number(Top - 6) +
               "\" y2=\"" + Number(y(0)) + "\" stroke=\"" + MarkerColour +
               "\" stroke-width=\"1.5\" stroke-dasharray=\"4 3\"/></g>";
        if (i + LabelledMarkers < markers.size()) continue;
        // Labels that would run into each other take turns on two lines.
        lowered = x - lastLabel < 110 && !lowered;
        lastLabel = x;
        bool right = x > Width - 140;
        out += "<g fill=\"" + std::string(MarkerColour) + "\" font-weight=\"600\">";
        Text(out, right ? x - 4 : x + 4, lowered ? Top - 8 : Top - 20, right ? "end" : "start", name);
        out += "</g>";
    }
    out += "</svg><div class=\"legend\">";
    LegendEntry(out, SucceededColour, MessageText(MsgReportStateSucceeded));
    LegendEntry(out, NotUpdatedColour, MessageText(MsgReportStateNotUpdated));
    LegendEntry(out, FailedColour, MessageText(MsgReportStateFailed));
    if (!markers.empty()) LegendEntry(out, MarkerColour, MessageText(MsgReportLegendMarker), "marker");
    return out + "</div>";
}
