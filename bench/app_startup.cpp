// Time from process start to the main window shown. The program has no
// options, so this benchmark starts itself again as a child process (same
// libraries as the window: Qt, pcsc-lite, the core) that runs the program's
// entry steps: QApplication, the counter rate, the modal main window from
// IDD_MAIN with MainDialogProc. The child notes when WM_INITDIALOG has
// finished and when the window is first exposed on the platform (offscreen
// unless one is given), then presses Quit. The parent reads the clock just
// before fork and exec, so the figures include loading the libraries.
// Prints min/median/max over several starts; asserts nothing.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include "core/clock/counter.h"
#include "ui/ids.h"
#include "window/dispatch.h"
#include "window/tester_state.h"

constexpr int STARTS = 15;

static int64_t NowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

static int64_t initDoneNs;
static int64_t shownNs;

static INT_PTR TimedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result = MainDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG)
        initDoneNs = NowNs();
    return result;
}

class ExposeWatch : public QObject {
protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (shownNs == 0 && event->type() == QEvent::Expose && object->isWindowType()
            && static_cast<QWindow*>(object)->isExposed()) {
            shownNs = NowNs();
            QTimer::singleShot(0, [] { SendCommand(tester.mainWindow, IDC_QUIT); });
        }
        return false;
    }
};

// The child: the program's entry with two clocks added. Prints the offsets
// from the parent's clock reading in microseconds.
static int RunChild(int64_t startNs, int argc, char* argv[])
{
    int64_t mainNs = NowNs();
    QApplication application(argc, argv);
    int64_t applicationNs = NowNs();
    ExposeWatch watch;
    application.installEventFilter(&watch);
    QTimer::singleShot(10000, [] { SendCommand(tester.mainWindow, IDC_QUIT); });

    int64_t frequency = QueryPerformanceFrequency();
    tester.ticksPerMs = frequency > 0 ? frequency / 1000 : 1;
    DialogBoxParam(IDD_MAIN, nullptr, TimedDialogProc, 0);
    if (shownNs == 0)
        return 1;
    printf("%lld %lld %lld %lld\n", (long long)(mainNs - startNs) / 1000, (long long)(applicationNs - startNs) / 1000,
           (long long)(initDoneNs - startNs) / 1000, (long long)(shownNs - startNs) / 1000);
    return 0;
}

int main(int argc, char* argv[])
{
    if (argc == 3 && strcmp(argv[1], "--child") == 0)
        return RunChild(atoll(argv[2]), argc, argv);

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static const char* names[] = {"main() entered", "QApplication made", "WM_INITDIALOG done", "window shown"};
    long long figures[4][STARTS];
    int done = 0;
    for (int run = 0; run < STARTS; run++) {
        int output[2];
        if (pipe(output) != 0)
            return 1;
        char start[32];
        snprintf(start, sizeof start, "%lld", (long long)NowNs());
        pid_t child = fork();
        if (child == 0) {
            dup2(output[1], STDOUT_FILENO);
            close(output[0]);
            execl("/proc/self/exe", argv[0], "--child", start, (char*)nullptr);
            _exit(127);
        }
        close(output[1]);
        char line[256] = {};
        ssize_t length = read(output[0], line, sizeof line - 1);
        close(output[0]);
        int status = 0;
        waitpid(child, &status, 0);
        long long values[4];
        if (length <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0
            || sscanf(line, "%lld %lld %lld %lld", &values[0], &values[1], &values[2], &values[3]) != 4) {
            fprintf(stderr, "app_startup: start %d did not show the window\n", run + 1);
            continue;
        }
        for (int i = 0; i < 4; i++)
            figures[i][done] = values[i];
        done++;
    }
    if (done == 0)
        return 1;

    printf("Process start (fork + exec) to the main window, %d starts, platform %s\n", done, getenv("QT_QPA_PLATFORM"));
    printf("  %-20s %10s %10s %10s\n", "milestone", "min ms", "median ms", "max ms");
    for (int i = 0; i < 4; i++) {
        std::sort(figures[i], figures[i] + done);
        printf("  %-20s %10.2f %10.2f %10.2f\n", names[i], figures[i][0] / 1000.0, figures[i][done / 2] / 1000.0,
               figures[i][done - 1] / 1000.0);
    }
    printf("share of the median start spent before main(): %.0f%%; in window set-up and showing: %.0f%%\n",
           100.0 * figures[0][done / 2] / figures[3][done / 2],
           100.0 * (figures[3][done / 2] - figures[1][done / 2]) / figures[3][done / 2]);
    return 0;
}
