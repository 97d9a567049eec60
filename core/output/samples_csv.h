// The loop's per-run samples, and a qualification's exchanges, as CSV files.
#pragma once

#include <cstdint>

#include <winscard.h>

#include "core/qualify/plan.h"
#include "core/qualify/suites.h"

// Writes "run,ns,pcsc,sw" and one row per run to `path`: the run from 1, its
// time in ns, its PC/SC code as 0x%08X and its status word as "90 00" (empty
// for 0, a run without one). The rows go to a temporary file beside `path`
// that then takes its name, so `path` holds either what it held before or
// the whole new file. Returns 0, or the errno of the first failure (the
// temporary file is then gone).
int WriteSamplesCsv(const char* path, const int64_t* ns, const LONG* status, const uint16_t* sw, int32_t runs);
// Writes "suite,run,length,ns,pcsc,sw" and one row per exchange (per cycle,
// for the power suite) of a qualification, whole or not at all as above:
// the suite's id, the run from 1 within the suite, the length a sweep sent
// or asked for (empty for the other suites), then the columns above.
int WriteQualifySamplesCsv(const char* path, const QualifyPlan& plan, const QualifySamples& samples);
// For several readers run at once, one file: "reader,suite,run,length,ns,pcsc,sw",
// the reader's name first (quoted as CSV quotes a field, when it holds a
// comma, a quote or a line end), then each reader's rows as above, reader
// after reader in the order given.
int WriteReadersSamplesCsv(const char* path, const QualifyPlan& plan, const char* const* readers,
                           const QualifySamples* const* samples, int32_t count);
