// The transmit core (no window): progress, the record of every run, the
// expected status word, the summary lines. Transmit and the loop in the
// window, against the simulated reader: runs made, progress, Break on Error,
// the loop on its worker (Stop, Escape, inert controls, closing), the
// count field's cap, the request size limit and the send record per protocol.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>

#include <QTimer>

#include "compose_support.h"
#include "core/transmit/transmit.h"
#include "window/commands.h"

namespace {

class TransmitTest : public ComposeTest {
protected:
    void SetUp() override
    {
        ComposeTest::SetUp();
        if (HaveSimulatedReader()) {
            Connect(0);
            ASSERT_NE(tester.hCard, 0);
        }
    }

    void TearDown() override
    {
        if (HaveSimulatedReader()) {
            SimSetFailEvery(0, 0);
            SimSetDelayMicros(0, 0);
        }
        ComposeTest::TearDown();
    }

    // Storage type with GetUID: every run is a success of the card.
    void SelectGetUid()
    {
        Click(IDC_TYPE_STORAGE);
        Click(IDC_CMD_GETUID);
    }

    // What Elapsed shows for the last Transmit's span, per run of `divisor` runs.
    std::string ElapsedFor(int divisor)
    {
        const Span& span = tester.loop.outcome.span;
        char text[64];
        snprintf(text, sizeof text, "%5.2f ms", double(span.end - span.start) / double(tester.ticksPerMs) / divisor);
        return text;
    }

    // Starts a loop on a reader slow enough that it cannot end by itself
    // during a test, waits until a run has been made, then calls `during`.
    void DuringSlowLoop(const std::function<void()>& during)
    {
        SelectGetUid();
        SetLoop(true, LOOP_COUNT_MAX);
        ASSERT_TRUE(SimSetDelayMicros(0, 20000));
        Click(IDC_TRANSMIT);
        bool fired = false, runningThen = false;
        QTimer::singleShot(0, [&] {
            fired = true;
            runningThen = LoopRunning();
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return fired && Text(IDC_LOOP_PROGRESS) == "0"; }, 10000));
        ASSERT_TRUE(runningThen) << "a timer fires while a run blocks";
        ASSERT_TRUE(LoopRunning());
        during();
    }
};

// The values the progress field shows, in order, for a loop of `count` runs.
std::vector<std::string> ProgressFor(int count)
{
    std::vector<std::string> values;
    for (int run = 1; run <= count; ++run)
        if (run * 100 / count % 5 == 0 && (values.empty() || values.back() != std::to_string(run * 100 / count)))
            values.push_back(std::to_string(run * 100 / count));
    return values;
}

// The transmit core against a scripted card (no window, no reader): run n
// answers script[n - 1] (a PC/SC code, or 90 00 unless it names another
// status word, or one byte with ONE_BYTE); runs beyond the script answer
// 90 00. The stop flag is set during run `stopDuringRun`.
struct ScriptedRun {
    LONG status;
    uint16_t sw;
};
constexpr uint16_t ONE_BYTE = 0x0001;
std::vector<ScriptedRun> script;
int scriptedCalls, stopDuringRun;
std::atomic<bool> scriptedStop;
// The record the core tests fill (the window's is tester.loop.record).
LoopRecord coreRecord;

LONG ScriptedTransmit(SCARDHANDLE, const SCARD_IO_REQUEST*, LPCBYTE, DWORD, SCARD_IO_REQUEST*, LPBYTE response,
                      LPDWORD length)
{
    ScriptedRun run = size_t(scriptedCalls) < script.size() ? script[size_t(scriptedCalls)] : ScriptedRun {0, 0};
    if (++scriptedCalls == stopDuringRun)
        scriptedStop = true;
    uint16_t sw = run.sw != 0 ? run.sw : 0x9000;
    response[0] = BYTE(sw >> 8);
    response[1] = BYTE(sw);
    *length = sw == ONE_BYTE ? 1 : 2;
    return run.status;
}

TransmitOutcome RunCore(int32_t runs, bool breakOnError, uint16_t expectedSw)
{
    BYTE request[5] = {}, response[8];
    scriptedCalls = 0;
    scriptedStop = false;
    pcsc.Transmit = ScriptedTransmit;
    TransmitOutcome outcome = TransmitLoop(1, SCARD_PROTOCOL_T1, request, sizeof request, runs, breakOnError,
                                           expectedSw, response, sizeof response, &scriptedStop, {}, &coreRecord);
    pcsc = pcscLibrary;
    return outcome;
}

// Where a loop ends and what its record holds: a PC/SC failure and an
// answer other than the expected status word both fail a run; Break on
// Error ends the loop there; Stop ends it after the run under way.
TEST(TransmitCore, RecordHoldsEveryRunAndWhereTheLoopEnded)
{
    const LONG FAIL = SCARD_E_NOT_TRANSACTED;
    struct Case {
        const char* what;
        std::vector<ScriptedRun> script;
        int32_t runs;
        bool breakOnError;
        uint16_t expectedSw;
        int stopDuringRun;
        int32_t runsMade, firstFailure;
        bool stopped;
    } cases[] = {
        {"all answered", {}, 7, true, NO_EXPECTED_SW, 0, 7, 0, false},
        {"failure, break", {{0, 0}, {0, 0}, {FAIL, 0}}, 7, true, NO_EXPECTED_SW, 0, 3, 3, false},
        {"failure, no break", {{0, 0}, {0, 0}, {FAIL, 0}}, 7, false, NO_EXPECTED_SW, 0, 7, 3, false},
        {"other SW, break", {{0, 0}, {0, 0x6A82}}, 7, true, 0x9000, 0, 2, 2, false},
        {"other SW, no break", {{0, 0}, {0, 0x6A82}}, 7, false, 0x9000, 0, 7, 2, false},
        {"other SW, no check", {{0, 0}, {0, 0x6A82}}, 7, true, NO_EXPECTED_SW, 0, 7, 0, false},
        // Without a status word an answer fails, checked or not.
        {"no status word, break", {{0, 0}, {0, ONE_BYTE}}, 7, true, NO_EXPECTED_SW, 0, 2, 2, false},
        {"no status word, checked", {{0, ONE_BYTE}}, 3, false, 0x9000, 0, 3, 1, false},
        {"expected SW", {{0, 0x6A82}, {0, 0x6A82}}, 2, true, 0x6A82, 0, 2, 0, false},
        {"stopped", {}, 7, true, NO_EXPECTED_SW, 4, 4, 0, true},
        {"stop in the last run", {}, 7, true, NO_EXPECTED_SW, 7, 7, 0, false},
        {"count beyond the record", {}, LOOP_COUNT_MAX + 1, true, NO_EXPECTED_SW, 0, LOOP_COUNT_MAX, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        script = c.script;
        stopDuringRun = c.stopDuringRun;
        TransmitOutcome outcome = RunCore(c.runs, c.breakOnError, c.expectedSw);
        EXPECT_EQ(outcome.runsMade, c.runsMade);
        EXPECT_EQ(coreRecord.runsMade, c.runsMade);
        EXPECT_EQ(coreRecord.runsPlanned, std::min(c.runs, LOOP_COUNT_MAX));
        EXPECT_EQ(coreRecord.firstFailure, c.firstFailure);
        EXPECT_EQ(coreRecord.stopped, c.stopped);
        for (int32_t run = 0; run < c.runsMade; ++run) {
            ScriptedRun expected = size_t(run) < c.script.size() ? c.script[size_t(run)] : ScriptedRun {0, 0};
            EXPECT_EQ(coreRecord.status[run], expected.status) << run;
            uint16_t sw = expected.status != 0 || expected.sw == ONE_BYTE ? 0 : expected.sw != 0 ? expected.sw : 0x9000;
            EXPECT_EQ(coreRecord.sw[run], sw) << run;
        }
        EXPECT_EQ(outcome.status, coreRecord.status[c.runsMade - 1]);
    }
}

TEST(TransmitCore, ExpectedSwIsTwoHexBytesOfAStatusWord)
{
    struct Case {
        const char* text;
        bool accepted;
        uint16_t sw;
    } cases[] = {
        {"90 00", true, 0x9000},    {"9000", true, 0x9000},        {" 6a82 ", true, 0x6A82}, {"61  10", true, 0x6110},
        {"", true, NO_EXPECTED_SW}, {"   ", true, NO_EXPECTED_SW}, {"9 000", false, 0},      {"90 0", false, 0},
        {"90 00 00", false, 0},     {"9G 00", false, 0},           {"0x9000", false, 0},     {"00 00", false, 0},
        {"12 34", false, 0},        {"90-00", false, 0},
    };
    for (const Case& c : cases) {
        uint16_t sw = 0x1234;
        EXPECT_EQ(ParseExpectedSw(c.text, &sw), c.accepted) << c.text;
        EXPECT_EQ(sw, c.accepted ? c.sw : 0x1234) << c.text;
    }
}

// A record filled by hand: what the two summary lines say of it.
TEST(TransmitCore, SummaryCountsOutcomesAndSpreadsTimes)
{
    struct Run {
        LONG status;
        uint16_t sw;
        int32_t count;
    };
    struct Case {
        const char* what;
        std::vector<Run> runs;       // in order, `count` runs each
        std::vector<int64_t> ticks;  // cycled over the runs
        const char* counts;
        const char* times;
    } cases[] = {
        {"one run",
         {{0, 0x9000, 1}},
         {9149},
         "Loop: 1 run, 1 answered 90 00",
         "Loop times (µs): min 9.1, median 9.1, p90 9.1, p99 9.1, max 9.1, mean 9.1"},
        {"mixed",
         {{0, 0x9000, 40}, {SCARD_E_NOT_TRANSACTED, 0, 1}, {0, 0x6A82, 2}, {0, 0, 1}, {0, 0x9000, 56}},
         {},
         "Loop: 100 runs, 96 answered 90 00, 2 answered 6A 82, 1 failed 0x80100016 (Transaction failed.), 1 failed "
         "with no status word",
         "Loop times (µs): min 1.0, median 50.0, p90 90.0, p99 99.0, max 100.0, mean 50.5"},
        {"outlier",
         {{0, 0x9000, 200}},
         {10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 5000000},
         "Loop: 200 runs, 200 answered 90 00",
         "Loop times (µs): min 10.0, median 10.0, p90 10.0, p99 5000.0, max 5000.0, mean 509.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        coreRecord = {};
        for (const Run& run : c.runs)
            for (int32_t i = 0; i < run.count; ++i) {
                int32_t n = coreRecord.runsMade++;
                coreRecord.status[n] = run.status;
                coreRecord.sw[n] = run.sw;
                // Without times given, run n takes (n * 37 % 100 + 1) us: 1 to 100 in a scrambled order.
                coreRecord.ticks[n] = c.ticks.empty() ? (n * 37 % 100 + 1) * 1000 : c.ticks[size_t(n) % c.ticks.size()];
            }
        LoopSummary summary;
        SummarizeLoop(coreRecord, &summary);
        char line[LOOP_LINE_SIZE];
        FormatLoopCounts(line, summary);
        EXPECT_STREQ(line, c.counts);
        FormatLoopTimes(line, summary);
        EXPECT_STREQ(line, c.times);
    }

    // More kinds than the table holds: the rest are counted together.
    coreRecord = {};
    coreRecord.runsMade = LOOP_OUTCOME_KINDS + 3;
    for (int32_t n = 0; n < coreRecord.runsMade; ++n)
        coreRecord.sw[n] = uint16_t(0x6100 + n);
    LoopSummary summary;
    SummarizeLoop(coreRecord, &summary);
    char line[LOOP_LINE_SIZE];
    FormatLoopCounts(line, summary);
    EXPECT_NE(strstr(line, ", 1 answered 61 0F, 3 with other outcomes"), nullptr) << line;
}

TEST_F(TransmitTest, LoopOffMakesOneRunAndLeavesProgressEmpty)
{
    REQUIRE_SIMULATED_READER();
    SelectGetUid();
    SetText(IDC_LOOP_COUNT, "100");
    ProgressObserver progress(window);

    Command(IDC_TRANSMIT);

    EXPECT_EQ(transmitSpy.calls, 1);
    EXPECT_EQ(progress.written, std::vector<std::string> {""});
    EXPECT_TRUE(progress.painted.empty());
    EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "");
    EXPECT_EQ(Text(IDC_ELAPSED), ElapsedFor(1));
    std::vector<std::string> entries = LogEntries();
    ASSERT_GE(entries.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(entries.end() - 4, entries.end()),
              (std::vector<std::string> {"SCardTransmit: Input:", "00 CA 00 00 00 ",
                                         "SCardTransmit: Output:", "04 A1 B2 C3 90 00 "}));
}

TEST_F(TransmitTest, LoopRunsCountTimesAndSummarizesThem)
{
    REQUIRE_SIMULATED_READER();
    SelectGetUid();
    for (int count : {1, 3, 200, 5000}) {
        SCOPED_TRACE(count);
        SetLoop(true, count);
        transmitSpy = {};
        ProgressObserver progress(window);

        TransmitAndWait();

        EXPECT_EQ(transmitSpy.calls, count);
        // The field is emptied first, then written whenever its value changes.
        std::vector<std::string> expected = ProgressFor(count);
        expected.insert(expected.begin(), "");
        EXPECT_EQ(progress.written, expected);
        EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "100");
        EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
        EXPECT_EQ(Text(IDC_ELAPSED), ElapsedFor(count));
        std::vector<std::string> entries = LogEntries();
        size_t summaryLines = count > 1 ? 2 : 0;
        ASSERT_GE(entries.size(), 2 + summaryLines);
        EXPECT_EQ(entries[entries.size() - 1 - summaryLines], "04 A1 B2 C3 90 00 ");
        if (count > 1) {
            EXPECT_EQ(entries[entries.size() - 2],
                      "Loop: " + std::to_string(count) + " runs, " + std::to_string(count) + " answered 90 00");
            EXPECT_EQ(entries.back().rfind("Loop times (µs): min ", 0), 0u) << entries.back();
            // The panel keeps the log's lines and adds the meaning of each
            // status word answered.
            EXPECT_EQ(Text(IDC_LOOP_SUMMARY),
                      entries[entries.size() - 2] + "\r\n" + entries.back() + "\r\n90 00: Normal processing");
        }
    }
}

struct BreakCase {
    bool breakOnError;
    int calls;
    const char* lastRun;
    const char* counts;
};

TEST_F(TransmitTest, BreakOnErrorDecidesWhereAFailingRunLeavesTheLoop)
{
    REQUIRE_SIMULATED_READER();
    SelectGetUid();
    SetLoop(true, 100);
    for (BreakCase c : {BreakCase {true, 3, "SCardTransmit: Failure!",
                                   "Loop: 3 runs, 2 answered 90 00, 1 failed 0x80100016 (Transaction failed.)"},
                        BreakCase {false, 100, "04 A1 B2 C3 90 00 ",
                                   "Loop: 100 runs, 67 answered 90 00, 33 failed 0x80100016 (Transaction failed.)"}}) {
        SCOPED_TRACE(c.breakOnError);
        if (Checked(IDC_BREAK_ON_ERROR) != c.breakOnError)
            Click(IDC_BREAK_ON_ERROR);
        ASSERT_EQ(tester.breakOnError, c.breakOnError ? 1 : 0);
        ASSERT_TRUE(SimSetFailEvery(0, 3));
        transmitSpy = {};
        ProgressObserver progress(window);

        TransmitAndWait();
        ASSERT_TRUE(SimSetFailEvery(0, 0));

        EXPECT_EQ(transmitSpy.calls, c.calls);
        ASSERT_GE(transmitSpy.statuses.size(), 3u);
        EXPECT_EQ(transmitSpy.statuses[2], SCARD_E_NOT_TRANSACTED);
        std::vector<std::string> entries = LogEntries();
        ASSERT_GE(entries.size(), 3u);
        EXPECT_EQ(entries[entries.size() - 3], c.lastRun);
        EXPECT_EQ(entries[entries.size() - 2], c.counts);
        // The loop's span is divided by the runs made.
        EXPECT_EQ(Text(IDC_ELAPSED), ElapsedFor(c.calls));
        if (c.breakOnError) {
            EXPECT_EQ(progress.written, std::vector<std::string> {""});
            EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "");
            EXPECT_EQ(Text(IDC_WIN_STATUS), "0x80100016");
            EXPECT_EQ(Log().find("SCardTransmit: Output:"), std::string::npos);
        } else {
            std::vector<std::string> written = ProgressFor(100);
            written.insert(written.begin(), "");
            EXPECT_EQ(progress.written, written);
            EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
        }
    }
}

// While a loop runs the window answers, Transmit reads "&Stop", and nothing
// that could start or change a command does anything; Stop and Escape end
// the loop after the run under way, and everything is as it was.
TEST_F(TransmitTest, SlowLoopStopsAfterTheRunUnderWay)
{
    REQUIRE_SIMULATED_READER();
    const int inert[] = {IDC_ESTABLISH,    IDC_LIST_READERS, IDC_CONNECT,    IDC_DISCONNECT,     IDC_RELEASE,
                         IDC_ATTRIBUTES,   IDC_TYPE_VENDOR,  IDC_CMD_READ,   IDC_MODE_HEX,       IDC_HEX_DATA,
                         IDC_LOAD_FILE,    IDC_LOOP,         IDC_LOOP_COUNT, IDC_BREAK_ON_ERROR, IDC_COLD_RESET,
                         IDC_SEND_CONTROL, IDC_CLASS_FF,     IDC_RUN_PLAN};
    struct Case {
        const char* what;
        std::function<void()> stop;
    } cases[] = {
        {"Stop", [&] { Click(IDC_TRANSMIT); }},
        {"Escape", [&] { QTest::keyClick(Window(), Qt::Key_Escape); }},
    };
    SelectGetUid();
    SetLoop(true, LOOP_COUNT_MAX);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Command(IDC_CLEAR_LOG);
        std::vector<bool> enabledBefore;
        for (int id : inert)
            enabledBefore.push_back(Enabled(id));
        transmitSpy = {};

        DuringSlowLoop([&] {
            EXPECT_EQ(Text(IDC_TRANSMIT), "&Stop");
            EXPECT_TRUE(Enabled(IDC_TRANSMIT));
            FakePcsc pcscBefore = fakePcsc;
            std::string logBefore = Log();
            for (int id : inert) {
                EXPECT_FALSE(Enabled(id)) << id;
                EXPECT_EQ(Command(id), FALSE) << id;
            }
            EXPECT_EQ(Log(), logBefore);
            EXPECT_EQ(memcmp(&fakePcsc, &pcscBefore, sizeof fakePcsc), 0) << "no PC/SC call";
            EXPECT_EQ(tester.commandType, COMMAND_STORAGE);
            EXPECT_EQ(tester.storageCommand, STORAGE_GET_UID);
            c.stop();
        });
        ASSERT_TRUE(QTest::qWaitFor([] { return !LoopRunning(); }, 10000));

        int made = transmitSpy.calls;
        EXPECT_GE(made, 1);
        EXPECT_LT(made, LOOP_COUNT_MAX);
        std::vector<std::string> entries = LogEntries();
        ASSERT_EQ(entries.size(), 7u);
        EXPECT_EQ(entries[2], "Loop stopped after " + std::to_string(made) + " of 5000 runs.");
        EXPECT_EQ(entries[3], "SCardTransmit: Output:");
        EXPECT_EQ(entries[5],
                  "Loop: " + std::to_string(made) + (made == 1 ? " run, " : " runs, ") + std::to_string(made)
                      + " answered 90 00");
        // Every run waited for the reader's 20 ms: the times are per run, in microseconds.
        double minUs = 0, medianUs = 0, p90Us = 0, p99Us = 0, maxUs = 0, meanUs = 0;
        ASSERT_EQ(sscanf(entries[6].c_str(),
                         "Loop times (µs): min %lf, median %lf, p90 %lf, p99 %lf, max %lf, mean %lf", &minUs, &medianUs,
                         &p90Us, &p99Us, &maxUs, &meanUs),
                  6)
            << entries[6];
        EXPECT_GE(minUs, 20000.0);
        EXPECT_TRUE(minUs <= medianUs && medianUs <= p90Us && p90Us <= p99Us && p99Us <= maxUs) << entries[6];
        EXPECT_TRUE(minUs <= meanUs && meanUs <= maxUs) << entries[6];
        EXPECT_EQ(Text(IDC_ELAPSED), ElapsedFor(made));
        EXPECT_EQ(Text(IDC_TRANSMIT), "&Transmit !");
        for (size_t i = 0; i < std::size(inert); ++i)
            EXPECT_EQ(Enabled(inert[i]), enabledBefore[i]) << inert[i];
    }
}

// Closing the window, or a resume from suspend, during a loop: the loop
// stops and its worker is joined before the context is released or the
// card reconnected, so no handle is used by two threads at once.
bool loopEndedBeforeCall;

LONG ReleaseAfterLoop(SCARDCONTEXT context)
{
    loopEndedBeforeCall = !LoopRunning();
    return pcscLibrary.ReleaseContext(context);
}

LONG ReconnectAfterLoop(SCARDHANDLE card, DWORD share, DWORD protocols, DWORD initialization, LPDWORD protocol)
{
    loopEndedBeforeCall = !LoopRunning();
    return pcscLibrary.Reconnect(card, share, protocols, initialization, protocol);
}

TEST_F(TransmitTest, ClosingDuringALoopStopsItFirst)
{
    REQUIRE_SIMULATED_READER();
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
        bool closes;
    } cases[] = {
        {"Quit", WM_COMMAND, IDC_QUIT, true},
        {"close box", WM_CLOSE, 0, true},
        {"destroy", WM_DESTROY, 0, true},
        {"resume", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        pcsc.ReleaseContext = ReleaseAfterLoop;
        pcsc.Reconnect = ReconnectAfterLoop;
        loopEndedBeforeCall = false;

        DuringSlowLoop([&] { SendDialogMessage(window, c.message, c.wParam, 0); });

        EXPECT_FALSE(LoopRunning());
        EXPECT_TRUE(loopEndedBeforeCall);
        EXPECT_EQ(tester.hContext == 0, c.closes);
        EXPECT_NE(Log().find("Loop stopped after "), std::string::npos);
    }
}

// The expected status word reaches the loop: an answer that ends otherwise
// fails the run and Break on Error ends the loop there; a text that is not
// a status word sends nothing.
TEST_F(TransmitTest, ExpectedSwChecksEveryAnswer)
{
    REQUIRE_SIMULATED_READER();
    if (Widget(IDC_EXPECTED_SW) == nullptr)
        GTEST_SKIP() << "the expected SW field comes with the insight panel";
    SelectGetUid();
    SetLoop(true, 100);
    struct Case {
        const char* expected;
        int calls;
        const char* lastEntry;
    } cases[] = {
        {"90 00", 100, "Loop: 100 runs, 100 answered 90 00"},
        {"6A82", 1, "Loop: 1 run, 1 answered 90 00"},
        {"9G 00", 0, "Expected SW: \"9G 00\" is not a status word; nothing sent."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        SetText(IDC_EXPECTED_SW, c.expected);
        Command(IDC_CLEAR_LOG);
        transmitSpy = {};
        TransmitAndWait();
        EXPECT_EQ(transmitSpy.calls, c.calls);
        std::vector<std::string> entries = LogEntries();
        ASSERT_GE(entries.size(), c.calls > 0 ? 3u : 1u);
        EXPECT_EQ(entries[entries.size() - (c.calls > 0 ? 2 : 1)], c.lastEntry);
    }
}

struct CountCase {
    const char* text;
    int32_t loopCount;  // once the next message has arrived
    const char* shown;
};

TEST_F(TransmitTest, CountFieldIsCappedAt5000AndRaisedToOne)
{
    Click(IDC_LOOP);
    for (CountCase c : {CountCase {"1", 1, "1"}, CountCase {"5000", 5000, "5000"}, CountCase {"5001", 5000, "5000"},
                        CountCase {"2147483647", 5000, "5000"}, CountCase {"4294967295", 1, "4294967295"},
                        CountCase {"0", 1, "0"}, CountCase {"", 1, ""}, CountCase {"many", 1, "many"}}) {
        SCOPED_TRACE(c.text);
        SetText(IDC_LOOP_COUNT, c.text);
        Command(IDC_P1_LABEL);
        EXPECT_EQ(tester.loopCount, c.loopCount);
        EXPECT_EQ(Text(IDC_LOOP_COUNT), c.shown);
    }

    // Typed: each keystroke reads the field, and the cap rewrites it.
    SetText(IDC_LOOP_COUNT, "");
    Widget(IDC_LOOP_COUNT)->setFocus();
    QTest::keyClicks(Widget(IDC_LOOP_COUNT), "6000");
    EXPECT_EQ(Text(IDC_LOOP_COUNT), "5000");
    EXPECT_EQ(tester.loopCount, 5000);
}

TEST_F(TransmitTest, EmptiedCountMakesOneRun)
{
    REQUIRE_SIMULATED_READER();
    SelectGetUid();
    SetLoop(true, 100);
    SetText(IDC_LOOP_COUNT, "");
    ProgressObserver progress(window);

    Command(IDC_TRANSMIT);

    EXPECT_EQ(transmitSpy.calls, 1);
    EXPECT_EQ(progress.painted, std::vector<std::string> {"100"});
    EXPECT_EQ(Text(IDC_LOOP_COUNT), "");
}

TEST_F(TransmitTest, RequestOf9999BytesIsSentAnd10000Refused)
{
    REQUIRE_SIMULATED_READER();
    Click(IDC_MODE_FILE);
    LoadFile(WriteFile("9999.bin", Pattern(9999)));
    ASSERT_EQ(tester.fileLen, 9999u);
    Command(IDC_TRANSMIT);
    ASSERT_EQ(transmitSpy.calls, 1);
    EXPECT_EQ(transmitSpy.requests[0], Pattern(9999));
    std::string dump = HexDump(Pattern(9999)).substr(0, 990) + "...";
    EXPECT_NE(Log().find("SCardTransmit: Input:\r\n" + dump + "\r\n"), std::string::npos);

    Command(IDC_CLEAR_LOG);
    SetText(IDC_LOOP_PROGRESS, "40");
    SetText(IDC_ELAPSED, "elapsed");
    SetText(IDC_WIN_STATUS, "status");
    LoadFile(WriteFile("10000.bin", Pattern(10000)));
    ASSERT_EQ(tester.fileLen, 10000u);
    Command(IDC_TRANSMIT);
    EXPECT_EQ(transmitSpy.calls, 1);
    EXPECT_EQ(LastLogEntry(), "SCardTransmit: Error: Incorrect buffer size!");
    EXPECT_EQ(Log().find("SCardTransmit: Input:"), std::string::npos);
    EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "");
    EXPECT_EQ(Text(IDC_ELAPSED), "elapsed");
    EXPECT_EQ(Text(IDC_WIN_STATUS), "status");
}

TEST_F(TransmitTest, StringSourceIsDumpedAsCharactersBothWays)
{
    REQUIRE_SIMULATED_READER();
    Command(IDC_CLEAR_LOG);
    Command(IDC_TRANSMIT);
    // The card does not know the class byte '*': 6E 00 comes back as 'n' and a zero.
    EXPECT_EQ(Log(), "SCardTransmit: Input:\r\n*** TEST  DATA ***  \r\nSCardTransmit: Output:\r\nn");
    ASSERT_EQ(transmitSpy.calls, 1);
    EXPECT_EQ(std::string(transmitSpy.requests[0].begin(), transmitSpy.requests[0].end()), "*** TESTDATA ***");
}

TEST_F(TransmitTest, SendRecordFollowsTheActiveProtocol)
{
    REQUIRE_SIMULATED_READER();
    struct {
        DWORD protocol;
        const SCARD_IO_REQUEST* pci;
    } cases[] = {{SCARD_PROTOCOL_T1, SCARD_PCI_T1},
                 {SCARD_PROTOCOL_T0, SCARD_PCI_T0},
                 {SCARD_PROTOCOL_RAW, SCARD_PCI_RAW},
                 {0, SCARD_PCI_RAW}};
    DWORD connected = tester.activeProtocol;
    for (auto c : cases) {
        tester.activeProtocol = c.protocol;
        Command(IDC_TRANSMIT);
        EXPECT_EQ(transmitSpy.lastPci, c.pci) << c.protocol;
    }
    tester.activeProtocol = connected;
}

TEST_F(TransmitTest, WithoutCardTheFailureIsReported)
{
    if (tester.hCard != 0)
        Command(IDC_DISCONNECT);
    Command(IDC_TRANSMIT);
    EXPECT_EQ(transmitSpy.calls, 1);
    EXPECT_EQ(LastLogEntry(), "SCardTransmit: Failure!");
    EXPECT_NE(Text(IDC_WIN_STATUS), "0x00000000");
}

}  // namespace
