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
#include "script/include_chain.h"
#include "script/script_image.h"

namespace {

void ProcessIncludesOf(const std::string& scriptPath, std::vector<std::string>& chain, TSteps& steps)
{
    std::string options = Msg(WordOptions);
    std::string word = Msg(WordInclude);
    for (int n = 1;; ++n) {
        std::string value = ReadScriptString(scriptPath, options, word + std::to_string(n));
        if (value.empty()) return;
        std::string name = FileNamePart(ExpandConstants(value, ExpandPlain));
        std::string line = FormatMsg(MsgProcessing, name);
        if (InChain(chain, name)) {
            WriteText(line);
            bool ok = true;
            Take(steps,
                 FailedStep(TChangeKind::File, name, FailureOf(FormatMsg(MsgIncludeCycle, DescribeChain(chain, name)))),
                 ok);
            steps.ItemFailed();
            // A plan shows the rest; this include is never processed.
            if (!Run.RunOk) return;
            continue;
        }
        WriteLine(line);
        Run.PendingBanner = Msg(MsgUpdating);
        // A heading left by a skipped item of the previous script belongs to no item here.
        Run.PendingHeading.clear();
        if (!UpdateFile(name, "", TSectionMode::Update, steps)) {
            steps.ItemFailed();
            if (!Run.RunOk) return;
            continue;
        }
        std::string path = Run.ExeDir + name;
        LoadConstants(path);
        chain.push_back(name);
        ProcessIncludesOf(path, chain, steps);
        if (Run.RunOk) ProcessScript(path, steps);
        chain.pop_back();
        if (!Run.RunOk) return;
    }
}

}  // namespace

void ProcessIncludes(const std::string& scriptPath, TSteps& steps)
{
    std::vector<std::string> chain{FileNamePart(scriptPath)};
    ProcessIncludesOf(scriptPath, chain, steps);
}
