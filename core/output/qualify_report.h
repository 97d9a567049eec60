// The lines of a qualification as the command line prints them: the
// environment, each suite's verdict with its limits as a table, the totals
// and the caveat on host-side times. Written once, over a LineSink, and
// read by the JUnit writer for its texts.
#pragma once

#include <cstddef>

#include "core/output/report.h"
#include "core/qualify/environment.h"
#include "core/qualify/plan.h"
#include "core/qualify/suites.h"

constexpr size_t QUALIFY_LINE_SIZE = 512;

// A qualification run on one reader, as the files written of it hold it.
struct QualifyReport {
    const QualifyEnvironment* environment;
    const QualifyPlan* plan;
    const SuiteResult* results;  // one per suite run, in the plan's order
    int32_t count;
};

// A measured value or limit as every output shows it: a whole number
// without decimals, any other with three.
void FormatQualifyNumber(char* text, size_t size, double value);
// "p99_us < 500: measured 87.300, margin 412.700: pass"; an unmeasured
// value reads "measured none".
void FormatLimitLine(char* text, size_t size, const LimitResult& limit);

// A limit's columns as the suite's table shows them: "< 500", the measured
// value and the margin ("none" for each without a value).
struct LimitCells {
    char bound[40];
    char measured[32];
    char margin[32];
};
void FormatLimitCells(const LimitResult& limit, LimitCells* cells);

// "Environment:" and one "  Name: value" line per field.
void ReportQualifyEnvironment(LineSink sink, const QualifyEnvironment& environment);
// "stability-1 (stability, line 2): pass, 1000 of 1000 runs", the note and
// the sweep's line when there are, then the table of its limits. With
// `reader` (one of several run at once) the first line starts with its name
// and ": ".
void ReportQualifySuite(LineSink sink, const PlanSuite& suite, const SuiteResult& result, const char* reader = nullptr);
// "Verdicts: 2 pass, 1 fail, 0 inconclusive" and the caveat.
void ReportQualifyTotals(LineSink sink, const SuiteResult* results, int32_t count);
// For several readers run at once: "Verdicts on NAME: ..." for each, then
// the totals over all of them and the caveat.
void ReportQualifyReadersTotals(LineSink sink, const QualifyReport* reports, int32_t count);
