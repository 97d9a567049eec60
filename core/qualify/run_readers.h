// A plan run on readers: the suites in turn on one connected reader (what
// the command line does for one reader and each reader's thread does), and
// the same plan on several readers at once, one thread and one PC/SC
// context per reader, each with its own connection, rooms and results.
//
// After a suite that ended with the reader or card gone (ReaderGone), the
// next suite starts by connecting again: when the card is back it runs as
// usual, else it is inconclusive at once with the status the connect
// answered. So every suite of the plan gets its verdict on every reader, and
// one reader gone never holds up the others.
#pragma once

#include <atomic>
#include <cstdint>

#include <winscard.h>

#include "core/pcsc/connection.h"
#include "core/qualify/environment.h"
#include "core/qualify/plan.h"
#include "core/qualify/suites.h"

// pcscd serves at most this many readers.
constexpr int32_t RUN_READERS_MAX = PCSCLITE_MAX_READERS_CONTEXTS;

// Called after each suite with its result, on the thread that ran it.
struct SuiteDone {
    void (*done)(void* context, const SuiteResult& result, const QualifyScratch& scratch);
    void* context;
};

// Runs the suites of `plan` on `target` in turn, into results[0..*count),
// until the last or until `stop` (may be null) is set: a stopped plan
// reports the suite it stopped and no later one. `done.done` may be null.
void RunReaderSuites(QualifyTarget* target, const QualifyPlan& plan, const std::atomic<bool>* stop,
                     QualifyScratch* scratch, QualifySamples* samples, SuiteResult* results, int32_t* count,
                     SuiteDone done);

// One reader's run, large (its samples above all): allocated by the caller
// once, before the run, and touched only by the reader's thread while it runs.
struct ReaderRun {
    char reader[MAX_READERNAME];  // set by the caller
    QualifyTarget target;         // its context and card are the thread's own, released at the end; its
                                  // prompt is the caller's (called on the reader's thread)
    LONG contextStatus;           // SCardEstablishContext's on the thread
    QualifyEnvironment environment;
    QualifyScratch scratch;
    QualifySamples samples;
    SuiteResult results[PLAN_SUITES_MAX];
    int32_t count;  // suites run
};

// What the runner tells as it goes, each on the reader's own thread (calls
// for different readers come at the same time: the callee serialises what
// it shares); either may be null.
struct ReaderRunEvents {
    // Connected (or not: target.status says why) and the environment collected.
    void (*ready)(void* context, const ReaderRun& run);
    // results[index] has just ended.
    void (*suiteDone)(void* context, const ReaderRun& run, int32_t index);
    void* context;
};

// Runs `plan` on runs[0..count) (at most RUN_READERS_MAX) at the same time
// and returns when every reader is done: each thread establishes its own
// context, connects to its reader with `options`, takes `host` (the host's
// environment) with its reader's fields, runs the suites (RunReaderSuites)
// and ends its connection with `disposition`. `stop` (may be null) stops
// every reader's suite under way.
void RunPlanOnReaders(const QualifyPlan& plan, const QualifyEnvironment& host, const ConnectOptions& options,
                      DWORD disposition, ReaderRun* const* runs, int32_t count, const std::atomic<bool>* stop,
                      ReaderRunEvents events);
