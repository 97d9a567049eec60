// What the handlers show: the log pane, the Win Status and Elapsed fields, and
// Clear Log.
#include "app/window_output.h"

#include <cstdio>
#include <cstring>

#include "app/commands.h"
#include "app/main_window.h"
#include "output/timing.h"
#include "state/tester_state.h"
#include "ui/ids.h"

// The log restarts when old + new + separator would reach this length, so it
// never holds more than LOG_RESTART_LENGTH - 1 characters.
constexpr size_t LOG_RESTART_LENGTH = 9994;
constexpr size_t STATUS_TEXT_SIZE = 56;

void LogAppend(const char* entry)
{
    size_t oldLength = strlen(tester.logText);
    size_t newLength = strlen(entry);

    if (oldLength + newLength + 2 >= LOG_RESTART_LENGTH) {
        // An entry too long for the buffer on its own keeps what a full log holds.
        if (newLength >= BUFFER_SIZE - 1)
            newLength = LOG_RESTART_LENGTH - 1;
        memcpy(tester.logText, entry, newLength);
        tester.logText[newLength] = '\0';
    } else {
        char* end = tester.logText + oldLength;
        if (oldLength > 0) {
            *end++ = '\r';
            *end++ = '\n';
        }
        memcpy(end, entry, newLength + 1);
    }
    SetDlgItemText(mainWindow, IDC_LOG, tester.logText);
}

void ShowElapsed(const Span& span)
{
    double divisor = tester.loopEnabled ? tester.loopCount : 1;
    // A counter slower than 1000 ticks per second would give 0 ticks per ms.
    int64_t ticksPerMs = tester.ticksPerMs < 1 ? 1 : tester.ticksPerMs;
    tester.shownTicks = span.end - span.start;
    double ms = double(span.end - span.start) / double(ticksPerMs) / divisor;
    char text[STATUS_TEXT_SIZE];
    snprintf(text, sizeof text, "%5.2f ms", ms);
    SetDlgItemText(mainWindow, IDC_ELAPSED, text);
}

void ShowStatus(LONG status)
{
    char text[STATUS_TEXT_SIZE];
    snprintf(text, sizeof text, "0x%08X", unsigned(uint32_t(status)));
    SetDlgItemText(mainWindow, IDC_WIN_STATUS, text);
}

void ShowEmptyMeasurement()
{
    int64_t now = QueryPerformanceCounter();
    ShowElapsed(Span {now, now});
    ShowStatus(SCARD_S_SUCCESS);
}

INT_PTR CmdClearLog([[maybe_unused]] int id)
{
    ShowEmptyMeasurement();
    tester.logText[0] = '\0';
    SetDlgItemText(mainWindow, IDC_LOG, tester.logText);
    return TRUE;
}
