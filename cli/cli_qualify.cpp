// The qualify command: reads the plan whole, connects to the reader, runs
// each suite in turn and prints its verdict as it comes (text or JSON), then
// the totals, and writes the JUnit and samples files. A signal stops the
// suite under way; what was measured is still printed and written.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "core/output/junit.h"
#include "core/output/qualify_report.h"
#include "core/output/samples_csv.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/pcsc_api.h"
#include "core/qualify/environment.h"
#include "core/qualify/plan.h"
#include "core/qualify/suites.h"

namespace {

void JsonEnvironment(const QualifyEnvironment& environment)
{
    JsonBegin("environment");
    JsonString("tool", environment.tool);
    JsonString("pcsclite_compiled", environment.pcscliteCompiled);
    JsonString("pcsclite_library", environment.pcscliteLibrary);
    JsonString("pcscd", environment.pcscd);
    JsonString("reader", environment.reader);
    JsonString("ifd_vendor", environment.ifdVendor);
    JsonString("ifd_type", environment.ifdType);
    JsonString("ifd_version", environment.ifdVersion);
    JsonString("ifd_serial", environment.ifdSerial);
    JsonString("driver", environment.driver);
    JsonString("kernel", environment.kernel);
    JsonString("host", environment.host);
    JsonString("date", environment.date);
    JsonString("caveat", QUALIFY_CAVEAT);
    JsonEnd();
}

void JsonSuite(const PlanSuite& suite, const SuiteResult& result, const char* reader)
{
    JsonBegin("suite");
    JsonString("id", suite.id);
    JsonString("suite", SuiteKindName(suite.kind));
    JsonNumber("line", suite.line);
    JsonString("reader", reader);
    JsonString("verdict", VerdictName(result.verdict));
    JsonStatus(result.status);
    JsonNumber("runs", int64_t(result.value[QUANTITY_RUNS]));
    JsonNumber("planned", result.planned);
    JsonBool("complete", result.complete);
    JsonBool("stopped", result.stopped);
    JsonOpen("measured", '{');
    for (int q = 0; q < QUANTITY_COUNT; ++q)
        if (result.measured[q])
            JsonDecimal(QuantityName(Quantity(q)), result.value[q]);
    JsonClose('}');
    JsonOpen("limits", '[');
    for (int32_t i = 0; i < result.limitCount; ++i) {
        const LimitResult& limit = result.limits[i];
        JsonOpen(nullptr, '{');
        JsonNumber("line", limit.limit.line);
        JsonString("quantity", QuantityName(limit.limit.quantity));
        JsonString("operator", LimitOperatorText(limit.limit.op));
        JsonDecimal("limit", limit.limit.value);
        if (limit.measured) {
            JsonDecimal("measured", limit.value);
            JsonDecimal("margin", limit.margin);
        } else {
            JsonString("measured", nullptr);
            JsonString("margin", nullptr);
        }
        JsonString("verdict", VerdictName(limit.verdict));
        JsonClose('}');
    }
    JsonClose(']');
    if (suite.kind == SUITE_SWEEP && result.fit.points >= 2 && result.measured[QUANTITY_PER_BYTE_US]) {
        JsonOpen("fit", '{');
        JsonNumber("points", result.fit.points);
        JsonDecimal("per_byte_us", result.fit.slope);
        JsonDecimal("fixed_us", result.fit.intercept);
        JsonClose('}');
    } else {
        JsonString("fit", nullptr);
    }
    JsonBytes("atr", suite.kind == SUITE_POWER && result.atrLength > 0 ? result.atr : nullptr, result.atrLength);
    JsonString("note", result.note[0] != '\0' ? result.note : nullptr);
    JsonElapsed(result.span, 1);
    JsonEnd();
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
        JsonEnvironment(environment);
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
            JsonSuite(plan.suites[i], result, reader);
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
        int error = SaveJunitFile(args.junit, JunitReport {&environment, &plan, results, count});
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
