// What `findstr "<text>" <files>` does, as a program of ours: Wine's findstr
// is a stub that reads nothing, so the administrator's tool is stood in for
// by this one. It reads each file once in large pieces and writes every line
// that holds the text, after the file's name, as findstr does for several
// files. A directory stands for its *.log and *.log.1 files.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string g_out;

void Flush()
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), g_out.data(), static_cast<DWORD>(g_out.size()), &written, nullptr);
    g_out.clear();
}

void Line(const std::string& name, std::string_view line, std::string_view text)
{
    if (line.find(text) == std::string_view::npos) return;
    g_out += name;
    g_out += ':';
    g_out += line;
    g_out += '\n';
    if (g_out.size() > (1 << 16)) Flush();
}

void Search(const std::string& path, std::string_view text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return;
    }
    // One buffer for every file: under Wine, reading into fresh memory of this
    // size costs more than the reading itself.
    static std::vector<char> buffer(256 * 1024);
    std::string carry;
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
        const char* at = buffer.data();
        const char* end = at + read;
        while (at < end) {
            const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
            if (!newline) {
                carry.append(at, end);
                break;
            }
            if (carry.empty()) {
                Line(path, std::string_view(at, static_cast<size_t>(newline - at)), text);
            } else {
                carry.append(at, newline);
                Line(path, carry, text);
                carry.clear();
            }
            at = newline + 1;
        }
    }
    if (!carry.empty()) Line(path, carry, text);
    CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return 2;
    for (int i = 2; i < argc; ++i) {
        std::string path = argv[i];
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            Search(path, argv[1]);
            continue;
        }
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            std::string name = found.cFileName;
            bool log = name.size() > 4 && (name.compare(name.size() - 4, 4, ".log") == 0 ||
                                           (name.size() > 6 && name.compare(name.size() - 6, 6, ".log.1") == 0));
            if (log && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) Search(path + "\\" + name, argv[1]);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    Flush();
    return 0;
}
