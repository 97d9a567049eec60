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

// Beyond the available area the window scrolls; where its content fits,
// nothing about it changes. Sizes are pixels at scale 1.5 (the window 732 x
// 711 in Qt's units, 1047 with the panel; the frame adds 2 x 14), bars 14.
TEST(WindowPlacement, ContentLargerThanTheAreaScrollsWhereItOverflows)
{
    const struct {
        const char* screen;
        int contentWidth, contentHeight, maxWidth, maxHeight;
        ClientLayout expected;
    } cases[] = {
        {"fits 1920x1200", 732, 711, 1278, 786, {732, 711, 732, 711, false, false}},
        {"fits exactly", 732, 711, 732, 711, {732, 711, 732, 711, false, false}},
        // Too tall only: the bar goes beside the content, the width grows.
        {"1280x1024 closed", 732, 711, 851, 667, {746, 667, 732, 667, false, true}},
        {"1280x1024 with the panel", 1047, 711, 851, 667, {851, 667, 837, 653, true, true}},
        // Too wide only, then the bar below makes it too tall as well.
        {"wide, height to spare", 1047, 600, 851, 667, {851, 614, 851, 600, true, false}},
        {"wide, the bar overflows", 1047, 660, 851, 667, {851, 667, 837, 653, true, true}},
        // Tall, and the bar beside it makes it too wide.
        {"tall, the bar overflows", 845, 711, 851, 667, {851, 667, 837, 653, true, true}},
    };
    for (const auto& c : cases) {
        ClientLayout layout = LayOutClient(c.contentWidth, c.contentHeight, c.maxWidth, c.maxHeight, 14);
        EXPECT_EQ(layout.width, c.expected.width) << c.screen;
        EXPECT_EQ(layout.height, c.expected.height) << c.screen;
        EXPECT_EQ(layout.viewWidth, c.expected.viewWidth) << c.screen;
        EXPECT_EQ(layout.viewHeight, c.expected.viewHeight) << c.screen;
        EXPECT_EQ(layout.horizontal, c.expected.horizontal) << c.screen;
        EXPECT_EQ(layout.vertical, c.expected.vertical) << c.screen;
    }
}

// The focus scrolls into view: a control in view keeps the view where it
// is, one beyond an edge comes to that edge, the position stays in range.
TEST(WindowPlacement, TheFocusedControlScrollsIntoViewByTheLeast)
{
    const struct {
        const char* control;
        int position, start, length, expected;
    } cases[] = {
        {"in view", 20, 100, 25, 20},        {"below the view", 0, 678, 25, 36},
        {"above the view", 36, 10, 25, 10},  {"taller than the view, its start", 0, 300, 700, 44},
        {"the last pixels", 0, 700, 11, 44},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScrollToShow(c.position, 667, 711, c.start, c.length), c.expected) << c.control;
}

}  // namespace
