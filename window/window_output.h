// What the handlers show: the log pane, the Win Status and Elapsed fields, and
// Clear Log.
#pragma once

#include <winscard.h>

#include "core/clock/timing.h"
#include "core/output/report.h"
#include "ui/winsys.h"

// Appends one entry (it may hold CR LF breaks) to the log and the pane; the
// log restarts with the entry alone when it would grow past 9993 characters.
void LogAppend(const char* entry);
// The file name `name` in the user's documents folder (or home), where the
// file dialogs start: the program may run in a folder it cannot write to
// (the desktop entry starts it in its data folder). Just `name` when the
// folder does not fit.
void InDocumentsFolder(const char* name, char* path, int capacity);
// The sink the core's writers put the log's lines into: each entry goes to
// LogAppend.
extern const LineSink windowLog;
// Shows the span in ms per run of `divisor` runs: the runs a loop made; 1
// for any other timed call.
void ShowElapsed(const Span& span, int32_t divisor = 1);
// Shows the low 32 bits of a PC/SC status as "0x%08X"; its name and text go
// to the field's tooltip and the panel.
void ShowStatus(LONG status);
// After a file dialog returned no file: logs why when it failed (a plain
// cancel logs nothing).
void LogFileDialogError();
// An empty measurement: elapsed time of nothing, status 0.
void ShowEmptyMeasurement();
