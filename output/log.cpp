// The log pane, the Win Status and Elapsed fields, and Clear Log.
#include "output/log.h"

#include <cstdio>
#include <cstring>

#include "output/counter.h"
#include "state/tester_state.h"
#include "ui/ids.h"

// The log restarts when old + new + separator would reach this length, so it
// never holds more than LOG_RESTART_LENGTH - 1 characters.
constexpr size_t LOG_RESTART_LENGTH = 9994;

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
    SetDlgItemText(tester.hwndMain, IDC_LOG, tester.logText);
}

void ShowElapsed()
{
    double divisor = tester.loopEnabled ? tester.loopCount : 1;
    // A counter slower than 1000 ticks per second would give 0 ticks per ms.
    int64_t ticksPerMs = tester.ticksPerMs < 1 ? 1 : tester.ticksPerMs;
    double ms = double(tester.counterEnd - tester.counterStart) / double(ticksPerMs) / divisor;
    snprintf(tester.statusScratch, sizeof tester.statusScratch, "%5.2f ms", ms);
    SetDlgItemText(tester.hwndMain, IDC_ELAPSED, tester.statusScratch);
}

void ShowStatus(LONG status)
{
    snprintf(tester.statusScratch, sizeof tester.statusScratch, "0x%08X", unsigned(uint32_t(status)));
    SetDlgItemText(tester.hwndMain, IDC_WIN_STATUS, tester.statusScratch);
}

INT_PTR ClearLog()
{
    tester.counterStart = QueryPerformanceCounter();
    tester.counterEnd = QueryPerformanceCounter();
    ShowElapsed();
    ShowStatus(SCARD_S_SUCCESS);
    tester.logText[0] = '\0';
    SetDlgItemText(tester.hwndMain, IDC_LOG, tester.logText);
    return TRUE;
}
