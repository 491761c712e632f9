// Names and handles that are not files on a disk. A device name opens the
// device whatever its extension ("aux.dat" is the serial port, "con.ini" the
// console), and reading one can wait forever; a pipe or a character device
// behind an ordinary-looking path does the same. Everything the program
// opens as a file is checked here first.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The last part of the path names a device: CON, PRN, AUX, NUL, COM1 to
// COM9, LPT1 to LPT9, CONIN$ or CONOUT$, in any letter case, whatever follows
// a dot or a colon and with blanks before it ignored, as the system takes it.
bool IsDeviceName(const std::string& path);

// The open handle is a file on a disk (not a device, pipe or console).
bool IsDiskFile(HANDLE file);

// The path may be opened as a file: it names no device, and when something
// of that name is there, it is a file or directory on a disk. A path that is
// missing or cannot be opened now passes: the operation that follows tells why.
bool MayOpenAsFile(const std::string& path);

// The same, asked of the system once per run and path: for files that many
// items name (an INI file of a hundred values).
bool MayOpenAsFileOnce(const std::string& path);

// What a copy needs to know of an open file, asked with the calls that give
// only that: GetFileInformationByHandle also asks for the volume's serial
// number, which costs Wine a round trip to its mount manager (more than
// reading a small file) and a network share one more request.
struct TOpenFileFacts {
    int64_t Size = 0;
    FILETIME WriteTime{};
    DWORD Attributes = 0;
};

// Fills `facts` from the open file; false with the system's error left in
// GetLastError. Without `attributes` they are not asked for.
bool OpenFileFacts(HANDLE file, TOpenFileFacts& facts, bool attributes = false);

// Whether the two paths name one file (two hard links of it): the same volume
// and file index. False when either cannot be opened or asked.
bool SameFile(const std::string& a, const std::string& b);
