#include "engine/engine.h"

#include "core/messages.h"
#include "core/report.h"
#include "core/run_state.h"

// PLACEHOLDER until the engine work lands: no engine is loaded.
DBIResult DbiInit(void* /*environment*/)
{
    return 0x2108;
}

DBIResult DbiCfgSave(void* /*database*/, const char* /*configFile*/, BOOL /*persistent*/)
{
    return 0x2108;
}

DBIResult DbiExit()
{
    return DBIERR_NONE;
}

bool CheckEngineResult(DBIResult code)
{
    if (code == DBIERR_NONE) return true;
    ReportError(Msg(MsgEngineNotInstalled));
    FailRun();
    return false;
}
