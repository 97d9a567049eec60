// The insight panel's Qualify page: a plan file run suite by suite on the
// connected card by a worker thread, as the command line's qualify runs it;
// each suite's verdict in a table as it comes, the selected suite's limits
// and chart, and the run saved as JSON lines or JUnit XML.
#pragma once

#include "ui/winsys.h"

// Posted by the worker when it has published the environment or a suite's
// result, and at its end; the window's thread then reads what it published.
constexpr UINT WM_QUALIFY_PROGRESS = WM_APP + 32;
constexpr UINT WM_QUALIFY_DONE = WM_APP + 33;

// Set-up: the tables' columns, the empty chart, Stop and the saves disabled.
void InitQualifyPage();
// From Run until the run's end has been shown.
bool QualifyRunning();
// WM_QUALIFY_PROGRESS: the environment and every suite published and not
// yet shown go to the log and the table.
void ShowQualifyProgress();
// WM_QUALIFY_DONE: once the worker has ended, joins it, shows the rest and
// the totals, and gives the window its controls and the card back. Nothing
// when no run is under way or its worker has not ended.
void FinishQualify();
// Stops a run and finishes it: before the window's thread touches the card
// or the context again (closing, resume from suspend).
void EndQualify();
