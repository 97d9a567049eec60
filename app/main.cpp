// Program entry: with arguments the command line, which needs no display;
// without, the counter rate is measured and the main window runs.
#include <cstdio>

#include <QApplication>

#include "app/cli.h"
#include "app/dispatch.h"
#include "app/main_window.h"
#include "output/counter.h"
#include "state/tester_state.h"
#include "ui/ids.h"

int main(int argc, char* argv[])
{
    if (argc > 1)
        return RunCommandLine(argc, argv);
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
