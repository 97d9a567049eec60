// Where a window goes so that it lies inside the screen's available area
// (the screen less the desktop's panels): a pure function of the two
// rectangles, so that every screen size can be tried without one.
#pragma once

#include "ui/winsys.h"

// The window's rectangle (its frame, right and bottom exclusive) moved the
// least it must to lie inside `area`, its size kept; a window wider or
// taller than the area starts at the area's left or top edge, so that its
// title bar and its fixed left part stay reachable.
RECT FitWindowInArea(const RECT& window, const RECT& area);
