// The qualification core: the plan reader (every statement and every
// refusal with its line), the verdict and margin of a limit, the
// least-squares line, the JUnit writer's escaping, the suites against the
// simulated reader through the real pcscd, its taps and lost card made by
// the driver, and a plan on two readers at once (also run under
// ThreadSanitizer, scripts/test --tsan); the JSON reader that reads
// passports and runs back, and their comparison.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/output/compare.h"
#include "core/output/json_reader.h"
#include "core/output/junit.h"
#include "core/output/samples_csv.h"
#include "core/pcsc/connection.h"
#include "core/qualify/plan.h"
#include "core/qualify/run_readers.h"
#include "core/qualify/suites.h"
#include "sim/card_atr.h"
#include "sim_control.h"

namespace {

QualifyPlan plan;  // large: one for the whole program

bool Parse(const std::string& text, PlanFailure* failure)
{
    return ParsePlan(text.data(), uint32_t(text.size()), &plan, failure);
}

TEST(QualifyPlan, ReadsEveryStatementWithItsDefaults)
{
    PlanFailure failure;
    ASSERT_TRUE(Parse("\xEF\xBB\xBF# lab plan\r\n"
                      "suite stability  apdu=00CA000000 runs=1000 expect=9000  # the loop\r\n"
                      "limit p99_us < 500\n\n"
                      "limit failures = 0\n"
                      "suite sweep le\theader=00B00000 from=1 to=255 runs=10\n"
                      "limit per_byte_us <= 2.5e1\n"
                      "suite sweep lc id=big extended=yes from=256 to=4096 step=256 runs=1\n"
                      "suite power  cycles=20 mode=reconnect\n"
                      "limit atr_changes = 0\n"
                      "limit max_ms >= -1\n"
                      "suite tap taps=3 timeout_ms=5000\n"
                      "limit missed_taps = 0\n"
                      "suite removal runs=50 expect=9000\n"
                      "limit reconnected = 1",
                      &failure))
        << failure.line << ": " << failure.reason;
    ASSERT_EQ(plan.suiteCount, 6);
    const PlanSuite& stability = plan.suites[0];
    EXPECT_EQ(stability.kind, SUITE_STABILITY);
    EXPECT_EQ(stability.line, 2);
    EXPECT_STREQ(stability.id, "stability-1");
    EXPECT_EQ(stability.apduLength, 5u);
    EXPECT_EQ(stability.runs, 1000);
    EXPECT_EQ(stability.expectedSw, 0x9000);
    ASSERT_EQ(stability.limitCount, 2);
    EXPECT_EQ(stability.limits[0].quantity, QUANTITY_P99_US);
    EXPECT_EQ(stability.limits[0].op, LIMIT_BELOW);
    EXPECT_EQ(stability.limits[0].value, 500);
    EXPECT_EQ(stability.limits[1].line, 5);
    const PlanSuite& le = plan.suites[1];
    EXPECT_EQ(le.direction, SWEEP_LE);
    EXPECT_EQ(SweepLengths(le), 255);
    EXPECT_EQ(SuiteExchanges(le), 2550);
    EXPECT_EQ(le.limits[0].value, 25);
    const PlanSuite& lc = plan.suites[2];
    EXPECT_STREQ(lc.id, "big");
    EXPECT_EQ(lc.direction, SWEEP_LC);
    EXPECT_TRUE(lc.extended);
    EXPECT_EQ(SweepLengths(lc), 16);
    const uint8_t updateBinary[4] = {0x00, 0xD6, 0x00, 0x00};
    EXPECT_EQ(memcmp(lc.apdu, updateBinary, 4), 0) << "the lc sweep's default header";
    const PlanSuite& power = plan.suites[3];
    EXPECT_STREQ(power.id, "power-4");
    EXPECT_EQ(power.mode, POWER_RECONNECT);
    EXPECT_EQ(power.cycles, 20);
    ASSERT_EQ(power.limitCount, 2);
    EXPECT_EQ(power.limits[1].op, LIMIT_AT_LEAST);
    EXPECT_EQ(power.limits[1].value, -1);
    const uint8_t getUid[5] = {0x00, 0xCA, 0x00, 0x00, 0x00};
    const PlanSuite& tap = plan.suites[4];
    EXPECT_EQ(tap.taps, 3);
    ASSERT_EQ(tap.apduLength, 5u);
    EXPECT_EQ(memcmp(tap.apdu, getUid, 5), 0) << "the default APDU, answered by the sim and vicc";
    const PlanSuite& removal = plan.suites[5];
    EXPECT_STREQ(removal.id, "removal-6");
    EXPECT_EQ(SuiteExchanges(removal), 52) << "the loop, the call after the removal and the card put back";
}

TEST(QualifyPlan, RefusesEachFaultAtItsLine)
{
    const std::string stability = "suite stability apdu=00CA000000\n";
    const struct {
        std::string text;
        int32_t line;
        const char* reason;
    } cases[] = {
        {"", 0, "no suite in the plan"},
        {"# only a comment\n", 0, "no suite in the plan"},
        {"limit failures = 0\n", 1, "limit before any suite"},
        {"suite swipe\n", 1, "unknown suite \"swipe\" (stability, sweep, power, tap or removal)"},
        {"suite tap taps=0\n", 1, "taps takes a count from 1 to 1000"},
        {"suite removal timeout_ms=99\n", 1, "timeout_ms takes a count from 100 to 3600000"},
        {"suite tap runs=5\n", 1, "unknown parameter \"runs\" of tap"},
        {"suite removal apdu=00CA\n", 1, "apdu takes at least 4 bytes"},
        {"suite tap\nlimit p99_us < 5\n", 2, "tap measures no \"p99_us\" (runs, failures, atr_changes, missed_taps"},
        {"suite\n", 1, "suite takes a kind"},
        {"Suite power\n", 1, "\"Suite\": not a suite or limit line"},
        {"suite stability runs=10\n", 1, "stability needs apdu=HEX"},
        {"suite stability apdu=00CA0\n", 1, "apdu \"00CA0\": odd number of hex digits"},
        {"suite stability apdu=00CA\n", 1, "apdu takes at least 4 bytes"},
        {"suite stability apdu=" + std::string(2 * 513, 'A') + "\n", 1, "apdu is longer than 512 bytes"},
        {stability + "suite stability apdu=00CA000000 runs=5001\n", 2, "runs takes a count from 1 to 5000"},
        {"suite stability apdu=00CA000000 runs=\n", 1, "runs lacks a value"},
        {"suite stability apdu=00CA000000 runs=1x\n", 1, "runs takes a count"},
        {"suite stability apdu=00CA000000 runs=5 runs=6\n", 1, "runs is given twice"},
        {"suite stability apdu=00CA000000 cycles=5\n", 1, "unknown parameter \"cycles\" of stability"},
        {"suite stability apdu=00CA000000 runs\n", 1, "\"runs\" is no name=value"},
        {"suite stability apdu=00CA000000 expect=0000\n", 1, "expect takes a status word"},
        {"suite stability apdu=00CA000000 id=a/b\n", 1, "id takes 1 to 32"},
        {stability + "suite power id=stability-1\n", 2, "id \"stability-1\" is also the id of the suite of line 1"},
        {"suite sweep from=1\n", 1, "sweep takes lc or le"},
        {"suite sweep le header=00B000\n", 1, "header takes 4 bytes"},
        {"suite sweep le header=00B0000000\n", 1, "header takes 4 bytes"},
        {"suite sweep le from=10 to=9\n", 1, "from 10 is beyond to 9"},
        {"suite sweep le to=256\n", 1, "to is at most 255 without extended=yes"},
        {"suite sweep le runs=101\n", 1, "runs takes a count from 1 to 100"},
        {"suite sweep lc extended=yes from=1 to=5000 runs=1\n", 1, "more than 4096 lengths"},
        {"suite sweep lc extended=yes from=1 to=4000 runs=20\n", 1, "more than 65536 exchanges"},
        {"suite sweep lc extended=maybe\n", 1, "extended takes yes or no"},
        {"suite power mode=warm\n", 1, "mode takes cold or reconnect"},
        {"suite power cycles=0\n", 1, "cycles takes a count from 1 to 1000"},
        {stability + "limit per_byte_us < 5\n", 2, "stability measures no \"per_byte_us\" (runs, failures, min_us"},
        {stability + "limit p99_us <> 5\n", 2, "unknown operator \"<>\""},
        {stability + "limit p99_us < 0x10\n", 2, "\"0x10\" is not a number"},
        {stability + "limit p99_us < nan\n", 2, "\"nan\" is not a number"},
        {stability + "limit p99_us < 1e999\n", 2, "\"1e999\" is not a number"},
        {stability + "limit p99_us <\n", 2, "limit takes QUANTITY OPERATOR NUMBER"},
        {stability + "limit p99_us < 5 6\n", 2, "limit takes QUANTITY OPERATOR NUMBER"},
        {stability + "\n\x1b[2J\n", 3, "\"\\x1B[2J\": not a suite or limit line"},
        {stability + std::string("limit\0", 6) + "\n", 2, "NUL byte at column 6"},
        {stability + std::string(4097, ' ') + "\n", 2, "longer than 4096 characters"},
    };
    for (const auto& c : cases) {
        PlanFailure failure;
        EXPECT_FALSE(Parse(c.text, &failure)) << c.text;
        EXPECT_EQ(failure.line, c.line) << c.text;
        EXPECT_NE(strstr(failure.reason, c.reason), nullptr) << c.text << " gave: " << failure.reason;
    }
    // The whole plan's exchanges stay within what the samples file holds.
    std::string many;
    for (int i = 0; i < 53; ++i)
        many += "suite stability apdu=00CA000000 runs=5000\n";
    PlanFailure failure;
    EXPECT_FALSE(Parse(many, &failure));
    EXPECT_EQ(failure.line, 53);
    EXPECT_STREQ(failure.reason, "the plan makes more than 262144 exchanges");
}

TEST(QualifyVerdict, MarginIsPositiveWhenTheLimitIsMet)
{
    const struct {
        LimitOperator op;
        double limit, value;
        double margin;
        Verdict verdict;
    } cases[] = {
        {LIMIT_BELOW, 500, 420, 80, VERDICT_PASS},
        {LIMIT_BELOW, 500, 500, 0, VERDICT_FAIL},
        {LIMIT_BELOW, 500, 612.5, -112.5, VERDICT_FAIL},
        {LIMIT_AT_MOST, 500, 500, 0, VERDICT_PASS},
        {LIMIT_ABOVE, 1000, 1500, 500, VERDICT_PASS},
        {LIMIT_ABOVE, 1000, 1000, 0, VERDICT_FAIL},
        {LIMIT_AT_LEAST, 1000, 999, -1, VERDICT_FAIL},
        {LIMIT_AT_LEAST, -5, -5, 0, VERDICT_PASS},
        {LIMIT_EQUAL, 0, 0, 0, VERDICT_PASS},
        {LIMIT_EQUAL, 0, 3, -3, VERDICT_FAIL},
        {LIMIT_EQUAL, 2, 1, -1, VERDICT_FAIL},
    };
    for (const auto& c : cases) {
        LimitResult result = JudgeLimit(PlanLimit {7, QUANTITY_P99_US, c.op, c.limit}, true, c.value);
        EXPECT_EQ(result.margin, c.margin) << LimitOperatorText(c.op) << " " << c.limit << " vs " << c.value;
        EXPECT_FALSE(std::signbit(result.margin) && result.margin == 0) << "no -0 margin";
        EXPECT_EQ(result.verdict, c.verdict) << LimitOperatorText(c.op) << " " << c.limit << " vs " << c.value;
    }
    // No value (or no finite one) is nothing to judge, never a pass.
    for (double value : {0.0, double(INFINITY), double(NAN)}) {
        LimitResult none =
            JudgeLimit(PlanLimit {7, QUANTITY_P99_US, LIMIT_BELOW, 1e9}, value == 0.0 ? false : true, value);
        EXPECT_EQ(none.verdict, VERDICT_INCONCLUSIVE);
        EXPECT_FALSE(none.measured);
    }

    LimitResult pass {}, fail {}, unknown {};
    pass.verdict = VERDICT_PASS;
    fail.verdict = VERDICT_FAIL;
    unknown.verdict = VERDICT_INCONCLUSIVE;
    const struct {
        bool complete;
        std::initializer_list<LimitResult> limits;
        Verdict verdict;
    } suites[] = {
        {true, {}, VERDICT_PASS},
        {true, {pass, pass}, VERDICT_PASS},
        {true, {pass, unknown}, VERDICT_INCONCLUSIVE},
        {true, {unknown, fail, pass}, VERDICT_FAIL},
        {false, {pass}, VERDICT_INCONCLUSIVE},
        {false, {}, VERDICT_INCONCLUSIVE},
    };
    for (const auto& s : suites)
        EXPECT_EQ(SuiteVerdict(s.complete, s.limits.begin(), int32_t(s.limits.size())), s.verdict)
            << s.complete << " " << s.limits.size();
}

TEST(QualifyFit, LeastSquaresLineOfKnownPoints)
{
    const struct {
        std::vector<double> x, y;
        bool fitted;
        double slope, intercept;
    } cases[] = {
        {{1, 2, 3, 4}, {12, 14, 16, 18}, true, 2, 10},
        // Noise that cancels: the line through the middle.
        {{0, 10, 20, 30}, {5, 7, 25, 27}, true, 0.84, 3.4},
        // Lengths far from 0 keep their precision.
        {{65000, 65100, 65200}, {1300048, 1302048, 1304048}, true, 20, 48},
        {{5}, {9}, false, 0, 0},
        {{5, 5, 5}, {1, 2, 3}, false, 0, 0},
        {{}, {}, false, 0, 0},
    };
    for (const auto& c : cases) {
        LineFit fit;
        EXPECT_EQ(FitLine(c.x.data(), c.y.data(), int32_t(c.x.size()), &fit), c.fitted) << c.x.size();
        EXPECT_EQ(fit.points, int32_t(c.x.size()));
        EXPECT_NEAR(fit.slope, c.slope, 1e-6);
        EXPECT_NEAR(fit.intercept, c.intercept, 1e-3);
    }
}

TEST(JunitText, HostileTextStaysWellFormed)
{
    const struct {
        const char* text;
        const char* xml;
    } cases[] = {
        {"Reader 00 00", "Reader 00 00"},
        {"<a href=\"x\">&'", "&lt;a href=&quot;x&quot;&gt;&amp;&apos;"},
        {"tab\tline\n", "tab\tline\n"},
        {"bell\x07"
         "esc\x1b",
         "bell&#xFFFD;esc&#xFFFD;"},
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
        {"caf\xe9", "caf&#xE9;"},                  // Latin-1, not UTF-8
        {"\xc3", "&#xC3;"},                        // cut sequence
        {"\xc0\xaf", "&#xC0;&#xAF;"},              // overlong
        {"\xed\xa0\x80", "&#xED;&#xA0;&#x80;"},    // surrogate
        {"\xef\xbf\xbe", "&#xEF;&#xBF;&#xBE;"},    // U+FFFE
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},  // past the BMP
    };
    for (const auto& c : cases) {
        char* buffer = nullptr;
        size_t size = 0;
        FILE* file = open_memstream(&buffer, &size);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(WriteXmlText(file, c.text));
        fclose(file);
        EXPECT_EQ(std::string(buffer, size), c.xml) << c.text;
        free(buffer);
    }
}

// A reader's name is the driver's text: in the samples file of several readers,
// a comma or a quote in it must not shift the columns.
TEST(ReadersSamples, ReaderNamesAreQuotedAsCsvFields)
{
    PlanFailure failure;
    ASSERT_TRUE(Parse("suite stability id=s apdu=00CA000000 runs=1\n", &failure));
    static QualifySamples one, other;
    one.count = other.count = 1;
    one.rows[0] = other.rows[0] = QualifySample {0, 1, -1, 1500, SCARD_S_SUCCESS, 0x9000};
    const char* readers[] = {"Vendor \"X\", Reader 00 00", "Plain 01 00"};
    const QualifySamples* samples[] = {&one, &other};
    char path[] = "/tmp/qtu-readers-XXXXXX";
    ASSERT_NE(mkdtemp(path), nullptr);
    std::string file = std::string(path) + "/samples.csv";
    ASSERT_EQ(WriteReadersSamplesCsv(file.c_str(), plan, readers, samples, 2), 0);
    char text[512] = {};
    FILE* in = fopen(file.c_str(), "r");
    ASSERT_NE(in, nullptr);
    text[fread(text, 1, sizeof text - 1, in)] = '\0';
    fclose(in);
    unlink(file.c_str());
    rmdir(path);
    EXPECT_STREQ(text,
                 "reader,suite,run,length,ns,pcsc,sw\n"
                 "\"Vendor \"\"X\"\", Reader 00 00\",s,1,,1500,0x00000000,90 00\n"
                 "Plain 01 00,s,1,,1500,0x00000000,90 00\n");
}

// The suites on the simulated reader's card, through pcscd.
class QualifySuites : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SimReaderName(0).empty()) << "run inside scripts/with-sim-pcscd";
        SimReset(0);
        reader = SimReaderName(0);
        ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &target.context), SCARD_S_SUCCESS);
        target.reader = reader.c_str();
        target.status = ConnectCard(target.context, target.reader, target.options, &target.card, &target.protocol);
        ASSERT_EQ(target.status, SCARD_S_SUCCESS);
    }
    void TearDown() override
    {
        if (target.card != 0)
            SCardDisconnect(target.card, SCARD_LEAVE_CARD);
        SCardReleaseContext(target.context);
        SimReset(0);
    }
    // Runs the plan's only suite.
    void Run(const std::string& text, const std::atomic<bool>* stop = nullptr)
    {
        PlanFailure failure;
        ASSERT_TRUE(Parse(text, &failure)) << failure.reason;
        samples.count = 0;
        RunSuite(&target, plan, 0, stop, &scratch, &samples, &result);
    }
    std::string reader;
    QualifyTarget target {};
    SuiteResult result {};
    static QualifyScratch scratch;
    static QualifySamples samples;
};
QualifyScratch QualifySuites::scratch;
QualifySamples QualifySuites::samples;

TEST_F(QualifySuites, StabilityCountsEveryFailedRun)
{
    ASSERT_TRUE(SimSetFailEvery(0, 4));
    Run("suite stability apdu=FFCA000000 runs=100 expect=9000\nlimit failures = 0\nlimit p99_us > 0\n");
    EXPECT_EQ(result.verdict, VERDICT_FAIL);
    EXPECT_EQ(result.value[QUANTITY_RUNS], 100);
    EXPECT_EQ(result.value[QUANTITY_FAILURES], 25);
    EXPECT_EQ(result.limits[0].verdict, VERDICT_FAIL);
    EXPECT_EQ(result.limits[0].margin, -25);
    EXPECT_EQ(result.limits[1].verdict, VERDICT_PASS) << "p99 is measured from 100 runs on";
    ASSERT_EQ(samples.count, 100);
    EXPECT_NE(samples.rows[3].status, SCARD_S_SUCCESS);
    EXPECT_EQ(samples.rows[4].sw, 0x9000);

    // A suite stopped before its end is not judged, whatever its limits say.
    ASSERT_TRUE(SimSetFailEvery(0, 0));
    std::atomic<bool> stop {true};
    Run("suite stability apdu=FFCA000000 runs=100\nlimit failures = 0\n", &stop);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.verdict, VERDICT_INCONCLUSIVE);
    EXPECT_EQ(result.limits[0].verdict, VERDICT_INCONCLUSIVE);
    EXPECT_NE(strstr(result.note, "stopped after 1 of 100"), nullptr) << result.note;
}

TEST_F(QualifySuites, SweepLineShowsThePerByteCost)
{
    // 100 us a byte: UPDATE BINARY of block 4 answers two bytes (67 00 or 69 82) to every
    // length; the median of 5 runs a length keeps a busy machine's outliers off the line.
    ASSERT_TRUE(SimSetByteDelayMicros(0, 100));
    Run("suite sweep lc header=FFD60004 from=1 to=101 step=20 runs=5\n"
        "limit per_byte_us > 85\nlimit per_byte_us < 130\nlimit bytes_per_s < 12000\nlimit failed_lengths = 0\n");
    EXPECT_EQ(result.value[QUANTITY_RUNS], 30);
    EXPECT_EQ(result.fit.points, 6);
    EXPECT_EQ(result.limits[0].verdict, VERDICT_PASS) << result.fit.slope;
    EXPECT_EQ(result.limits[1].verdict, VERDICT_PASS) << result.fit.slope;
    EXPECT_EQ(result.limits[2].verdict, VERDICT_PASS) << result.value[QUANTITY_BYTES_PER_S];
    EXPECT_GT(result.fit.intercept, 5 * 100) << "the header, Lc and SW cost their bytes too";
    EXPECT_EQ(result.verdict, VERDICT_PASS);
    ASSERT_EQ(samples.count, 30);
    EXPECT_EQ(samples.rows[29].length, 101);

    // With an expected SW the lengths the card refuses fail and leave the line:
    // GET UID answers 90 00 for Le 4 alone.
    ASSERT_TRUE(SimSetByteDelayMicros(0, 0));
    Run("suite sweep le header=FFCA0000 from=3 to=5 runs=2 expect=9000\nlimit failed_lengths = 0\n"
        "limit per_byte_us < 100\n");
    EXPECT_EQ(result.value[QUANTITY_FAILED_LENGTHS], 2);
    EXPECT_EQ(result.value[QUANTITY_FAILURES], 4);
    EXPECT_EQ(result.fit.points, 1);
    EXPECT_EQ(result.limits[1].verdict, VERDICT_INCONCLUSIVE) << "one length is no line";
    EXPECT_EQ(result.verdict, VERDICT_FAIL);
    EXPECT_STREQ(result.note, "failed lengths: 3 (SW 67 00) 5 (SW 67 00)");
}

TEST_F(QualifySuites, PowerCyclesKeepTheAtrInEitherMode)
{
    for (const char* mode : {"cold", "reconnect"}) {
        Run(std::string("suite power cycles=4 mode=") + mode + "\nlimit failures = 0\nlimit atr_changes = 0\n");
        EXPECT_EQ(result.verdict, VERDICT_PASS) << mode << ": " << result.note;
        EXPECT_EQ(result.value[QUANTITY_RUNS], 4) << mode;
        ASSERT_EQ(result.atrLength, DWORD(ATR_SIZE)) << mode;
        EXPECT_EQ(memcmp(result.atr, STORAGE_ATR, ATR_SIZE), 0) << mode;
        EXPECT_TRUE(result.measured[QUANTITY_MEDIAN_MS]) << mode;
        EXPECT_EQ(samples.count, 4) << mode;
    }
    // The handle the reconnect mode left is a live one.
    BYTE atr[MAX_ATR_SIZE];
    DWORD length;
    EXPECT_EQ(ReadAtr(target.card, atr, sizeof atr, &length), SCARD_S_SUCCESS);

    // A card gone in the middle leaves nothing to judge: inconclusive, with the status seen.
    ASSERT_TRUE(SimSetCard(0, false));
    ASSERT_TRUE(SimWaitForCard(0, false));
    Run("suite power cycles=2 mode=reconnect\nlimit failures = 0\n");
    EXPECT_EQ(result.verdict, VERDICT_INCONCLUSIVE) << result.note;
    EXPECT_TRUE(ReaderGone(result.status)) << std::hex << result.status;
    ASSERT_TRUE(SimSetCard(0, true));
    ASSERT_TRUE(SimWaitForCard(0, true));
}

// The operator's prompts, kept, each followed by what the hand does.
struct Operator {
    std::vector<std::string> prompts;
    std::function<void(const std::string&)> act;
    static void Say(void* context, const char* text)
    {
        auto* self = static_cast<Operator*>(context);
        self->prompts.push_back(text);
        if (self->act)
            self->act(text);
    }
};

// The sim taps its empty second reader itself; pcscd polls about every 400 ms.
TEST_F(QualifySuites, TapsAreCountedAndTapsFasterThanThePollMissed)
{
    const std::string empty = SimReaderName(1);
    target.reader = empty.c_str();
    // The taps start when the suite asks for the first.
    int count = 3, inMs = 1200, outMs = 900;
    Operator hand;
    hand.act = [&](const std::string& prompt) {
        if (prompt.rfind("Tap the card (1 of", 0) == 0)
            SimTap(1, count, inMs, outMs);
    };
    target.prompt = QualifyPrompt {Operator::Say, &hand};
    Run("suite tap taps=3 timeout_ms=4000\nlimit missed_taps = 0\nlimit runs = 3\nlimit failures = 0\n"
        "limit in_field_ms > 400\nlimit in_field_ms < 2500\nlimit atr_changes = 0\n");
    EXPECT_EQ(result.verdict, VERDICT_PASS) << result.note;
    EXPECT_EQ(result.value[QUANTITY_RUNS], 3);
    EXPECT_EQ(result.value[QUANTITY_MISSED_TAPS], 0);
    EXPECT_EQ(result.value[QUANTITY_REMOVALS], 3);
    EXPECT_EQ(
        hand.prompts,
        (std::vector<std::string> {"Tap the card (1 of 3).", "Tap the card (2 of 3).", "Tap the card (3 of 3)."}));
    EXPECT_TRUE(result.measured[QUANTITY_CONNECT_MS] && result.measured[QUANTITY_FIRST_ANSWER_MAX_MS]);
    EXPECT_LE(result.value[QUANTITY_CONNECT_MS], result.value[QUANTITY_FIRST_ANSWER_MS]);
    EXPECT_TRUE(result.measured[QUANTITY_ARRIVAL_SPREAD_MS]);
    ASSERT_EQ(result.atrLength, DWORD(ATR_SIZE));
    EXPECT_EQ(memcmp(result.atr, STORAGE_ATR, ATR_SIZE), 0);
    ASSERT_EQ(samples.count, 3);
    EXPECT_EQ(samples.rows[2].run, 3);
    EXPECT_GT(samples.rows[2].length, 400) << "the time in the field, in ms";
    EXPECT_EQ(samples.rows[2].sw, 0x9000);
    EXPECT_EQ(target.card, SCARDHANDLE(0)) << "the last card has gone";

    // 100 ms in and out: most taps fall between two polls and are never reported.
    count = 10;
    inMs = outMs = 100;
    Run("suite tap taps=10 timeout_ms=1500\nlimit missed_taps = 0\n");
    EXPECT_EQ(result.verdict, VERDICT_INCONCLUSIVE);
    EXPECT_GT(result.value[QUANTITY_MISSED_TAPS], 0);
    EXPECT_LT(result.value[QUANTITY_RUNS], 10);
    EXPECT_EQ(result.value[QUANTITY_RUNS] + result.value[QUANTITY_MISSED_TAPS], 10);
    EXPECT_NE(strstr(result.note, "no card came within 1500 ms"), nullptr) << result.note;
    SimReset(1);

    // The stop flag ends a wait for the operator within a slice, not at its timeout.
    std::atomic<bool> stop {false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    Run("suite tap timeout_ms=60000\n", &stop);
    const auto waited = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.verdict, VERDICT_INCONCLUSIVE);
    EXPECT_LT(waited, std::chrono::seconds(2));
}

TEST_F(QualifySuites, RemovalMeetsTheLostCardAndTheCardBackAnswers)
{
    Operator hand;
    hand.act = [](const std::string& prompt) {
        if (prompt == "Put the card back on the reader.")
            SimSetCard(0, true);
    };
    target.prompt = QualifyPrompt {Operator::Say, &hand};
    ASSERT_TRUE(SimLoseCardAt(0, 20));
    Run("suite removal runs=100 expect=9000 timeout_ms=5000\nlimit runs = 20\nlimit reconnected = 1\n");
    EXPECT_EQ(result.verdict, VERDICT_PASS) << result.note;
    EXPECT_EQ(hand.prompts,
              (std::vector<std::string> {"Pull the card off the reader while the exchanges run.",
                                         "Put the card back on the reader."}));
    ASSERT_EQ(samples.count, 22);
    EXPECT_EQ(samples.rows[18].sw, 0x9000);
    EXPECT_EQ(samples.rows[19].status, SCARD_E_NO_SMARTCARD) << "the exchange the card left in";
    EXPECT_TRUE(samples.rows[20].status == SCARD_W_REMOVED_CARD || samples.rows[20].status == SCARD_E_NO_SMARTCARD)
        << std::hex << samples.rows[20].status;
    EXPECT_EQ(samples.rows[21].sw, 0x9000);
    EXPECT_TRUE(result.measured[QUANTITY_REMOVAL_SEEN_MS]);
    BYTE atr[MAX_ATR_SIZE];
    DWORD length;
    EXPECT_EQ(ReadAtr(target.card, atr, sizeof atr, &length), SCARD_S_SUCCESS) << "the card back is connected";

    // A card never pulled is nothing to judge.
    Run("suite removal runs=30\nlimit reconnected = 1\n");
    EXPECT_EQ(result.verdict, VERDICT_INCONCLUSIVE);
    EXPECT_EQ(result.value[QUANTITY_RUNS], 30);
    EXPECT_NE(strstr(result.note, "not pulled"), nullptr) << result.note;

    // An exchange that fails with the card still there is no removal: it fails the suite.
    ASSERT_TRUE(SimSetFailEvery(0, 5));
    Run("suite removal runs=30 timeout_ms=500\n");
    EXPECT_EQ(result.verdict, VERDICT_FAIL);
    EXPECT_NE(strstr(result.note, "still held a card"), nullptr) << result.note;
}

TEST_F(QualifySuites, NoCardIsInconclusive)
{
    SCardDisconnect(target.card, SCARD_LEAVE_CARD);
    target.card = 0;
    target.status = SCARD_E_NO_SMARTCARD;
    Run("suite stability apdu=FFCA000000 runs=10\nlimit failures = 0\n");
    EXPECT_EQ(result.verdict, VERDICT_INCONCLUSIVE);
    EXPECT_EQ(result.status, SCARD_E_NO_SMARTCARD);
    EXPECT_EQ(samples.count, 0);
}

JsonDocument jsonA, jsonB;  // large: one each for the whole program

// A value read back in compact form, strings with their bytes as decoded.
std::string Render(const JsonDocument& document, int32_t value)
{
    const JsonValue& v = document.values[value];
    std::string text;
    switch (v.type) {
    case JSON_NULL:
        return "null";
    case JSON_FALSE:
        return "false";
    case JSON_TRUE:
        return "true";
    case JSON_NUMBER:
        return JsonText(document, value);
    case JSON_STRING:
        return "\"" + std::string(JsonText(document, value)) + "\"";
    default:
        text = v.type == JSON_ARRAY ? "[" : "{";
        for (int32_t m = v.first; m != JSON_NONE; m = document.values[m].next) {
            if (m != v.first)
                text += ",";
            if (v.type == JSON_OBJECT)
                text += "\"" + std::string(JsonMemberName(document, m)) + "\":";
            text += Render(document, m);
        }
        return text + (v.type == JSON_ARRAY ? "]" : "}");
    }
}

TEST(JsonReader, ReadsOrRefusesEachEdge)
{
    const std::string deepest = std::string(JSON_NESTING_MAX, '[') + std::string(JSON_NESTING_MAX, ']');
    std::string wide = "[";
    for (int i = 0; i <= JSON_MEMBERS_MAX; ++i)
        wide += i > 0 ? ",0" : "0";
    std::string many;
    for (int i = 0; i < 17; ++i)
        many += "[" + std::string(wide.begin() + 1, wide.begin() + 8000) + "]\n";
    const struct {
        std::string text;
        const char* read;    // the values as Render gives them, '\n' between; null: refused
        const char* reason;  // refused: a part of the reason
        uint32_t offset;
        int32_t line;
    } cases[] = {
        {"{\"a\":[1,-0.5e-3,true,false,null],\"b\":{}} ", "{\"a\":[1,-0.5e-3,true,false,null],\"b\":{}}", "", 0, 0},
        {"\"\\u00E9\\uD83D\\uDE00\\/\\\\\\\"\\t\"", "\"\xC3\xA9\xF0\x9F\x98\x80/\\\"\t\"", "", 0, 0},
        {"\"\xC3\xA9\xF0\x9F\x98\x80\"", "\"\xC3\xA9\xF0\x9F\x98\x80\"", "", 0, 0},
        {"{\"type\":\"x\"}\r\n{\"type\":\"y\"}\n", "{\"type\":\"x\"}\n{\"type\":\"y\"}", "", 0, 0},
        {" \n\t ", "", "", 0, 0},
        {deepest, deepest.c_str(), "", 0, 0},
        {"[" + deepest + "]", nullptr, "nested deeper than 32", JSON_NESTING_MAX, 1},
        {"\"\\x\"", nullptr, "\\x is no escape", 1, 1},
        {"{\"id\":\"a\",\n\"id\":\"b\"}", nullptr, "the member \"id\" twice in one object", 11, 2},
        {"\"\\uD83D\"", nullptr, "lone surrogate \\uD83D", 1, 1},
        {"\"\\uD83D\\u0041\"", nullptr, "lone surrogate \\uD83D", 1, 1},
        {"\"\\uDE00\"", nullptr, "lone surrogate \\uDE00", 1, 1},
        {"\"\\u12G4\"", nullptr, "four hex digits", 1, 1},
        {"\"\\u12", nullptr, "ends inside a \\u escape", 5, 1},
        {"\"\\u0000\"", nullptr, "\\u0000", 1, 1},
        {"\"\xC3\"", nullptr, "byte 0xC3 is not UTF-8", 1, 1},
        {"\"\xED\xA0\x80\"", nullptr, "byte 0xED is not UTF-8", 1, 1},
        {"\"\xC0\xAF\"", nullptr, "byte 0xC0 is not UTF-8", 1, 1},
        {"\"a\tb\"", nullptr, "control character 0x09", 2, 1},
        {"\"abc", nullptr, "ends inside the string", 4, 1},
        {"01", nullptr, "'1' where a blank or line end belongs", 1, 1},
        {"{}{}", nullptr, "a blank or line end", 2, 1},
        {"1.", nullptr, "the text ends before a digit", 2, 1},
        {"-", nullptr, "the text ends before a digit", 1, 1},
        {"1e400", nullptr, "beyond a double", 0, 1},
        {"1" + std::string(JSON_NUMBER_LENGTH_MAX, '0'), nullptr, "longer than 64", 0, 1},
        {"+1", nullptr, "'+' where a value belongs", 0, 1},
        {"tru", nullptr, "'t' where a value belongs", 0, 1},
        {std::string("[\0]", 3), nullptr, "byte 0x00 where a value belongs", 1, 1},
        {"{\"a\":1,}", nullptr, "'}' where a member's name belongs", 7, 1},
        {"{\"a\" 1}", nullptr, "'1' where ':' belongs", 5, 1},
        {"[1 2]", nullptr, "'2' where ',' or ']' belongs", 3, 1},
        {"{\n\"a\":\n@}", nullptr, "'@'", 7, 3},
        {"[1,", nullptr, "the text ends before a value", 3, 1},
        {wide, nullptr, "more than 4096 members", uint32_t(wide.size() - 1), 1},
        {many, nullptr, "more than 65536 values", 0, 17},
    };
    for (const auto& row : cases) {
        JsonFailure failure;
        bool read = ReadJson(row.text.data(), uint32_t(row.text.size()), &jsonA, &failure);
        std::string shown = row.text.substr(0, 40);
        ASSERT_EQ(read, row.read != nullptr) << shown << ": " << failure.reason;
        if (read) {
            std::string values;
            for (int32_t v = jsonA.first; v != JSON_NONE; v = jsonA.values[v].next)
                values += (values.empty() ? "" : "\n") + Render(jsonA, v);
            EXPECT_EQ(values, row.read) << shown;
            continue;
        }
        EXPECT_NE(strstr(failure.reason, row.reason), nullptr) << shown << ": " << failure.reason;
        if (row.offset != 0) {
            EXPECT_EQ(failure.offset, row.offset) << shown;
        }
        EXPECT_EQ(failure.line, row.line) << shown;
    }
}

// Runs compared: a suite gone from pass to fail, a limit B fails as A did,
// a passing suite missing from B; suites matched by id and order, limits by
// index, top-level objects by label even where a type reads like a repeat's,
// and the same line twice only once.
TEST(Compare, CrossesEveryLimitOfRunsOnce)
{
    const std::string a =
        "{\"type\":\"environment\",\"date\":\"2026-01-01\"}\n"
        "{\"type\":\"suite\",\"id\":\"fast\",\"verdict\":\"pass\",\"limits\":[{\"verdict\":\"pass\"}]}\n"
        "{\"type\":\"suite\",\"id\":\"slow\",\"verdict\":\"fail\",\"limits\":[{\"verdict\":\"fail\"}]}\n"
        "{\"type\":\"suite\",\"id\":\"slow\",\"verdict\":\"pass\",\"limits\":[]}\n"
        "{\"type\":\"suite\",\"id\":\"gone\",\"verdict\":\"pass\"}\n"
        // A type that looks like a repeat's label is still its own.
        "{\"type\":\"environment#2\",\"date\":1}\n{\"type\":\"environment\",\"date\":2}\n";
    const std::string b =
        "{\"type\":\"environment\",\"date\":\"2026-01-02\"}\n"
        "{\"type\":\"environment#2\",\"date\":1}\n{\"type\":\"environment\",\"date\":2}\n"
        "{\"type\":\"suite\",\"id\":\"slow\",\"verdict\":\"fail\",\"limits\":[{\"verdict\":\"fail\"}]}\n"
        "{\"type\":\"suite\",\"id\":\"fast\",\"verdict\":\"fail\",\"limits\":[{\"verdict\":\"fail\"}]}\n"
        "{\"type\":\"suite\",\"id\":\"slow\",\"verdict\":\"pass\",\"limits\":[]}\n";
    JsonFailure failure;
    ASSERT_TRUE(ReadJson(a.data(), uint32_t(a.size()), &jsonA, &failure)) << failure.reason;
    ASSERT_TRUE(ReadJson(b.data(), uint32_t(b.size()), &jsonB, &failure)) << failure.reason;
    CompareKind kind;
    ASSERT_TRUE(FindCompareKind(jsonA, &kind, &failure));
    EXPECT_EQ(kind, COMPARE_RUNS);
    std::vector<std::string> lines;
    auto put = [](void* context, const CompareDifference& difference) {
        static_cast<std::vector<std::string>*>(context)->push_back(std::string(difference.path)
                                                                   + (difference.crossed ? " crossed" : ""));
    };
    CompareTotals totals;
    CompareDocuments(kind, jsonA, jsonB, 10, CompareSink {put, &lines}, &totals);
    const std::vector<std::string> expected = {"environment.date", "suite[fast].verdict crossed",
                                               "suite[fast].limits[0].verdict crossed",
                                               "suite[slow].limits[0].verdict crossed", "suite[gone] crossed"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(totals.differences, 5);
    EXPECT_EQ(totals.crossed, 4);
}

// Two readers at once: reader 1 unplugged in the middle of the stability
// suite is inconclusive with the status seen, there and for the suite after
// it, while reader 0 passes both; a stop ends both readers' suites.
TEST(QualifyReaders, OneReaderGoneLeavesTheOtherToPass)
{
    ASSERT_FALSE(SimReaderName(1).empty()) << "run inside scripts/with-sim-pcscd";
    PlanFailure failure;
    ASSERT_TRUE(Parse("suite stability apdu=FFCA000000 runs=2000 expect=9000\nlimit failures = 0\n"
                      "suite power cycles=2\nlimit failures = 0\n",
                      &failure));
    static ReaderRun runs[2];
    ReaderRun* each[2] = {&runs[0], &runs[1]};
    QualifyEnvironment host {};
    struct Seen {
        std::atomic<int> ready, suites;
    } seen {};
    ReaderRunEvents events {[](void* context, const ReaderRun&) { ++static_cast<Seen*>(context)->ready; },
                            [](void* context, const ReaderRun&, int32_t) { ++static_cast<Seen*>(context)->suites; },
                            &seen};
    for (bool unplug : {true, false}) {
        SCOPED_TRACE(unplug ? "unplugged" : "stopped");
        seen.ready = seen.suites = 0;
        for (int reader : {0, 1}) {
            SimReset(reader);
            ASSERT_TRUE(SimSetCard(reader, true));
            ASSERT_TRUE(SimSetDelayMicros(reader, 300));  // 2000 runs take 0.6 s at least
            ASSERT_TRUE(SimWaitForCard(reader, true));
            snprintf(runs[reader].reader, sizeof runs[reader].reader, "%s", SimReaderName(reader).c_str());
        }
        std::atomic<bool> stop {false};
        std::thread runner(
            [&] { RunPlanOnReaders(plan, host, ConnectOptions {}, SCARD_LEAVE_CARD, each, 2, &stop, events); });
        while (seen.ready < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (unplug)
            EXPECT_TRUE(SimSetUnplugged(1, true));
        else
            stop = true;
        runner.join();
        SimReset(0);
        SimReset(1);

        EXPECT_EQ(seen.suites, unplug ? 4 : 2);
        const SuiteResult& first = runs[1].results[0];
        EXPECT_EQ(first.verdict, VERDICT_INCONCLUSIVE) << first.note;
        EXPECT_LT(first.value[QUANTITY_RUNS], 2000);
        EXPECT_EQ(runs[1].samples.count, int32_t(first.value[QUANTITY_RUNS]));
        EXPECT_STREQ(runs[1].environment.reader, runs[1].reader);
        if (!unplug) {
            EXPECT_TRUE(first.stopped);
            EXPECT_TRUE(runs[0].results[0].stopped);
            EXPECT_EQ(runs[0].count, 1);
            continue;
        }
        EXPECT_EQ(first.status, SCARD_E_READER_UNAVAILABLE) << std::hex << first.status;
        EXPECT_NE(strstr(first.note, "reader or card gone at run"), nullptr) << first.note;
        ASSERT_EQ(runs[1].count, 2);
        EXPECT_EQ(runs[1].results[1].verdict, VERDICT_INCONCLUSIVE);
        EXPECT_EQ(runs[1].results[1].status, SCARD_E_READER_UNAVAILABLE) << "the connect after the loss";
        ASSERT_EQ(runs[0].count, 2);
        EXPECT_EQ(runs[0].results[0].verdict, VERDICT_PASS) << runs[0].results[0].note;
        EXPECT_EQ(runs[0].results[1].verdict, VERDICT_PASS) << runs[0].results[1].note;
        EXPECT_EQ(runs[0].samples.count, 2002);
        ASSERT_TRUE(SimWaitForCard(1, false));  // back to its empty default before the next test
    }
}

}  // namespace
