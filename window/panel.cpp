// The insight panel's commands, its four pages and the loop's charts.
#include "window/panel.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>

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

const int CONTROL_PAGE[] = {
    IDC_GROUP_CONTROL,     IDC_SHARE_LABEL,       IDC_SHARE_EXCLUSIVE,   IDC_SHARE_SHARED,
    IDC_SHARE_DIRECT,      IDC_PROTOCOL_LABEL,    IDC_PROTOCOL_ANY,      IDC_PROTOCOL_T0,
    IDC_PROTOCOL_T1,       IDC_PROTOCOL_RAW,      IDC_DISPOSITION_LABEL, IDC_DISPOSITION_UNPOWER,
    IDC_DISPOSITION_LEAVE, IDC_DISPOSITION_RESET, IDC_DISPOSITION_EJECT, IDC_WARM_RESET,
    IDC_COLD_RESET,        IDC_CLASS_LABEL,       IDC_CLASS_00,          IDC_CLASS_FF,
    IDC_GENERAL_AUTH,      IDC_GET_RESPONSE,      IDC_VENDOR_TO_LABEL,   IDC_VENDOR_TO_FIXED,
    IDC_VENDOR_TO_ESCAPE,  IDC_VENDOR_TO_CODE,    IDC_VENDOR_CODE,       IDC_CONTROL_CODE_LABEL,
    IDC_CONTROL_CODE,      IDC_CONTROL_HEX_LABEL, IDC_CONTROL_HEX,       IDC_SEND_CONTROL,
    IDC_FEATURES,          IDC_ATTRIBUTE_LABEL,   IDC_ATTRIBUTE_ID,      IDC_READ_ATTRIBUTE};

const int QUALIFY_PAGE[] = {IDC_GROUP_QUALIFY, IDC_PLAN_LABEL,    IDC_PLAN_PATH,      IDC_OPEN_PLAN,
                            IDC_RUN_PLAN,      IDC_STOP_PLAN,     IDC_QUALIFY_STATUS, IDC_VERDICTS,
                            IDC_LIMIT_DETAILS, IDC_QUALIFY_CHART, IDC_SAVE_JSON,      IDC_SAVE_JUNIT};

// Each page: its button and its controls.
struct Page {
    int button;
    const int* controls;
    size_t count;
};
const Page PAGES[] = {{IDC_PAGE_LOOP, LOOP_PAGE, std::size(LOOP_PAGE)},
                      {IDC_PAGE_CARD, CARD_PAGE, std::size(CARD_PAGE)},
                      {IDC_PAGE_CONTROL, CONTROL_PAGE, std::size(CONTROL_PAGE)},
                      {IDC_PAGE_QUALIFY, QUALIFY_PAGE, std::size(QUALIFY_PAGE)}};

// Shows the page of button `open`: hidden ones first, so no two pages'
// controls show at once.
void ShowPage(int open)
{
    for (bool showing : {false, true})
        for (const Page& page : PAGES)
            if ((page.button == open) == showing)
                for (size_t i = 0; i < page.count; ++i)
                    ShowDlgItem(tester.mainWindow, page.controls[i], showing);
    // One group: checking one unchecks the others.
    CheckDlgButton(tester.mainWindow, open, true);
}

}  // namespace

void InitInsightPanel()
{
    AddDialogAccelerator(tester.mainWindow, VK_F3, IDM_CARD_PAGE);
    AddDialogAccelerator(tester.mainWindow, VK_F4, IDM_CONTROL_PAGE);
    AddDialogAccelerator(tester.mainWindow, VK_F5, IDM_QUALIFY_PAGE);
    // The page buttons show, to the eye and to a screen reader, which page
    // is open.
    MakeDlgButtonCheckable(tester.mainWindow, IDC_PAGE_LOOP);
    MakeDlgButtonCheckable(tester.mainWindow, IDC_PAGE_CARD);
    MakeDlgButtonCheckable(tester.mainWindow, IDC_PAGE_CONTROL);
    MakeDlgButtonCheckable(tester.mainWindow, IDC_PAGE_QUALIFY);
    SetChartEmptyText(tester.mainWindow, IDC_HISTOGRAM, "No loop yet");
    SetChartEmptyText(tester.mainWindow, IDC_TIME_SERIES, "No loop yet");
    ShowPage(IDC_PAGE_LOOP);
    ResetCardPage();
}

INT_PTR ShowPanelPage(int id)
{
    if (!IsDialogPanelShown(tester.mainWindow))
        ToggleInsight(id);
    if (id == IDM_CARD_PAGE)
        id = IDC_PAGE_CARD;
    else if (id == IDM_CONTROL_PAGE)
        id = IDC_PAGE_CONTROL;
    else if (id == IDM_QUALIFY_PAGE)
        id = IDC_PAGE_QUALIFY;
    ShowPage(id);
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
