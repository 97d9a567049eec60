// The Elapsed and Win Status texts.
#include "core/output/result_text.h"

#include <cstdio>

void FormatElapsed(char (&text)[RESULT_TEXT_SIZE], const Span& span, int64_t ticksPerMs, int32_t divisor)
{
    snprintf(text, sizeof text, "%5.2f ms", SpanMsPerRun(span, ticksPerMs, divisor));
}

void FormatStatus(char (&text)[RESULT_TEXT_SIZE], LONG status)
{
    snprintf(text, sizeof text, "0x%08X", unsigned(uint32_t(status)));
}
