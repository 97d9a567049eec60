// What the handlers show: the log pane, the Win Status and Elapsed fields, and
// Clear Log. The texts come from the output cores; this file puts them in
// the window.
#include "window/window_output.h"

#include <cstdio>
#include <cstring>

#include "core/output/log.h"
#include "core/output/result_text.h"
#include "core/pcsc/status_text.h"
#include "ui/ids.h"
#include "window/card_page.h"
#include "window/commands.h"
#include "window/tester_state.h"

void LogAppend(const char* entry)
{
    // Only what the entry added goes to the pane, unless the log restarted.
    size_t end = strlen(tester.logText);
    if (AppendLogEntry(tester.logText, entry))
        SetDlgItemText(tester.mainWindow, IDC_LOG, tester.logText);
    else
        AppendDlgItemText(tester.mainWindow, IDC_LOG, tester.logText + end);
}

namespace {

void PutLogEntry([[maybe_unused]] void* context, const char* entry)
{
    LogAppend(entry);
}

}  // namespace

const LineSink windowLog {PutLogEntry, nullptr};

void ShowElapsed(const Span& span, int32_t divisor)
{
    char text[RESULT_TEXT_SIZE];
    FormatElapsed(text, span, tester.ticksPerMs, divisor);
    SetDlgItemText(tester.mainWindow, IDC_ELAPSED, text);
}

void ShowStatus(LONG status)
{
    char text[RESULT_TEXT_SIZE];
    FormatStatus(text, status);
    SetDlgItemText(tester.mainWindow, IDC_WIN_STATUS, text);
    char description[STATUS_TEXT_SIZE];
    DescribeStatus(status, description, sizeof description);
    SetDlgItemTip(tester.mainWindow, IDC_WIN_STATUS, description);
    ShowLastCallStatus(description, status != SCARD_S_SUCCESS);
}

void ShowEmptyMeasurement()
{
    int64_t now = QueryPerformanceCounter();
    ShowElapsed(Span {now, now});
    ShowStatus(SCARD_S_SUCCESS);
}

INT_PTR ClearLog([[maybe_unused]] int id)
{
    ShowEmptyMeasurement();
    tester.logText[0] = '\0';
    SetDlgItemText(tester.mainWindow, IDC_LOG, tester.logText);
    return TRUE;
}

void InDocumentsFolder(const char* name, char* path, int capacity)
{
    if (GetDocumentsFolder(path, capacity)) {
        size_t used = strlen(path);
        if (snprintf(path + used, size_t(capacity) - used, "/%s", name) < capacity - int(used))
            return;
    }
    snprintf(path, size_t(capacity), "%s", name);
}

void LogFileDialogError()
{
    unsigned error = CommDlgExtendedError();
    if (error == 0)
        return;
    char line[64];
    snprintf(line, sizeof line, "Common Dialog error 0x%08X opening file dialog.", error);
    LogAppend(line);
}
