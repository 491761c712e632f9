#include "core/console.h"
#include "core/main_flow.h"
#include "core/messages.h"
#include "core/run_log.h"

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
