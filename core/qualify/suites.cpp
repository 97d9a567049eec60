// The qualification suites over the `pcsc` table: the stability suite runs
// the transmit loop, the sweep and the power cycles their own timed calls,
// the tap and removal suites wait on pcscd's reader events between theirs.
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

void NoteGone(SuiteResult* result, const char* unit, int32_t at, LONG status)
{
    Note(result, "%sreader or card gone at %s %d: 0x%08X", result->note[0] != '\0' ? "; " : "", unit, int(at),
         unsigned(status));
}

void RunStability(QualifyTarget* target, const PlanSuite& suite, int32_t index, const std::atomic<bool>* stop,
                  QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result)
{
    LoopRecord& record = scratch->loop;
    TransmitLoop(target->card, target->protocol, suite.apdu, suite.apduLength, suite.runs, false, suite.expectedSw,
                 scratch->response, sizeof scratch->response, stop, LoopProgress {nullptr, nullptr}, &record);
    // The loop goes on past a reader gone; the runs after the first that met it are not the reader's.
    int32_t gone = -1;
    for (int32_t i = 0; i < record.runsMade && gone < 0; ++i)
        if (ReaderGone(record.status[i])) {
            gone = i;
            result->status = record.status[i];
            record.runsMade = i + 1;
            record.stopped = false;
        }
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
    if (failures > 0 && record.firstFailure - 1 != gone) {
        int32_t run = record.firstFailure - 1;
        Note(result, "first failure at run %d: 0x%08X, SW %02X %02X", int(run + 1), unsigned(record.status[run]),
             unsigned(record.sw[run] >> 8), unsigned(record.sw[run] & 0xFF));
    }
    if (gone >= 0)
        NoteGone(result, "run", gone + 1, record.status[gone]);
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
    bool stopped = false, gone = false;
    for (int32_t length = suite.from; length <= suite.to && !stopped && !gone; length += suite.step) {
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
            if (ReaderGone(status)) {
                gone = true;
                result->status = status;
                break;
            }
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
    if (gone)
        NoteGone(result, "exchange", exchanges, result->status);
}

// The wait for the operator's hand is cut into slices this long, the stop
// flag looked at between them. Slices rather than SCardCancel: the flag is
// set from a signal handler or another thread, and SCardCancel from there
// would use the suite's context while the suite's thread is inside a call on
// it; a slice's state carries pcscd's event counter over, so nothing between
// two slices is lost.
constexpr DWORD WAIT_SLICE_MS = 100;

void Say(const QualifyTarget* target, const char* text)
{
    if (target->prompt.say != nullptr)
        target->prompt.say(target->prompt.context, text);
}

// The reader as the suite last saw it, and the changes pcscd counted (its
// event counter, in the upper 16 bits of the event state) beyond those the
// suite saw.
struct ReaderLook {
    SCARD_READERSTATE state;
    int32_t unseen;
};

LONG FirstLook(const QualifyTarget* target, ReaderLook* look)
{
    *look = ReaderLook {};
    look->state.szReader = target->reader;
    look->state.dwCurrentState = SCARD_STATE_UNAWARE;
    LONG status = pcsc.GetStatusChange(target->context, 0, &look->state, 1);
    look->state.dwCurrentState = look->state.dwEventState & ~DWORD(SCARD_STATE_CHANGED);
    return status;
}

bool CardIn(const ReaderLook& look)
{
    return (look.state.dwCurrentState & SCARD_STATE_PRESENT) != 0;
}

enum WaitEnd : int32_t {
    WAIT_REACHED,
    WAIT_TIMEOUT,
    WAIT_STOPPED,
    WAIT_FAILED,  // pcscd's answer in *status
};

// Waits until the reader holds a card (`present`) or none, at most `timeoutMs`
// or until `stop`; `*when` is the moment the state was seen.
WaitEnd WaitForCard(const QualifyTarget* target, ReaderLook* look, bool present, int32_t timeoutMs,
                    const std::atomic<bool>* stop, int64_t* when, LONG* status)
{
    const int64_t deadline = QueryPerformanceCounter() + int64_t(timeoutMs) * int64_t(NS_PER_MS);
    *when = QueryPerformanceCounter();
    while (CardIn(*look) != present) {
        if (Stopped(stop))
            return WAIT_STOPPED;
        int64_t left = deadline - QueryPerformanceCounter();
        if (left <= 0)
            return WAIT_TIMEOUT;
        DWORD slice = DWORD(std::min<int64_t>(WAIT_SLICE_MS, left / int64_t(NS_PER_MS) + 1));
        const DWORD before = look->state.dwCurrentState;
        *status = pcsc.GetStatusChange(target->context, slice, &look->state, 1);
        *when = QueryPerformanceCounter();
        if (*status == SCARD_E_TIMEOUT)
            continue;
        if (*status != SCARD_S_SUCCESS)
            return WAIT_FAILED;
        const DWORD after = look->state.dwEventState;
        if ((after & (SCARD_STATE_UNAVAILABLE | SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE)) != 0) {
            *status = SCARD_E_READER_UNAVAILABLE;
            return WAIT_FAILED;
        }
        int32_t counted = int32_t(((after >> 16) - (before >> 16)) & 0xFFFF);
        int32_t seen = ((after ^ before) & SCARD_STATE_PRESENT) != 0 ? 1 : 0;
        if (counted > seen)
            look->unseen += counted - seen;
        look->state.dwCurrentState = after & ~DWORD(SCARD_STATE_CHANGED);
    }
    return WAIT_REACHED;
}

// What a wait that did not reach its state leaves in the result.
void EndWait(SuiteResult* result, WaitEnd end, LONG status)
{
    if (end == WAIT_STOPPED)
        result->stopped = true;
    if (end == WAIT_FAILED) {
        result->status = status;
        Note(result, "%sthe reader's state could not be read", result->note[0] != '\0' ? "; " : "");
    }
}

uint16_t LastSw(const BYTE* response, DWORD length)
{
    return length >= 2 ? uint16_t(response[length - 2] << 8 | response[length - 1]) : 0;
}

// The tap or removal suite's APDU once on `card`, its answer in the scratch.
LONG SendSuiteApdu(SCARDHANDLE card, DWORD protocol, const PlanSuite& suite, QualifyScratch* scratch, DWORD* answer)
{
    *answer = sizeof scratch->response;
    return pcsc.Transmit(card, SendPci(protocol), suite.apdu, suite.apduLength, nullptr, scratch->response, answer);
}

// Whether a call gave a status word, and the one the suite expects (any without expect=).
bool AnsweredAsExpected(const PlanSuite& suite, LONG status, DWORD answer, uint16_t sw)
{
    return status == SCARD_S_SUCCESS && answer >= 2 && (suite.expectedSw == NO_EXPECTED_SW || sw == suite.expectedSw);
}

void MeasureTimes(SuiteResult* result, int64_t* ns, int32_t count, Quantity median, Quantity max)
{
    if (count == 0)
        return;
    Measure(result, median, double(MedianTicks(ns, count)) / NS_PER_MS);
    if (max != QUANTITY_COUNT)
        Measure(result, max, double(ns[count - 1]) / NS_PER_MS);
}

void RunTap(QualifyTarget* target, const PlanSuite& suite, int32_t index, const std::atomic<bool>* stop,
            QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result)
{
    // A card held from before would outlive its removal.
    if (target->card != 0)
        pcsc.Disconnect(target->card, SCARD_LEAVE_CARD);
    target->card = 0;
    target->status = SCARD_E_NO_SMARTCARD;
    ReaderLook look;
    LONG status = FirstLook(target, &look);
    if (status != SCARD_S_SUCCESS) {
        result->status = status;
        Note(result, "the reader's state could not be read");
        return;
    }
    int64_t when;
    WaitEnd end = WAIT_REACHED;
    if (CardIn(look)) {
        Say(target, "Take the card off the reader.");
        end = WaitForCard(target, &look, false, suite.timeoutMs, stop, &when, &status);
        if (end == WAIT_TIMEOUT)
            Note(result, "the card stayed on the reader for %d ms before the first tap", int(suite.timeoutMs));
    }
    look.unseen = 0;  // what came before the first tap is no tap
    int32_t seen = 0, failures = 0, changes = 0, connected = 0, answered = 0, left = 0;
    bool timedOut = end == WAIT_TIMEOUT;
    while (end == WAIT_REACHED && seen + (look.unseen + 1) / 2 < suite.taps) {
        char line[64];
        snprintf(line, sizeof line, "Tap the card (%d of %d).", int(seen + (look.unseen + 1) / 2 + 1), int(suite.taps));
        Say(target, line);
        end = WaitForCard(target, &look, true, suite.timeoutMs, stop, &when, &status);
        if (end != WAIT_REACHED) {
            timedOut = end == WAIT_TIMEOUT;
            if (timedOut)
                Note(result, "%sno card came within %d ms for tap %d", result->note[0] != '\0' ? "; " : "",
                     int(suite.timeoutMs), int(seen + (look.unseen + 1) / 2 + 1));
            break;
        }
        const int64_t arrival = when;
        scratch->arrivals[seen++] = arrival;
        const SCARD_READERSTATE& state = look.state;
        DWORD atrLength = std::min<DWORD>(state.cbAtr, sizeof result->atr);
        if (seen == 1) {
            memcpy(result->atr, state.rgbAtr, atrLength);
            result->atrLength = atrLength;
        } else if (atrLength != result->atrLength || memcmp(state.rgbAtr, result->atr, atrLength) != 0) {
            ++changes;
        }
        SCARDHANDLE card = 0;
        DWORD protocol = 0, answer = 0;
        LONG call = ConnectCard(target->context, target->reader, target->options, &card, &protocol);
        int64_t lastCall = QueryPerformanceCounter();
        if (call == SCARD_S_SUCCESS) {
            scratch->connectNs[connected++] = lastCall - arrival;
            call = SendSuiteApdu(card, protocol, suite, scratch, &answer);
            lastCall = QueryPerformanceCounter();
            pcsc.Disconnect(card, SCARD_LEAVE_CARD);
        }
        uint16_t sw = call == SCARD_S_SUCCESS ? LastSw(scratch->response, answer) : 0;
        bool good = AnsweredAsExpected(suite, call, answer, sw);
        if (good)
            scratch->answerNs[answered++] = lastCall - arrival;
        else if (failures++ == 0)
            Note(result, "%sfirst failure at tap %d: 0x%08X, SW %02X %02X", result->note[0] != '\0' ? "; " : "",
                 int(seen), unsigned(call), unsigned(sw >> 8), unsigned(sw & 0xFF));
        end = WaitForCard(target, &look, false, suite.timeoutMs, stop, &when, &status);
        int32_t fieldMs = -1;
        if (end == WAIT_REACHED) {
            scratch->fieldNs[left++] = when - arrival;
            fieldMs = int32_t((when - arrival) / int64_t(NS_PER_MS));
        } else if (end == WAIT_TIMEOUT) {
            Note(result, "%sthe card of tap %d stayed on the reader for %d ms", result->note[0] != '\0' ? "; " : "",
                 int(seen), int(suite.timeoutMs));
        }
        AddSample(samples, QualifySample {index, seen, fieldMs, lastCall - arrival, call, sw});
    }
    EndWait(result, end, status);
    int32_t missed = (look.unseen + 1) / 2;
    // A wait for an arrival that ran out leaves the taps still to come missed.
    if (timedOut && seen + missed < suite.taps)
        missed = suite.taps - seen;
    result->complete = end == WAIT_REACHED && seen + missed >= suite.taps;
    Measure(result, QUANTITY_RUNS, seen);
    Measure(result, QUANTITY_FAILURES, failures);
    Measure(result, QUANTITY_MISSED_TAPS, missed);
    Measure(result, QUANTITY_REMOVALS, left);
    if (seen > 0)
        Measure(result, QUANTITY_ATR_CHANGES, changes);
    MeasureTimes(result, scratch->connectNs, connected, QUANTITY_CONNECT_MS, QUANTITY_CONNECT_MAX_MS);
    MeasureTimes(result, scratch->answerNs, answered, QUANTITY_FIRST_ANSWER_MS, QUANTITY_FIRST_ANSWER_MAX_MS);
    MeasureTimes(result, scratch->fieldNs, left, QUANTITY_IN_FIELD_MS, QUANTITY_COUNT);
    if (seen >= 3) {
        int64_t shortest = INT64_MAX, longest = 0;
        for (int32_t i = 1; i < seen; ++i) {
            int64_t interval = scratch->arrivals[i] - scratch->arrivals[i - 1];
            shortest = std::min(shortest, interval);
            longest = std::max(longest, interval);
        }
        Measure(result, QUANTITY_ARRIVAL_SPREAD_MS, double(longest - shortest) / NS_PER_MS);
    }
}

void RunRemoval(QualifyTarget* target, const PlanSuite& suite, int32_t index, const std::atomic<bool>* stop,
                QualifyScratch* scratch, QualifySamples* samples, SuiteResult* result)
{
    ReaderLook look;
    LONG status = FirstLook(target, &look);
    if (status != SCARD_S_SUCCESS) {
        result->status = status;
        Note(result, "the reader's state could not be read");
        return;
    }
    Say(target, "Pull the card off the reader while the exchanges run.");
    const int64_t deadline = QueryPerformanceCounter() + int64_t(suite.timeoutMs) * int64_t(NS_PER_MS);
    int32_t runs = 0, failures = 0;
    int64_t lastGood = -1;
    LONG met = SCARD_S_SUCCESS;
    DWORD answer = 0;
    while (runs < suite.runs && QueryPerformanceCounter() < deadline) {
        if (Stopped(stop)) {
            result->stopped = true;
            break;
        }
        Span call;
        LONG sent =
            TimedCall(&call, [&] { return SendSuiteApdu(target->card, target->protocol, suite, scratch, &answer); });
        uint16_t sw = sent == SCARD_S_SUCCESS ? LastSw(scratch->response, answer) : 0;
        AddSample(samples, QualifySample {index, ++runs, -1, call.end - call.start, sent, sw});
        if (sent != SCARD_S_SUCCESS) {
            met = sent;
            if (lastGood >= 0)
                Measure(result, QUANTITY_REMOVAL_SEEN_MS, double(call.end - lastGood) / NS_PER_MS);
            break;
        }
        lastGood = call.end;
        failures += suite.expectedSw != NO_EXPECTED_SW && sw != suite.expectedSw ? 1 : 0;
    }
    Measure(result, QUANTITY_RUNS, runs);
    Measure(result, QUANTITY_FAILURES, failures);
    if (met == SCARD_S_SUCCESS) {
        if (!result->stopped)
            Note(result, "the card was not pulled within %d exchanges (%d ms at most)", int(runs),
                 int(suite.timeoutMs));
        return;
    }
    Note(result, "run %d met the removal: 0x%08X", int(runs), unsigned(met));
    // The next call once pcscd has seen the reader empty: the handle must know its card gone.
    int64_t when;
    WaitEnd end = WaitForCard(target, &look, false, suite.timeoutMs, stop, &when, &status);
    if (end == WAIT_TIMEOUT) {
        result->checkFailed = true;
        result->complete = true;
        Note(result, "; the reader still held a card %d ms later", int(suite.timeoutMs));
        return;
    }
    if (end != WAIT_REACHED) {
        EndWait(result, end, status);
        return;
    }
    Span call;
    LONG next =
        TimedCall(&call, [&] { return SendSuiteApdu(target->card, target->protocol, suite, scratch, &answer); });
    AddSample(samples,
              QualifySample {index, runs + 1, -1, call.end - call.start, next,
                             next == SCARD_S_SUCCESS ? LastSw(scratch->response, answer) : uint16_t(0)});
    Note(result, "; the next call 0x%08X", unsigned(next));
    if (next != SCARD_E_NO_SMARTCARD && next != SCARD_W_REMOVED_CARD) {
        result->checkFailed = true;
        Note(result, ", neither SCARD_E_NO_SMARTCARD nor SCARD_W_REMOVED_CARD");
    }
    pcsc.Disconnect(target->card, SCARD_LEAVE_CARD);
    target->card = 0;
    target->status = SCARD_E_NO_SMARTCARD;
    Say(target, "Put the card back on the reader.");
    end = WaitForCard(target, &look, true, suite.timeoutMs, stop, &when, &status);
    if (end == WAIT_TIMEOUT) {
        Note(result, "; no card came back within %d ms", int(suite.timeoutMs));
        return;
    }
    if (end != WAIT_REACHED) {
        EndWait(result, end, status);
        return;
    }
    Span back;
    LONG again = TimedCall(&back, [&] {
        LONG connect = ConnectCard(target->context, target->reader, target->options, &target->card, &target->protocol);
        target->status = connect;
        if (connect != SCARD_S_SUCCESS) {
            target->card = 0;
            return connect;
        }
        return SendSuiteApdu(target->card, target->protocol, suite, scratch, &answer);
    });
    uint16_t sw = again == SCARD_S_SUCCESS ? LastSw(scratch->response, answer) : 0;
    AddSample(samples, QualifySample {index, runs + 2, -1, back.end - back.start, again, sw});
    bool answered = AnsweredAsExpected(suite, again, answer, sw);
    Measure(result, QUANTITY_RECONNECTED, answered ? 1 : 0);
    if (answered) {
        Note(result, "; the card back answered SW %02X %02X", unsigned(sw >> 8), unsigned(sw & 0xFF));
    } else {
        result->checkFailed = true;
        Note(result, "; the card back did not answer: 0x%08X, SW %02X %02X", unsigned(again), unsigned(sw >> 8),
             unsigned(sw & 0xFF));
    }
    result->complete = true;
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
        if (ReaderGone(status)) {
            result->status = status;
            NoteGone(result, "cycle", cycle, status);
            break;
        }
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

bool ReaderGone(LONG status)
{
    return status == SCARD_E_READER_UNAVAILABLE || status == SCARD_E_NO_SMARTCARD || status == SCARD_W_REMOVED_CARD
        || status == SCARD_E_NO_SERVICE;
}

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
    // The removal's two calls after its loop are no runs of it.
    result->planned = suite.kind == SUITE_REMOVAL ? suite.runs : SuiteExchanges(suite);
    scratch->pointCount = 0;
    result->span.start = QueryPerformanceCounter();
    if (suite.kind == SUITE_TAP) {
        RunTap(target, suite, index, stop, scratch, samples, result);
    } else if (target->card == 0) {
        result->status = target->status != SCARD_S_SUCCESS ? target->status : SCARD_E_INVALID_HANDLE;
        Note(result, "no card connected");
    } else if (suite.kind == SUITE_STABILITY) {
        RunStability(target, suite, index, stop, scratch, samples, result);
    } else if (suite.kind == SUITE_SWEEP) {
        RunSweep(target, suite, index, stop, scratch, samples, result);
    } else if (suite.kind == SUITE_POWER) {
        RunPower(target, suite, index, stop, scratch, samples, result);
    } else if (suite.kind == SUITE_REMOVAL) {
        RunRemoval(target, suite, index, stop, scratch, samples, result);
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
    // A fault the suite saw itself fails it, whatever its limits say.
    result->verdict = result->checkFailed ? VERDICT_FAIL : SuiteVerdict(complete, result->limits, result->limitCount);
}
