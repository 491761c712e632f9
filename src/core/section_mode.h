// The modes of the action sections, passed to every item of a section.
#pragma once

enum class TSectionMode {
    Insert,  // add what is missing
    Update,  // bring current what differs (and rename)
    Delete,  // remove what is there
};
