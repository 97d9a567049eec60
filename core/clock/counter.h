// The high-resolution performance counter: CLOCK_MONOTONIC in nanoseconds,
// and the one conversion of its ticks into time.
#pragma once

#include <cstdint>

// Ticks per second; 0 when the system has no such counter.
int64_t QueryPerformanceFrequency();
int64_t QueryPerformanceCounter();

// `ticks` of a counter of `ticksPerMs` ticks a millisecond, in milliseconds.
// A counter slower than 1000 ticks a second counts a tick a millisecond.
double TicksToMs(int64_t ticks, int64_t ticksPerMs);
