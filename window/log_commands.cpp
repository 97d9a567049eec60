// Save Log... in the system menu and the insight panel: the log as it
// stands, into a file chosen in the file dialog, and the last loop's samples
// beside it.
#include "window/commands.h"

#include <cstdio>
#include <cstring>

#include "core/output/log.h"
#include "core/transmit/transmit.h"
#include "window/panel.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

constexpr int PATH_CAPACITY = 4096;
constexpr int LINE_SIZE = PATH_CAPACITY + 128;

// The log's path with ".csv" for its ".log", or after it.
void SamplesPath(const char* logPath, char (&path)[PATH_CAPACITY + 4])
{
    size_t length = strlen(logPath);
    if (length >= 4 && strcmp(logPath + length - 4, ".log") == 0)
        length -= 4;
    snprintf(path, sizeof path, "%.*s.csv", int(length), logPath);
}

}  // namespace

INT_PTR SaveLog([[maybe_unused]] int id)
{
    char path[PATH_CAPACITY];
    InDocumentsFolder("quarnel-test.log", path, PATH_CAPACITY);
    char line[LINE_SIZE];
    if (!GetSaveFileName(tester.mainWindow, "Log Files", "*.log", path, PATH_CAPACITY)) {
        LogFileDialogError();
        return TRUE;
    }
    // The file holds the log without the line that reports the save.
    int error = WriteLogFile(path, tester.logText);
    if (error != 0)
        snprintf(line, sizeof line, "Cannot save %s: %s.", path, strerror(error));
    else
        snprintf(line, sizeof line, "Log saved to %s.", path);
    LogAppend(line);
    // A running loop's record is the worker's until it ends.
    if (!LoopRunning() && tester.loop.record.runsMade > 0) {
        char samples[PATH_CAPACITY + 4];
        SamplesPath(path, samples);
        SaveLoopSamples(samples);
    }
    return TRUE;
}
