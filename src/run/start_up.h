// What the run learns about the workstation at its start: the computer name,
// the platform family, whether it runs under Wine, and the nine built-in
// constants.
#pragma once

// Fills Run.ComputerName (empty when the system cannot tell it), Run.UnderWine
// and Run.NtFamily.
void ReadWorkstationFacts();

// Creates ConstTable with the nine built-in constants. A registry value that
// must exist and cannot be read raises OsError.
void BuildBuiltInConstants();
