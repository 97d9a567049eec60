// The loop's per-run samples as a CSV file.
#pragma once

#include <cstdint>

#include <winscard.h>

// Writes "run,ns,pcsc,sw" and one row per run to `path`: the run from 1, its
// time in ns, its PC/SC code as 0x%08X and its status word as "90 00" (empty
// for 0, a run without one). The rows go to a temporary file beside `path`
// that then takes its name, so `path` holds either what it held before or
// the whole new file. Returns 0, or the errno of the first failure (the
// temporary file is then gone).
int WriteSamplesCsv(const char* path, const int64_t* ns, const LONG* status, const uint16_t* sw, int32_t runs);
