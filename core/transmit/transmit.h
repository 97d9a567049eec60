// The transmit loop: one request sent to a connected card a number of times,
// each run timed and recorded; the loop count's rules; the expected status
// word; and the summary of a recorded loop.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <winscard.h>

#include "core/clock/timing.h"

// The most runs one Transmit makes; the count field is cut back to it.
constexpr int32_t LOOP_COUNT_MAX = 5000;

// A count below 1 counts as 1: the field may be empty, 0, or beyond INT32_MAX.
inline int32_t LoopCountAtLeastOne(int32_t count)
{
    return count < 1 ? 1 : count;
}

inline int32_t LoopCountCapped(int32_t count)
{
    return count > LOOP_COUNT_MAX ? LOOP_COUNT_MAX : count;
}

// The runs one Transmit plans.
inline int32_t LoopRuns(bool loopEnabled, int32_t loopCount)
{
    return loopEnabled ? loopCount : 1;
}

// Where the loop shows how far it is; `show` may be null (no display).
struct LoopProgress {
    void (*show)(void* context, int32_t percent);
    void* context;
};

// One loop's measurements, run by run, in a fixed record (no allocation per
// run): what the summary, the distribution, the charts and the CSV read.
// Held by whoever runs the loop (the window's loop, the command line's
// exchange) and written only by the loop while it runs.
struct LoopRecord {
    int32_t runsPlanned;            // the runs the loop was asked for, at most LOOP_COUNT_MAX
    int32_t runsMade;               // the runs whose entries below are filled, a failing last one included
    int32_t firstFailure;           // 1-based run that first failed (PC/SC code, no or unexpected SW); 0 for none
    bool stopped;                   // ended by the user before runsPlanned
    int64_t ticks[LOOP_COUNT_MAX];  // each run's SCardTransmit time in counter ticks, which are nanoseconds
    LONG status[LOOP_COUNT_MAX];    // each run's PC/SC code
    uint16_t sw[LOOP_COUNT_MAX];    // each run's last two response bytes; 0 without them
};

// No answer check. A status word never starts with 00, so 0 is free.
constexpr uint16_t NO_EXPECTED_SW = 0;

// The expected status word as typed: two hex bytes, blanks allowed around
// and between them ("90 00", "9000", "6a82"); a text of blanks is no check
// (NO_EXPECTED_SW). False for anything else, and for a first byte that no
// card answers with (only 6X and 9X are status words); *sw is then unchanged.
bool ParseExpectedSw(const char* text, uint16_t* sw);

struct TransmitOutcome {
    LONG status;           // of the last run made
    int32_t runsMade;      // a run that failed and stopped the loop included
    Span span;             // around every run and its progress display
    DWORD responseLength;  // of the last run
};

// Sends `request` up to `runs` times (at most LOOP_COUNT_MAX) with the send
// record of `protocol`; each response goes into `response` (responseSize
// bytes). A run fails on a PC/SC error, on an answer of fewer than two bytes
// (no status word) or, with an expected status word, on an answer that ends
// otherwise; with `breakOnError` the first failing run
// ends the loop. Once `stop` (may be null) is set, the loop ends after the
// run under way. After a run whose share of all runs reaches the next
// multiple of 5 percent, progress.show gets that percentage (each value
// once). Every run is written into `record`.
TransmitOutcome TransmitLoop(SCARDHANDLE card, DWORD protocol, const BYTE* request, DWORD requestLength, int32_t runs,
                             bool breakOnError, uint16_t expectedSw, BYTE* response, DWORD responseSize,
                             const std::atomic<bool>* stop, LoopProgress progress, LoopRecord* record);

// The kinds of outcome a summary counts apart; runs of any further kind are
// counted together as "other".
constexpr int LOOP_OUTCOME_KINDS = 16;

struct LoopOutcomeCount {
    bool answered;  // PC/SC completed the run: `code` is its status word (0: none came back)
    uint32_t code;  // otherwise: the PC/SC code it failed with
    int32_t runs;
};

// What a recorded loop came to: counts of its outcomes (answered kinds
// first, each group in the order the kinds first came up) and the
// distribution of its runs' times in microseconds (nearest-rank
// percentiles).
struct LoopSummary {
    int32_t runsMade;
    LoopOutcomeCount outcomes[LOOP_OUTCOME_KINDS];
    int32_t outcomeCount;
    int32_t otherRuns;  // runs of kinds beyond the table
    double minUs, medianUs, p90Us, p99Us, maxUs, meanUs;
};

void SummarizeLoop(const LoopRecord& record, LoopSummary* summary);

// Room for either summary line; a longer one is cut.
constexpr size_t LOOP_LINE_SIZE = 2048;

// "Loop: 5000 runs, 4996 answered 90 00, 2 answered 6A 82, 1 failed
// 0x80100016 (Transaction failed.), 1 failed with no status word"
void FormatLoopCounts(char (&text)[LOOP_LINE_SIZE], const LoopSummary& summary);
// "Loop times (µs): min 9.1, median 9.8, p90 11.2, p99 20.5, max 310.4, mean 10.3",
// the micro sign in UTF-8 (C2 B5) in both front ends.
void FormatLoopTimes(char (&text)[LOOP_LINE_SIZE], const LoopSummary& summary);
