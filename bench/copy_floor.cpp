// The floor of a first install: CopyFileA of each file of the source
// directory that matches the mask into the target directory, nothing more.
//   copy_floor.exe <source dir\> <target dir\> <mask>
#include <windows.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    std::string source = argv[1], target = argv[2];
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((source + argv[3]).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 3;
    int failed = 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!CopyFileA((source + data.cFileName).c_str(), (target + data.cFileName).c_str(), FALSE)) ++failed;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return failed ? 1 : 0;
}
