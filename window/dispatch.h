// The main window's dialog procedure: set-up, dispatch of every command,
// closing, the system menu and the resume from suspend.
#pragma once

#include "ui/winsys.h"

INT_PTR MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
