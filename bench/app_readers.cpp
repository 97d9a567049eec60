// A plan on 1, 2, 4 and 8 readers at once through the core runner
// (core/qualify/run_readers.h), as `qualify --reader all` runs it: a
// stability suite of GetUID, 2000 runs on each reader. Prints, per reader
// count, the exchanges per second in total and per reader, and each against
// one reader alone, as a table; rounds alternate the counts so that a busy
// moment of the machine falls on all of them alike.
// Needs 8 readers holding a card: run it inside
//   scripts/with-sim-pcscd --readers 9 build/bench/bench_app_readers
// (the harness's reader 1 stays empty). With fewer, the larger counts are
// left out. The bare sim answers in microseconds, so two cores' worth of
// pcscd and client work is what it measures; a reader as slow as a real one,
// e.g. 1 ms an answer, shows how the readers overlap:
//   scripts/with-sim-pcscd --readers 9 bash -c 'for i in 0 2 3 4 5 6 7 8; do
//     echo delay_us=1000 >$QTU_SIM_DIR/reader$i.ctl; done; build/bench/bench_app_readers'
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/pcsc/pcsc_api.h"
#include "core/qualify/plan.h"
#include "core/qualify/run_readers.h"

namespace {

constexpr int RUNS = 2000;
constexpr int ROUNDS = 3;
constexpr int COUNTS[] = {1, 2, 4, 8};
constexpr char PLAN[] = "suite stability apdu=FFCA000000 runs=2000 expect=9000\nlimit failures = 0\n";

QualifyPlan plan;
ReaderRun runs[8];

// The readers holding a card, in the list's order.
int CardedReaders(char (*names)[MAX_READERNAME], int most)
{
    SCARDCONTEXT context;
    if (pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return 0;
    char list[16384];
    DWORD length = sizeof list;
    int count = 0;
    if (pcsc.ListReaders(context, nullptr, list, &length) == SCARD_S_SUCCESS)
        for (const char* name = list; *name != '\0' && count < most; name += strlen(name) + 1) {
            SCARD_READERSTATE state {name, nullptr, SCARD_STATE_UNAWARE, 0, 0, {}};
            if (pcsc.GetStatusChange(context, 0, &state, 1) == SCARD_S_SUCCESS
                && (state.dwEventState & SCARD_STATE_PRESENT) != 0)
                snprintf(names[count++], MAX_READERNAME, "%.*s", MAX_READERNAME - 1, name);
        }
    pcsc.ReleaseContext(context);
    return count;
}

// Seconds from the first reader's suite start to the last one's end (the
// connects and the environments before them left out), for the plan on the
// first `count` readers; false when a suite did not pass.
bool RunOnReaders(int count, double* seconds)
{
    ReaderRun* each[8];
    for (int i = 0; i < count; ++i)
        each[i] = &runs[i];
    static QualifyEnvironment host;
    RunPlanOnReaders(plan, host, ConnectOptions {}, SCARD_LEAVE_CARD, each, count, nullptr,
                     ReaderRunEvents {nullptr, nullptr, nullptr});
    bool passed = true;
    int64_t start = INT64_MAX, end = 0;
    for (int i = 0; i < count; ++i) {
        const SuiteResult& result = runs[i].results[0];
        passed = passed && runs[i].count == 1 && result.verdict == VERDICT_PASS;
        start = std::min(start, result.span.start);
        end = std::max(end, result.span.end);
    }
    *seconds = double(end - start) / 1e9;  // the counter counts nanoseconds
    return passed;
}

}  // namespace

int main()
{
    PlanFailure failure;
    if (!ParsePlan(PLAN, uint32_t(strlen(PLAN)), &plan, &failure)) {
        fprintf(stderr, "plan: %s\n", failure.reason);
        return 1;
    }
    static char names[8][MAX_READERNAME];
    int carded = CardedReaders(names, 8);
    if (carded == 0) {
        fprintf(stderr, "no reader holds a card (run inside scripts/with-sim-pcscd --readers 9)\n");
        return 1;
    }
    for (int i = 0; i < carded; ++i)
        memcpy(runs[i].reader, names[i], MAX_READERNAME);
    std::vector<double> seconds[std::size(COUNTS)];
    for (int round = 0; round < ROUNDS; ++round)
        for (size_t c = 0; c < std::size(COUNTS); ++c) {
            if (COUNTS[c] > carded)
                continue;
            double taken;
            if (!RunOnReaders(COUNTS[c], &taken)) {
                fprintf(stderr, "%d readers: a suite did not pass\n", COUNTS[c]);
                return 1;
            }
            seconds[c].push_back(taken);
        }
    printf("%d runs of GetUID per reader, the median of %d rounds; %d readers with a card\n", RUNS, ROUNDS, carded);
    printf("readers  seconds  exchanges/s total  per reader  total vs 1  per reader vs 1\n");
    double alone = 0;
    for (size_t c = 0; c < std::size(COUNTS); ++c) {
        if (seconds[c].empty())
            continue;
        std::sort(seconds[c].begin(), seconds[c].end());
        double median = seconds[c][seconds[c].size() / 2];
        double total = COUNTS[c] * RUNS / median;
        if (COUNTS[c] == 1)
            alone = total;
        printf("%7d  %7.3f  %17.0f  %10.0f  %10.2f  %15.2f\n", COUNTS[c], median, total, total / COUNTS[c],
               total / alone, total / COUNTS[c] / alone);
    }
    return 0;
}
