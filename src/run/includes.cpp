#include "run/includes.h"

#include <windows.h>

#include <string>
#include <vector>

#include "core/messages.h"
#include "core/paths.h"
#include "core/report.h"
#include "core/run_state.h"
#include "run/dispatch.h"
#include "run/file_items.h"
#include "script/constants.h"
#include "script/expand.h"
#include "script/script_image.h"

namespace {

bool SameFileName(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The file names of the scripts being processed, outermost first. A script
// that includes one of them would otherwise recurse until the stack ends.
bool IsInChain(const std::vector<std::string>& chain, const std::string& name)
{
    for (const std::string& entry : chain)
        if (SameFileName(entry, name)) return true;
    return false;
}

std::string DescribeChain(const std::vector<std::string>& chain, const std::string& name)
{
    std::string text;
    for (const std::string& entry : chain) text += entry + " -> ";
    return text + name;
}

void ProcessIncludesOf(const std::string& scriptPath, std::vector<std::string>& chain)
{
    std::string options = Msg(WordOptions);
    std::string word = Msg(WordInclude);
    for (int n = 1;; ++n) {
        std::string value = ReadScriptString(scriptPath, options, word + std::to_string(n));
        if (value.empty()) return;
        std::string name = FileNamePart(ExpandConstants(value, ExpandPlain));
        std::string line = FormatMsg(MsgProcessing, name);
        if (IsInChain(chain, name)) {
            WriteText(line);
            FailStep(FormatMsg(MsgIncludeCycle, DescribeChain(chain, name)));
            // A plan shows the rest; this include is never processed.
            if (Run.Plan.Active) continue;
            return;
        }
        WriteLine(line);
        Run.PendingBanner = Msg(MsgUpdating);
        // A heading left by a skipped item of the previous script belongs to no item here.
        Run.PendingHeading.clear();
        if (!UpdateFile(name, "", TSectionMode::Update)) {
            FailRun();
            if (Run.Plan.Active) continue;
            return;
        }
        std::string path = Run.ExeDir + name;
        LoadConstants(path);
        chain.push_back(name);
        ProcessIncludesOf(path, chain);
        if (Run.RunOk) ProcessScript(path);
        chain.pop_back();
        if (!Run.RunOk) return;
    }
}

}  // namespace

void ProcessIncludes(const std::string& scriptPath)
{
    std::vector<std::string> chain{FileNamePart(scriptPath)};
    ProcessIncludesOf(scriptPath, chain);
}
