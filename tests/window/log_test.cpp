// The log pane, the Elapsed and Win Status fields, and Clear Log.
#include <string>

#include <QPlainTextEdit>
#include <QScrollBar>

#include "app/window_output.h"
#include "window_fixture.h"

using LogTest = MainWindowTest;

static void FillLog(size_t length)
{
    memset(tester.logText, 'o', length);
    tester.logText[length] = '\0';
}

TEST_F(LogTest, EntriesAreSeparatedByOneCrLfAndShownWhole)
{
    LogAppend("first");
    LogAppend("second\r\nline");
    LogAppend("");
    LogAppend("last");
    EXPECT_STREQ(tester.logText, "first\r\nsecond\r\nline\r\n\r\nlast");
    std::string pane = Text(IDC_LOG);
    EXPECT_NE(pane.find("first"), std::string::npos);
    EXPECT_NE(pane.find("last"), std::string::npos);
}

TEST_F(LogTest, EmptyEntryOnEmptyLogLeavesItEmpty)
{
    LogAppend("");
    EXPECT_STREQ(tester.logText, "");
    LogAppend("one");
    EXPECT_STREQ(tester.logText, "one");
}

TEST_F(LogTest, RestartsWhenOldPlusNewPlusTwoReaches9994)
{
    struct Case {
        size_t old, entry;
        bool restarts;
    } cases[] = {
        {9000, 991, false}, {9000, 992, true}, {0, 9991, false}, {0, 9992, true}, {9992, 0, true}, {9991, 0, false},
    };
    for (const Case& c : cases) {
        FillLog(c.old);
        std::string entry(c.entry, 'n');
        LogAppend(entry.c_str());
        std::string expected = c.restarts ? entry : std::string(c.old, 'o') + (c.old ? "\r\n" : "") + entry;
        EXPECT_EQ(tester.logText, expected) << c.old << " + " << c.entry;
    }
}

TEST_F(LogTest, LineBreaksInsideAnEntryCountTowardTheRestart)
{
    FillLog(9000);
    std::string entry = std::string(989, 'n') + "\r\n";
    LogAppend(entry.c_str());
    EXPECT_EQ(strlen(tester.logText), 9993u);
    LogAppend("x");
    EXPECT_STREQ(tester.logText, "x");
}

// An entry too long for the buffer keeps its first 9993 characters and never
// writes past logText (the line scratch behind it stays untouched).
TEST_F(LogTest, OversizedEntryIsCutToAFullLog)
{
    static char entry[30000];
    for (size_t length : {9998, 9999, 10000, 29999}) {
        memset(entry, 'e', length);
        entry[length] = '\0';
        strcpy(tester.lineScratch, "canary");
        FillLog(10);
        LogAppend(entry);
        EXPECT_EQ(strlen(tester.logText), length >= 9999 ? 9993u : length) << length;
        EXPECT_STREQ(tester.lineScratch, "canary");
    }
}

// After each entry the pane shows the log's end, unless the reader has
// scrolled up: then the view stays on the lines being read.
TEST_F(LogTest, PaneFollowsTheEndUnlessScrolledUp)
{
    QScrollBar* bar = static_cast<QPlainTextEdit*>(Widget(IDC_LOG))->verticalScrollBar();
    for (int i = 0; i < 60; i++)
        LogAppend("entry");
    ASSERT_GT(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(5);
    LogAppend("while reading");
    EXPECT_EQ(bar->value(), 5);

    bar->setValue(bar->maximum());
    LogAppend("back at the end");
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(LogTest, ClearLogEmptiesThePaneAndShowsAnEmptyMeasurement)
{
    LogAppend("something");
    ShowStatus(SCARD_E_NO_SMARTCARD);
    EXPECT_EQ(Command(IDC_CLEAR_LOG), TRUE);
    EXPECT_STREQ(tester.logText, "");
    EXPECT_EQ(Text(IDC_LOG), "");
    EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
    EXPECT_EQ(Text(IDC_ELAPSED), " 0.00 ms");
    LogAppend("after");
    EXPECT_STREQ(tester.logText, "after");
}

TEST_F(LogTest, ElapsedIsTicksOverTicksPerMsOverTheLoopCount)
{
    struct Case {
        int64_t start, end, ticksPerMs;
        int32_t loopEnabled, loopCount;
        const char* shown;
    } cases[] = {
        {0, 1234567, 1000000, 0, 100, " 1.23 ms"},
        {0, 0, 1000000, 0, 100, " 0.00 ms"},
        {100, 12345678 + 100, 1000000, 0, 1, "12.35 ms"},
        {0, 123456789000000, 1000000, 0, 1, "123456789.00 ms"},
        {0, 250000000, 1000000, 1, 100, " 2.50 ms"},
        {0, 250000000, 1000000, 1, 3, "83.33 ms"},
        {0, 250000000, 1000000, 0, 3, "250.00 ms"},
        {5, 0, 1000000, 0, 1, "-0.00 ms"},
        {0, 7, 0, 0, 1, " 7.00 ms"},  // fewer than 1000 ticks per second
        {0, 7, -3, 0, 1, " 7.00 ms"},
    };
    for (const Case& c : cases) {
        tester.ticksPerMs = c.ticksPerMs;
        tester.loopEnabled = c.loopEnabled;
        tester.loopCount = c.loopCount;
        ShowElapsed(Span {c.start, c.end});
        EXPECT_EQ(Text(IDC_ELAPSED), c.shown) << c.end - c.start << " ticks";
    }
}

TEST_F(LogTest, StatusShowsTheLow32BitsInEightUpperCaseDigits)
{
    struct Case {
        LONG status;
        const char* shown;
    } cases[] = {
        {SCARD_S_SUCCESS, "0x00000000"}, {SCARD_W_REMOVED_CARD, "0x80100069"},     {SCARD_E_NO_SMARTCARD, "0x8010000C"},
        {0xABCDE, "0x000ABCDE"},         {LONG(0x1234567880100017), "0x80100017"}, {-1, "0xFFFFFFFF"},
    };
    for (const Case& c : cases) {
        ShowStatus(c.status);
        EXPECT_EQ(Text(IDC_WIN_STATUS), c.shown);
    }
}

// With the loop on, every timed call is divided by the loop count at display.
TEST_F(LogTest, LoopDivisorAppliesToConnectionCalls)
{
    Script(fakePcsc.establish, SCARD_E_NO_SERVICE);
    tester.loopEnabled = 1;
    tester.loopCount = 100;
    Command(IDC_ESTABLISH);
    char expected[64];
    snprintf(expected, sizeof expected, "%5.2f ms", double(tester.shownTicks) / double(tester.ticksPerMs) / 100.0);
    EXPECT_EQ(Text(IDC_ELAPSED), expected);
}
