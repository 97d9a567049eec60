// The window's placement inside the screen's available area.
#include "ui/placement.h"

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
