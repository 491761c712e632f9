#include "core/console.h"
#include "core/main_flow.h"
#include "core/messages.h"

int main(int argc, char** argv)
{
    InitConsole();
    int code = RunMainFlow(argc, argv);
    UnloadLanguageFile();
    CloseConsole();
    return code;
}
