// The performance counter over CLOCK_MONOTONIC, and its ticks as time.
#include "core/clock/counter.h"

#include <time.h>

int64_t QueryPerformanceFrequency()
{
    timespec resolution;
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0)
        return 0;
    return 1000000000;
}

int64_t QueryPerformanceCounter()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double TicksToMs(int64_t ticks, int64_t ticksPerMs)
{
    return double(ticks) / double(ticksPerMs < 1 ? 1 : ticksPerMs);
}
