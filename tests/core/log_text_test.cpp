// The log text's separator and restart rule, and the Elapsed and Win Status
// texts: the output cores, without a window.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <winscard.h>

#include "core/output/log.h"
#include "core/output/result_text.h"

namespace {

// The log with something behind it that an append must never reach.
struct GuardedLog {
    char text[LOG_TEXT_SIZE];
    char canary[8];
};

GuardedLog guarded;

void FillLog(size_t length)
{
    memset(guarded.text, 'o', length);
    guarded.text[length] = '\0';
    strcpy(guarded.canary, "canary");
}

TEST(LogText, EntriesAreSeparatedByOneCrLf)
{
    FillLog(0);
    // An empty entry on an empty log leaves it empty.
    for (const char* entry : {"", "first", "second\r\nline", "", "last"})
        EXPECT_FALSE(AppendLogEntry(guarded.text, entry)) << entry;
    EXPECT_STREQ(guarded.text, "first\r\nsecond\r\nline\r\n\r\nlast");
}

// The log restarts when old + new + 2 reaches 9994; an entry too long for
// the buffer keeps its first 9993 characters and never writes past it.
TEST(LogText, RestartsWhenOldPlusNewPlusTwoReaches9994)
{
    struct Case {
        size_t old, entry;
        const char* tail;  // ends the entry; line breaks count like any character
        bool restarts;
        size_t length;
    } cases[] = {
        {9000, 991, "", false, 9993},     {9000, 992, "", true, 992},  {0, 9991, "", false, 9991},
        {0, 9992, "", true, 9992},        {9992, 0, "", true, 0},      {9991, 0, "", false, 9993},
        {9000, 989, "\r\n", false, 9993}, {9993, 1, "", true, 1},      {10, 9998, "", true, 9998},
        {10, 9999, "", true, 9993},       {10, 10000, "", true, 9993}, {10, 29999, "", true, 9993},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.old) + " + " + std::to_string(c.entry));
        FillLog(c.old);
        std::string entry = std::string(c.entry, 'n') + c.tail;
        EXPECT_EQ(AppendLogEntry(guarded.text, entry.c_str()), c.restarts);
        std::string expected = c.restarts ? entry : std::string(c.old, 'o') + (c.old ? "\r\n" : "") + entry;
        EXPECT_EQ(guarded.text, expected.substr(0, c.length));
        EXPECT_STREQ(guarded.canary, "canary");
    }
}

TEST(ResultText, ElapsedIsTicksOverTicksPerMsOverTheDivisor)
{
    struct Case {
        int64_t start, end, ticksPerMs;
        int32_t divisor;
        const char* shown;
    } cases[] = {
        {0, 1234567, 1000000, 1, " 1.23 ms"},
        {0, 0, 1000000, 1, " 0.00 ms"},
        {100, 12345678 + 100, 1000000, 1, "12.35 ms"},
        {0, 123456789000000, 1000000, 1, "123456789.00 ms"},
        {0, 250000000, 1000000, 100, " 2.50 ms"},
        {0, 250000000, 1000000, 3, "83.33 ms"},
        {0, 250000000, 1000000, 1, "250.00 ms"},
        {5, 0, 1000000, 1, "-0.00 ms"},
        {0, 7, 0, 1, " 7.00 ms"},  // fewer than 1000 ticks per second
        {0, 7, -3, 1, " 7.00 ms"},
    };
    for (const Case& c : cases) {
        char text[RESULT_TEXT_SIZE];
        FormatElapsed(text, Span {c.start, c.end}, c.ticksPerMs, c.divisor);
        EXPECT_STREQ(text, c.shown) << c.end - c.start << " ticks";
    }
}

TEST(ResultText, StatusShowsTheLow32BitsInEightUpperCaseDigits)
{
    struct Case {
        LONG status;
        const char* shown;
    } cases[] = {
        {SCARD_S_SUCCESS, "0x00000000"}, {SCARD_W_REMOVED_CARD, "0x80100069"},     {SCARD_E_NO_SMARTCARD, "0x8010000C"},
        {0xABCDE, "0x000ABCDE"},         {LONG(0x1234567880100017), "0x80100017"}, {-1, "0xFFFFFFFF"},
    };
    for (const Case& c : cases) {
        char text[RESULT_TEXT_SIZE];
        FormatStatus(text, c.status);
        EXPECT_STREQ(text, c.shown);
    }
}

}  // namespace
