// The window's entry: the counter rate is measured and the main window runs
// as a modal dialog until it ends.
#include "window/window_entry.h"

#include <cstdio>

#include <QApplication>

#include "core/clock/counter.h"
#include "ui/ids.h"
#include "window/dispatch.h"
#include "window/tester_state.h"

extern "C" [[gnu::visibility("default")]] int QuarnelRunWindow(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Lets Wayland desktops match the window to its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quarnel.TestUtility"));

    int64_t frequency = QueryPerformanceFrequency();
    tester.ticksPerMs = frequency > 0 ? frequency / 1000 : 1;

    INT_PTR result = DialogBoxParam(IDD_MAIN, nullptr, MainDialogProc, 0);
    if (result < 0) {
        char message[64];
        snprintf(message, sizeof message, "Application error 0x%08X in main window dialog!", GetLastError());
        ShowErrorMessageBox(message, "Quarnel Test Program");
    }
    return 0;
}
