// Qualification verdicts: the suites a plan runs, the quantities each suite
// measures, the limits a plan puts on them, and the verdict and margin of a
// measured value against its limit. Shared by the plan reader, the suites
// and every output, so that a suite joins them all by its rows here.
#pragma once

#include <cstdint>

enum SuiteKind : int32_t {
    SUITE_STABILITY,  // one APDU many times: the transmit loop with limits
    SUITE_SWEEP,      // one header over a range of data (Lc) or answer (Le) lengths
    SUITE_POWER,      // cold resets or disconnect-unpower + connect, the ATR checked
    SUITE_TAP,        // the operator taps the card: arrival to connect, to the first answer, time in the field
    SUITE_REMOVAL,    // the card pulled during a loop of exchanges: the statuses met, and the card back
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
    // tap: the taps' figures. runs counts the taps seen, failures those whose connect or
    // APDU failed (or answered an unexpected SW), atr_changes those whose ATR differed from
    // the first tap's.
    QUANTITY_MISSED_TAPS,          // of the taps asked for, those not seen: see plan.h
    QUANTITY_REMOVALS,             // taps whose card was seen leaving
    QUANTITY_CONNECT_MS,           // the median of arrival to SCardConnect's return
    QUANTITY_CONNECT_MAX_MS,       //
    QUANTITY_FIRST_ANSWER_MS,      // the median of arrival to the answered APDU
    QUANTITY_FIRST_ANSWER_MAX_MS,  //
    QUANTITY_IN_FIELD_MS,          // the median of arrival to removal, as the suite saw them
    QUANTITY_ARRIVAL_SPREAD_MS,    // the longest minus the shortest interval between two arrivals
    // removal: runs counts the exchanges up to the one that met the removal, failures those
    // answered with an unexpected SW.
    QUANTITY_REMOVAL_SEEN_MS,  // from the end of the last good exchange to the end of the failed one
    QUANTITY_RECONNECTED,      // 1 when the card put back connected and answered, else 0
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
