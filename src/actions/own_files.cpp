#include "actions/own_files.h"

#include <windows.h>

#include "core/paths.h"
#include "core/run_state.h"

namespace {

// How long a staging copy waits for a "_" copy that an ending process still runs from.
constexpr int StagingTries = 25;
constexpr DWORD StagingPauseMs = 200;

std::string WithExtensionOf(const std::string& path, const std::string& model)
{
    std::string name = FileNamePart(path);
    size_t dot = name.find_last_of('.');
    std::string stem = path.substr(0, path.size() - name.size()) + (dot == std::string::npos ? name : name.substr(0, dot));
    std::string modelName = FileNamePart(model);
    size_t modelDot = modelName.find_last_of('.');
    return stem + (modelDot == std::string::npos ? std::string() : modelName.substr(modelDot));
}

}  // namespace

TFileResult StageOwnFile(const std::string& source, const std::string& fileName, const TSourceFacts& facts)
{
    Run.SelfCopyPath = Run.ExeDir + "_" + fileName;
    TFileResult result = ClearAndCopy(source, Run.SelfCopyPath, facts);
    // The "_" copy may still be the image of the restarted copy of the run
    // this one waited for: that process is ending, give it a moment.
    for (int tries = 0; tries < StagingTries && !result.Ok && result.Code == ERROR_SHARING_VIOLATION; ++tries) {
        Sleep(StagingPauseMs);
        result = ClearAndCopy(source, Run.SelfCopyPath, facts);
    }
    if (result.Ok && SameFileName(fileName, Run.LanguageName) && !Run.SelfReplaced) {
        // Only the language file is new: the program must still restart to
        // load it, from a copy of itself whose name fits the new file.
        Run.SelfCopyPath = WithExtensionOf(Run.SelfCopyPath, Run.ExeName);
        result = ClearAndCopy(Run.ExeDir + Run.ExeName, Run.SelfCopyPath);
    }
    Run.SelfReplaced = result.Ok;
    return result;
}


