// Reading run logs block by block, in one pass and with memory that does not
// grow with the file: a block is handed on when its footer is read, and what
// cannot be read as a block (cut off, broken into, garbage, a header of
// another format or code page) is handed on as a place, and reading goes on.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/log_format.h"

struct TLogBlock {
    TLogHeader Header;
    TLogFooter Footer;
    bool Restarting = false;  // the self-update's restart line: the restarted copy's block tells the outcome
    std::string FailedStep;   // the first failed step; "<item>: <entry>" when an entry of an item failed
    std::string Error;        // the error text after the failure, else the last one of the block
    uint64_t Line = 0;        // the header's line in its file, from 1
};

enum class TUnreadableKind { CutOff, NotUnderstood, Garbage, Stray, FooterAlone };

struct TUnreadable {
    TUnreadableKind Kind = TUnreadableKind::CutOff;
    uint64_t Line = 0;  // where it begins, from 1
};

// Takes what the reader finds, in the order of the file.
class TBlockSink {
public:
    virtual ~TBlockSink() = default;
    virtual void OnBlock(const TLogBlock& block) = 0;
    virtual void OnUnreadable(const TUnreadable& place) = 0;
};

// Reads a log's bytes in pieces of any size (a line may span pieces).
class TLogParser {
public:
    TLogParser(const std::vector<TLogLanguage>& languages, TBlockSink& sink);
    void Feed(const char* data, size_t size);
    // The end of the file: a last line without its line end, a block without
    // its footer.
    void Finish();

private:
    enum class TState { Outside, InBlock, InBadBlock };
    void Line(std::string_view line, bool tooLong, bool zero);
    void MarkerLine(std::string_view line);
    void BodyLine(std::string_view line);
    void CloseBlock();
    void BeginBlock(const TLogHeader& header);

    const std::vector<TLogLanguage>& m_languages;
    TBlockSink& m_sink;
    TState m_state = TState::Outside;
    std::string m_carry;  // a line begun in an earlier piece
    bool m_carryTooLong = false;
    bool m_carryZero = false;
    bool m_atStart = true;
    uint64_t m_line = 0;
    TLogBlock m_block;
    uint64_t m_badLine = 0;      // InBadBlock: where it began
    bool m_blockGarbage = false;  // a line of the open block was garbage
    bool m_strayOpen = false;     // text outside blocks was told since the last block
    bool m_failed = false;
    bool m_errorKept = false;  // the error after the failure was read: it stays the block's error
    bool m_errorOpen = false;  // the lines that follow continue the error's text
    // The line before and the last "-> item" line of the open block, as views
    // of the piece being read; when a piece is done, kept in strings of their own.
    std::string_view m_previousLine, m_lastItem;
    std::string m_previousKept, m_lastItemKept;
    void KeepViews();
};

// Reads the file from start to end. ERROR_SUCCESS, or the system's code when
// it cannot be opened or read (what was handed on before a read error stands).
// A path that names a device, or a handle that is no disk file, gives
// ERROR_BAD_DEVICE: reading one may wait forever. A file held by a writer is
// waited for a few seconds, as writers wait for each other.
DWORD ReadLogFile(const std::string& path, const std::vector<TLogLanguage>& languages, TBlockSink& sink);

// The log files a command-line path names: a file itself, or in a directory
// (not below it) every "*.log" and rotated "*.log.1", each rotated file
// before its current one. ERROR_SUCCESS or the system's code.
DWORD ListLogFiles(const std::string& path, std::vector<std::string>& files);
