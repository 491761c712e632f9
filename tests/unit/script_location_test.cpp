// Where a script named on the command line is taken from: the program's
// directory for a name alone, the file meant for a full path or a path from
// the current directory.
#include <gtest/gtest.h>

#include "engine_support.h"
#include "file_support.h"
#include "harness.h"
#include "run/script_location.h"

using namespace testing_support;

namespace {

TEST(ScriptLocation, ANameAloneIsTheProgramDirectorysAndAPathTheFileMeant)
{
    TempDir app;
    TempDir other;
    CreateDirectoryA((app / "sub").c_str(), nullptr);
    for (const std::string& path : {app / "s.ini", app / "sub\\t.ini", other / "s.ini", other / "o.ini"})
        WriteFileBytes(path, "[Options]\r\n");
    const std::string& exeDir = app.Path();

    EXPECT_EQ(LocateScript("missing.ini", exeDir), "missing.ini");  // as always, whether there or not
    EXPECT_EQ(LocateScript(app / "s.ini", exeDir), "s.ini");
    EXPECT_EQ(LocateScript(app / "sub\\t.ini", exeDir), "sub\\t.ini");
    EXPECT_EQ(LocateScript(ShortPathOf(app / "s.ini"), exeDir), "s.ini");
    EXPECT_EQ(LocateScript(app / "sub\\..\\s.ini", exeDir), "s.ini");
    EXPECT_EQ(LocateScript(other / "o.ini", exeDir), other / "o.ini");
    EXPECT_EQ(LocateScript(other / "missing.ini", exeDir), other / "missing.ini");

    CurrentDirScope current(other.Path());
    // The program's directory first, as always; then the current directory.
    EXPECT_EQ(LocateScript(".\\s.ini", exeDir), "s.ini");
    EXPECT_EQ(LocateScript(".\\o.ini", exeDir), other / "o.ini");
    EXPECT_EQ(LocateScript("..\\" + LeafName(app.Path()) + "\\sub\\t.ini", exeDir), "sub\\t.ini");
    EXPECT_EQ(LocateScript(".\\gone.ini", exeDir), ".\\gone.ini");
}

}  // namespace
