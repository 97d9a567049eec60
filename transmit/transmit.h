// The transmit loop: one request sent to a connected card a number of times,
// timed as a whole; and the loop count's rules.
#pragma once

#include <cstdint>

#include <winscard.h>

#include "output/timing.h"

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

// The runs one Transmit makes, and what every elapsed time shown is divided
// by (also after a loop that stopped early, and for the other timed calls).
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
struct LoopRecord {
    int32_t runsPlanned;
    int32_t runsMade;
    int32_t firstFailure;         // 1-based run that first failed (PC/SC code or expected SW); 0 for none
    bool stopped;                 // ended by the user before runsPlanned
    int64_t ns[LOOP_COUNT_MAX];   // each run's SCardTransmit time, monotonic clock
    LONG status[LOOP_COUNT_MAX];  // each run's PC/SC code
    uint16_t sw[LOOP_COUNT_MAX];  // each run's last two response bytes; 0 without them
};
// The last loop's record; written only by the loop while it runs.
extern LoopRecord loopRecord;

struct TransmitOutcome {
    LONG status;           // of the last run made
    int32_t runsMade;      // a run that failed and stopped the loop included
    Span span;             // around every run and its progress display
    DWORD responseLength;  // of the last run
};

// Sends `request` `runs` times with the send record of `protocol`; each
// response goes into `response` (responseSize bytes). With `breakOnError` the
// first failing run ends the loop. After each run whose share of all runs is
// a multiple of 5 percent, progress.show gets that percentage, again when the
// same percentage comes round twice.
TransmitOutcome TransmitLoop(SCARDHANDLE card, DWORD protocol, const BYTE* request, DWORD requestLength, int32_t runs,
                             bool breakOnError, BYTE* response, DWORD responseSize, LoopProgress progress);
