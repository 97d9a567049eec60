// The About box and its version line.
#pragma once

#include "ui/winsys.h"

INT_PTR AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Builds "<name> - Version a.b.c.d" from the command line and the version
// record of the named file into control `id`; leaves it as it is otherwise.
void ShowVersionTitle(HWND dialog, int id);
