#include "core/console.h"
#include "core/messages.h"
#include "run/main_flow.h"

int main(int argc, char** argv)
{
    InitConsole();
    int code = RunMainFlow(argc, argv);
    UnloadLanguageFile();
    CloseConsole();
    return code;
}
