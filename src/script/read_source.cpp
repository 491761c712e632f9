#include "script/read_source.h"

namespace {

TReadSource g_source;

}  // namespace

void SetReadSource(TReadSource source)
{
    g_source = std::move(source);
}

std::string ReadSourceOf(const std::string& path)
{
    return g_source ? g_source(path) : path;
}

bool ReadsFromElsewhere()
{
    return static_cast<bool>(g_source);
}
