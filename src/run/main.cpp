#include "core/console.h"
#include "core/messages.h"
#include "core/run_log.h"
#include "run/main_flow.h"

int main(int argc, char** argv)
{
    BeginRunLog();
    InitConsole();
    int code = RunMainFlow(argc, argv);
    EndRunLog(code);
    UnloadLanguageFile();
    CloseConsole();
    return code;
}
