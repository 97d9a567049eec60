// Comparing two passports, or two qualify --json outputs, read by the JSON
// reader: every difference by its path, and which of them cross a limit.
// For passports a timing figure (timing.times_us) slower in B by more than
// the tolerance crosses; for runs a suite that passed in A and did not in B
// (or is missing from B), and every limit B fails (also when A failed it
// too: that one is reported though it is no difference).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/output/json_reader.h"

// The percentage without --tolerance.
constexpr double COMPARE_TOLERANCE_DEFAULT = 10;
// The most top-level objects a qualify output may hold (suites and more).
constexpr int32_t COMPARE_TOP_MAX = JSON_MEMBERS_MAX;
constexpr size_t COMPARE_PATH_SIZE = 512;

enum CompareKind : int32_t {
    COMPARE_PASSPORT,  // one object of type "passport"
    COMPARE_RUNS,      // objects of type "environment", "suite" (and others qualify prints), one a line
};

// "a passport", "qualify output".
const char* CompareKindName(CompareKind kind);

// The kind `document` is; false with `failure` (its line, its reason) for
// a document of no value, of values that are no objects with a "type", of
// neither kind, or of both.
bool FindCompareKind(const JsonDocument& document, CompareKind* kind, JsonFailure* failure);

struct CompareDifference {
    const char* path;  // "timing.times_us.median", "suite[fast].limits[0].verdict"
    int32_t a;         // the value in A's document; JSON_NONE where A has none
    int32_t b;         // in B's
    bool change;       // both are numbers and A's is not 0: `percent` holds (B - A) / A in percent
    double percent;
    bool crossed;
};

struct CompareSink {
    void (*put)(void* context, const CompareDifference& difference);
    void* context;
};

struct CompareTotals {
    int32_t differences;  // lines put, crossed ones included
    int32_t crossed;
};

// Compares `a` and `b`, both of `kind` as FindCompareKind found, putting each difference as it is
// found: members of objects by name, elements of arrays by a label they
// all hold once each ("name", "id", "protocol"), else by index; top-level
// objects of runs by type, a suite's id and their order among equals.
void CompareDocuments(CompareKind kind, const JsonDocument& a, const JsonDocument& b, double tolerance,
                      CompareSink sink, CompareTotals* totals);
