// The transmit loop over the `pcsc` call table, and the summary of a
// recorded loop.
#include "transmit/transmit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "pcsc/pcsc_api.h"
#include "pcsc/wire_format.h"

LoopRecord loopRecord;

TransmitOutcome TransmitLoop(SCARDHANDLE card, DWORD protocol, const BYTE* request, DWORD requestLength, int32_t runs,
                             bool breakOnError, BYTE* response, DWORD responseSize, LoopProgress progress)
{
    const SCARD_IO_REQUEST* sendPci = SendPci(protocol);
    TransmitOutcome outcome {SCARD_S_SUCCESS, 0, {}, 0};
    outcome.span.start = QueryPerformanceCounter();
    for (int32_t run = 1; run <= runs; ++run) {
        DWORD length = responseSize;
        outcome.status = pcsc.Transmit(card, sendPci, request, requestLength, nullptr, response, &length);
        outcome.runsMade = run;
        outcome.responseLength = length;
        if (breakOnError && outcome.status != SCARD_S_SUCCESS)
            break;
        if (progress.show != nullptr) {
            int32_t percent = int32_t(int64_t(run) * 100 / runs);
            if (percent % 5 == 0)
                progress.show(progress.context, percent);
        }
    }
    outcome.span.end = QueryPerformanceCounter();
    return outcome;
}

namespace {

// Nearest rank: the smallest time that at least `percent` of the runs do not exceed.
double PercentileUs(const int64_t* sorted, int32_t count, int32_t percent)
{
    int32_t rank = int32_t((int64_t(percent) * count + 99) / 100);
    return double(sorted[std::max(rank, 1) - 1]) / 1000.0;
}

void CountOutcome(LoopSummary* summary, bool answered, uint32_t code)
{
    for (int32_t i = 0; i < summary->outcomeCount; ++i) {
        LoopOutcomeCount& kind = summary->outcomes[i];
        if (kind.answered == answered && kind.code == code) {
            ++kind.runs;
            return;
        }
    }
    if (summary->outcomeCount == LOOP_OUTCOME_KINDS) {
        ++summary->otherRuns;
        return;
    }
    summary->outcomes[summary->outcomeCount++] = {answered, code, 1};
}

// Adds `piece` at text[*used], cutting what does not fit.
void AddPiece(char (&text)[LOOP_LINE_SIZE], size_t* used, const char* piece)
{
    size_t length = std::min(strlen(piece), sizeof text - 1 - *used);
    memcpy(text + *used, piece, length);
    *used += length;
    text[*used] = '\0';
}

}  // namespace

void SummarizeLoop(const LoopRecord& record, LoopSummary* summary)
{
    // The window's thread sorts after the loop has ended: one buffer serves.
    static int64_t sorted[LOOP_COUNT_MAX];
    int32_t count = std::clamp(record.runsMade, 0, LOOP_COUNT_MAX);
    *summary = {};
    summary->runsMade = count;
    // Answered kinds first, then the failures, each in the order they came up.
    for (bool answered : {true, false})
        for (int32_t i = 0; i < count; ++i)
            if ((record.status[i] == SCARD_S_SUCCESS) == answered)
                CountOutcome(summary, answered, answered ? record.sw[i] : uint32_t(record.status[i]));
    if (count == 0)
        return;

    std::copy(record.ns, record.ns + count, sorted);
    std::sort(sorted, sorted + count);
    double totalNs = 0;
    for (int32_t i = 0; i < count; ++i)
        totalNs += double(sorted[i]);
    summary->minUs = double(sorted[0]) / 1000.0;
    summary->medianUs = PercentileUs(sorted, count, 50);
    summary->p90Us = PercentileUs(sorted, count, 90);
    summary->p99Us = PercentileUs(sorted, count, 99);
    summary->maxUs = double(sorted[count - 1]) / 1000.0;
    summary->meanUs = totalNs / count / 1000.0;
}

void FormatLoopCounts(char (&text)[LOOP_LINE_SIZE], const LoopSummary& summary)
{
    char piece[160];
    size_t used = 0;
    text[0] = '\0';
    snprintf(piece, sizeof piece, "Loop: %d run%s", summary.runsMade, summary.runsMade == 1 ? "" : "s");
    AddPiece(text, &used, piece);
    for (int32_t i = 0; i < summary.outcomeCount; ++i) {
        const LoopOutcomeCount& kind = summary.outcomes[i];
        if (kind.answered && kind.code == 0)
            snprintf(piece, sizeof piece, ", %d answered without a status word", kind.runs);
        else if (kind.answered)
            snprintf(piece, sizeof piece, ", %d answered %02X %02X", kind.runs, kind.code >> 8, kind.code & 0xFF);
        else  // pcsc_stringify_error's buffer is copied before its next call
            snprintf(piece, sizeof piece, ", %d failed 0x%08X (%s)", kind.runs, kind.code,
                     pcsc_stringify_error(LONG(kind.code)));
        AddPiece(text, &used, piece);
    }
    if (summary.otherRuns > 0) {
        snprintf(piece, sizeof piece, ", %d with other outcomes", summary.otherRuns);
        AddPiece(text, &used, piece);
    }
}

void FormatLoopTimes(char (&text)[LOOP_LINE_SIZE], const LoopSummary& summary)
{
    snprintf(text, sizeof text, "Loop times (us): min %.1f, median %.1f, p90 %.1f, p99 %.1f, max %.1f, mean %.1f",
             summary.minUs, summary.medianUs, summary.p90Us, summary.p99Us, summary.maxUs, summary.meanUs);
}
