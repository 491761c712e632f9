#include "core/console.h"

#include "core/log_record.h"

TConsoleState ConsoleState;

namespace {

bool QueryScreen(CONSOLE_SCREEN_BUFFER_INFO& info)
{
    return GetConsoleScreenBufferInfo(ConsoleState.OutputHandle, &info) != 0;
}

void WriteTo(HANDLE handle, const char* data, size_t length)
{
    while (length > 0) {
        DWORD written = 0;
        DWORD chunk = length > 0x10000 ? 0x10000 : static_cast<DWORD>(length);
        // A failed write leaves the console as it was; nothing to report to.
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return;
        data += written;
        length -= written;
    }
}

void WriteRaw(const char* data, size_t length)
{
    if (!ConsoleState.Muted) WriteTo(ConsoleState.OutputHandle, data, length);
}

}  // namespace

void InitConsole()
{
    ConsoleState.InputHandle = GetStdHandle(STD_INPUT_HANDLE);
    ConsoleState.OutputHandle = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    ConsoleState.InputIsConsole = GetConsoleMode(ConsoleState.InputHandle, &mode) != 0;
    CONSOLE_SCREEN_BUFFER_INFO info;
    ConsoleState.OutputIsConsole = QueryScreen(info);
    if (ConsoleState.OutputIsConsole) {
        ConsoleState.ScreenSize = {info.dwSize.X, info.dwSize.Y};
    } else {
        // Redirected output has no screen; these values only keep the
        // arithmetic defined.
        ConsoleState.ScreenSize = {80, 25};
    }
    InitWindow();
}

void InitWindow()
{
    ConsoleState.WindowMin = {0, 0};
    ConsoleState.WindowMax = {static_cast<int16_t>(ConsoleState.ScreenSize.Column - 1),
                              static_cast<int16_t>(ConsoleState.ScreenSize.Row - 1)};
    SetTextAttribute(ColorGrey);
    ClearWindow();
}

void ClearWindow()
{
    if (!ConsoleState.OutputIsConsole) return;  // a file or pipe has nothing to clear
    const TConsoleState& s = ConsoleState;
    DWORD width = static_cast<DWORD>(s.WindowMax.Column - s.WindowMin.Column + 1);
    for (int row = s.WindowMin.Row; row <= s.WindowMax.Row; ++row) {
        COORD start{s.WindowMin.Column, static_cast<SHORT>(row)};
        DWORD done = 0;
        FillConsoleOutputCharacterA(s.OutputHandle, ' ', width, start, &done);
        FillConsoleOutputAttribute(s.OutputHandle, s.CurrentAttribute, width, start, &done);
    }
    SetConsoleCursorPosition(s.OutputHandle, COORD{s.WindowMin.Column, s.WindowMin.Row});
    ConsoleState.ColumnsWritten = 0;
}

TConsolePoint CursorPosition()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (ConsoleState.OutputIsConsole && QueryScreen(info))
        return {info.dwCursorPosition.X, info.dwCursorPosition.Y};
    // Redirected: the column is what was written since the last line break.
    return {static_cast<int16_t>(ConsoleState.ColumnsWritten), 0};
}

int16_t CursorColumn()
{
    return static_cast<int16_t>(CursorPosition().Column + 1 - ConsoleState.WindowMin.Column);
}

int16_t CursorRow()
{
    return static_cast<int16_t>(CursorPosition().Row + 1 - ConsoleState.WindowMin.Row);
}

void MoveCursor(int16_t column, int16_t row)
{
    const TConsoleState& s = ConsoleState;
    if (column < 1 || column > s.WindowMax.Column - s.WindowMin.Column + 1) return;
    if (row < 1 || row > s.WindowMax.Row - s.WindowMin.Row + 1) return;
    if (!s.OutputIsConsole) return;
    SetConsoleCursorPosition(s.OutputHandle, COORD{static_cast<SHORT>(column + s.WindowMin.Column - 1),
                                                   static_cast<SHORT>(row + s.WindowMin.Row - 1)});
}

uint8_t TextAttribute()
{
    return ConsoleState.CurrentAttribute;
}

void SetTextAttribute(uint8_t attribute)
{
    // The attribute is recorded even when the console refuses it.
    if (ConsoleState.OutputIsConsole) SetConsoleTextAttribute(ConsoleState.OutputHandle, attribute);
    ConsoleState.CurrentAttribute = attribute;
}

void SetForeground(uint8_t color)
{
    SetTextAttribute(static_cast<uint8_t>((ConsoleState.CurrentAttribute & 0xF0) | (color & 0x0F)));
}

void SetWindowTitle(const std::string& text)
{
    SetConsoleTitleA(text.c_str());  // no console window: nothing to title
}

char WaitForKey()
{
    if (!ConsoleState.InputIsConsole) {
        // Unattended run: one byte of input, or end of input, ends the wait.
        char byte = 0;
        DWORD read = 0;
        if (ReadFile(ConsoleState.InputHandle, &byte, 1, &read, nullptr) && read == 1) return byte;
        return 0;
    }
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        // A console that cannot be read any more would otherwise make this
        // loop spin for ever.
        if (!ReadConsoleInputA(ConsoleState.InputHandle, &record, 1, &read)) return 0;
        if (read == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
            ConsoleState.LastKeyEvent = record.Event.KeyEvent;
            return record.Event.KeyEvent.uChar.AsciiChar;
        }
    }
}

void CloseConsole()
{
    CloseHandle(ConsoleState.OutputHandle);
}

void ConsoleWrite(const std::string& text)
{
    ConsoleWrite(text, text);
}

void ConsoleWrite(const std::string& oemText, const std::string& ansiText)
{
    RecordText(ansiText);
    if (oemText.empty()) return;
    WriteRaw(oemText.data(), oemText.size());
    size_t lastBreak = oemText.find_last_of('\n');
    if (lastBreak == std::string::npos)
        ConsoleState.ColumnsWritten += static_cast<int>(oemText.size());
    else
        ConsoleState.ColumnsWritten = static_cast<int>(oemText.size() - lastBreak - 1);
}

void ConsoleWriteLine()
{
    ConsoleWrite("\r\n");
}

void MuteScreen()
{
    ConsoleState.Muted = true;
    // No cursor moves or colours either: the status boxes are padded as in redirected output.
    ConsoleState.OutputIsConsole = false;
}

void WriteStandardOutput(const std::string& bytes)
{
    WriteTo(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), bytes.size());
}

void WriteStandardError(const std::string& bytes)
{
    WriteTo(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), bytes.size());
}
