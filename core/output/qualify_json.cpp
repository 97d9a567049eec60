// A qualification as JSON objects, one a line.
#include "core/output/qualify_json.h"

#include "core/output/save_file.h"
#include "core/qualify/suites.h"

void WriteQualifyEnvironmentJson(JsonWriter* json, const QualifyEnvironment& environment)
{
    JsonWriterBegin(json, "environment");
    JsonWriterString(json, "tool", environment.tool);
    JsonWriterString(json, "pcsclite_compiled", environment.pcscliteCompiled);
    JsonWriterString(json, "pcsclite_library", environment.pcscliteLibrary);
    JsonWriterString(json, "pcscd", environment.pcscd);
    JsonWriterString(json, "reader", environment.reader);
    JsonWriterString(json, "ifd_vendor", environment.ifdVendor);
    JsonWriterString(json, "ifd_type", environment.ifdType);
    JsonWriterString(json, "ifd_version", environment.ifdVersion);
    JsonWriterString(json, "ifd_serial", environment.ifdSerial);
    JsonWriterString(json, "driver", environment.driver);
    JsonWriterString(json, "kernel", environment.kernel);
    JsonWriterString(json, "host", environment.host);
    JsonWriterString(json, "date", environment.date);
    JsonWriterString(json, "caveat", QUALIFY_CAVEAT);
    JsonWriterEnd(json);
}

void WriteQualifySuiteJson(JsonWriter* json, const PlanSuite& suite, const SuiteResult& result, const char* reader)
{
    JsonWriterBegin(json, "suite");
    JsonWriterString(json, "id", suite.id);
    JsonWriterString(json, "suite", SuiteKindName(suite.kind));
    JsonWriterNumber(json, "line", suite.line);
    JsonWriterString(json, "reader", reader);
    JsonWriterString(json, "verdict", VerdictName(result.verdict));
    JsonWriterStatus(json, result.status);
    JsonWriterNumber(json, "runs", int64_t(result.value[QUANTITY_RUNS]));
    JsonWriterNumber(json, "planned", result.planned);
    JsonWriterBool(json, "complete", result.complete);
    JsonWriterBool(json, "stopped", result.stopped);
    JsonWriterOpen(json, "measured", '{');
    for (int q = 0; q < QUANTITY_COUNT; ++q)
        if (result.measured[q])
            JsonWriterDecimal(json, QuantityName(Quantity(q)), result.value[q]);
    JsonWriterClose(json, '}');
    JsonWriterOpen(json, "limits", '[');
    for (int32_t i = 0; i < result.limitCount; ++i) {
        const LimitResult& limit = result.limits[i];
        JsonWriterOpen(json, nullptr, '{');
        JsonWriterNumber(json, "line", limit.limit.line);
        JsonWriterString(json, "quantity", QuantityName(limit.limit.quantity));
        JsonWriterString(json, "operator", LimitOperatorText(limit.limit.op));
        JsonWriterDecimal(json, "limit", limit.limit.value);
        if (limit.measured) {
            JsonWriterDecimal(json, "measured", limit.value);
            JsonWriterDecimal(json, "margin", limit.margin);
        } else {
            JsonWriterString(json, "measured", nullptr);
            JsonWriterString(json, "margin", nullptr);
        }
        JsonWriterString(json, "verdict", VerdictName(limit.verdict));
        JsonWriterClose(json, '}');
    }
    JsonWriterClose(json, ']');
    if (suite.kind == SUITE_SWEEP && result.fit.points >= 2 && result.measured[QUANTITY_PER_BYTE_US]) {
        JsonWriterOpen(json, "fit", '{');
        JsonWriterNumber(json, "points", result.fit.points);
        JsonWriterDecimal(json, "per_byte_us", result.fit.slope);
        JsonWriterDecimal(json, "fixed_us", result.fit.intercept);
        JsonWriterClose(json, '}');
    } else {
        JsonWriterString(json, "fit", nullptr);
    }
    bool atr = (suite.kind == SUITE_POWER || suite.kind == SUITE_TAP) && result.atrLength > 0;
    JsonWriterBytes(json, "atr", atr ? result.atr : nullptr, result.atrLength);
    JsonWriterString(json, "note", result.note[0] != '\0' ? result.note : nullptr);
    JsonWriterElapsed(json, result.span, 1);
    JsonWriterEnd(json);
}

namespace {

bool WriteDocument(FILE* file, const void* content)
{
    return WriteQualifyJson(file, *static_cast<const QualifyReport*>(content));
}

}  // namespace

bool WriteQualifyJson(FILE* file, const QualifyReport& report)
{
    JsonWriter json {file, 0, {}};
    WriteQualifyEnvironmentJson(&json, *report.environment);
    for (int32_t i = 0; i < report.count; ++i)
        WriteQualifySuiteJson(&json, report.plan->suites[report.results[i].suite], report.results[i],
                              report.environment->reader);
    return !ferror(file);
}

int SaveQualifyJsonFile(const char* path, const QualifyReport& report)
{
    return SaveFileWhole(path, WriteDocument, &report);
}
