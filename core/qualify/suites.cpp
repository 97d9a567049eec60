// The qualification suites over the `pcsc` table: the stability suite runs
// the transmit loop, the sweep and the power cycles their own timed calls.
#include "core/qualify/suites.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/pcsc/connection.h"
#include "core/pcsc/pcsc_api.h"
#include "core/wire/wire_format.h"

const char QUALIFY_CAVEAT[] = "Times are host-side: each holds USB, pcscd and the reader driver, never the RF "
                              "exchange alone.";

namespace {

// The counter counts nanoseconds (core/clock/counter.h).
constexpr double NS_PER_US = 1000.0;
constexpr double NS_PER_MS = 1000000.0;

void Measure(SuiteResult* result, Quantity quantity, double value)
{
    result->measured[quantity] = true;
    result->value[quantity] = value;
}

void AddSample(QualifySamples* samples, const QualifySample& sample)
{
    if (samples != nullptr && samples->count < PLAN_SAMPLES_MAX)
        samples->rows[samples->count++] = sample;
}

// The nearest-rank median of `count` ticks, sorted in place.
int64_t MedianTicks(int64_t* ticks, int32_t count)
{
    std::sort(ticks, ticks + count);
    return ticks[std::max((count + 1) / 2, 1) - 1];
}

bool Stopped(const std::atomic<bool>* stop)
{
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

// Adds to the result's note, cut where it ends.
[[gnu::format(printf, 2, 3)]] void Note(SuiteResult* result, const char* format, ...)
{
    size_t used = strlen(result->note);
    va_list args;
    va_start(args, format);
    vsnprintf(result->note + used, sizeof result->note - used, format, args);
    va_end(args);
}

void RunStability(QualifyTarget* target, const PlanSuite& suite, int32_t index, const std::atomic<bool>* stop,
                  QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result)
{
    LoopRecord& record = scratch->loop;
    TransmitLoop(target->card, target->protocol, suite.apdu, suite.apduLength, suite.runs, false, suite.expectedSw,
                 scratch->response, sizeof scratch->response, stop, LoopProgress {nullptr, nullptr}, &record);
    int32_t failures = 0;
    for (int32_t i = 0; i < record.runsMade; ++i) {
        bool failed = record.status[i] != SCARD_S_SUCCESS
            || (suite.expectedSw != NO_EXPECTED_SW && record.sw[i] != suite.expectedSw);
        failures += failed ? 1 : 0;
        AddSample(samples, QualifySample {index, i + 1, -1, record.ticks[i], record.status[i], record.sw[i]});
    }
    LoopSummary summary;
    SummarizeLoop(record, &summary);
    result->stopped = record.stopped;
    result->complete = record.runsMade == suite.runs;
    Measure(result, QUANTITY_RUNS, record.runsMade);
    Measure(result, QUANTITY_FAILURES, failures);
    if (record.runsMade == 0)
        return;
    Measure(result, QUANTITY_MIN_US, summary.minUs);
    Measure(result, QUANTITY_MEDIAN_US, summary.medianUs);
    if (record.runsMade >= P90_RUNS_MIN)
        Measure(result, QUANTITY_P90_US, summary.p90Us);
    if (record.runsMade >= P99_RUNS_MIN)
        Measure(result, QUANTITY_P99_US, summary.p99Us);
    Measure(result, QUANTITY_MAX_US, summary.maxUs);
    Measure(result, QUANTITY_MEAN_US, summary.meanUs);
    if (failures > 0) {
        int32_t run = record.firstFailure - 1;
        Note(result, "first failure at run %d: 0x%08X, SW %02X %02X", int(run + 1), unsigned(record.status[run]),
             unsigned(record.sw[run] >> 8), unsigned(record.sw[run] & 0xFF));
    }
}

// The sweep's APDU for `length`, in scratch->request; its size.
DWORD BuildSweepApdu(const PlanSuite& suite, int32_t length, QualifyScratch* scratch)
{
    BYTE* apdu = scratch->request;
    memcpy(apdu, suite.apdu, PLAN_HEADER_SIZE);
    DWORD size = PLAN_HEADER_SIZE;
    if (suite.extended) {
        apdu[size++] = 0x00;
        apdu[size++] = BYTE(length >> 8);
    }
    apdu[size++] = BYTE(length);
    if (suite.direction == SWEEP_LC)
        for (int32_t i = 0; i < length; ++i)
            apdu[size++] = BYTE(i);
    return size;
}

// "17-255" and "3" pieces of the failed lengths, cut with "..." when long.
void NoteFailedLengths(SuiteResult* result, const QualifyScratch* scratch)
{
    Note(result, "failed lengths:");
    const int32_t count = scratch->pointCount;
    for (int32_t i = 0; i < count; ++i) {
        if (scratch->points[i].failures == 0)
            continue;
        int32_t last = i;
        while (last + 1 < count && scratch->points[last + 1].failures > 0)
            ++last;
        if (strlen(result->note) + 24 >= sizeof result->note) {
            Note(result, " ...");
            return;
        }
        const SweepPoint& first = scratch->points[i];
        if (last == i)
            Note(result, " %d", int(first.length));
        else
            Note(result, " %d-%d", int(first.length), int(scratch->points[last].length));
        if (first.firstStatus != SCARD_S_SUCCESS)
            Note(result, " (0x%08X)", unsigned(first.firstStatus));
        else
            Note(result, " (SW %02X %02X)", unsigned(first.firstSw >> 8), unsigned(first.firstSw & 0xFF));
        i = last;
    }
}

void RunSweep(QualifyTarget* target, const PlanSuite& suite, int32_t index, const std::atomic<bool>* stop,
              QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result)
{
    const SCARD_IO_REQUEST* sendPci = SendPci(target->protocol);
    int32_t exchanges = 0, failures = 0, failedLengths = 0, fitted = 0;
    scratch->pointCount = 0;
    bool stopped = false;
    for (int32_t length = suite.from; length <= suite.to && !stopped; length += suite.step) {
        DWORD size = BuildSweepApdu(suite, length, scratch);
        SweepPoint point {length, 0, 0, SCARD_S_SUCCESS, 0};
        int32_t good = 0;
        for (int32_t run = 0; run < suite.runs; ++run) {
            if (Stopped(stop)) {
                stopped = true;
                break;
            }
            DWORD answer = sizeof scratch->response;
            Span call;
            LONG status = TimedCall(&call, [&] {
                return pcsc.Transmit(target->card, sendPci, scratch->request, size, nullptr, scratch->response,
                                     &answer);
            });
            bool answered = status == SCARD_S_SUCCESS;
            uint16_t sw = answered && answer >= 2
                ? uint16_t(scratch->response[answer - 2] << 8 | scratch->response[answer - 1])
                : 0;
            bool failed = !answered || (suite.expectedSw != NO_EXPECTED_SW && sw != suite.expectedSw);
            ++exchanges;
            AddSample(samples, QualifySample {index, exchanges, length, call.end - call.start, status, sw});
            if (failed && point.failures++ == 0) {
                point.firstStatus = status;
                point.firstSw = sw;
            }
            if (!failed)
                scratch->ticks[good++] = call.end - call.start;
        }
        // Stopped before its first run, the length was not measured.
        if (good + point.failures == 0)
            break;
        if (good > 0)
            point.medianUs = double(MedianTicks(scratch->ticks, good)) / NS_PER_US;
        failures += point.failures;
        failedLengths += point.failures > 0 ? 1 : 0;
        // Only lengths whose every run went through lie on the line.
        if (point.failures == 0 && good == suite.runs) {
            scratch->x[fitted] = length;
            scratch->y[fitted++] = point.medianUs;
        }
        scratch->points[scratch->pointCount++] = point;
    }
    result->stopped = stopped;
    result->complete = exchanges == SuiteExchanges(suite);
    Measure(result, QUANTITY_RUNS, exchanges);
    Measure(result, QUANTITY_FAILURES, failures);
    Measure(result, QUANTITY_FAILED_LENGTHS, failedLengths);
    if (FitLine(scratch->x, scratch->y, fitted, &result->fit)) {
        Measure(result, QUANTITY_PER_BYTE_US, result->fit.slope);
        Measure(result, QUANTITY_FIXED_US, result->fit.intercept);
        if (result->fit.slope > 0)
            Measure(result, QUANTITY_BYTES_PER_S, 1e6 / result->fit.slope);
    }
    if (failedLengths > 0)
        NoteFailedLengths(result, scratch);
}

void RunPower(QualifyTarget* target, const PlanSuite& suite, int32_t index, const std::atomic<bool>* stop,
              QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result)
{
    LONG status = ReadAtr(target->card, result->atr, sizeof result->atr, &result->atrLength);
    if (status != SCARD_S_SUCCESS) {
        result->status = status;
        Note(result, "the ATR before the first cycle could not be read");
        return;
    }
    int32_t cycles = 0, failures = 0, changes = 0, good = 0;
    double totalNs = 0;
    for (int32_t cycle = 1; cycle <= suite.cycles; ++cycle) {
        if (Stopped(stop)) {
            result->stopped = true;
            break;
        }
        Span span;
        if (suite.mode == POWER_COLD) {
            status = TimedCall(&span, [&] {
                return ReconnectCard(target->card, target->options, SCARD_UNPOWER_CARD, &target->protocol);
            });
        } else {
            status = TimedCall(&span, [&] {
                if (target->card != 0)
                    pcsc.Disconnect(target->card, SCARD_UNPOWER_CARD);
                target->card = 0;
                return ConnectCard(target->context, target->reader, target->options, &target->card, &target->protocol);
            });
            target->status = status;
            if (status != SCARD_S_SUCCESS)
                target->card = 0;
        }
        BYTE atr[MAX_ATR_SIZE];
        DWORD atrLength = 0;
        if (status == SCARD_S_SUCCESS)
            status = ReadAtr(target->card, atr, sizeof atr, &atrLength);
        ++cycles;
        int64_t ns = span.end - span.start;
        AddSample(samples, QualifySample {index, cycle, -1, ns, status, 0});
        if (status != SCARD_S_SUCCESS) {
            if (failures++ == 0)
                Note(result, "first failure at cycle %d: 0x%08X", int(cycle), unsigned(status));
            continue;
        }
        if (atrLength != result->atrLength || memcmp(atr, result->atr, atrLength) != 0) {
            if (changes++ == 0)
                Note(result, "%sthe ATR changed at cycle %d", result->note[0] != '\0' ? "; " : "", int(cycle));
        }
        scratch->ticks[good++] = ns;
        totalNs += double(ns);
    }
    result->complete = cycles == suite.cycles;
    Measure(result, QUANTITY_RUNS, cycles);
    Measure(result, QUANTITY_FAILURES, failures);
    Measure(result, QUANTITY_ATR_CHANGES, changes);
    if (good == 0)
        return;
    Measure(result, QUANTITY_MEAN_MS, totalNs / good / NS_PER_MS);
    int64_t median = MedianTicks(scratch->ticks, good);
    Measure(result, QUANTITY_MEDIAN_MS, double(median) / NS_PER_MS);
    Measure(result, QUANTITY_MAX_MS, double(scratch->ticks[good - 1]) / NS_PER_MS);
}

}  // namespace

bool FitLine(const double* x, const double* y, int32_t count, LineFit* fit)
{
    *fit = LineFit {count, 0, 0};
    if (count < 2)
        return false;
    // About the means, so that large lengths lose no precision.
    double meanX = 0, meanY = 0;
    for (int32_t i = 0; i < count; ++i) {
        meanX += x[i];
        meanY += y[i];
    }
    meanX /= count;
    meanY /= count;
    double sxx = 0, sxy = 0;
    for (int32_t i = 0; i < count; ++i) {
        sxx += (x[i] - meanX) * (x[i] - meanX);
        sxy += (x[i] - meanX) * (y[i] - meanY);
    }
    if (sxx == 0)
        return false;
    fit->slope = sxy / sxx;
    fit->intercept = meanY - fit->slope * meanX;
    return true;
}

LimitResult JudgeResultLimit(const SuiteResult& result, const PlanLimit& limit)
{
    bool measured = limit.quantity >= 0 && limit.quantity < QUANTITY_COUNT && result.measured[limit.quantity];
    return JudgeLimit(limit, measured, measured ? result.value[limit.quantity] : 0);
}

void RunSuite(QualifyTarget* target, const QualifyPlan& plan, int32_t index, const std::atomic<bool>* stop,
              QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result)
{
    const PlanSuite& suite = plan.suites[index];
    *result = SuiteResult {};
    result->suite = index;
    result->planned = SuiteExchanges(suite);
    scratch->pointCount = 0;
    result->span.start = QueryPerformanceCounter();
    if (target->card == 0) {
        result->status = target->status != SCARD_S_SUCCESS ? target->status : SCARD_E_INVALID_HANDLE;
        Note(result, "no card connected");
    } else if (suite.kind == SUITE_STABILITY) {
        RunStability(target, suite, index, stop, scratch, samples, result);
    } else if (suite.kind == SUITE_SWEEP) {
        RunSweep(target, suite, index, stop, scratch, samples, result);
    } else if (suite.kind == SUITE_POWER) {
        RunPower(target, suite, index, stop, scratch, samples, result);
    }
    result->span.end = QueryPerformanceCounter();
    if (result->stopped)
        Note(result, "%sstopped after %d of %d", result->note[0] != '\0' ? "; " : "", int(result->value[QUANTITY_RUNS]),
             int(result->planned));
    bool complete = result->status == SCARD_S_SUCCESS && result->complete && !result->stopped;
    result->limitCount = suite.limitCount;
    for (int32_t i = 0; i < suite.limitCount; ++i)
        result->limits[i] =
            complete ? JudgeResultLimit(*result, suite.limits[i]) : JudgeLimit(suite.limits[i], false, 0);
    result->verdict = SuiteVerdict(complete, result->limits, result->limitCount);
}
