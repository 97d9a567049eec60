// The high-resolution performance counter: CLOCK_MONOTONIC in nanoseconds.
#pragma once

#include <cstdint>

// Ticks per second; 0 when the system has no such counter.
int64_t QueryPerformanceFrequency();
int64_t QueryPerformanceCounter();
