// Per-run times sorted into bins of equal width on a logarithmic scale, so
// that a bulk of 10 us and an outlier of 5 ms fall in bins of the same
// relative width.
#pragma once

#include <cstdint>

// Bins per tenfold step of time: each bin's upper edge is 10^(1/20), about
// 12 %, above its lower edge.
constexpr int32_t HISTOGRAM_BINS_PER_DECADE = 20;
// Bin 0 and eight decades of bins.
constexpr int32_t HISTOGRAM_BINS_MAX = 1 + 8 * HISTOGRAM_BINS_PER_DECADE;

// Sorts `count` times (ns) into bins on a grid that does not depend on the
// times: the edges are 10^(k/20) ns. Fills up to `capacity` bins and returns
// how many (0 for no times or a capacity below 2). Bin 0 is empty: its upper
// edge is where bin 1 starts, at the grid edge at or below the shortest
// time. Bin i holds the times from upperEdgesUs[i - 1] up to, not
// including, upperEdgesUs[i]; the last bin also holds every longer time when
// the times span more bins than fit. A time below 1 ns counts as 1 ns.
int32_t BinLogScaled(const int64_t* ns, int32_t count, double* upperEdgesUs, int32_t* counts, int32_t capacity);
