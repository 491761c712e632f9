#include "script/include_chain.h"

#include <windows.h>

bool InChain(const std::vector<std::string>& chain, const std::string& name)
{
    for (const std::string& entry : chain)
        if (lstrcmpiA(entry.c_str(), name.c_str()) == 0) return true;
    return false;
}

std::string DescribeChain(const std::vector<std::string>& chain, const std::string& name)
{
    std::string text;
    for (const std::string& entry : chain) text += entry + " -> ";
    return text + name;
}
