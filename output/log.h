// The log pane, the Win Status and Elapsed fields, and Clear Log.
#pragma once

#include <winscard.h>

#include "ui/winsys.h"

// Appends one entry (it may hold CR LF breaks) and shows the whole log; the
// log restarts with the entry alone when it would grow past 9993 characters.
void LogAppend(const char* entry);
// Shows counterEnd - counterStart in ms, divided by loopCount with the loop on.
void ShowElapsed();
// Shows the low 32 bits of a PC/SC status as "0x%08X".
void ShowStatus(LONG status);
INT_PTR ClearLog();
