// The qualification suites, each a core over a connected card and the
// suite's parameters: the loop's stability, the payload sweep with its
// least-squares line, and the power cycles with their ATR check. Each fills
// a result record with the quantities it measured and the verdict of every
// limit; the exchanges go into a fixed sample store as they are made.
// Times are host-side: each holds USB, pcscd and the driver, never the RF
// exchange alone (QUALIFY_CAVEAT).
#pragma once

#include <atomic>
#include <cstdint>

#include <winscard.h>

#include "core/clock/timing.h"
#include "core/pcsc/connection.h"
#include "core/qualify/plan.h"
#include "core/qualify/verdict.h"
#include "core/transmit/transmit.h"

// What every output prints with the figures.
extern const char QUALIFY_CAVEAT[];

// Percentiles need this many runs to be more than the slowest run: a limit
// on p90_us with fewer than 10 runs, or on p99_us with fewer than 100, is
// inconclusive.
constexpr int32_t P90_RUNS_MIN = 10;
constexpr int32_t P99_RUNS_MIN = 100;

// How a suite that needs the operator's hand asks for it ("Tap the card (2
// of 5)."): the front end shows the line, on the suite's thread, and returns.
struct QualifyPrompt {
    void (*say)(void* context, const char* text);  // null: nobody is asked
    void* context;
};

// The connection the suites run on. The power suite's reconnect mode and the
// removal suite replace `card` (0, with `status`, after a connect that
// failed), the tap suite lets it go; a suite other than tap that finds no
// card is inconclusive.
struct QualifyTarget {
    SCARDCONTEXT context;
    const char* reader;
    ConnectOptions options;  // how a power cycle, a tap or a card put back connects (zeroed: the default)
    SCARDHANDLE card;
    DWORD protocol;
    LONG status;  // of the last connect
    QualifyPrompt prompt;
};

// One exchange (one cycle, one tap) as the samples file holds it.
// A tap's row: run is the tap, length its time in the field in whole ms (-1
// when its removal was not seen), ns the time from its arrival to the end of
// its last call (the APDU's answer, or the connect or transmit that failed),
// status that call's. A removal's rows: the loop's exchanges, then the call
// after the removal, then the APDU of the card put back.
struct QualifySample {
    int32_t suite;   // its index in the plan
    int32_t run;     // 1-based within the suite
    int32_t length;  // sweep: the length swept; tap: see above; -1 for the other suites
    int64_t ns;
    LONG status;
    uint16_t sw;  // 0 without one
};

struct QualifySamples {
    QualifySample rows[PLAN_SAMPLES_MAX];
    int32_t count;
};

struct LineFit {
    int32_t points;  // the points fitted; fewer than 2 distinct x give no line
    double slope;
    double intercept;
};

// The line y = slope x + intercept nearest the points in least squares;
// false (fit->points set, slope and intercept 0) for fewer than two
// distinct x.
bool FitLine(const double* x, const double* y, int32_t count, LineFit* fit);

// One length of a sweep.
struct SweepPoint {
    int32_t length;
    int32_t failures;  // runs that failed
    double medianUs;   // of the runs that did not fail; 0 for none
    LONG firstStatus;  // the first failed run's PC/SC code and status word
    uint16_t firstSw;
};

constexpr int QUALIFY_NOTE_SIZE = 256;

struct SuiteResult {
    int32_t suite;     // its index in the plan
    LONG status;       // what kept the suite from its end: no card, a failed first ATR read; else success
    bool complete;     // every exchange planned was made
    bool stopped;      // by the stop flag
    int32_t planned;   // exchanges (cycles)
    Span span;         // around the whole suite
    bool checkFailed;  // removal: a status other than expected, or a card back that did not answer: fail
    bool measured[QUANTITY_COUNT];
    double value[QUANTITY_COUNT];
    LimitResult limits[PLAN_LIMITS_MAX];
    int32_t limitCount;
    Verdict verdict;
    char note[QUALIFY_NOTE_SIZE];  // what the verdict does not say: why not complete, the failed lengths
    LineFit fit;                   // sweep
    BYTE atr[MAX_ATR_SIZE];        // power: the ATR before the first cycle; tap: the first tap's
    DWORD atrLength;
};

// A suite's room while it runs, and the sweep's points after it (read by the
// outputs before the next suite).
struct QualifyScratch {
    LoopRecord loop;
    SweepPoint points[SWEEP_POINTS_MAX];
    int32_t pointCount;
    double x[SWEEP_POINTS_MAX];
    double y[SWEEP_POINTS_MAX];
    int64_t ticks[POWER_CYCLES_MAX > SWEEP_RUNS_MAX ? POWER_CYCLES_MAX : SWEEP_RUNS_MAX];
    // tap: each tap's arrival, and its times to connect, to answer and to leave
    int64_t arrivals[TAPS_MAX];
    int64_t connectNs[TAPS_MAX];
    int64_t answerNs[TAPS_MAX];
    int64_t fieldNs[TAPS_MAX];
    BYTE request[MAX_BUFFER_SIZE_EXTENDED];
    BYTE response[MAX_BUFFER_SIZE_EXTENDED];
};

// Whether `status` says the reader or its card went away (unplugged, the
// card taken out, pcscd gone): no later exchange on that handle can go
// through. A suite that meets it ends there, inconclusive with that status,
// for the reader left nothing to judge; it does not fail the reader.
bool ReaderGone(LONG status);

// Runs suite `index` of `plan` on `target` until its end or until `stop`
// (may be null) is set, adding each exchange to `samples` (may be null),
// and judges its limits into `result`. The reader or card gone (ReaderGone)
// ends the suite with `result->status` set to what the call answered.
void RunSuite(QualifyTarget* target, const QualifyPlan& plan, int32_t index, const std::atomic<bool>* stop,
              QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result);

// The verdict of `limit` over what `result` measured.
LimitResult JudgeResultLimit(const SuiteResult& result, const PlanLimit& limit);
