// The plan as data (--plan --format json): one JSON document with the
// changes a run would make now, in order, each with its kind, target, action,
// reason, before and after, and the steps that would fail with their errors.
#pragma once

#include <string>

#include "run/plan.h"
#include "run/release_run.h"

// What the plan knows besides its steps.
struct TPlanFacts {
    std::string Script;     // full path
    std::string Computer;
    bool Launches = false;  // a run that ends well would start the application
    std::string Program;    // the launch's program and parameters, expanded
    std::string Parameters;
    std::string Summary;    // the plan's last line
    int ExitCode = 0;
    std::string Error;      // an error that ended the plan early; empty when none
    bool Rollback = false;  // a failed run would put back every change (Rollback=1)
    bool StartAfterFailure = false;
    std::vector<TReleaseSeen> Releases;  // the source directories' releases, when there are any
};

// The document; format_version 1.
std::string PlanJson(const TPlanSteps& plan, const TPlanFacts& facts);
