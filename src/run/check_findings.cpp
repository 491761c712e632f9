#include "run/check_findings.h"

#include <algorithm>

#include "core/messages.h"
#include "run/exit_codes.h"

void Add(TCheck& check, const TFileView& view, int line, TSeverity severity, TFindingCode code,
         const std::string& text)
{
    check.Findings.push_back(TFinding{view.Shown, line, severity, code, text});
    check.FindingOrder.push_back(view.Order);
}

std::vector<TFinding> SortedFindings(const TCheck& check)
{
    std::vector<size_t> index(check.Findings.size());
    for (size_t i = 0; i < index.size(); ++i) index[i] = i;
    std::stable_sort(index.begin(), index.end(), [&check](size_t a, size_t b) {
        if (check.FindingOrder[a] != check.FindingOrder[b]) return check.FindingOrder[a] < check.FindingOrder[b];
        return check.Findings[a].Line < check.Findings[b].Line;
    });
    std::vector<TFinding> sorted;
    for (size_t i : index) {
        const TFinding& finding = check.Findings[i];
        bool repeated = std::any_of(sorted.begin(), sorted.end(), [&finding](const TFinding& f) {
            return f.File == finding.File && f.Line == finding.Line && f.Code == finding.Code && f.Text == finding.Text;
        });
        if (!repeated) sorted.push_back(finding);
    }
    return sorted;
}

std::string FormatFinding(const TFinding& finding)
{
    unsigned severity = finding.Severity == TSeverity::Error     ? MsgCheckError
                        : finding.Severity == TSeverity::Warning ? MsgCheckWarning
                                                                 : MsgCheckNote;
    std::string code = "VC" + std::to_string(static_cast<int>(finding.Code));
    if (finding.Line > 0)
        return FillMsg(MsgCheckLine, {finding.File, std::to_string(finding.Line), Msg(severity), code, finding.Text});
    return FillMsg(MsgCheckLineNoNumber, {finding.File, Msg(severity), code, finding.Text});
}

std::string FormatCheckSummary(const TCheckResult& result)
{
    size_t counts[3] = {0, 0, 0};
    for (const TFinding& finding : result.Findings) ++counts[static_cast<int>(finding.Severity)];
    auto count = [](size_t n, unsigned one, unsigned many) { return FillMsg(n == 1 ? one : many, {std::to_string(n)}); };
    std::string includes = result.IncludedScripts == 0
                               ? std::string()
                               : count(result.IncludedScripts, MsgCheckIncludedOne, MsgCheckIncludedMany);
    return FillMsg(MsgCheckSummary, {count(counts[0], MsgCheckErrorOne, MsgCheckErrorMany),
                                     count(counts[1], MsgCheckWarningOne, MsgCheckWarningMany),
                                     count(counts[2], MsgCheckNoteOne, MsgCheckNoteMany), result.Script, includes});
}

int CheckExitCode(const TCheckResult& result)
{
    auto any = [&result](TSeverity severity) {
        return std::any_of(result.Findings.begin(), result.Findings.end(),
                           [severity](const TFinding& f) { return f.Severity == severity; });
    };
    if (any(TSeverity::Error)) return ExitFailed;
    if (any(TSeverity::Warning)) return ExitChangesDue;
    return ExitGood;
}
