#include <gtest/gtest.h>

#include "core/disk_files.h"
#include "core/handles.h"
#include "harness.h"

using namespace testing_support;

namespace {

TEST(DiskFiles, DeviceNamesWhateverTheirExtensionOrDirectory)
{
    for (const char* name : {"AUX", "aux.dat", "C:\\app\\con.ini", "nul.txt.bak", "Prn", "com1.log", "LPT9",
                             "aux .txt", "C:aux", "conin$", "CONOUT$.log", "\\\\.\\COM3", "dir/nul", "com1:"})
        EXPECT_TRUE(IsDeviceName(name)) << name;
    for (const char* name : {"aux1.dat", "auxiliary.ini", "com0.log", "com10", "console.ini", "C:\\aux\\x.dat",
                             "xaux.dat", "", "C:\\app\\", ".aux", "_aux.dat"})
        EXPECT_FALSE(IsDeviceName(name)) << name;
}

TEST(DiskFiles, OnlyFilesOnADiskMayBeOpened)
{
    TempDir dir;
    WriteFileBytes(dir / "plain.txt", "p");
    EXPECT_TRUE(MayOpenAsFile(dir / "plain.txt"));
    EXPECT_TRUE(MayOpenAsFile(dir / "missing.txt"));  // the operation that follows tells
    EXPECT_FALSE(MayOpenAsFile(dir / "aux.dat"));
    // A pipe behind a name that looks like any other.
    std::string pipe = "\\\\.\\pipe\\vantorel-test-" + NewGuid();
    UniqueFile server(CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 2, 512, 512, 0, nullptr));
    ASSERT_TRUE(server);
    EXPECT_FALSE(MayOpenAsFile(pipe));
}

}  // namespace
