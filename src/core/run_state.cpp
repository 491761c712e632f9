#include "core/run_state.h"

#include "core/ansi_text.h"

TRunState Run;
std::vector<TConst> ConstTable;

std::string PathKey(const std::string& path)
{
    return UpperAnsi(path);
}

