// The least a run can do for a script whose files are all current: one
// look-up of each source file and one of each target file. Run as
//   floor.exe <source dir\> <target dir\> <count>
// for the files f00001.dat ... that bench/run.sh generates.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: floor <source dir\\> <target dir\\> <count>\n");
        return 1;
    }
    std::string source = argv[1];
    std::string target = argv[2];
    int count = std::atoi(argv[3]);
    int found = 0;
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.dat", i);
        for (const std::string& dir : {source, target}) {
            WIN32_FIND_DATAA data;
            HANDLE find = FindFirstFileA((dir + name).c_str(), &data);
            if (find == INVALID_HANDLE_VALUE) continue;
            ++found;
            FindClose(find);
        }
    }
    std::printf("%d of %d found\n", found, 2 * count);
    return found == 2 * count ? 0 : 2;
}
