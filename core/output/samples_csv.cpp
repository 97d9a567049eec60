// CSV of the loop's samples, written whole or not at all.
#include "core/output/samples_csv.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/output/save_file.h"

namespace {

struct Samples {
    const int64_t* ns;
    const LONG* status;
    const uint16_t* sw;
    int32_t runs;
};

// The columns every file ends with: "ns,pcsc,sw" and the line end.
bool WriteTail(FILE* file, int64_t ns, LONG status, uint16_t sw)
{
    char word[8] = "";
    if (sw != 0)
        snprintf(word, sizeof word, "%02X %02X", sw >> 8, sw & 0xFF);
    return fprintf(file, "%" PRId64 ",0x%08X,%s\n", ns, unsigned(uint32_t(status)), word) >= 0;
}

bool WriteRows(FILE* file, const void* content)
{
    const Samples& samples = *static_cast<const Samples*>(content);
    if (fputs("run,ns,pcsc,sw\n", file) == EOF)
        return false;
    for (int32_t run = 0; run < samples.runs; ++run)
        if (fprintf(file, "%d,", run + 1) < 0
            || !WriteTail(file, samples.ns[run], samples.status[run], samples.sw[run]))
            return false;
    return true;
}

// A field as CSV quotes it when it holds a comma, a quote or a line end:
// within quotes, each quote doubled.
bool WriteCsvField(FILE* file, const char* text)
{
    if (strpbrk(text, ",\"\r\n") == nullptr)
        return fputs(text, file) != EOF;
    if (fputc('"', file) == EOF)
        return false;
    for (const char* p = text; *p != '\0'; ++p)
        if ((*p == '"' && fputc('"', file) == EOF) || fputc(*p, file) == EOF)
            return false;
    return fputc('"', file) != EOF;
}

// One reader's rows; `reader` null: without the reader column.
bool WriteReaderRows(FILE* file, const QualifyPlan& plan, const char* reader, const QualifySamples& samples)
{
    for (int32_t i = 0; i < samples.count && i < PLAN_SAMPLES_MAX; ++i) {
        const QualifySample& row = samples.rows[i];
        // Ids are letters, digits, '.', '_' and '-': no quoting needed.
        const char* id = row.suite >= 0 && row.suite < plan.suiteCount ? plan.suites[row.suite].id : "";
        char length[16] = "";
        if (row.length >= 0)
            snprintf(length, sizeof length, "%d", int(row.length));
        if ((reader != nullptr && (!WriteCsvField(file, reader) || fputc(',', file) == EOF))
            || fprintf(file, "%s,%d,%s,", id, int(row.run), length) < 0 || !WriteTail(file, row.ns, row.status, row.sw))
            return false;
    }
    return true;
}

struct QualifyRows {
    const QualifyPlan* plan;
    const char* const* readers;  // null: one reader, no reader column
    const QualifySamples* const* samples;
    int32_t count;
};

bool WriteQualifyRows(FILE* file, const void* content)
{
    const QualifyRows& rows = *static_cast<const QualifyRows*>(content);
    if (fputs(rows.readers != nullptr ? "reader,suite,run,length,ns,pcsc,sw\n" : "suite,run,length,ns,pcsc,sw\n", file)
        == EOF)
        return false;
    for (int32_t i = 0; i < rows.count; ++i)
        if (!WriteReaderRows(file, *rows.plan, rows.readers != nullptr ? rows.readers[i] : nullptr, *rows.samples[i]))
            return false;
    return true;
}

}  // namespace

int WriteSamplesCsv(const char* path, const int64_t* ns, const LONG* status, const uint16_t* sw, int32_t runs)
{
    Samples samples {ns, status, sw, runs};
    return SaveFileWhole(path, WriteRows, &samples);
}

int WriteQualifySamplesCsv(const char* path, const QualifyPlan& plan, const QualifySamples& samples)
{
    const QualifySamples* only = &samples;
    QualifyRows rows {&plan, nullptr, &only, 1};
    return SaveFileWhole(path, WriteQualifyRows, &rows);
}

int WriteReadersSamplesCsv(const char* path, const QualifyPlan& plan, const char* const* readers,
                           const QualifySamples* const* samples, int32_t count)
{
    QualifyRows rows {&plan, readers, samples, count};
    return SaveFileWhole(path, WriteQualifyRows, &rows);
}
