// What the handlers show: the log pane, the Win Status and Elapsed fields, and
// Clear Log.
#pragma once

#include <winscard.h>

#include "output/timing.h"
#include "ui/winsys.h"

// Appends one entry (it may hold CR LF breaks) and shows the whole log; the
// log restarts with the entry alone when it would grow past 9993 characters.
void LogAppend(const char* entry);
// Shows the span in ms, divided by loopCount with the loop on.
void ShowElapsed(const Span& span);
// Shows the low 32 bits of a PC/SC status as "0x%08X".
void ShowStatus(LONG status);
// An empty measurement: elapsed time of nothing, status 0.
void ShowEmptyMeasurement();
