// The chain of scripts being processed (the script, then each include on the
// way to the one at hand), which an include must not close into a circle.
#pragma once

#include <string>
#include <vector>

// The name is in the chain (file names compared without regard to case).
bool InChain(const std::vector<std::string>& chain, const std::string& name);

// "a.ini -> b.ini -> a.ini": the chain and the name that would close it.
std::string DescribeChain(const std::vector<std::string>& chain, const std::string& name);
