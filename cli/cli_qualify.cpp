// The qualify command: reads the plan whole, connects to the reader, runs
// each suite in turn and prints its verdict as it comes (text or JSON; the
// operator's prompts on stderr), then the totals, and writes the JUnit and
// samples files. A signal stops the suite under way; what was measured is
// still printed and written.
//
// With several readers (--reader given more than once, or "all"), the plan
// runs on all of them at once, one thread each (core/qualify/run_readers.h):
// each reader's environment and each suite's verdict are printed as they
// come, one block at a time, the suite's first line naming its reader; then
// the totals of each reader and of all. The JUnit file has a <testsuite> per
// reader, the samples file a reader column. Selections that come to one
// reader print as for one.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "core/output/junit.h"
#include "core/output/qualify_json.h"
#include "core/output/qualify_report.h"
#include "core/output/samples_csv.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/pcsc_api.h"
#include "core/qualify/environment.h"
#include "core/qualify/plan.h"
#include "core/qualify/run_readers.h"
#include "core/qualify/suites.h"

namespace {

// The tap and removal suites' requests to the operator: on stderr, since
// stdout may be JSON.
void Prompt(void*, const char* text)
{
    fflush(stdout);
    fprintf(stderr, "%s\n", text);
}

struct SuitePrinter {
    const CliArguments* args;
    const QualifyPlan* plan;
    const char* reader;
};

void PrintSuite(void* context, const SuiteResult& result, const QualifyScratch&)
{
    const SuitePrinter& printer = *static_cast<const SuitePrinter*>(context);
    const PlanSuite& suite = printer.plan->suites[result.suite];
    if (printer.args->json)
        WriteQualifySuiteJson(StandardJson(), suite, result, printer.reader);
    else
        ReportQualifySuite(standardOutput, suite, result);
    EndOutput();
}

// "qualify: 1 of 3 suites did not pass (...)" on stderr unless all passed; the exit status.
int ComplainOfVerdicts(const QualifyReport* reports, int32_t count, int32_t suiteCount)
{
    int32_t counts[3] = {}, run = 0;
    for (int32_t r = 0; r < count; ++r) {
        run += reports[r].count;
        for (int32_t i = 0; i < reports[r].count; ++i)
            ++counts[reports[r].results[i].verdict];
    }
    int32_t planned = suiteCount * count;
    if (counts[VERDICT_PASS] == planned)
        return EXIT_AS_EXPECTED;
    char readers[32] = "";
    if (count > 1)
        snprintf(readers, sizeof readers, " on %d readers", int(count));
    return Complain(EXIT_FAILED, "qualify: %d of %d suites%s did not pass (%d failed, %d inconclusive, %d not run)",
                    int(planned - counts[VERDICT_PASS]), int(planned), readers, int(counts[VERDICT_FAIL]),
                    int(counts[VERDICT_INCONCLUSIVE]), int(planned - run));
}

// The JUnit and samples files asked for; `result` or the failure's exit status.
int WriteFiles(const CliArguments& args, const QualifyPlan& plan, const QualifyReport* reports,
               const QualifySamples* const* samples, int32_t count, int result)
{
    if (args.junit != nullptr) {
        int error = SaveJunitFile(args.junit, reports, count);
        if (error != 0)
            result = Complain(EXIT_FAILED, "qualify: %s: %s", args.junit, strerror(error));
    }
    if (args.samples != nullptr) {
        const char* readers[RUN_READERS_MAX];
        for (int32_t i = 0; i < count; ++i)
            readers[i] = reports[i].environment->reader;
        int error = count > 1 ? WriteReadersSamplesCsv(args.samples, plan, readers, samples, count)
                              : WriteQualifySamplesCsv(args.samples, plan, *samples[0]);
        if (error != 0)
            result = Complain(EXIT_FAILED, "qualify: %s: %s", args.samples, strerror(error));
    }
    return result;
}

// The plan on one reader: `chosen`, or the one the arguments name.
int QualifyOneReader(const CliArguments& args, const QualifyPlan& plan, const char* chosen)
{
    QualifyTarget target {};
    static char reader[MAX_READERNAME];
    reader[0] = '\0';
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &target.context);
    int found = EXIT_FAILED;
    if (status == SCARD_S_SUCCESS && chosen != nullptr) {
        snprintf(reader, sizeof reader, "%s", chosen);
        found = EXIT_AS_EXPECTED;
    } else if (status == SCARD_S_SUCCESS) {
        found = FindCommandReader(args, target.context, reader);
    }
    if (status != SCARD_S_SUCCESS)
        Complain(EXIT_FAILED, "SCardEstablishContext: 0x%08X", unsigned(status));
    if (found == EXIT_USAGE) {
        pcsc.ReleaseContext(target.context);
        return EXIT_USAGE;
    }
    // Without a card every suite is inconclusive, and says so in each output.
    target.reader = reader;
    target.options = args.connect;
    target.prompt = QualifyPrompt {Prompt, nullptr};
    target.status = found == EXIT_AS_EXPECTED
        ? ConnectCard(target.context, reader, target.options, &target.card, &target.protocol)
        : SCARD_E_NO_SMARTCARD;
    if (target.status != SCARD_S_SUCCESS)
        target.card = 0;
    if (!args.json && target.status == SCARD_S_SUCCESS) {
        printf("Reader: %s\n", reader);
        ReportConnected(standardOutput, "SCardConnect", target.protocol);
    }
    static QualifyEnvironment environment;
    CollectHostEnvironment(&environment);
    CollectReaderEnvironment(target.card, reader[0] != '\0' ? reader : nullptr, &environment);
    if (args.json)
        WriteQualifyEnvironmentJson(StandardJson(), environment);
    else
        ReportQualifyEnvironment(standardOutput, environment);
    EndOutput();

    static QualifyScratch scratch;
    static QualifySamples samples;
    static SuiteResult results[PLAN_SUITES_MAX];
    samples.count = 0;
    int32_t count = 0;
    SuitePrinter printer {&args, &plan, reader};
    RunReaderSuites(&target, plan, CommandStopFlag(), &scratch, &samples, results, &count,
                    SuiteDone {PrintSuite, &printer});
    if (!args.json) {
        ReportQualifyTotals(standardOutput, results, count);
        EndOutput();
    }
    if (target.card != 0)
        pcsc.Disconnect(target.card, args.disposition);
    if (target.context != 0)
        pcsc.ReleaseContext(target.context);
    QualifyReport report {&environment, &plan, results, count};
    const QualifySamples* only = &samples;
    return WriteFiles(args, plan, &report, &only, 1, ComplainOfVerdicts(&report, 1, plan.suiteCount));
}

// What the readers' threads print, one block at a time.
struct ReadersPrinter {
    std::mutex lock;
    const CliArguments* args;
    const QualifyPlan* plan;
};

ReadersPrinter readersPrinter;

// A reader's prompt, named by its reader, between the blocks on stdout.
void PromptReader(void* context, const char* text)
{
    std::lock_guard<std::mutex> hold(readersPrinter.lock);
    fflush(stdout);
    fprintf(stderr, "%s: %s\n", static_cast<const ReaderRun*>(context)->reader, text);
}

void PrintReaderReady(void* context, const ReaderRun& run)
{
    ReadersPrinter& printer = *static_cast<ReadersPrinter*>(context);
    std::lock_guard<std::mutex> hold(printer.lock);
    if (printer.args->json) {
        WriteQualifyEnvironmentJson(StandardJson(), run.environment);
    } else {
        if (run.target.status == SCARD_S_SUCCESS) {
            printf("Reader: %s\n", run.reader);
            ReportConnected(standardOutput, "SCardConnect", run.target.protocol);
        }
        ReportQualifyEnvironment(standardOutput, run.environment);
    }
    EndOutput();
}

void PrintReaderSuite(void* context, const ReaderRun& run, int32_t index)
{
    ReadersPrinter& printer = *static_cast<ReadersPrinter*>(context);
    std::lock_guard<std::mutex> hold(printer.lock);
    const SuiteResult& result = run.results[index];
    const PlanSuite& suite = printer.plan->suites[result.suite];
    if (printer.args->json)
        WriteQualifySuiteJson(StandardJson(), suite, result, run.reader);
    else
        ReportQualifySuite(standardOutput, suite, result, run.reader);
    EndOutput();
}

int QualifyReaders(const CliArguments& args, const QualifyPlan& plan, char (*names)[MAX_READERNAME], int32_t count)
{
    // Each reader's room at once, before any thread starts: none is allocated while they run.
    ReaderRun* runs[RUN_READERS_MAX] = {};
    for (int32_t i = 0; i < count; ++i) {
        runs[i] = new (std::nothrow) ReaderRun;
        if (runs[i] == nullptr) {
            for (int32_t k = 0; k < i; ++k)
                delete runs[k];
            return Complain(EXIT_FAILED, "qualify: no memory for %d readers", int(count));
        }
        memcpy(runs[i]->reader, names[i], sizeof runs[i]->reader);
        runs[i]->reader[sizeof runs[i]->reader - 1] = '\0';
        runs[i]->target.prompt = QualifyPrompt {PromptReader, runs[i]};
    }
    static QualifyEnvironment host;
    CollectHostEnvironment(&host);
    readersPrinter.args = &args;
    readersPrinter.plan = &plan;
    RunPlanOnReaders(plan, host, args.connect, args.disposition, runs, count, CommandStopFlag(),
                     ReaderRunEvents {PrintReaderReady, PrintReaderSuite, &readersPrinter});
    QualifyReport reports[RUN_READERS_MAX];
    const QualifySamples* samples[RUN_READERS_MAX];
    for (int32_t i = 0; i < count; ++i) {
        reports[i] = QualifyReport {&runs[i]->environment, &plan, runs[i]->results, runs[i]->count};
        samples[i] = &runs[i]->samples;
    }
    if (!args.json) {
        ReportQualifyReadersTotals(standardOutput, reports, count);
        EndOutput();
    }
    int result = WriteFiles(args, plan, reports, samples, count, ComplainOfVerdicts(reports, count, plan.suiteCount));
    for (int32_t i = 0; i < count; ++i)
        delete runs[i];
    return result;
}

// The readers the arguments name, then the plan on them.
int QualifyChosenReaders(const CliArguments& args, const QualifyPlan& plan)
{
    static char names[RUN_READERS_MAX][MAX_READERNAME];
    int32_t count = 0;
    SCARDCONTEXT context = 0;
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    if (status != SCARD_S_SUCCESS)
        return Complain(EXIT_FAILED, "SCardEstablishContext: 0x%08X", unsigned(status));
    int found = FindCommandReaders(args, context, names, &count);
    pcsc.ReleaseContext(context);
    if (found != EXIT_AS_EXPECTED)
        return found;
    if (count == 0)
        return Complain(EXIT_FAILED, "qualify: no reader holds a card");
    return count == 1 ? QualifyOneReader(args, plan, names[0]) : QualifyReaders(args, plan, names, count);
}

}  // namespace

int RunQualify(const CliArguments& args)
{
    const char* path = args.positional[0];
    static QualifyPlan plan;
    PlanFailure failure;
    // "-" is standard input, whatever it is, as for `run -`.
    bool stdinPlan = strcmp(path, "-") == 0;
    if (!LoadPlan(path, stdinPlan ? STDIN_FILENO : -1, &plan, &failure)) {
        fflush(stdout);
        if (failure.line > 0)
            fprintf(stderr, "%s:%d: %s\n", path, int(failure.line), failure.reason);
        else
            fprintf(stderr, "%s: %s\n", path, failure.reason);
        return EXIT_USAGE;
    }
    CatchCommandStop(true);
    bool several = args.readerCount > 1 || (args.readerCount == 1 && strcmp(args.readers[0], "all") == 0);
    int result = several ? QualifyChosenReaders(args, plan) : QualifyOneReader(args, plan, nullptr);
    CatchCommandStop(false);
    int signal = CommandStopSignal();
    return signal != 0 && result != EXIT_USAGE ? EXIT_SIGNAL_BASE + signal : result;
}
