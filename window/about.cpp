// The About box: the program's name and the file version stamped into it.
#include "window/about.h"

#include "core/version/version.h"
#include "ui/ids.h"

void ShowVersionTitle(HWND dialog, int id)
{
    char commandLine[COMMAND_LINE_SIZE] = {};
    FILE* arguments = fopen("/proc/self/cmdline", "rb");
    if (arguments) {
        JoinCommandLine(arguments, commandLine, sizeof commandLine);
        fclose(arguments);
    }
    char line[VERSION_LINE_SIZE];
    if (BuildVersionLine(commandLine, line, sizeof line))
        SetDlgItemText(dialog, id, line);
}

INT_PTR AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, [[maybe_unused]] LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowVersionTitle(dialog, IDC_ABOUT_VERSION);
        return FALSE;
    case WM_COMMAND:
        // Escape arrives as IDCANCEL and leaves the box open.
        if (LOWORD(wParam) != IDC_ABOUT_OK)
            return FALSE;
        EndDialog(dialog, INT_PTR(wParam));
        return TRUE;
    case WM_CLOSE:
    case WM_DESTROY:
        EndDialog(dialog, INT_PTR(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
