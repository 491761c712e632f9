// The console layer (module CRT): standard handles, cursor, colours, clearing,
// title and single-key input. When standard output or input is not a console
// (redirected to a file or pipe), output is plain text and the key wait reads
// one byte, so an unattended run never hangs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct TConsolePoint {
    int16_t Column = 0;
    int16_t Row = 0;
};

struct TConsoleState {
    HANDLE InputHandle = nullptr;
    HANDLE OutputHandle = nullptr;
    TConsolePoint ScreenSize;  // columns, rows of the whole screen buffer
    TConsolePoint WindowMin;   // always (0, 0)
    TConsolePoint WindowMax;   // always (columns - 1, rows - 1)
    uint8_t CurrentAttribute = 7;
    KEY_EVENT_RECORD LastKeyEvent{};
    bool OutputIsConsole = false;
    bool InputIsConsole = false;
    int ColumnsWritten = 0;  // characters written since the last line break
    bool Muted = false;      // nothing goes to the screen (the run log still records)
};

extern TConsoleState ConsoleState;

constexpr int StatusColumn = 45;
constexpr uint8_t ColorGrey = 7;
constexpr uint8_t ColorLightGreen = 10;
constexpr uint8_t ColorLightRed = 12;
constexpr uint8_t ColorLightYellow = 14;
constexpr uint8_t ColorWhite = 15;

void InitConsole();
void InitWindow();
void ClearWindow();
TConsolePoint CursorPosition();
int16_t CursorColumn();  // from 1
int16_t CursorRow();     // from 1
void MoveCursor(int16_t column, int16_t row);
uint8_t TextAttribute();
void SetTextAttribute(uint8_t attribute);
void SetForeground(uint8_t color);
void SetWindowTitle(const std::string& text);
char WaitForKey();
void CloseConsole();

// Writes bytes as they are (already in the OEM code page) without a line
// break; the text is on the screen when the call returns. The run log records
// the text as it is: use it for text that is the same in both code pages.
void ConsoleWrite(const std::string& text);
// The same for text converted to the OEM code page; the run log records
// `ansiText`, the text before the conversion.
void ConsoleWrite(const std::string& oemText, const std::string& ansiText);
// Writes a line break.
void ConsoleWriteLine();

// From now on nothing is written to the screen or standard output, though
// the run log records every line as before: for output that a program reads
// from standard output (a plan's JSON document).
void MuteScreen();

// Writes the bytes to standard output as they are, muted or not.
void WriteStandardOutput(const std::string& bytes);

// Writes the bytes to standard error as they are.
void WriteStandardError(const std::string& bytes);
