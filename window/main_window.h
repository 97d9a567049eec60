// The main window and its vendor popup menu: how the command handlers reach
// their controls. Set once by window set-up; the cores never see them.
#pragma once

#include "ui/winsys.h"

inline HWND mainWindow;
inline HMENU vendorMenu;
