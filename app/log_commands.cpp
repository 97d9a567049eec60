// Save Log... in the system menu: the log as it stands, into a file chosen
// in the file dialog.
#include "app/commands.h"

#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "app/window_output.h"
#include "output/log.h"
#include "state/tester_state.h"

namespace {

constexpr int PATH_CAPACITY = 4096;
constexpr int LINE_SIZE = PATH_CAPACITY + 128;

}  // namespace

INT_PTR CmdSaveLog([[maybe_unused]] int id)
{
    char path[PATH_CAPACITY] = "quarnel-test.log";
    char line[LINE_SIZE];
    if (!GetSaveFileName(mainWindow, "Log Files", "*.log", path, PATH_CAPACITY)) {
        unsigned error = CommDlgExtendedError();
        if (error != 0) {
            snprintf(line, sizeof line, "Common Dialog error 0x%08X opening file dialog.", error);
            LogAppend(line);
        }
        return TRUE;
    }
    // The file holds the log without the line that reports the save.
    int error = SaveLog(path, tester.logText);
    if (error != 0)
        snprintf(line, sizeof line, "Cannot save %s: %s.", path, strerror(error));
    else
        snprintf(line, sizeof line, "Log saved to %s.", path);
    LogAppend(line);
    return TRUE;
}
