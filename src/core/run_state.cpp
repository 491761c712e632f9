#include "core/run_state.h"

TRunState Run;
std::vector<TConst> ConstTable;
