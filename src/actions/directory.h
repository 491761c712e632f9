// Directory items: create (Insert), remove (Delete), rename (Update).
#pragma once

#include <string>

// Carries out one Dir item. `name` and `newName` as written in the script;
// newName is empty outside Update sections. Prints its own lines; a failure
// clears RunOk.
void RemoveOrRename(const std::string& name, const std::string& newName, char mode);
