// Qualification verdicts: the suites a plan runs, the quantities each suite
// measures, the limits a plan puts on them, and the verdict and margin of a
// measured value against its limit. Shared by the plan reader, the suites
// and every output, so that a suite added later (tap, removal during a
// transaction) joins by a row here.
#pragma once

#include <cstdint>

enum SuiteKind : int32_t {
    SUITE_STABILITY,  // one APDU many times: the transmit loop with limits
    SUITE_SWEEP,      // one header over a range of data (Lc) or answer (Le) lengths
    SUITE_POWER,      // cold resets or disconnect-unpower + connect, the ATR checked
    SUITE_KIND_COUNT,
};

// The suite's keyword in a plan and its name in every output.
const char* SuiteKindName(SuiteKind kind);

enum Quantity : int32_t {
    QUANTITY_RUNS,            // exchanges (cycles, for power) made
    QUANTITY_FAILURES,        // of them, those that failed: a PC/SC error or an unexpected SW (or ATR read)
    QUANTITY_MIN_US,          // stability: the loop's times
    QUANTITY_MEDIAN_US,       //
    QUANTITY_P90_US,          //
    QUANTITY_P99_US,          //
    QUANTITY_MAX_US,          //
    QUANTITY_MEAN_US,         //
    QUANTITY_PER_BYTE_US,     // sweep: the fitted line's slope
    QUANTITY_FIXED_US,        // sweep: its intercept, the cost of an exchange of no bytes
    QUANTITY_BYTES_PER_S,     // sweep: 1 / slope (none for a slope not above 0)
    QUANTITY_FAILED_LENGTHS,  // sweep: lengths with at least one failed run
    QUANTITY_ATR_CHANGES,     // power: cycles whose ATR differed from the one before the first cycle
    QUANTITY_MEDIAN_MS,       // power: the cycles' times
    QUANTITY_MAX_MS,          //
    QUANTITY_MEAN_MS,         //
    QUANTITY_COUNT,
};

// The quantity's name in a plan and in every output ("p99_us").
const char* QuantityName(Quantity quantity);
// Whether a suite of `kind` measures `quantity`.
bool SuiteMeasures(SuiteKind kind, Quantity quantity);
// The quantity named by `name` (exact, lower case); QUANTITY_COUNT for none.
Quantity FindQuantity(const char* name);

enum LimitOperator : int32_t {
    LIMIT_BELOW,     // <
    LIMIT_AT_MOST,   // <=
    LIMIT_ABOVE,     // >
    LIMIT_AT_LEAST,  // >=
    LIMIT_EQUAL,     // =
    LIMIT_OPERATOR_COUNT,
};

// "<", "<=", ">", ">=", "=".
const char* LimitOperatorText(LimitOperator op);

enum Verdict : int32_t {
    VERDICT_PASS,
    VERDICT_FAIL,
    VERDICT_INCONCLUSIVE,  // nothing to judge: the suite could not measure, was stopped, or has no such value
};

// "pass", "fail", "inconclusive".
const char* VerdictName(Verdict verdict);

struct PlanLimit {
    int32_t line;  // of the plan
    Quantity quantity;
    LimitOperator op;
    double value;
};

struct LimitResult {
    PlanLimit limit;
    bool measured;  // false: no value (the verdict is then inconclusive, the margin 0)
    double value;
    // Signed so that positive is good: limit - value for < and <=, value -
    // limit for > and >=, -|value - limit| for = (0 when met). A limit met
    // exactly by < or > has margin 0 and fails.
    double margin;
    Verdict verdict;
};

// `limit` against a value (`measured` false: none).
LimitResult JudgeLimit(const PlanLimit& limit, bool measured, double value);

// A suite's verdict from its limits' verdicts: inconclusive when the suite
// could not measure (`complete` false), else fail when any limit failed,
// else inconclusive when any was, else pass (also for a suite without
// limits).
Verdict SuiteVerdict(bool complete, const LimitResult* limits, int32_t count);
