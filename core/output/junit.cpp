// The JUnit XML writer over stdio, its texts escaped byte by byte.
#include "core/output/junit.h"

#include <cstring>

#include "core/output/qualify_report.h"
#include "core/output/save_file.h"

namespace {

// The length of the valid UTF-8 sequence at `p` (at most `left` bytes),
// 0 for none: overlong forms, surrogates and values past U+10FFFF are not.
size_t Utf8Length(const unsigned char* p, size_t left)
{
    unsigned char c = p[0];
    size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (length == 0 || length > left)
        return 0;
    for (size_t i = 1; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90)
        || (c == 0xF4 && p[1] >= 0x90))
        return 0;
    // U+FFFE and U+FFFF are no XML characters.
    if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE)
        return 0;
    return length;
}

struct Counts {
    int32_t failures, skipped;
    double seconds;
};

void AddCounts(const QualifyReport& report, Counts* sums)
{
    Counts& counts = *sums;
    for (int32_t i = 0; i < report.count; ++i) {
        const SuiteResult& result = report.results[i];
        counts.failures += result.verdict == VERDICT_FAIL ? 1 : 0;
        counts.skipped += result.verdict == VERDICT_INCONCLUSIVE ? 1 : 0;
        counts.seconds += double(result.span.end - result.span.start) / 1e9;
    }
}

bool WriteProperty(FILE* file, const char* name, const char* value)
{
    return fprintf(file, "      <property name=\"%s\" value=\"", name) >= 0 && WriteXmlText(file, value)
        && fputs("\"/>\n", file) != EOF;
}

// The suite's limits, one a line, and its note: the body of its element.
bool WriteLimitLines(FILE* file, const SuiteResult& result)
{
    char line[QUALIFY_LINE_SIZE];
    for (int32_t i = 0; i < result.limitCount; ++i) {
        FormatLimitLine(line, sizeof line, result.limits[i]);
        if (!WriteXmlText(file, line) || fputc('\n', file) == EOF)
            return false;
    }
    return result.note[0] == '\0' || (WriteXmlText(file, result.note) && fputc('\n', file) != EOF);
}

// The first limit of the verdict's kind, or the note: what the element's message says.
bool WriteMessage(FILE* file, const SuiteResult& result)
{
    char line[QUALIFY_LINE_SIZE];
    for (int32_t i = 0; i < result.limitCount; ++i)
        if (result.limits[i].verdict == result.verdict) {
            FormatLimitLine(line, sizeof line, result.limits[i]);
            return WriteXmlText(file,
                                result.note[0] != '\0' && result.verdict == VERDICT_INCONCLUSIVE ? result.note : line);
        }
    return WriteXmlText(file, result.note[0] != '\0' ? result.note : VerdictName(result.verdict));
}

// `classname` null: "qualify." and the suite's kind.
bool WriteTestcase(FILE* file, const PlanSuite& suite, const SuiteResult& result, const char* classname)
{
    bool named = classname != nullptr
        ? fputs("    <testcase classname=\"", file) != EOF && WriteXmlText(file, classname)
        : fprintf(file, "    <testcase classname=\"qualify.%s", SuiteKindName(suite.kind)) >= 0;
    if (!named || fputs("\" name=\"", file) == EOF || !WriteXmlText(file, suite.id)
        || fprintf(file, "\" time=\"%.6f\">\n", double(result.span.end - result.span.start) / 1e9) < 0)
        return false;
    // A passed suite's lines go to its output, any other's into its failure or skip.
    const char* element = result.verdict == VERDICT_FAIL ? "failure"
        : result.verdict == VERDICT_INCONCLUSIVE         ? "skipped"
                                                         : "system-out";
    if (fprintf(file, "      <%s", element) < 0)
        return false;
    if (result.verdict != VERDICT_PASS
        && (fputs(" message=\"", file) == EOF || !WriteMessage(file, result) || fputc('"', file) == EOF))
        return false;
    return fputc('>', file) != EOF && WriteLimitLines(file, result)
        && fprintf(file, "</%s>\n    </testcase>\n", element) >= 0;
}

struct Reports {
    const QualifyReport* reports;
    int32_t count;
};

bool WriteDocument(FILE* file, const void* content)
{
    const Reports& reports = *static_cast<const Reports*>(content);
    return WriteJunitReaders(file, reports.reports, reports.count);
}

bool WriteTestsuite(FILE* file, const QualifyReport& report, const char* classname)
{
    const QualifyEnvironment& environment = *report.environment;
    Counts counts {};
    AddCounts(report, &counts);
    if (fputs("  <testsuite name=\"", file) == EOF || !WriteXmlText(file, environment.reader)
        || fprintf(file, "\" tests=\"%d\" failures=\"%d\" skipped=\"%d\" errors=\"0\" time=\"%.6f\" timestamp=\"",
                   int(report.count), int(counts.failures), int(counts.skipped), counts.seconds)
            < 0
        || !WriteXmlText(file, environment.date) || fputs("\" hostname=\"", file) == EOF
        || !WriteXmlText(file, environment.host) || fputs("\">\n    <properties>\n", file) == EOF)
        return false;
    const struct {
        const char* name;
        const char* value;
    } properties[] = {
        {"tool", environment.tool},
        {"pcsclite_compiled", environment.pcscliteCompiled},
        {"pcsclite_library", environment.pcscliteLibrary},
        {"pcscd", environment.pcscd},
        {"reader", environment.reader},
        {"ifd_vendor", environment.ifdVendor},
        {"ifd_type", environment.ifdType},
        {"ifd_version", environment.ifdVersion},
        {"ifd_serial", environment.ifdSerial},
        {"driver", environment.driver},
        {"kernel", environment.kernel},
        {"host", environment.host},
        {"date", environment.date},
        {"caveat", QUALIFY_CAVEAT},
    };
    for (const auto& property : properties)
        if (!WriteProperty(file, property.name, property.value))
            return false;
    if (fputs("    </properties>\n", file) == EOF)
        return false;
    for (int32_t i = 0; i < report.count; ++i) {
        const SuiteResult& result = report.results[i];
        if (!WriteTestcase(file, report.plan->suites[result.suite], result, classname))
            return false;
    }
    return fputs("  </testsuite>\n", file) != EOF;
}

}  // namespace

bool WriteXmlText(FILE* file, const char* text)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t left = strlen(text);
    while (left > 0) {
        unsigned char c = *p;
        int written = 0;
        size_t step = 1;
        if (c == '&')
            written = fputs("&amp;", file);
        else if (c == '<')
            written = fputs("&lt;", file);
        else if (c == '>')
            written = fputs("&gt;", file);
        else if (c == '"')
            written = fputs("&quot;", file);
        else if (c == '\'')
            written = fputs("&apos;", file);
        else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            written = fputs("&#xFFFD;", file);
        else if (c < 0x80)
            written = fputc(c, file);
        else if (size_t length = Utf8Length(p, left); length > 0)
            written = fwrite(p, 1, length, file) == length ? int(step = length) : EOF;
        else
            written = fprintf(file, "&#x%02X;", c);
        if (written == EOF || written < 0)
            return false;
        p += step;
        left -= step;
    }
    return true;
}

bool WriteJunit(FILE* file, const QualifyReport& report)
{
    return WriteJunitReaders(file, &report, 1);
}

bool WriteJunitReaders(FILE* file, const QualifyReport* reports, int32_t count)
{
    Counts counts {};
    int32_t tests = 0;
    for (int32_t i = 0; i < count; ++i) {
        AddCounts(reports[i], &counts);
        tests += reports[i].count;
    }
    if (fprintf(file,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<testsuites name=\"qualify\" tests=\"%d\" failures=\"%d\" skipped=\"%d\" errors=\"0\" "
                "time=\"%.6f\">\n",
                int(tests), int(counts.failures), int(counts.skipped), counts.seconds)
        < 0)
        return false;
    // Several readers run the same suites: the reader names each case's class, keeping names apart.
    for (int32_t i = 0; i < count; ++i)
        if (!WriteTestsuite(file, reports[i], count > 1 ? reports[i].environment->reader : nullptr))
            return false;
    return fputs("</testsuites>\n", file) != EOF;
}

int SaveJunitFile(const char* path, const QualifyReport& report)
{
    return SaveJunitFile(path, &report, 1);
}

int SaveJunitFile(const char* path, const QualifyReport* reports, int32_t count)
{
    Reports content {reports, count};
    return SaveFileWhole(path, WriteDocument, &content);
}
