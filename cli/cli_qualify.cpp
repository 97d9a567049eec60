// The qualify command: reads the plan whole, connects to the reader, runs
// each suite in turn and prints its verdict as it comes (text or JSON; the
// operator's prompts on stderr), then the totals, and writes the JUnit and
// samples files. A signal stops the suite under way; what was measured is
// still printed and written.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
#include "core/qualify/suites.h"

namespace {

// The tap and removal suites' requests to the operator: on stderr, since
// stdout may be JSON.
void Prompt(void*, const char* text)
{
    fflush(stdout);
    fprintf(stderr, "%s\n", text);
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
    QualifyTarget target {};
    static char reader[MAX_READERNAME];
    reader[0] = '\0';
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &target.context);
    int found = status == SCARD_S_SUCCESS ? FindCommandReader(args, target.context, reader) : EXIT_FAILED;
    if (status != SCARD_S_SUCCESS)
        Complain(EXIT_FAILED, "SCardEstablishContext: 0x%08X", unsigned(status));
    if (found == EXIT_USAGE) {
        pcsc.ReleaseContext(target.context);
        CatchCommandStop(false);
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
    bool passed = true;
    for (int32_t i = 0; i < plan.suiteCount; ++i) {
        // A stopped plan reports the suite it stopped and no later one.
        if (i > 0 && CommandStopFlag()->load(std::memory_order_relaxed))
            break;
        SuiteResult& result = results[count++];
        RunSuite(&target, plan, i, CommandStopFlag(), &scratch, &samples, &result);
        passed = passed && result.verdict == VERDICT_PASS;
        if (args.json)
            WriteQualifySuiteJson(StandardJson(), plan.suites[i], result, reader);
        else
            ReportQualifySuite(standardOutput, plan.suites[i], result);
        EndOutput();
    }
    if (!args.json) {
        ReportQualifyTotals(standardOutput, results, count);
        EndOutput();
    }
    if (target.card != 0)
        pcsc.Disconnect(target.card, args.disposition);
    if (target.context != 0)
        pcsc.ReleaseContext(target.context);
    int result = EXIT_AS_EXPECTED;
    if (!passed || count < plan.suiteCount) {
        int32_t counts[3] = {};
        for (int32_t i = 0; i < count; ++i)
            ++counts[results[i].verdict];
        result = Complain(EXIT_FAILED, "qualify: %d of %d suites did not pass (%d failed, %d inconclusive, %d not run)",
                          int(plan.suiteCount - counts[VERDICT_PASS]), int(plan.suiteCount), int(counts[VERDICT_FAIL]),
                          int(counts[VERDICT_INCONCLUSIVE]), int(plan.suiteCount - count));
    }
    if (args.junit != nullptr) {
        int error = SaveJunitFile(args.junit, QualifyReport {&environment, &plan, results, count});
        if (error != 0)
            result = Complain(EXIT_FAILED, "qualify: %s: %s", args.junit, strerror(error));
    }
    if (args.samples != nullptr) {
        int error = WriteQualifySamplesCsv(args.samples, plan, samples);
        if (error != 0)
            result = Complain(EXIT_FAILED, "qualify: %s: %s", args.samples, strerror(error));
    }
    CatchCommandStop(false);
    int signal = CommandStopSignal();
    return signal != 0 ? EXIT_SIGNAL_BASE + signal : result;
}
