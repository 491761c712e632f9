// One entry for every kind of change: the run makes a change through
// ApplyChange, a plan asks ForeseeChange whether it could be made now. Each
// kind's module does the work.
#pragma once

#include "actions/steps.h"

// Makes exactly the change (a program restart is the run's own business and
// is not made here).
TApplied ApplyChange(const TChange& change);

// The failure the change would meet that the machine can tell now; none
// when it could be made as far as can be told.
TApplied ForeseeChange(const TChange& change, TMachineView& machine);
