// The transmit loop over the `pcsc` call table, the expected status word,
// and the summary of a recorded loop.
#include "core/transmit/transmit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/pcsc/pcsc_api.h"
#include "core/wire/wire_format.h"

bool ParseExpectedSw(const char* text, uint16_t* sw)
{
    static const char HEX_DIGITS[] = "0123456789ABCDEF";
    uint32_t value = 0;
    int digits = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == ' ') {
            // Blanks part whole bytes only.
            if (digits % 2 != 0)
                return false;
            continue;
        }
        const char* digit = strchr(HEX_DIGITS, toupper(static_cast<unsigned char>(*p)));
        if (digit == nullptr || digits == 4)
            return false;
        value = value << 4 | uint32_t(digit - HEX_DIGITS);
        ++digits;
    }
    if (digits == 0) {
        *sw = NO_EXPECTED_SW;
        return true;
    }
    uint32_t sw1Group = value >> 12;
    if (digits != 4 || (sw1Group != 0x6 && sw1Group != 0x9))
        return false;
    *sw = uint16_t(value);
    return true;
}

TransmitOutcome TransmitLoop(SCARDHANDLE card, DWORD protocol, const BYTE* request, DWORD requestLength, int32_t runs,
                             bool breakOnError, uint16_t expectedSw, BYTE* response, DWORD responseSize,
                             const std::atomic<bool>* stop, LoopProgress progress, LoopRecord* record)
{
    runs = std::min(runs, LOOP_COUNT_MAX);
    const SCARD_IO_REQUEST* sendPci = SendPci(protocol);
    TransmitOutcome outcome {SCARD_S_SUCCESS, 0, {}, 0};
    record->runsPlanned = runs;
    record->runsMade = 0;
    record->firstFailure = 0;
    record->stopped = false;
    int32_t shownPercent = -1;
    outcome.span.start = QueryPerformanceCounter();
    for (int32_t run = 1; run <= runs; ++run) {
        DWORD length = responseSize;
        Span call;
        outcome.status = TimedCall(
            &call, [&] { return pcsc.Transmit(card, sendPci, request, requestLength, nullptr, response, &length); });
        bool answered = outcome.status == SCARD_S_SUCCESS;
        uint16_t sw = answered && length >= 2 ? uint16_t(response[length - 2] << 8 | response[length - 1]) : 0;
        outcome.runsMade = run;
        outcome.responseLength = length;
        record->runsMade = run;
        record->ticks[run - 1] = call.end - call.start;
        record->status[run - 1] = outcome.status;
        record->sw[run - 1] = sw;

        // An answer too short for a status word is no card's answer: a failure, checked or not.
        bool failed = !answered || length < 2 || (expectedSw != NO_EXPECTED_SW && sw != expectedSw);
        if (failed && record->firstFailure == 0)
            record->firstFailure = run;
        if (failed && breakOnError)
            break;
        int32_t percent = int32_t(int64_t(run) * 100 / runs);
        if (progress.show != nullptr && percent % 5 == 0 && percent != shownPercent) {
            shownPercent = percent;
            progress.show(progress.context, percent);
        }
        if (stop != nullptr && run < runs && stop->load(std::memory_order_relaxed)) {
            record->stopped = true;
            break;
        }
    }
    outcome.span.end = QueryPerformanceCounter();
    return outcome;
}

namespace {

// The counter counts nanoseconds (core/clock/counter.h).
constexpr double TICKS_PER_US = 1000.0;

// Nearest rank: the smallest time that at least `percent` of the runs do not exceed.
double PercentileUs(const int64_t* sorted, int32_t count, int32_t percent)
{
    int32_t rank = int32_t((int64_t(percent) * count + 99) / 100);
    return double(sorted[std::max(rank, 1) - 1]) / TICKS_PER_US;
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
    int64_t sorted[LOOP_COUNT_MAX];
    int32_t count = std::clamp(record.runsMade, 0, LOOP_COUNT_MAX);
    *summary = {};
    summary->runsMade = count;
    // Runs answered with a status word first, then the failures (an answer
    // without a status word among them), each in the order they came up.
    for (bool withSw : {true, false})
        for (int32_t i = 0; i < count; ++i) {
            bool answered = record.status[i] == SCARD_S_SUCCESS;
            if ((answered && record.sw[i] != 0) == withSw)
                CountOutcome(summary, answered, answered ? record.sw[i] : uint32_t(record.status[i]));
        }
    if (count == 0)
        return;

    std::copy(record.ticks, record.ticks + count, sorted);
    std::sort(sorted, sorted + count);
    double totalTicks = 0;
    for (int32_t i = 0; i < count; ++i)
        totalTicks += double(sorted[i]);
    summary->minUs = double(sorted[0]) / TICKS_PER_US;
    summary->medianUs = PercentileUs(sorted, count, 50);
    summary->p90Us = PercentileUs(sorted, count, 90);
    summary->p99Us = PercentileUs(sorted, count, 99);
    summary->maxUs = double(sorted[count - 1]) / TICKS_PER_US;
    summary->meanUs = totalTicks / count / TICKS_PER_US;
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
            snprintf(piece, sizeof piece, ", %d failed with no status word", kind.runs);
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
    snprintf(text, sizeof text,
             "Loop times (\xC2\xB5s): min %.1f, median %.1f, p90 %.1f, p99 %.1f, max %.1f, mean %.1f", summary.minUs,
             summary.medianUs, summary.p90Us, summary.p99Us, summary.maxUs, summary.meanUs);
}
