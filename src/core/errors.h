// Errors that leave an operation and reach the one guard of the main flow.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>

// A failed operating-system call. Its message is the one the guard prints:
// "System Error.  Code: %d." and the system's text, or
// "A call to an OS function failed" for code 0.
class OsError : public std::runtime_error {
public:
    explicit OsError(DWORD code);
    DWORD Code() const noexcept { return m_code; }

private:
    DWORD m_code;
};

// An input/output error of a file the program reads or writes as text.
// Its message is the system's text for the code, or "I/O error %d".
class IoError : public std::runtime_error {
public:
    explicit IoError(DWORD code);
    DWORD Code() const noexcept { return m_code; }

private:
    DWORD m_code;
};

// Raises OsError with the calling thread's last error code. Call it at once
// after the failing call, before anything else can change that code.
[[noreturn]] void RaiseLastOsError();
[[noreturn]] void RaiseOsError(DWORD code);

// The system's message text for a code (inserts ignored, 256-byte buffer),
// with trailing characters below code 33 and full stops removed. Empty when
// the system has no text for the code.
std::string SystemMessage(DWORD code);

// The system's text for a code; the code itself ("Error 5", "Error 0x8FFF0001")
// where the system has none (many OLE results), so that the administrator
// still has something to look up.
std::string SystemMessageOrCode(int32_t code);
