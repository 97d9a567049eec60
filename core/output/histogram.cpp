// Logarithmic binning of per-run times.
#include "core/output/histogram.h"

#include <algorithm>
#include <cmath>

namespace {

// The grid edge k in ns.
double Edge(int32_t k)
{
    return std::pow(10.0, double(k) / HISTOGRAM_BINS_PER_DECADE);
}

// The grid step holding `ns`: Edge(k) <= ns < Edge(k + 1). The logarithm
// only guesses; the edges themselves decide, so a time equal to an edge
// lands in the bin that edge starts.
int32_t GridStep(int64_t ns)
{
    double time = double(std::max<int64_t>(ns, 1));
    auto k = int32_t(std::floor(std::log10(time) * HISTOGRAM_BINS_PER_DECADE));
    while (Edge(k + 1) <= time)
        ++k;
    while (Edge(k) > time)
        --k;
    return k;
}

}  // namespace

int32_t BinLogScaled(const int64_t* ns, int32_t count, double* upperEdgesUs, int32_t* counts, int32_t capacity)
{
    if (!ns || count < 1 || capacity < 2)
        return 0;
    int32_t first = GridStep(ns[0]);
    int32_t last = first;
    for (int32_t run = 1; run < count; ++run) {
        int32_t k = GridStep(ns[run]);
        first = std::min(first, k);
        last = std::max(last, k);
    }
    int32_t bins = std::min(last - first + 2, capacity);
    for (int32_t bin = 0; bin < bins; ++bin) {
        upperEdgesUs[bin] = Edge(first + bin) / 1000.0;
        counts[bin] = 0;
    }
    for (int32_t run = 0; run < count; ++run)
        ++counts[std::min(GridStep(ns[run]) - first + 1, bins - 1)];
    return bins;
}
