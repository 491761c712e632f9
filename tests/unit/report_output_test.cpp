#include <gtest/gtest.h>

#include "report/report_data.h"
#include "report/report_html.h"
#include "report/report_text.h"
#include "report/script_digest.h"

namespace {

const std::string Hostile = "</script><img src=x onerror=alert(1)>\xE2\x80\xA8\"{{body}}&";

TEST(ReportText, LogTextIsEscapedForEachFormat)
{
    EXPECT_EQ(HtmlText("<a href='x'>\"&\""), "&lt;a href=&#39;x&#39;&gt;&quot;&amp;&quot;");
    EXPECT_EQ(JsonText(Hostile), "\"\\u003c/script\\u003e\\u003cimg src=x onerror=alert(1)\\u003e\\u2028\\\"{{body}}\\u0026\"");
    EXPECT_EQ(JsonText(std::string("a\\\x01\n", 4)), "\"a\\\\\\u0001\\u000a\"");
    EXPECT_EQ(CsvField("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    // ANSI (code page 1252 here) to UTF-8, control characters made visible as such.
    EXPECT_EQ(TextFromLog("caf\xE9\x01\tx"), "caf\xC3\xA9\xEF\xBF\xBD x");
    EXPECT_EQ(ScriptDigest("abc"), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
    EXPECT_EQ(ScriptDigest(std::string(1000, 'a')), "Qe3s5C1j6Nm/UVqbppMuHCDLyfWl0TRkWttdsblzfqM=");
}

TFleetReport HostileReport()
{
    TFleetReport report;
    TWorkstation station;
    station.Computer = Hostile;
    station.State = station.Outcome = TStationState::Failed;
    station.Stamp = "2024-05-14 08:00:00";
    station.Error = Hostile;
    station.FailedStep = "-x";
    station.HasExitCode = true;
    station.ExitCode = 2;
    report.Workstations.push_back(station);
    report.Counts[0] = 1;
    report.Days.push_back({"2024-05-14", 1, 1, 0});
    report.Markers.push_back({"2024-05-14", true, Hostile});
    return report;
}

TEST(ReportOutput, ThePageShowsLogTextAsTextAndRunsOnlyItsOwnScript)
{
    std::string page = ReportPage(HostileReport());
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("</script><"), std::string::npos);
    EXPECT_NE(page.find("&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;"), std::string::npos);
    EXPECT_NE(page.find("{{body}}"), std::string::npos) << "text that looks like a field of the frame stays text";
    // The policy names the digest of the one script of the page.
    size_t open = page.find("<script>"), close = page.find("</script>");
    ASSERT_NE(open, std::string::npos);
    EXPECT_EQ(page.find("<script", open + 1), std::string::npos);
    std::string digest = ScriptDigest(page.substr(open + 8, close - open - 8));
    EXPECT_NE(page.find("script-src 'sha256-" + digest + "'"), std::string::npos);
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
}

TEST(ReportOutput, CsvAndJsonHoldTheTableForPrograms)
{
    TFleetReport report = HostileReport();
    std::string csv = ReportCsv(report);
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    size_t end = csv.find("\r\n");
    EXPECT_EQ(csv.substr(3, end - 3),
              "computer,state,outcome,time,days_since,user,version,release,script,exit_code,failed_step,error,"
              "interrupted,runs,failed_runs,last_success,older_version,older_release,log_file,log_line");
    const std::string row = "\"</script><img src=x onerror=alert(1)>\xE2\x80\xA8\"\"{{body}}&\",\"failed\",\"failed\",\"2024";
    EXPECT_EQ(csv.substr(end + 2, row.size()), row);
    EXPECT_NE(csv.find(",\"'-x\","), std::string::npos) << "a field a spreadsheet would compute";

    std::string json = ReportJson(report);
    EXPECT_EQ(json.find('<'), std::string::npos);
    EXPECT_NE(json.find("\"format_version\": 1,"), std::string::npos);
    EXPECT_NE(json.find("\"counts\": {\"workstations\": 1, \"failed\": 1, \"not_updated\": 0"), std::string::npos);
    EXPECT_NE(json.find("{\"date\": \"2024-05-14\", \"runs\": 1, \"failed\": 1, \"not_updated\": 0}"),
              std::string::npos);
    EXPECT_NE(json.find("\"exit_code\": 2, "), std::string::npos);
}

}  // namespace
