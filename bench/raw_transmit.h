// The floor of one card exchange on this machine: a bare loop of SCardTransmit calls of
// GetUID, nothing else. bench/raw_transmit prints it; other benchmarks include this header
// to measure it side by side with their own figures (or run raw_transmit and read its
// raw_median_us= line).
#pragma once

#include <winscard.h>

#include <algorithm>
#include <chrono>

#include "core/wire/wire_format.h"

struct RawSpread {
    double minUs, medianUs, maxUs;
};

// GetUID as the tester composes it with its start values.
inline constexpr BYTE RAW_GET_UID[] = {STORAGE_CLA, INS_GET_UID, 0x00, 0x00, 0x00};

// Sends GetUID `calls` times on a connected card; returns the microseconds per call, or -1
// when a call fails.
inline double RawTransmitLoop(SCARDHANDLE card, DWORD protocol, int calls)
{
    const SCARD_IO_REQUEST* pci = SendPci(protocol);
    BYTE response[258];
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) {
        DWORD length = sizeof response;
        if (SCardTransmit(card, pci, RAW_GET_UID, sizeof RAW_GET_UID, nullptr, response, &length) != SCARD_S_SUCCESS)
            return -1;
    }
    const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / calls;
}

// Runs the loop `reps` times (after a short warm-up) and gives the spread of the
// per-call times; false when a call fails. perCallUs receives each repetition's figure.
inline bool RawTransmitRuns(SCARDHANDLE card, DWORD protocol, int calls, int reps, double* perCallUs, RawSpread* spread)
{
    if (reps < 1 || RawTransmitLoop(card, protocol, std::min(calls, 50)) < 0)
        return false;
    for (int r = 0; r < reps; ++r)
        if ((perCallUs[r] = RawTransmitLoop(card, protocol, calls)) < 0)
            return false;
    double sorted[256];
    const int n = std::min(reps, 256);
    std::copy(perCallUs, perCallUs + n, sorted);
    std::sort(sorted, sorted + n);
    spread->minUs = sorted[0];
    spread->maxUs = sorted[n - 1];
    spread->medianUs = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    return true;
}
