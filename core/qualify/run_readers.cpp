// The plan on one reader and on several at once, over the `pcsc` table.
#include "core/qualify/run_readers.h"

#include <thread>

#include "core/pcsc/pcsc_api.h"

namespace {

// After a suite that lost the reader or its card: a new connection, or none
// with the status the connect answered.
void ConnectAgain(QualifyTarget* target)
{
    if (target->card != 0)
        pcsc.Disconnect(target->card, SCARD_LEAVE_CARD);
    target->card = 0;
    target->status = ConnectCard(target->context, target->reader, target->options, &target->card, &target->protocol);
    if (target->status != SCARD_S_SUCCESS)
        target->card = 0;
}

struct RunContext {
    ReaderRun* run;
    ReaderRunEvents events;
};

void TellSuite(void* context, const SuiteResult& result, const QualifyScratch&)
{
    const RunContext& run = *static_cast<const RunContext*>(context);
    if (run.events.suiteDone != nullptr)
        run.events.suiteDone(run.events.context, *run.run, int32_t(&result - run.run->results));
}

// One reader's thread, from its context to its release.
void RunOneReader(const QualifyPlan& plan, const QualifyEnvironment& host, const ConnectOptions& options,
                  DWORD disposition, ReaderRun* run, const std::atomic<bool>* stop, ReaderRunEvents events)
{
    QualifyTarget& target = run->target;
    QualifyPrompt prompt = target.prompt;
    target = QualifyTarget {};
    target.prompt = prompt;
    target.reader = run->reader;
    target.options = options;
    run->count = 0;
    run->samples.count = 0;
    run->contextStatus = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &target.context);
    if (run->contextStatus != SCARD_S_SUCCESS) {
        target.context = 0;
        target.status = run->contextStatus;
    } else {
        target.status = ConnectCard(target.context, run->reader, options, &target.card, &target.protocol);
    }
    if (target.status != SCARD_S_SUCCESS)
        target.card = 0;
    run->environment = host;
    CollectReaderEnvironment(target.card, run->reader, &run->environment);
    if (events.ready != nullptr)
        events.ready(events.context, *run);
    RunContext context {run, events};
    RunReaderSuites(&target, plan, stop, &run->scratch, &run->samples, run->results, &run->count,
                    SuiteDone {TellSuite, &context});
    if (target.card != 0)
        pcsc.Disconnect(target.card, disposition);
    target.card = 0;
    if (target.context != 0)
        pcsc.ReleaseContext(target.context);
    target.context = 0;
}

}  // namespace

void RunReaderSuites(QualifyTarget* target, const QualifyPlan& plan, const std::atomic<bool>* stop,
                     QualifyScratch* scratch, QualifySamples* samples, SuiteResult* results, int32_t* count,
                     SuiteDone done)
{
    *count = 0;
    for (int32_t i = 0; i < plan.suiteCount; ++i) {
        if (i > 0 && stop != nullptr && stop->load(std::memory_order_relaxed))
            break;
        // Without a context, or a reader's name (none was found), there is nothing to connect again.
        if (i > 0 && ReaderGone(results[i - 1].status) && target->context != 0 && target->reader != nullptr
            && target->reader[0] != '\0')
            ConnectAgain(target);
        SuiteResult& result = results[(*count)++];
        RunSuite(target, plan, i, stop, scratch, samples, &result);
        if (done.done != nullptr)
            done.done(done.context, result, *scratch);
    }
}

void RunPlanOnReaders(const QualifyPlan& plan, const QualifyEnvironment& host, const ConnectOptions& options,
                      DWORD disposition, ReaderRun* const* runs, int32_t count, const std::atomic<bool>* stop,
                      ReaderRunEvents events)
{
    std::thread threads[RUN_READERS_MAX];
    if (count > RUN_READERS_MAX)
        count = RUN_READERS_MAX;
    for (int32_t i = 0; i < count; ++i)
        threads[i] = std::thread(RunOneReader, std::cref(plan), std::cref(host), std::cref(options), disposition,
                                 runs[i], stop, events);
    for (int32_t i = 0; i < count; ++i)
        threads[i].join();
}
