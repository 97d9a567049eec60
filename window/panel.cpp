// The insight panel's commands and its charts.
#include "window/panel.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/output/histogram.h"
#include "core/output/samples_csv.h"
#include "core/transmit/transmit.h"
#include "ui/ids.h"
#include "window/card_page.h"
#include "window/commands.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

// The runs the record holds, within its bounds.
int32_t RecordedRuns()
{
    return std::clamp(tester.loop.record.runsMade, 0, LOOP_COUNT_MAX);
}

const int LOOP_PAGE[] = {IDC_GROUP_INSIGHT, IDC_EXPECTED_SW_LABEL, IDC_EXPECTED_SW,  IDC_SAVE_SAMPLES,
                         IDC_HISTOGRAM,     IDC_TIME_SERIES,       IDC_LOOP_SUMMARY, IDC_SAVE_LOG};
const int CARD_PAGE[] = {IDC_GROUP_CARD,        IDC_LAST_RESULT_LABEL, IDC_LAST_RESULT,
                         IDC_ATR_DECODED_LABEL, IDC_ATR_DECODED,       IDC_CARD_EVENTS_LABEL,
                         IDC_CARD_EVENTS,       IDC_TAP_MEASURE,       IDC_CLEAR_EVENTS};

void ShowPage(bool card)
{
    for (int id : LOOP_PAGE)
        ShowDlgItem(tester.mainWindow, id, !card);
    for (int id : CARD_PAGE)
        ShowDlgItem(tester.mainWindow, id, card);
    // One group: checking one unchecks the other.
    CheckDlgButton(tester.mainWindow, card ? IDC_PAGE_CARD : IDC_PAGE_LOOP, true);
}

}  // namespace

void InitInsightPanel()
{
    AddDialogAccelerator(tester.mainWindow, VK_F3, IDM_CARD_PAGE);
    // The page buttons show, to the eye and to a screen reader, which page
    // is open.
    MakeDlgButtonCheckable(tester.mainWindow, IDC_PAGE_LOOP);
    MakeDlgButtonCheckable(tester.mainWindow, IDC_PAGE_CARD);
    SetChartEmptyText(tester.mainWindow, IDC_HISTOGRAM, "No loop yet");
    SetChartEmptyText(tester.mainWindow, IDC_TIME_SERIES, "No loop yet");
    ShowPage(false);
    ResetCardPage();
}

INT_PTR ShowPanelPage(int id)
{
    if (!IsDialogPanelShown(tester.mainWindow))
        ToggleInsight(id);
    ShowPage(id != IDC_PAGE_LOOP);
    return TRUE;
}

void ShowLoopCharts()
{
    int32_t runs = RecordedRuns();
    double upperEdgesUs[HISTOGRAM_BINS_MAX];
    int32_t counts[HISTOGRAM_BINS_MAX];
    // The counter's ticks are the nanoseconds the charts take.
    const int64_t* ticks = tester.loop.record.ticks;
    int32_t bins = BinLogScaled(ticks, runs, upperEdgesUs, counts, HISTOGRAM_BINS_MAX);
    SetHistogram(tester.mainWindow, IDC_HISTOGRAM, upperEdgesUs, counts, bins);
    SetTimeSeries(tester.mainWindow, IDC_TIME_SERIES, ticks, runs);
    EnableDlgItem(tester.mainWindow, IDC_SAVE_SAMPLES, runs > 0);
}

INT_PTR ToggleInsight([[maybe_unused]] int id)
{
    bool show = !IsDialogPanelShown(tester.mainWindow);
    ShowDialogPanel(tester.mainWindow, show);
    SetDlgItemText(tester.mainWindow, IDC_INSIGHT, show ? "Insi&ght <<" : "Insi&ght >>");
    return TRUE;
}

INT_PTR SaveSamples([[maybe_unused]] int id)
{
    constexpr int PATH_CAPACITY = 4096;
    char path[PATH_CAPACITY];
    InDocumentsFolder("samples.csv", path, PATH_CAPACITY);
    if (!GetSaveFileName(tester.mainWindow, "CSV Files", "*.csv", path, PATH_CAPACITY)) {
        LogFileDialogError();
        return TRUE;
    }
    SaveLoopSamples(path);
    return TRUE;
}

void SaveLoopSamples(const char* path)
{
    int32_t runs = RecordedRuns();
    const LoopRecord& record = tester.loop.record;
    // The counter's ticks are the file's nanoseconds.
    int error = WriteSamplesCsv(path, record.ticks, record.status, record.sw, runs);
    char line[PATH_MAX + 100];
    if (error)
        snprintf(line, sizeof line, "Cannot save %s: %s.", path, strerror(error));
    else
        snprintf(line, sizeof line, "%d runs saved to %s.", int(runs), path);
    LogAppend(line);
}
