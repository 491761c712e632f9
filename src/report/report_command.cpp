#include "report/report_command.h"

#include <windows.h>

#include <exception>

#include "core/ansi_text.h"
#include "core/disk_files.h"
#include "core/errors.h"
#include "core/handles.h"
#include "core/messages.h"
#include "core/report.h"
#include "report/fleet.h"
#include "report/report_data.h"
#include "report/report_html.h"

namespace {

constexpr int ReportWritten = 0;
constexpr int ReportNotWritten = 2;
// A list of workstations beyond this is no list.
constexpr DWORD MaxListBytes = 16 * 1024 * 1024;

std::string Reason(DWORD code)
{
    return SystemMessageOrCode(static_cast<int32_t>(code));
}

std::string AnsiFromUtf8(const std::string& text)
{
    return FromWide(ToWide(text, CP_UTF8));
}

// The whole file, or the system's error code.
DWORD ReadWhole(const std::string& path, std::string& bytes)
{
    if (IsDeviceName(path)) return ERROR_BAD_DEVICE;
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    if (!IsDiskFile(file.Get())) return ERROR_BAD_DEVICE;
    char buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) return GetLastError();
        if (read == 0) return ERROR_SUCCESS;
        if (bytes.size() + read > MaxListBytes) return ERROR_FILE_TOO_LARGE;
        bytes.append(buffer, read);
    }
}

// The workstations of a list: one name a line (what follows a blank, comma
// or semicolon is passed over, quotes are dropped; lines that begin with #
// or ; are comments), in UTF-16 or UTF-8 with a byte-order mark or in the
// ANSI code page, as the shells of the system write them.
DWORD ReadComputerList(const std::string& path, std::vector<std::string>& names)
{
    std::string bytes;
    DWORD code = ReadWhole(path, bytes);
    if (code != ERROR_SUCCESS) return code;
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0)
        bytes = FromWide(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes = FromWide(ToWide(bytes.substr(3), CP_UTF8));
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        size_t first = line.find_first_not_of(" \t\"");
        if (first == std::string::npos || line[first] == '#' || line[first] == ';') continue;
        std::string name = line.substr(first, line.find_first_of(" \t\r,;\"", first) - first);
        if (!name.empty()) names.push_back(name);
    }
    return ERROR_SUCCESS;
}

DWORD WriteReportFile(const std::string& path, const std::string& content)
{
    if (IsDeviceName(path)) return ERROR_BAD_DEVICE;
    const std::string temporary = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    UniqueFile file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return GetLastError();
    DWORD code = ERROR_SUCCESS;
    for (size_t at = 0; at < content.size() && code == ERROR_SUCCESS;) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - at, 1 << 20));
        if (!WriteFile(file.Get(), content.data() + at, chunk, &written, nullptr) || written == 0) {
            DWORD error = GetLastError();
            code = error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
        }
        at += written;
    }
    file.Reset();
    if (code == ERROR_SUCCESS && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        code = GetLastError();
    // The temporary file is gone once renamed; otherwise it is removed, and when that fails it is left.
    if (code != ERROR_SUCCESS) DeleteFileA(temporary.c_str());
    return code;
}

std::string FullPath(const std::string& path)
{
    char buffer[MAX_PATH * 2] = {};
    DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    // A path the system cannot complete is shown as it was given.
    return length == 0 || length >= sizeof buffer ? path : std::string(buffer, length);
}

void PrintSummary(const TFleetReport& report)
{
    auto count = [&report](TStationState state) { return std::to_string(report.Counts[static_cast<int>(state)]); };
    WriteLine(FillMsg(MsgReportSummary,
                      {std::to_string(report.Workstations.size()), count(TStationState::Failed),
                       count(TStationState::NotUpdated), count(TStationState::Succeeded), count(TStationState::PlannedOnly),
                       std::to_string(report.StaleDays), count(TStationState::NotSeen), std::to_string(report.Blocks),
                       std::to_string(report.Files)}));
    if (report.Unreadable > 0) WriteLine(AnsiFromUtf8(UnreadableSummary(report)));
}

}  // namespace

int RunReport(const TReportRequest& request)
{
    try {
        TFleet fleet;
        if (!request.ComputersPath.empty()) {
            std::vector<std::string> names;
            DWORD code = ReadComputerList(request.ComputersPath, names);
            if (code != ERROR_SUCCESS) {
                WriteLine(FormatMsg(MsgReportNoComputers, request.ComputersPath, Reason(code)));
                return ReportNotWritten;
            }
            for (const std::string& name : names) fleet.ExpectComputer(name);
        }
        const std::vector<TLogLanguage> languages = LoadLogLanguages();
        int64_t filesRead = 0;
        for (const std::string& input : request.Inputs) {
            std::vector<std::string> files;
            DWORD code = ListLogFiles(input, files);
            if (code != ERROR_SUCCESS) {
                fleet.SkipFile(input, Reason(code));
                WriteLine(FormatMsg(MsgReportFileSkipped, input, Reason(code)));
            }
            for (const std::string& file : files) {
                fleet.BeginFile(file);
                code = ReadLogFile(file, languages, fleet);
                if (code == ERROR_SUCCESS) {
                    ++filesRead;
                    continue;
                }
                fleet.SkipFile(file, Reason(code));
                WriteLine(FormatMsg(MsgReportFileSkipped, file, Reason(code)));
            }
        }
        SYSTEMTIME now{};
        GetLocalTime(&now);
        TFleetReport report = fleet.Finish(now, request.StaleDays);
        report.Files = filesRead;

        const bool csv = request.Format == TReportFormat::Csv, json = request.Format == TReportFormat::Json;
        const std::string content = csv ? ReportCsv(report) : json ? ReportJson(report) : ReportPage(report);
        const std::string out =
            !request.OutPath.empty() ? request.OutPath : csv ? "vantorel-report.csv" : json ? "vantorel-report.json"
                                                                                          : "vantorel-report.html";
        DWORD code = WriteReportFile(out, content);
        if (code != ERROR_SUCCESS) {
            WriteLine(FormatMsg(MsgReportNotWritten, FullPath(out), Reason(code)));
            return ReportNotWritten;
        }
        WriteLine(FormatMsg(MsgReportWritten, FullPath(out)));
        PrintSummary(report);
        return ReportWritten;
    } catch (const std::exception& error) {
        WriteLine(error.what());
        return ReportNotWritten;
    }
}
