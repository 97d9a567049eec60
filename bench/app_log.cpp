// Cost of one LogAppend with the real log pane (offscreen platform unless one
// is given): into an empty log, into a log of about 9900 characters (the pane
// gets only the new entry), and into a full log that restarts (the pane gets
// the whole new text). Each figure is timed twice: LogAppend alone, and
// LogAppend with the repaint that follows when the event loop runs. Prints
// medians and ratios; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>

#include "core/clock/counter.h"
#include "ui/ids.h"
#include "window/dispatch.h"
#include "window/tester_state.h"
#include "window/window_output.h"

constexpr int RUNS = 300;
// A typical verdict-sized entry.
static const char ENTRY[] = "SCardTransmit: Output: 90 00 ";

static double NowUs()
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Log lines of 64 characters up to `length` characters in all.
static void PrepareLog(size_t length)
{
    size_t used = 0;
    tester.logText[0] = '\0';
    while (used + 66 <= length) {
        if (used > 0) {
            memcpy(tester.logText + used, "\r\n", 2);
            used += 2;
        }
        memset(tester.logText + used, 'a' + used % 26, 64);
        used += 64;
    }
    while (used < length)
        tester.logText[used++] = 'z';
    tester.logText[used] = '\0';
    SetDlgItemText(tester.mainWindow, IDC_LOG, tester.logText);
    QApplication::processEvents();
}

struct Figures {
    double append;     // median microseconds of LogAppend alone
    double withPaint;  // median microseconds of LogAppend and the repaint after it
};

static Figures Measure(size_t logLength)
{
    static double alone[RUNS], painted[RUNS];
    for (int i = 0; i < RUNS; i++) {
        PrepareLog(logLength);
        double start = NowUs();
        LogAppend(ENTRY);
        alone[i] = NowUs() - start;

        PrepareLog(logLength);
        start = NowUs();
        LogAppend(ENTRY);
        QApplication::processEvents();
        painted[i] = NowUs() - start;
    }
    std::sort(alone, alone + RUNS);
    std::sort(painted, painted + RUNS);
    return {alone[RUNS / 2], painted[RUNS / 2]};
}

int main(int argc, char* argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    int64_t frequency = QueryPerformanceFrequency();
    tester.ticksPerMs = frequency > 0 ? frequency / 1000 : 1;
    HWND window = CreateDialogParam(IDD_MAIN, nullptr, MainDialogProc, 0);
    if (window == nullptr) {
        fprintf(stderr, "app_log: the main window could not be created\n");
        return 1;
    }

    Figures empty = Measure(0);
    Figures nearFull = Measure(9900);
    Figures full = Measure(9993);
    DestroyDialog(window);

    printf("LogAppend of a %zu-character entry, median of %d runs (platform %s)\n", strlen(ENTRY), RUNS,
           qPrintable(QApplication::platformName()));
    printf("  %-34s %10s %10s %18s\n", "log before the append", "append us", "ratio", "append+paint us");
    printf("  %-34s %10.1f %10.2f %18.1f\n", "empty", empty.append, 1.0, empty.withPaint);
    printf("  %-34s %10.1f %10.2f %18.1f\n", "9900 characters (append fits)", nearFull.append,
           nearFull.append / empty.append, nearFull.withPaint);
    printf("  %-34s %10.1f %10.2f %18.1f\n", "9993 characters (log restarts)", full.append, full.append / empty.append,
           full.withPaint);
    printf("ratio near-full / empty: %.2f (LogAppend alone), %.2f (with the repaint)\n", nearFull.append / empty.append,
           nearFull.withPaint / empty.withPaint);
    printf("append to a near-full log with the repaint: %.3f ms (target <= 0.2 ms)\n", nearFull.withPaint / 1000.0);
    return 0;
}
