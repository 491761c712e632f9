// The floors of bench/publish.sh. The least a publish must do is to list the
// directory and read every file of it once, as --publish reads them (the same
// chunk size, one handle per file), and nothing else: no hash, no version, no
// manifest (the manifest a publish left is not one of the files it reads).
// With --hash it also feeds every chunk to the system's SHA-256, on one
// thread: what reading and hashing cost before the publish adds anything of
// its own. Run as
//   read_floor.exe [--hash] <directory\>
// It prints the files and bytes it read.
#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    bool hash = argc == 3 && std::wstring(argv[1]) == L"--hash";
    if (argc != 2 && !hash) {
        std::fprintf(stderr, "usage: read_floor.exe [--hash] <directory\\>\n");
        return 1;
    }
    std::wstring directory = argv[argc - 1];
    BCRYPT_ALG_HANDLE sha = nullptr;
    if (hash && BCryptOpenAlgorithmProvider(&sha, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return 4;
    std::vector<char> buffer(1 << 20);
    unsigned long long files = 0;
    unsigned long long bytes = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((directory + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 2;
    do {
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        if (lstrcmpiW(data.cFileName, L"vantorel.release") == 0) continue;
        HANDLE file = CreateFileW((directory + data.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 3;
        BCRYPT_HASH_HANDLE digest = nullptr;
        if (hash && BCryptCreateHash(sha, &digest, nullptr, 0, nullptr, 0, 0) < 0) return 4;
        DWORD read = 0;
        while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
            if (hash) BCryptHashData(digest, reinterpret_cast<PUCHAR>(buffer.data()), read, 0);
            bytes += read;
        }
        if (hash) {
            UCHAR value[32];
            BCryptFinishHash(digest, value, sizeof value, 0);
            BCryptDestroyHash(digest);
        }
        CloseHandle(file);
        ++files;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    if (sha) BCryptCloseAlgorithmProvider(sha, 0);
    std::printf("%llu files, %llu bytes\n", files, bytes);
    return 0;
}
