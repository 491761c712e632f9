#include "core/run_state.h"

TRunState Run;
