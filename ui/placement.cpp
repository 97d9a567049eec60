// The window's placement inside the screen's available area, and the part
// of its content that shows when it does not fit.
#include "ui/placement.h"

#include <algorithm>

namespace {

// The start of a span of `length` from `start`, moved back until it ends at
// `end` but not before `first`.
int FitSpan(int start, int length, int first, int end)
{
    if (start + length > end)
        start = end - length;
    return start < first ? first : start;
}

}  // namespace

RECT FitWindowInArea(const RECT& window, const RECT& area)
{
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int left = FitSpan(window.left, width, area.left, area.right);
    int top = FitSpan(window.top, height, area.top, area.bottom);
    return RECT {left, top, left + width, top + height};
}

ClientLayout LayOutClient(int contentWidth, int contentHeight, int maxWidth, int maxHeight, int barExtent)
{
    // Each bar takes room from the other axis; a bar never goes away once
    // the other one is added, so two rounds settle both.
    bool vertical = contentHeight > maxHeight;
    bool horizontal = false;
    for (int round = 0; round < 2; ++round) {
        horizontal = contentWidth + (vertical ? barExtent : 0) > maxWidth;
        vertical = contentHeight + (horizontal ? barExtent : 0) > maxHeight;
    }
    ClientLayout layout {};
    layout.horizontal = horizontal;
    layout.vertical = vertical;
    layout.width = horizontal ? maxWidth : contentWidth + (vertical ? barExtent : 0);
    layout.height = vertical ? maxHeight : contentHeight + (horizontal ? barExtent : 0);
    layout.viewWidth = std::max(layout.width - (vertical ? barExtent : 0), 0);
    layout.viewHeight = std::max(layout.height - (horizontal ? barExtent : 0), 0);
    return layout;
}

int ScrollToShow(int position, int view, int content, int start, int length)
{
    if (start < position || length > view)
        position = start;
    else if (start + length > position + view)
        position = start + length - view;
    return std::clamp(position, 0, std::max(content - view, 0));
}
