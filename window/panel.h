// The insight panel beside the fixed layout, on four pages: Transmit Loop
// (the expected status word, the last loop's charts and summary, Save
// Samples), Card and Reader (window/card_page.h), Reader Control
// (window/control_page.cpp) and Qualify (window/qualify_page.h).
#pragma once

// Shows the last loop's record (tester.loop.record) in the panel's
// histogram and time series, and lets its samples be saved. Called after a
// loop has ended: the record must not change meanwhile.
void ShowLoopCharts();

// Set-up: the panel opens on its Transmit Loop page; F3 opens it on the
// Card and Reader page, F4 on the Reader Control page, F5 on the Qualify
// page.
void InitInsightPanel();

// The last loop's runs into a CSV file at `path`; the log says where, or why
// not.
void SaveLoopSamples(const char* path);
