#include "core/report.h"

#include <windows.h>

#include <cstdio>

#include "core/ansi_text.h"
#include "core/console.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/log_record.h"
#include "core/run_state.h"

namespace {

// Restores the foreground colour on every path, also when a write throws.
class ForegroundScope {
public:
    ForegroundScope(uint8_t color, uint8_t saved) : m_saved(saved) { SetForeground(color); }
    ~ForegroundScope() { SetForeground(m_saved); }
    ForegroundScope(const ForegroundScope&) = delete;
    ForegroundScope& operator=(const ForegroundScope&) = delete;

private:
    uint8_t m_saved;
};

// Moves to the status column (the next row when the text has passed it) and
// writes "["; gives the attribute in force before the box.
uint8_t PlaceStatusBox()
{
    if (ConsoleState.OutputIsConsole) {
        int16_t row = CursorRow();
        if (CursorColumn() > StatusColumn) {
            if (row == ConsoleState.ScreenSize.Row)
                ConsoleWriteLine();  // scrolls; the row number stays
            else
                ++row;
        }
        MoveCursor(StatusColumn, row);
    } else {
        // Redirected: pad with blanks so that "[" stands at the status column.
        int column = ConsoleState.ColumnsWritten + 1;
        if (column > StatusColumn) {
            ConsoleWriteLine();
            column = 1;
        }
        ConsoleWrite(std::string(static_cast<size_t>(StatusColumn - column), ' '));
    }
    uint8_t saved = TextAttribute();
    ConsoleWrite("[");
    return saved;
}

}  // namespace

std::string ToOem(const std::string& text)
{
    return AnsiToOem(text);
}

void WriteText(const std::string& text)
{
    ConsoleWrite(ToOem(text), text);
}

void WriteLine(const std::string& text)
{
    ConsoleWrite(ToOem(text), text);
    ConsoleWriteLine();
}

void WriteDiagnosticLine(const std::string& text)
{
    if (ConsoleState.Muted) {
        RecordText(text + "\r\n");
        WriteStandardError(ToOem(text) + "\r\n");
        return;
    }
    WriteLine(text);
}

void ReportItem(const std::string& text)
{
    if (!Run.PendingBanner.empty()) {
        WriteLine(Run.PendingBanner);
        Run.PendingBanner.clear();
    }
    if (!Run.PendingHeading.empty()) {
        WriteLine(Run.PendingHeading);
        Run.PendingHeading.clear();
    }
    WriteText(text);
}

namespace {

// Completes the open step line with the box of the status word in its colour
// and ends the line; gives the attribute in force before the box. The log has
// the word instead of the box.
uint8_t StatusBox(unsigned word, uint8_t color)
{
    RecordStatus(Msg(word), StatusColumn);
    RecordPause screenOnly;
    uint8_t saved = PlaceStatusBox();
    {
        ForegroundScope box(color, saved);
        WriteText(Msg(word));
    }
    ConsoleWrite("]");
    ConsoleWriteLine();
    return saved;
}

// A plan's reason stands under the step text, deeper than any step line.
constexpr size_t ReasonIndent = 10;

// A box of the plan's, then the reason on a line of its own.
void PlanBox(unsigned word, uint8_t color, const std::string& reason, uint8_t reasonColor)
{
    uint8_t saved = StatusBox(word, color);
    ForegroundScope text(reasonColor, saved);
    WriteLine(std::string(ReasonIndent, ' ') + reason);
}

}  // namespace

void ReportOk()
{
    StatusBox(MsgOkBox, ColorLightGreen);
}

void ShowChange(const std::string& reason)
{
    PlanBox(MsgPlanChangeBox, ColorLightYellow, reason, TextAttribute() & 0x0F);
}

void ShowFailure(const std::string& message)
{
    PlanBox(MsgFailedBox, ColorLightRed, Msg(MsgErrorPrefix) + message, ColorWhite);
}

void ShowKept(const std::string& reason)
{
    PlanBox(MsgKeptBox, ColorLightYellow, reason, TextAttribute() & 0x0F);
}

bool LineOpen()
{
    return ConsoleState.ColumnsWritten > 0;
}

void EndOpenLine()
{
    if (LineOpen()) WriteLine();
}

void ReportFailedBox()
{
    StatusBox(MsgFailedBox, ColorLightRed);
}

void ReportErrorText(const std::string& message)
{
    uint8_t saved = TextAttribute();
    RecordText("\r\n" + Msg(MsgErrorPrefix) + message + "\r\n");
    RecordPause screenOnly;  // the log has the error; its layout and the prompt are for the screen
    ConsoleWriteLine();
    {
        ForegroundScope color(ColorWhite, saved);
        WriteLine(Msg(MsgErrorPrefix) + message);
    }
    ConsoleWriteLine();
    WriteText(Msg(MsgPressAnyKey));
    {
        KeyWaitScope waiting;
        WaitForKey();
    }
    ConsoleWriteLine();
}

void ReportError(const std::string& message)
{
    ReportFailedBox();
    ReportErrorText(message);
}

void ReportFailure(int32_t code)
{
    Run.LastErrorCode = code;
    ReportError(SystemMessageOrCode(code));
}
