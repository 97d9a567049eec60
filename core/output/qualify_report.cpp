// The qualification's lines, built in fixed buffers.
#include "core/output/qualify_report.h"

#include <cmath>
#include <cstdio>

#include "core/pcsc/status_text.h"

namespace {

// The table's columns: quantity, limit, measured, margin, verdict.
constexpr char TABLE_HEADER[] = "  quantity        limit          measured       margin         verdict";

void PutLine(LineSink sink, const char* text)
{
    sink.put(sink.context, text);
}

}  // namespace

void FormatQualifyNumber(char* text, size_t size, double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        snprintf(text, size, "%.0f", value);
    else
        snprintf(text, size, "%.3f", value);
}

void FormatLimitLine(char* text, size_t size, const LimitResult& limit)
{
    char bound[32], measured[32] = "none", margin[32];
    FormatQualifyNumber(bound, sizeof bound, limit.limit.value);
    if (limit.measured) {
        FormatQualifyNumber(measured, sizeof measured, limit.value);
        FormatQualifyNumber(margin, sizeof margin, limit.margin);
        snprintf(text, size, "%s %s %s: measured %s, margin %s: %s", QuantityName(limit.limit.quantity),
                 LimitOperatorText(limit.limit.op), bound, measured, margin, VerdictName(limit.verdict));
        return;
    }
    snprintf(text, size, "%s %s %s: measured none: %s", QuantityName(limit.limit.quantity),
             LimitOperatorText(limit.limit.op), bound, VerdictName(limit.verdict));
}

void FormatLimitCells(const LimitResult& limit, LimitCells* cells)
{
    int used = snprintf(cells->bound, sizeof cells->bound, "%s ", LimitOperatorText(limit.limit.op));
    FormatQualifyNumber(cells->bound + used, sizeof cells->bound - size_t(used), limit.limit.value);
    snprintf(cells->measured, sizeof cells->measured, "none");
    snprintf(cells->margin, sizeof cells->margin, "none");
    if (limit.measured) {
        FormatQualifyNumber(cells->measured, sizeof cells->measured, limit.value);
        FormatQualifyNumber(cells->margin, sizeof cells->margin, limit.margin);
    }
}

void ReportQualifyEnvironment(LineSink sink, const QualifyEnvironment& environment)
{
    const struct {
        const char* label;
        const char* value;
    } fields[] = {
        {"Tool", environment.tool},
        {"libpcsclite (built with)", environment.pcscliteCompiled},
        {"libpcsclite (loaded)", environment.pcscliteLibrary},
        {"pcscd", environment.pcscd},
        {"Reader", environment.reader},
        {"IFD vendor", environment.ifdVendor},
        {"IFD type", environment.ifdType},
        {"IFD version", environment.ifdVersion},
        {"IFD serial", environment.ifdSerial},
        {"Driver", environment.driver},
        {"Kernel", environment.kernel},
        {"Host", environment.host},
        {"Date", environment.date},
    };
    PutLine(sink, "Environment:");
    char line[QUALIFY_LINE_SIZE + PATH_MAX];
    for (const auto& field : fields) {
        snprintf(line, sizeof line, "  %s: %s", field.label, field.value);
        PutLine(sink, line);
    }
}

void ReportQualifySuite(LineSink sink, const PlanSuite& suite, const SuiteResult& result, const char* reader)
{
    char line[QUALIFY_LINE_SIZE + MAX_READERNAME];
    snprintf(line, sizeof line, "%s%s%s (%s, line %d): %s, %.0f of %d %s", reader != nullptr ? reader : "",
             reader != nullptr ? ": " : "", suite.id, SuiteKindName(suite.kind), int(suite.line),
             VerdictName(result.verdict), result.value[QUANTITY_RUNS], int(result.planned),
             suite.kind == SUITE_POWER     ? "cycles"
                 : suite.kind == SUITE_TAP ? "taps"
                                           : "exchanges");
    PutLine(sink, line);
    if (result.status != SCARD_S_SUCCESS) {
        char status[STATUS_TEXT_SIZE];
        DescribeStatus(result.status, status, sizeof status);
        snprintf(line, sizeof line, "  Status: %s", status);
        PutLine(sink, line);
    }
    if (result.note[0] != '\0') {
        snprintf(line, sizeof line, "  Note: %s", result.note);
        PutLine(sink, line);
    }
    if (suite.kind == SUITE_SWEEP && result.measured[QUANTITY_PER_BYTE_US]) {
        char bytesPerS[48] = "no bytes/s (the slope is not above 0)";
        if (result.measured[QUANTITY_BYTES_PER_S])
            snprintf(bytesPerS, sizeof bytesPerS, "%.0f bytes/s", result.value[QUANTITY_BYTES_PER_S]);
        snprintf(line, sizeof line, "  Line over %d lengths: %.3f us per byte, %.3f us fixed, %s",
                 int(result.fit.points), result.fit.slope, result.fit.intercept, bytesPerS);
        PutLine(sink, line);
    }
    if (result.limitCount == 0)
        return;
    PutLine(sink, TABLE_HEADER);
    for (int32_t i = 0; i < result.limitCount; ++i) {
        const LimitResult& limit = result.limits[i];
        LimitCells cells;
        FormatLimitCells(limit, &cells);
        snprintf(line, sizeof line, "  %-15s %-14s %-14s %-14s %s", QuantityName(limit.limit.quantity), cells.bound,
                 cells.measured, cells.margin, VerdictName(limit.verdict));
        PutLine(sink, line);
    }
}

namespace {

// `label`, then how many of the results passed, failed and were inconclusive.
void PutVerdictCounts(LineSink sink, const char* label, const int32_t (&counts)[3])
{
    char line[QUALIFY_LINE_SIZE + MAX_READERNAME];
    snprintf(line, sizeof line, "%s: %d pass, %d fail, %d inconclusive", label, int(counts[VERDICT_PASS]),
             int(counts[VERDICT_FAIL]), int(counts[VERDICT_INCONCLUSIVE]));
    PutLine(sink, line);
}

void CountVerdicts(const SuiteResult* results, int32_t count, int32_t (&counts)[3])
{
    for (int32_t i = 0; i < count; ++i)
        ++counts[results[i].verdict];
}

}  // namespace

void ReportQualifyTotals(LineSink sink, const SuiteResult* results, int32_t count)
{
    int32_t counts[3] = {};
    CountVerdicts(results, count, counts);
    PutVerdictCounts(sink, "Verdicts", counts);
    PutLine(sink, QUALIFY_CAVEAT);
}

void ReportQualifyReadersTotals(LineSink sink, const QualifyReport* reports, int32_t count)
{
    int32_t all[3] = {};
    for (int32_t i = 0; i < count; ++i) {
        int32_t counts[3] = {};
        CountVerdicts(reports[i].results, reports[i].count, counts);
        char label[MAX_READERNAME + 16];
        snprintf(label, sizeof label, "Verdicts on %s", reports[i].environment->reader);
        PutVerdictCounts(sink, label, counts);
        for (int k = 0; k < 3; ++k)
            all[k] += counts[k];
    }
    PutVerdictCounts(sink, "Verdicts", all);
    PutLine(sink, QUALIFY_CAVEAT);
}
