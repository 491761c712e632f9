#include "core/run_state.h"

#include "core/ansi_text.h"
#include "core/paths.h"

TRunState Run;
std::vector<TConst> ConstTable;

std::string PathKey(const std::string& path)
{
    return UpperAnsi(path);
}

std::string PathToRead(const std::string& path)
{
    if (Run.Plan.Copies.empty()) return path;
    auto found = Run.Plan.Copies.find(PathKey(path));
    return found == Run.Plan.Copies.end() ? path : found->second;
}

bool ParentWouldExist(const std::string& path)
{
    std::string directory = DirectoryPart(path);
    // "C:\" and "\" stay whole; "C:\app\" loses its last separator.
    if (directory.size() > 1 && (directory.back() == '\\' || directory.back() == '/') &&
        directory[directory.size() - 2] != ':')
        directory.pop_back();
    if (directory.empty()) return true;  // the current directory
    return IsDirectoryPath(directory) || Run.Plan.Directories.count(PathKey(directory)) > 0;
}
