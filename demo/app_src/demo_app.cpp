// The demo's "application": shows that it was started, and with what.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    std::printf("\n  Demo application started");
    for (int i = 1; i < argc; ++i) std::printf(" %s", argv[i]);
    char dir[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, dir);
    std::printf("\n  (working directory %s)\n", dir);
    return 0;
}
