#include "actions/ole_server.h"

#include "core/report.h"

// PLACEHOLDER until the server work lands: reports success without a call.
void RegisterServer(const std::string& /*path*/, char /*mode*/)
{
    ReportOk();
}
