// Timing of PC/SC calls: the span between two counter reads around a call.
#pragma once

#include <cstdint>

#include <winscard.h>

#include "core/clock/counter.h"

// Counter ticks just before and just after what was measured.
struct Span {
    int64_t start;
    int64_t end;
};

// Runs `call` (anything returning a PC/SC status) between two counter reads.
template<class Call> LONG TimedCall(Span* span, Call call)
{
    span->start = QueryPerformanceCounter();
    LONG status = call();
    span->end = QueryPerformanceCounter();
    return status;
}

// The span in milliseconds per run of `runs` (fewer than 1 count as 1): what
// the Elapsed field and line show and the command line's JSON "ms" holds.
inline double SpanMsPerRun(const Span& span, int64_t ticksPerMs, int32_t runs)
{
    return TicksToMs(span.end - span.start, ticksPerMs) / double(runs < 1 ? 1 : runs);
}
