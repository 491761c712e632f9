// The version a publish reads from a file's bytes must be the one the
// system's version functions give, whatever the chunks it comes in.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "machine/file_version.h"
#include "core/handles.h"
#include "harness.h"
#include "release/version_scan.h"

using namespace testing_support;

namespace {

TVersionScanResult Scan(const std::string& bytes, size_t chunk, std::string& version)
{
    TVersionScan scan;
    for (size_t at = 0; at < bytes.size(); at += chunk)
        scan.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(chunk, bytes.size() - at));
    return scan.Finish(version);
}

// Program files of the build and of the system, up to `count` of each mask.
std::vector<std::string> ProgramFiles()
{
    std::vector<std::string> files = {BuiltProgramPath(), FixturePath("ver_1_2_3_4.dll"),
                                      FixturePath("ver_1_2_3_4_pad.dll"), FixturePath("hold_file.exe"),
                                      FixturePath("ole_probe_ok.dll")};
    if (FileExists(FixturePath("ver32_3_1_4_1.dll"))) files.push_back(FixturePath("ver32_3_1_4_1.dll"));
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    for (const char* mask : {"\\*.dll", "\\*.exe"}) {
        WIN32_FIND_DATAA data;
        UniqueFind find(FindFirstFileA((std::string(system) + mask).c_str(), &data));
        for (int taken = 0; find && taken < 120;) {
            if (data.nFileSizeHigh == 0 && data.nFileSizeLow < (2u << 20)) {
                files.push_back(std::string(system) + "\\" + data.cFileName);
                ++taken;
            }
            if (!FindNextFileA(find.Get(), &data)) break;
        }
    }
    return files;
}

TEST(VersionScan, GivesTheVersionTheSystemReadsInAnyChunks)
{
    size_t found = 0;
    size_t asked = 0;
    std::vector<std::string> files = ProgramFiles();
    ASSERT_GT(files.size(), 100u);
    for (const std::string& path : files) {
        std::string bytes = ReadFileBytes(path);
        std::string system = GetFileVersionText(path);
        for (size_t chunk : {bytes.size() + 1, size_t{1} << 20, size_t{4096}, size_t{333}}) {
            std::string version;
            TVersionScanResult result = Scan(bytes, chunk, version);
            if (result == TVersionScanResult::AskSystem) {
                ++asked;
                continue;
            }
            EXPECT_EQ(version, system) << path << " in chunks of " << chunk;
            found += result == TVersionScanResult::Found;
        }
    }
    EXPECT_EQ(asked, 0u);
    EXPECT_GT(found, 100u);
    std::string version;
    ASSERT_EQ(Scan(ReadFileBytes(FixturePath("ver_1_2_3_4.dll")), 1, version), TVersionScanResult::Found);
    EXPECT_EQ(version, "1.2.3.4");
    if (FileExists(FixturePath("ver32_3_1_4_1.dll"))) {
        ASSERT_EQ(Scan(ReadFileBytes(FixturePath("ver32_3_1_4_1.dll")), 4096, version), TVersionScanResult::Found);
        EXPECT_EQ(version, "3.1.4.1");
    }
}

TEST(VersionScan, OtherFilesAndCutProgramsNeverGiveAWrongVersion)
{
    std::string version;
    for (const std::string& bytes : {std::string(), std::string("MZ"), std::string("plain text\r\n"),
                                     std::string(70000, '\xFF'), std::string("MZ") + std::string(200, '\xFF')}) {
        TVersionScanResult result = Scan(bytes, 4096, version);
        EXPECT_NE(result, TVersionScanResult::Found) << bytes.size();
        EXPECT_EQ(version, "");
    }
    // Every cut of a program file: no version, or a question for the
    // system, or (once the resource is whole) the right one.
    std::string module = ReadFileBytes(FixturePath("ver_1_2_3_5_pad.dll"));
    ASSERT_GT(module.size(), 5000u);
    size_t found = 0;
    for (size_t length = 0; length <= module.size(); length += 3) {
        TVersionScanResult result = Scan(module.substr(0, length), 512, version);
        if (result == TVersionScanResult::Found) {
            EXPECT_EQ(version, "1.2.3.5") << length;
            ++found;
        }
    }
    EXPECT_GT(found, 0u);
}

}  // namespace
