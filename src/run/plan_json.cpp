#include "run/plan_json.h"

#include <cstdio>
#include <cstring>

#include "core/json_writer.h"
#include "core/version.h"
#include "machine/change.h"

namespace {

constexpr int FormatVersion = 1;

// A stored time as UTC in ISO 8601: "2026-12-01T10:00:00.000Z".
std::string IsoTime(const FILETIME& time)
{
    SYSTEMTIME t{};
    if (!FileTimeToSystemTime(&time, &t)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// Registry data as the JSON reader wants it: texts as texts, lists as
// arrays, numbers as numbers, anything else in hexadecimal.
void RegistryData(TJsonWriter& json, DWORD type, const std::string& bytes)
{
    json.Key("type").Text(RegistryTypeName(type));
    std::string text = bytes;
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        if (!text.empty() && text.back() == '\0') text.pop_back();
        json.Key("data").Text(text);
        return;
    case REG_MULTI_SZ: {
        json.Key("data").BeginArray();
        size_t start = 0;
        while (start < text.size() && text[start] != '\0') {
            size_t end = text.find('\0', start);
            if (end == std::string::npos) end = text.size();
            json.Text(text.substr(start, end - start));
            start = end + 1;
        }
        json.EndArray();
        return;
    }
    case REG_DWORD:
        if (bytes.size() == 4) {
            uint32_t number = 0;
            std::memcpy(&number, bytes.data(), sizeof number);
            json.Key("data").Number(number);
            return;
        }
        break;
    default:
        break;
    }
    json.Key("data_hex").Text(Hex(bytes));
}

void State(TJsonWriter& json, const char* name, TChangeKind kind, const TState& state)
{
    if (!state.Known || kind == TChangeKind::Server || kind == TChangeKind::Restart) return;
    json.Key(name).BeginObject();
    json.Key("present").Bool(state.Present);
    switch (kind) {
    case TChangeKind::File:
        if (!state.Present) break;
        if (state.Size >= 0) json.Key("size").Number(state.Size);
        if (state.Dated) json.Key("modified").Text(IsoTime(state.WriteTime));
        if (!state.Version.empty()) json.Key("version").Text(state.Version);
        break;
    case TChangeKind::RegistryValue:
        if (state.Present) RegistryData(json, state.Type, state.Data);
        break;
    case TChangeKind::IniValue:
        if (state.Present) json.Key("text").Text(state.Data);
        break;
    case TChangeKind::TextLine:
        if (state.Size >= 0) json.Key("size").Number(state.Size);
        if (!state.Data.empty()) json.Key("text").Text(state.Data);
        break;
    case TChangeKind::Alias:
        if (state.Present && !state.Data.empty()) json.Key("params").Text(state.Data);
        break;
    default:
        break;
    }
    json.EndObject();
}

void Step(TJsonWriter& json, const TPlannedStep& step, size_t number)
{
    const TChange& change = step.Change;
    json.BeginObject();
    json.Key("step").Number(static_cast<int64_t>(number));
    json.Key("kind").Text(ChangeKindName(change.Kind));
    json.Key("target").Text(change.Target);
    if (change.Decided && !change.Nothing) json.Key("action").Text(ChangeActionName(change.Action));
    if (step.Failures.empty() && !change.Reason.empty()) json.Key("reason").Text(change.Reason);
    if (!change.From.empty()) json.Key("source").Text(change.From);
    if (!change.To.empty()) json.Key("new_name").Text(change.To);
    if (change.Kind == TChangeKind::RegistryValue || change.Kind == TChangeKind::IniValue)
        json.Key("name").Text(change.Name);
    if (change.Kind == TChangeKind::IniValue) json.Key("section").Text(change.Section);
    if (change.Quiet) json.Key("shown").Bool(false);
    if (step.Failures.empty()) {
        State(json, "before", change.Kind, change.Before);
        State(json, "after", change.Kind, change.After);
    } else {
        std::string error;
        for (const TFailure& failure : step.Failures) error += (error.empty() ? "" : "\n") + FailureText(failure);
        json.Key("error").Text(error);
    }
    json.EndObject();
}

// The source directories' releases: what each holds, what this workstation
// took last, and what the run would do with it.
void Releases(TJsonWriter& json, const std::vector<TReleaseSeen>& releases)
{
    json.Key("releases").BeginArray();
    for (const TReleaseSeen& seen : releases) {
        json.BeginObject();
        json.Key("source").Text(seen.Source);
        json.Key("release");
        if (seen.Number > 0)
            json.Number(static_cast<int64_t>(seen.Number));
        else
            json.Null();
        if (seen.Number > 0) json.Key("published").Text(IsoTime(seen.Published));
        json.Key("signed_by");
        if (seen.SignedBy.empty())
            json.Null();
        else
            json.Text(seen.SignedBy);
        json.Key("key_required");
        if (seen.KeyRequired.empty())
            json.Null();
        else
            json.Text(seen.KeyRequired);
        json.Key("workstation_release");
        if (seen.Workstation > 0)
            json.Number(static_cast<int64_t>(seen.Workstation));
        else
            json.Null();
        json.Key("outcome").Text(ReleaseOutcomeName(seen.Outcome));
        if (!seen.Refusal.empty()) json.Key("refusal").Text(seen.Refusal);
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

std::string PlanJson(const TPlanSteps& plan, const TPlanFacts& facts)
{
    TJsonWriter json;
    json.BeginObject();
    json.Key("format_version").Number(FormatVersion);
    json.Key("program").Text("Vantorel " VANTOREL_VERSION_TEXT);
    json.Key("script").Text(facts.Script);
    json.Key("computer").Text(facts.Computer);
    for (bool failures : {false, true}) {
        json.Key(failures ? "failures" : "changes").BeginArray();
        size_t number = 0;
        for (const TPlannedStep& step : plan.Steps()) {
            ++number;
            if (step.Failures.empty() != failures) Step(json, step, number);
        }
        json.EndArray();
    }
    json.Key("launch");
    if (facts.Program.empty()) {
        json.Null();
    } else {
        json.BeginObject();
        json.Key("program").Text(facts.Program);
        json.Key("parameters").Text(facts.Parameters);
        json.Key("starts").Bool(facts.Launches);
        json.EndObject();
    }
    json.Key("rollback").Bool(facts.Rollback);
    json.Key("start_after_failure").Bool(facts.StartAfterFailure);
    // Only where a release is concerned: a plan of a plain source reads as before.
    if (!facts.Releases.empty()) Releases(json, facts.Releases);
    if (!facts.Error.empty()) json.Key("error").Text(facts.Error);
    json.Key("summary").Text(facts.Summary);
    json.Key("exit_code").Number(facts.ExitCode);
    json.EndObject();
    return json.Document();
}
