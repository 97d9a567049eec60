// Where a window goes so that it lies inside the screen's available area
// (the screen less the desktop's panels), and how much of its content shows
// when it is larger than that area: pure functions of the sizes, so that
// every screen size can be tried without one.
#pragma once

#include "ui/winsys.h"

// The window's rectangle (its frame, right and bottom exclusive) moved the
// least it must to lie inside `area`, its size kept; a window wider or
// taller than the area starts at the area's left or top edge, so that its
// title bar and its fixed left part stay reachable.
RECT FitWindowInArea(const RECT& window, const RECT& area);

// A window's client area when it may be no larger than maxWidth x
// maxHeight. Content that fits gets the client area of its own size and no
// scroll bar. Otherwise the client area fills the limit on the axis that
// overflows and a scroll bar `barExtent` thick (along the bottom edge for
// the width, the right edge for the height) brings the rest into view; a
// bar can make the other axis overflow too.
struct ClientLayout {
    int width;  // the client area
    int height;
    int viewWidth;  // the part of it that shows content, the bars left out
    int viewHeight;
    bool horizontal;  // a scroll bar along the bottom edge
    bool vertical;    // a scroll bar along the right edge
};
ClientLayout LayOutClient(int contentWidth, int contentHeight, int maxWidth, int maxHeight, int barExtent);

// The scroll position on one axis (0 to content - view) that shows the span
// [start, start + length) of the content in a view `view` long, moved the
// least from `position`; of a span longer than the view, its start shows.
int ScrollToShow(int position, int view, int content, int start, int length);
