// The texts of the Elapsed and Win Status fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include <winscard.h>

#include "core/clock/timing.h"

constexpr size_t RESULT_TEXT_SIZE = 56;

// "%5.2f ms": the span in ms (SpanMsPerRun), divided by `divisor`, the runs
// it stands for.
void FormatElapsed(char (&text)[RESULT_TEXT_SIZE], const Span& span, int64_t ticksPerMs, int32_t divisor);
// The low 32 bits of a PC/SC status as "0x%08X".
void FormatStatus(char (&text)[RESULT_TEXT_SIZE], LONG status);
