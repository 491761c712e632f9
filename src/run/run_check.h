// The script check inside a run: with "Check" in [Options] (of the script, or
// of the settings file) every run and plan checks its script after the update
// pass and before the first item. The findings go to the run log, their
// counts to the console (one line, none when there are only notes) and a
// field "findings <n>" to the log block's header; with "Check=strict" a
// finding of the severity error ends the run before it changes anything.
#pragma once

// Checks the script when its options ask for it (nothing otherwise). A strict
// check with an error writes the step line "=> Checking <script>..." and
// raises std::runtime_error with the reason, which the run reports as its
// failure (exit code 2) and a plan shows. The constants table is as before
// when it returns.
void CheckBeforeItems();
