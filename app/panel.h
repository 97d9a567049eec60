// The insight panel beside the fixed layout: the expected status word, the
// last loop's charts and summary, and Save Samples.
#pragma once

// Shows the last loop's record (transmit/transmit.h) in the panel's
// histogram and time series, and lets its samples be saved. Called after a
// loop has ended: the record must not change meanwhile.
void ShowLoopCharts();

// The last loop's runs into a CSV file at `path`; the log says where, or why
// not.
void SaveLoopSamples(const char* path);
