// Where the window goes when its panel opens: inside the screen's available
// area, for the screens people have (the rectangles are the window's frame
// in pixels, 732 wide without the panel and 1047 with it at scale 1).
#include <gtest/gtest.h>

#include "ui/placement.h"

namespace {

TEST(WindowPlacement, TheWidenedWindowStaysInsideTheAvailableArea)
{
    const struct {
        const char* screen;
        RECT window;
        RECT area;
        int left;
        int top;
    } cases[] = {
        // Centred narrow on 1280 pixels, the panel ends 41 pixels beyond.
        {"1280x1024 centred", {274, 200, 1321, 800}, {0, 0, 1280, 1024}, 233, 200},
        {"1280x1024 inside", {100, 200, 1147, 800}, {0, 0, 1280, 1024}, 100, 200},
        // Wider than the screen: its fixed left part stays on it.
        {"1024x768 below a top bar", {146, 100, 1193, 700}, {0, 27, 1024, 768}, 0, 100},
        {"1024x768 off the bottom", {0, 300, 1047, 900}, {0, 27, 1024, 768}, 0, 168},
        // Scale 1.5: 1570 wide and taller than the screen, so its title bar
        // goes to the area's top.
        {"scale 1.5 on 1280x1024", {91, -60, 1661, 1140}, {0, 27, 1280, 1024}, 0, 27},
        {"second screen on the right", {1900, 100, 2947, 700}, {1280, 0, 2560, 1024}, 1513, 100},
        {"partly left of the screen", {-40, 100, 1007, 700}, {0, 0, 1280, 1024}, 0, 100},
    };
    for (const auto& c : cases) {
        RECT fitted = FitWindowInArea(c.window, c.area);
        EXPECT_EQ(fitted.left, c.left) << c.screen;
        EXPECT_EQ(fitted.top, c.top) << c.screen;
        EXPECT_EQ(fitted.right - fitted.left, c.window.right - c.window.left) << c.screen;
        EXPECT_EQ(fitted.bottom - fitted.top, c.window.bottom - c.window.top) << c.screen;
    }
}

}  // namespace
