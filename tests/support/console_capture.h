// In-process tests of code that prints step lines: while a ConsoleCapture
// lives, the console layer writes to a file of its own (as when the program's
// output is redirected) and a key wait ends at once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/console.h"
#include "core/handles.h"
#include "harness.h"

namespace testing_support {

class ConsoleCapture {
public:
    ConsoleCapture() : m_saved(ConsoleState)
    {
        m_path = m_dir / "console.txt";
        m_file.Reset(CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ConsoleState.OutputHandle = m_file.Get();
        ConsoleState.InputHandle = nullptr;  // reading fails: a key wait ends at once
        ConsoleState.OutputIsConsole = false;
        ConsoleState.InputIsConsole = false;
        ConsoleState.ColumnsWritten = 0;
    }
    ~ConsoleCapture() { ConsoleState = m_saved; }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Everything written so far.
    std::string Text() const { return ReadFileBytes(m_path); }
    // The same, split into lines.
    std::vector<std::string> Lines() const { return SplitLines(Text()); }

private:
    TConsoleState m_saved;
    TempDir m_dir;
    std::string m_path;
    UniqueFile m_file;
};

}  // namespace testing_support
