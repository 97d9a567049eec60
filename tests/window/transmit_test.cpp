// The transmit core's progress rule and Break on Error, and the summary of a
// loop's record (no window); Transmit
// and the loop in the window, against the simulated reader: runs made, every
// write of the progress field, Break on Error with a failing run, the count
// field's cap, the request size limit and the send record per protocol.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "compose_support.h"
#include "transmit/transmit.h"

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
        if (HaveSimulatedReader())
            SimSetFailEvery(0, 0);
        ComposeTest::TearDown();
    }

    // Storage type with GetUID: every run is a success of the card.
    void SelectGetUid()
    {
        Click(IDC_TYPE_STORAGE);
        Click(IDC_CMD_GETUID);
    }

    std::string ElapsedFor(int divisor)
    {
        char text[64];
        snprintf(text, sizeof text, "%5.2f ms", double(tester.shownTicks) / double(tester.ticksPerMs) / divisor);
        return text;
    }
};

// The values the progress field shows, in order, for a loop of `count` runs.
std::vector<std::string> ProgressFor(int count)
{
    std::vector<std::string> values;
    for (int run = 1; run <= count; ++run)
        if (run * 100 / count % 5 == 0)
            values.push_back(std::to_string(run * 100 / count));
    return values;
}

std::vector<std::string> Distinct(std::vector<std::string> values)
{
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// The transmit core against a card that fails at run `failingRun`: no
// window, no reader.
int scriptedCalls, scriptedFailingRun;

LONG ScriptedTransmit(SCARDHANDLE, const SCARD_IO_REQUEST*, LPCBYTE, DWORD, SCARD_IO_REQUEST*, LPBYTE, LPDWORD)
{
    return ++scriptedCalls == scriptedFailingRun ? SCARD_E_NOT_TRANSACTED : SCARD_S_SUCCESS;
}

void RecordProgress(void* values, int32_t percent)
{
    static_cast<std::vector<std::string>*>(values)->push_back(std::to_string(percent));
}

std::vector<std::string> CoreProgress(int32_t runs, int failingRun = 0, bool breakOnError = false,
                                      int32_t* runsMade = nullptr)
{
    BYTE request[5] = {}, response[8];
    std::vector<std::string> progress;
    scriptedCalls = 0;
    scriptedFailingRun = failingRun;
    pcsc.Transmit = ScriptedTransmit;
    TransmitOutcome outcome = TransmitLoop(1, SCARD_PROTOCOL_T1, request, sizeof request, runs, breakOnError, response,
                                           sizeof response, {RecordProgress, &progress});
    pcsc = pcscLibrary;
    if (runsMade != nullptr)
        *runsMade = outcome.runsMade;
    return progress;
}

TEST(TransmitCore, ProgressAtEveryMultipleOfFivePercentAndRunsMade)
{
    EXPECT_EQ(CoreProgress(1), std::vector<std::string> {"100"});
    EXPECT_EQ(CoreProgress(3), std::vector<std::string> {"100"});
    EXPECT_EQ(CoreProgress(7), (std::vector<std::string> {"85", "100"}));
    std::vector<std::string> count200 = CoreProgress(200);
    ASSERT_EQ(count200.size(), 40u);
    EXPECT_EQ(std::vector<std::string>(count200.begin(), count200.begin() + 5),
              (std::vector<std::string> {"0", "5", "5", "10", "10"}));
    std::vector<std::string> count5000 = CoreProgress(5000);
    EXPECT_EQ(std::count(count5000.begin(), count5000.end(), "0"), 49);

    // The failing run counts as made; only Break on Error ends the loop there.
    int32_t runsMade = 0;
    CoreProgress(7, 3, true, &runsMade);
    EXPECT_EQ(runsMade, 3);
    CoreProgress(7, 3, false, &runsMade);
    EXPECT_EQ(runsMade, 7);
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
        std::vector<Run> runs;    // in order, `count` runs each
        std::vector<int64_t> ns;  // cycled over the runs
        const char* counts;
        const char* times;
    } cases[] = {
        {"one run",
         {{0, 0x9000, 1}},
         {9149},
         "Loop: 1 run, 1 answered 90 00",
         "Loop times (us): min 9.1, median 9.1, p90 9.1, p99 9.1, max 9.1, mean 9.1"},
        {"mixed",
         {{0, 0x9000, 40}, {SCARD_E_NOT_TRANSACTED, 0, 1}, {0, 0x6A82, 2}, {0, 0, 1}, {0, 0x9000, 56}},
         {},
         "Loop: 100 runs, 96 answered 90 00, 2 answered 6A 82, 1 answered without a status word, 1 failed 0x80100016 "
         "(Transaction failed.)",
         "Loop times (us): min 1.0, median 50.0, p90 90.0, p99 99.0, max 100.0, mean 50.5"},
        {"outlier",
         {{0, 0x9000, 200}},
         {10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 10000, 5000000},
         "Loop: 200 runs, 200 answered 90 00",
         "Loop times (us): min 10.0, median 10.0, p90 10.0, p99 5000.0, max 5000.0, mean 509.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        loopRecord = {};
        for (const Run& run : c.runs)
            for (int32_t i = 0; i < run.count; ++i) {
                int32_t n = loopRecord.runsMade++;
                loopRecord.status[n] = run.status;
                loopRecord.sw[n] = run.sw;
                // Without times given, run n takes (n * 37 % 100 + 1) us: 1 to 100 in a scrambled order.
                loopRecord.ns[n] = c.ns.empty() ? (n * 37 % 100 + 1) * 1000 : c.ns[size_t(n) % c.ns.size()];
            }
        LoopSummary summary;
        SummarizeLoop(loopRecord, &summary);
        char line[LOOP_LINE_SIZE];
        FormatLoopCounts(line, summary);
        EXPECT_STREQ(line, c.counts);
        FormatLoopTimes(line, summary);
        EXPECT_STREQ(line, c.times);
    }

    // More kinds than the table holds: the rest are counted together.
    loopRecord = {};
    loopRecord.runsMade = LOOP_OUTCOME_KINDS + 3;
    for (int32_t n = 0; n < loopRecord.runsMade; ++n)
        loopRecord.sw[n] = uint16_t(0x6100 + n);
    LoopSummary summary;
    SummarizeLoop(loopRecord, &summary);
    char line[LOOP_LINE_SIZE];
    FormatLoopCounts(line, summary);
    EXPECT_NE(strstr(line, ", 1 answered 61 0F, 3 with other outcomes"), nullptr) << line;
}

TEST_F(TransmitTest, LoopWritesEveryProgressValueAndRunsCountTimes)
{
    REQUIRE_SIMULATED_READER();
    SelectGetUid();
    for (int count : {1, 3, 7, 100, 200, 5000}) {
        SCOPED_TRACE(count);
        SetLoop(true, count);
        ASSERT_EQ(tester.loopCount, count);
        transmitSpy = {};
        ProgressObserver progress(window);

        Command(IDC_TRANSMIT);

        EXPECT_EQ(transmitSpy.calls, count);
        // The field is emptied first, then written at every multiple of 5;
        // it is repainted whenever the value on screen changes.
        std::vector<std::string> expected = ProgressFor(count);
        expected.insert(expected.begin(), "");
        EXPECT_EQ(progress.written, expected);
        EXPECT_EQ(progress.painted, Distinct(ProgressFor(count)));
        EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "100");
        EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
        EXPECT_EQ(Text(IDC_ELAPSED), ElapsedFor(count));
        EXPECT_TRUE(LogEndsWith("SCardTransmit: Output:\r\n04 A1 B2 C3 90 00 "));
    }
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

struct BreakCase {
    bool breakOnError;
    int calls;
    const char* lastEntry;
};

TEST_F(TransmitTest, BreakOnErrorDecidesWhereAFailingRunLeavesTheLoop)
{
    REQUIRE_SIMULATED_READER();
    SelectGetUid();
    SetLoop(true, 100);
    for (BreakCase c : {BreakCase {true, 3, "SCardTransmit: Failure!"}, BreakCase {false, 100, "04 A1 B2 C3 90 00 "}}) {
        SCOPED_TRACE(c.breakOnError);
        if (Checked(IDC_BREAK_ON_ERROR) != c.breakOnError)
            Click(IDC_BREAK_ON_ERROR);
        ASSERT_EQ(tester.breakOnError, c.breakOnError ? 1 : 0);
        ASSERT_TRUE(SimSetFailEvery(0, 3));
        transmitSpy = {};
        ProgressObserver progress(window);

        Command(IDC_TRANSMIT);
        ASSERT_TRUE(SimSetFailEvery(0, 0));

        EXPECT_EQ(transmitSpy.calls, c.calls);
        ASSERT_GE(transmitSpy.statuses.size(), 3u);
        EXPECT_NE(transmitSpy.statuses[2], SCARD_S_SUCCESS);
        EXPECT_EQ(LastLogEntry(), c.lastEntry);
        // The span of the runs made is divided by the count all the same.
        EXPECT_EQ(Text(IDC_ELAPSED), ElapsedFor(100));
        if (c.breakOnError) {
            EXPECT_EQ(progress.written, std::vector<std::string> {""});
            EXPECT_TRUE(progress.painted.empty());
            EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "");
            char status[16];
            snprintf(status, sizeof status, "0x%08X", unsigned(transmitSpy.statuses[2]));
            EXPECT_EQ(Text(IDC_WIN_STATUS), status);
            EXPECT_EQ(Log().find("SCardTransmit: Output:"), std::string::npos);
        } else {
            std::vector<std::string> written = ProgressFor(100);
            written.insert(written.begin(), "");
            EXPECT_EQ(progress.written, written);
            EXPECT_EQ(progress.painted, ProgressFor(100));
            EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
        }
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
