#include "actions/text_file.h"

// PLACEHOLDER until the text-file work lands: does nothing.
void ProcessTextItem(const std::string& /*scriptPath*/, const std::string& /*section*/, int /*item*/,
                     char /*mode*/)
{
}
