// The Qualify page over its record (tester.qualify): Run reads the plan on
// the window's thread and hands it, with the connected card, to a worker
// that collects the environment and runs each suite; the worker publishes
// each part through the record's counters and posts a message, and the
// window's thread shows what was published. While it runs every control
// that could reach the card is inert, as during a loop.
#include "window/qualify_page.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>

#include "core/output/junit.h"
#include "core/output/qualify_json.h"
#include "core/output/qualify_report.h"
#include "ui/ids.h"
#include "window/commands.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

constexpr int PATH_CAPACITY = PATH_MAX;
constexpr double NS_PER_US = 1000.0;
constexpr double NS_PER_MS = 1000000.0;

const char* const VERDICT_COLUMNS[] = {"Suite", "Kind", "Verdict", "Measured", "Limits"};
const char* const LIMIT_COLUMNS[] = {"Quantity", "Limit", "Measured", "Margin", "Verdict"};

// The samples of one suite, in the order they were made.
struct SuiteSamples {
    const QualifySample* rows;
    int32_t count;
};

// A sample whose exchange (cycle) went through: only those have a time
// worth plotting.
bool Answered(const QualifySample& sample)
{
    return sample.status == SCARD_S_SUCCESS;
}

// Stability: the run times on the loop page's time axis.
void ChartRunTimes(const PlanSuite&, const SuiteResult&, SuiteSamples samples)
{
    QualifyRun& run = tester.qualify;
    int32_t count = std::min(samples.count, QUALIFY_CHART_POINTS_MAX);
    for (int32_t i = 0; i < count; ++i)
        run.chartNs[i] = samples.rows[i].ns;
    SetChartTitle(tester.mainWindow, IDC_QUALIFY_CHART, "Time of Each Run");
    SetTimeSeries(tester.mainWindow, IDC_QUALIFY_CHART, run.chartNs, count);
}

// Sweep: every answered exchange's time against its length, and the line
// fitted through the lengths' medians.
void ChartSweep(const PlanSuite& suite, const SuiteResult& result, SuiteSamples samples)
{
    QualifyRun& run = tester.qualify;
    int32_t count = 0;
    for (int32_t i = 0; i < samples.count && count < QUALIFY_CHART_POINTS_MAX; ++i)
        if (Answered(samples.rows[i])) {
            run.chartX[count] = samples.rows[i].length;
            run.chartY[count++] = double(samples.rows[i].ns) / NS_PER_US;
        }
    double lineX[2] = {double(suite.from), double(suite.to)};
    double lineY[2];
    for (int i = 0; i < 2; ++i)
        lineY[i] = result.fit.slope * lineX[i] + result.fit.intercept;
    const PlotSeries series[] = {{run.chartX, run.chartY, count, PLOT_DOTS},
                                 {lineX, lineY, result.measured[QUANTITY_PER_BYTE_US] ? 2 : 0, PLOT_LINE}};
    SetChartTitle(tester.mainWindow, IDC_QUALIFY_CHART, "Time against Length");
    SetPlot(tester.mainWindow, IDC_QUALIFY_CHART, suite.direction == SWEEP_LC ? "Lc (bytes)" : "Le (bytes)", "\xB5s",
            series, int(std::size(series)));
}

// Power: each cycle's time, in order.
void ChartCycles(const PlanSuite&, const SuiteResult&, SuiteSamples samples)
{
    QualifyRun& run = tester.qualify;
    int32_t count = 0;
    for (int32_t i = 0; i < samples.count && count < QUALIFY_CHART_POINTS_MAX; ++i)
        if (Answered(samples.rows[i])) {
            run.chartX[count] = samples.rows[i].run;
            run.chartY[count++] = double(samples.rows[i].ns) / NS_PER_MS;
        }
    const PlotSeries series[] = {{run.chartX, run.chartY, count, PLOT_LINE}};
    SetChartTitle(tester.mainWindow, IDC_QUALIFY_CHART, "Time of Each Cycle");
    SetPlot(tester.mainWindow, IDC_QUALIFY_CHART, "cycle", "ms", series, 1);
}

// Tap: each tap's time in the field and its time from arrival to its last
// call (the APDU's answer), tap by tap.
void ChartTaps(const PlanSuite&, const SuiteResult&, SuiteSamples samples)
{
    QualifyRun& run = tester.qualify;
    // The field times first, then the answer times, in the same buffers.
    int32_t fields = 0;
    for (int32_t i = 0; i < samples.count && fields < QUALIFY_CHART_POINTS_MAX / 2; ++i)
        if (samples.rows[i].length >= 0) {
            run.chartX[fields] = samples.rows[i].run;
            run.chartY[fields++] = samples.rows[i].length;
        }
    int32_t answers = 0;
    double* answerX = run.chartX + fields;
    double* answerY = run.chartY + fields;
    for (int32_t i = 0; i < samples.count && fields + answers < QUALIFY_CHART_POINTS_MAX; ++i)
        if (Answered(samples.rows[i])) {
            answerX[answers] = samples.rows[i].run;
            answerY[answers++] = double(samples.rows[i].ns) / NS_PER_MS;
        }
    const PlotSeries series[] = {{run.chartX, run.chartY, fields, PLOT_LINE}, {answerX, answerY, answers, PLOT_DOTS}};
    SetChartTitle(tester.mainWindow, IDC_QUALIFY_CHART, "Each Tap: in the Field (line), to the Answer (dots)");
    SetPlot(tester.mainWindow, IDC_QUALIFY_CHART, "tap", "ms", series, int(std::size(series)));
}

// What the page shows of each kind of suite: the value in the table's
// Measured column and the chart. A kind without a row shows "none" and no
// chart.
struct KindView {
    SuiteKind kind;
    Quantity key;
    void (*chart)(const PlanSuite& suite, const SuiteResult& result, SuiteSamples samples);
};
const KindView KIND_VIEWS[] = {
    {SUITE_STABILITY, QUANTITY_MEDIAN_US, ChartRunTimes},     {SUITE_SWEEP, QUANTITY_PER_BYTE_US, ChartSweep},
    {SUITE_POWER, QUANTITY_MEDIAN_MS, ChartCycles},           {SUITE_TAP, QUANTITY_CONNECT_MS, ChartTaps},
    {SUITE_REMOVAL, QUANTITY_REMOVAL_SEEN_MS, ChartRunTimes},
};

const KindView* ViewOf(SuiteKind kind)
{
    for (const KindView& view : KIND_VIEWS)
        if (view.kind == kind)
            return &view;
    return nullptr;
}

// The line goes to the log and to the page's status field.
void ShowStatusLine(const char* line)
{
    LogAppend(line);
    SetDlgItemText(tester.mainWindow, IDC_QUALIFY_STATUS, line);
}

void EmptyChart(const char* text)
{
    SetChartTitle(tester.mainWindow, IDC_QUALIFY_CHART, "Measurements");
    SetPlot(tester.mainWindow, IDC_QUALIFY_CHART, nullptr, nullptr, nullptr, 0);
    SetChartEmptyText(tester.mainWindow, IDC_QUALIFY_CHART, text);
}

// The limits and the chart of row `row` (a suite shown), or none.
void ShowSuiteDetails(int row)
{
    QualifyRun& run = tester.qualify;
    TableResetContent(tester.mainWindow, IDC_LIMIT_DETAILS);
    if (row < 0 || row >= run.suitesShown) {
        EmptyChart(run.suitesShown > 0 ? "No suite selected" : "No run yet");
        return;
    }
    const SuiteResult& result = run.results[row];
    for (int32_t i = 0; i < result.limitCount; ++i) {
        const LimitResult& limit = result.limits[i];
        LimitCells cells;
        FormatLimitCells(limit, &cells);
        const char* row[] = {QuantityName(limit.limit.quantity), cells.bound, cells.measured, cells.margin,
                             VerdictName(limit.verdict)};
        TableAddRow(tester.mainWindow, IDC_LIMIT_DETAILS, row, int(std::size(row)));
    }
    const PlanSuite& suite = run.plan.suites[result.suite];
    const KindView* view = ViewOf(suite.kind);
    int32_t start = row > 0 ? run.sampleEnd[row - 1] : 0;
    SuiteSamples samples {run.samples.rows + start, run.sampleEnd[row] - start};
    SetChartEmptyText(tester.mainWindow, IDC_QUALIFY_CHART, "Nothing measured");
    if (view != nullptr)
        view->chart(suite, result, samples);
    else
        EmptyChart("No chart for this suite");
}

// Suite `index`'s lines into the log, as the command line prints them, and
// its row into the table; the new row is selected when the last one was (or
// none), so the page follows the run unless the reader chose a row.
void ShowSuite(int32_t index)
{
    QualifyRun& run = tester.qualify;
    const PlanSuite& suite = run.plan.suites[index];
    const SuiteResult& result = run.results[index];
    ReportQualifySuite(windowLog, suite, result);

    char measured[64] = "none";
    const KindView* view = ViewOf(suite.kind);
    if (view != nullptr && result.measured[view->key]) {
        int used = snprintf(measured, sizeof measured, "%s ", QuantityName(view->key));
        FormatQualifyNumber(measured + used, sizeof measured - size_t(used), result.value[view->key]);
    }
    int32_t counts[3] = {};
    for (int32_t i = 0; i < result.limitCount; ++i)
        ++counts[result.limits[i].verdict];
    char limits[64];
    int used =
        snprintf(limits, sizeof limits, "%d pass, %d fail", int(counts[VERDICT_PASS]), int(counts[VERDICT_FAIL]));
    if (counts[VERDICT_INCONCLUSIVE] > 0)
        snprintf(limits + used, sizeof limits - size_t(used), ", %d inconclusive", int(counts[VERDICT_INCONCLUSIVE]));
    const char* cells[] = {suite.id, SuiteKindName(suite.kind), VerdictName(result.verdict), measured, limits};
    int selected = TableGetCurSel(tester.mainWindow, IDC_VERDICTS);
    bool follow = selected < 0 || selected == TableGetCount(tester.mainWindow, IDC_VERDICTS) - 1;
    TableAddRow(tester.mainWindow, IDC_VERDICTS, cells, int(std::size(cells)));
    run.suitesShown = index + 1;
    if (follow) {
        TableSetCurSel(tester.mainWindow, IDC_VERDICTS, int(index));
        ShowSuiteDetails(int(index));
    }
}

// The suite under way, in the status field.
void ShowRunning()
{
    const QualifyRun& run = tester.qualify;
    if (run.suitesShown >= run.plan.suiteCount)
        return;
    char line[PLAN_ID_MAX + 64];
    snprintf(line, sizeof line, "Running %s, suite %d of %d...", run.plan.suites[run.suitesShown].id,
             int(run.suitesShown + 1), int(run.plan.suiteCount));
    SetDlgItemText(tester.mainWindow, IDC_QUALIFY_STATUS, line);
}

// On the worker: a tap or removal suite's prompt, kept for the window's
// thread, which shows it at the message posted after it.
void KeepPrompt(void* context, const char* text)
{
    QualifyRun& run = tester.qualify;
    {
        std::lock_guard<std::mutex> lock(run.promptLock);
        snprintf(run.prompts[run.promptsPosted % QUALIFY_PROMPTS_KEPT], QUALIFY_PROMPT_SIZE, "%s", text);
        ++run.promptsPosted;
    }
    PostDialogMessage(static_cast<HWND>(context), WM_QUALIFY_PROGRESS, 0, 0);
}

// The prompts not yet shown, into the log and the status field.
void ShowPrompts()
{
    QualifyRun& run = tester.qualify;
    char pending[QUALIFY_PROMPTS_KEPT][QUALIFY_PROMPT_SIZE];
    int32_t count = 0;
    {
        std::lock_guard<std::mutex> lock(run.promptLock);
        if (run.promptsPosted - run.promptsShown > QUALIFY_PROMPTS_KEPT)
            run.promptsShown = run.promptsPosted - QUALIFY_PROMPTS_KEPT;
        for (; run.promptsShown < run.promptsPosted; ++run.promptsShown)
            memcpy(pending[count++], run.prompts[run.promptsShown % QUALIFY_PROMPTS_KEPT], QUALIFY_PROMPT_SIZE);
    }
    for (int32_t i = 0; i < count; ++i)
        ShowStatusLine(pending[i]);
}

// On the worker: the environment, then each suite until the end of the plan
// or a stop (a stopped plan reports the suite it stopped and no later one).
void RunQualifyWorker(HWND dialog)
{
    QualifyRun& run = tester.qualify;
    CollectHostEnvironment(&run.environment);
    CollectReaderEnvironment(run.target.card, run.reader, &run.environment);
    run.environmentDone.store(true, std::memory_order_release);
    PostDialogMessage(dialog, WM_QUALIFY_PROGRESS, 0, 0);
    for (int32_t i = 0; i < run.plan.suiteCount; ++i) {
        if (i > 0 && run.stopRequested.load(std::memory_order_relaxed))
            break;
        RunSuite(&run.target, run.plan, i, &run.stopRequested, &run.scratch, &run.samples, &run.results[i]);
        run.sampleEnd[i] = run.samples.count;
        run.suitesDone.store(i + 1, std::memory_order_release);
        PostDialogMessage(dialog, WM_QUALIFY_PROGRESS, 0, 0);
    }
    run.ended.store(true, std::memory_order_release);
    PostDialogMessage(dialog, WM_QUALIFY_DONE, 0, 0);
}

struct KeptLine {
    char text[QUALIFY_LINE_SIZE];
};

// Each line goes to the log; the first is kept.
void LogAndKeepFirst(void* context, const char* line)
{
    LogAppend(line);
    KeptLine* kept = static_cast<KeptLine*>(context);
    if (kept->text[0] == '\0')
        snprintf(kept->text, sizeof kept->text, "%s", line);
}

// Joins the worker, shows what it published last and the totals, and gives
// the window back its controls and the card the run left.
void JoinQualify()
{
    QualifyRun& run = tester.qualify;
    run.worker.join();
    ShowQualifyProgress();
    int32_t count = run.suitesShown;
    // The totals' first line, the verdicts, also stands in the status field.
    KeptLine totals {};
    ReportQualifyTotals(LineSink {LogAndKeepFirst, &totals}, run.results, count);
    char line[QUALIFY_LINE_SIZE + 64];
    snprintf(line, sizeof line, "%s", totals.text);
    if (count < run.plan.suiteCount) {
        char stopped[64];
        snprintf(stopped, sizeof stopped, "Qualify stopped: %d of %d suites run.", int(count),
                 int(run.plan.suiteCount));
        LogAppend(stopped);
        snprintf(line, sizeof line, "%s; stopped, %d of %d suites run", totals.text, int(count),
                 int(run.plan.suiteCount));
    }
    SetDlgItemText(tester.mainWindow, IDC_QUALIFY_STATUS, line);
    RestoreCardControls(run.inertWasEnabled);
    EnableDlgItem(tester.mainWindow, IDC_TRANSMIT, run.transmitWasEnabled);
    EnableDlgItem(tester.mainWindow, IDC_STOP_PLAN, false);
    EnableDlgItem(tester.mainWindow, IDC_SAVE_JSON, count > 0);
    EnableDlgItem(tester.mainWindow, IDC_SAVE_JUNIT, count > 0);
    TakeBackCard(run.target.card, run.target.protocol);
}

// Asks for a file name and saves the last run with `save`; the log says
// where, or why not.
void SaveRun(const char* name, const char* filterName, const char* pattern,
             int (*save)(const char* path, const QualifyReport& report))
{
    char path[PATH_CAPACITY];
    InDocumentsFolder(name, path, PATH_CAPACITY);
    if (!GetSaveFileName(tester.mainWindow, filterName, pattern, path, PATH_CAPACITY)) {
        LogFileDialogError();
        return;
    }
    const QualifyRun& run = tester.qualify;
    int error = save(path, QualifyReport {&run.environment, &run.plan, run.results, run.suitesShown});
    char line[PATH_CAPACITY + 100];
    if (error != 0)
        snprintf(line, sizeof line, "Cannot save %s: %s.", path, strerror(error));
    else
        snprintf(line, sizeof line, "%d suites saved to %s.", int(run.suitesShown), path);
    LogAppend(line);
}

}  // namespace

void InitQualifyPage()
{
    HWND hwnd = tester.mainWindow;
    TableSetColumns(hwnd, IDC_VERDICTS, VERDICT_COLUMNS, int(std::size(VERDICT_COLUMNS)));
    TableSetColumns(hwnd, IDC_LIMIT_DETAILS, LIMIT_COLUMNS, int(std::size(LIMIT_COLUMNS)));
    LimitDlgItemText(hwnd, IDC_PLAN_PATH, PATH_CAPACITY - 1);
    EmptyChart("No run yet");
    EnableDlgItem(hwnd, IDC_STOP_PLAN, false);
    EnableDlgItem(hwnd, IDC_SAVE_JSON, false);
    EnableDlgItem(hwnd, IDC_SAVE_JUNIT, false);
}

bool QualifyRunning()
{
    return tester.qualify.worker.joinable();
}

INT_PTR OpenPlan([[maybe_unused]] int id)
{
    char path[PATH_CAPACITY];
    InDocumentsFolder("*.*", path, PATH_CAPACITY);
    if (GetOpenFileName(tester.mainWindow, "All Files", path, PATH_CAPACITY))
        SetDlgItemText(tester.mainWindow, IDC_PLAN_PATH, path);
    else
        LogFileDialogError();
    return TRUE;
}

INT_PTR RunPlan([[maybe_unused]] int id)
{
    QualifyRun& run = tester.qualify;
    char path[PATH_CAPACITY];
    GetDlgItemText(tester.mainWindow, IDC_PLAN_PATH, path, sizeof path);
    if (path[0] == '\0') {
        ShowStatusLine("Qualify: no plan file chosen (Open Plan...); nothing run.");
        return TRUE;
    }
    // Read aside: a refused plan leaves the last run's results, and the plan
    // they belong to, as they were.
    static QualifyPlan plan;
    PlanFailure failure;
    if (!LoadPlan(path, -1, &plan, &failure)) {
        char line[PATH_CAPACITY + PLAN_REASON_SIZE + 16];
        if (failure.line > 0)
            snprintf(line, sizeof line, "%s:%d: %s", path, int(failure.line), failure.reason);
        else
            snprintf(line, sizeof line, "%s: %s", path, failure.reason);
        ShowStatusLine(line);
        return TRUE;
    }
    if (tester.hCard == 0) {
        ShowStatusLine("Qualify: no card connected; connect one, then Run. Nothing run.");
        return TRUE;
    }
    run.plan = plan;
    snprintf(run.planPath, sizeof run.planPath, "%s", path);
    GetDlgItemText(tester.mainWindow, IDC_CONNECTED_READER, run.reader, sizeof run.reader);
    run.target = QualifyTarget {tester.hContext,       run.reader,      tester.connectOptions,          tester.hCard,
                                tester.activeProtocol, SCARD_S_SUCCESS, {KeepPrompt, tester.mainWindow}};
    run.promptsPosted = 0;
    run.promptsShown = 0;
    run.samples.count = 0;
    run.stopRequested = false;
    run.environmentDone = false;
    run.suitesDone = 0;
    run.ended = false;
    run.environmentShown = false;
    run.suitesShown = 0;
    TableResetContent(tester.mainWindow, IDC_VERDICTS);
    ShowSuiteDetails(-1);

    MakeCardControlsInert(run.inertWasEnabled);
    run.transmitWasEnabled = IsDlgItemEnabled(tester.mainWindow, IDC_TRANSMIT);
    EnableDlgItem(tester.mainWindow, IDC_TRANSMIT, false);
    EnableDlgItem(tester.mainWindow, IDC_STOP_PLAN, true);
    char line[PATH_CAPACITY + MAX_READERNAME + 64];
    snprintf(line, sizeof line, "Qualify: %s, %d %s on %s.", path, int(plan.suiteCount),
             plan.suiteCount == 1 ? "suite" : "suites", run.reader);
    LogAppend(line);
    ShowRunning();
    run.worker = std::thread(RunQualifyWorker, tester.mainWindow);
    return TRUE;
}

INT_PTR StopQualify([[maybe_unused]] int id)
{
    if (!QualifyRunning())
        return FALSE;
    tester.qualify.stopRequested = true;
    return TRUE;
}

void ShowQualifyProgress()
{
    QualifyRun& run = tester.qualify;
    if (!run.environmentShown && run.environmentDone.load(std::memory_order_acquire)) {
        ReportQualifyEnvironment(windowLog, run.environment);
        run.environmentShown = true;
    }
    int32_t done = run.suitesDone.load(std::memory_order_acquire);
    while (run.suitesShown < done)
        ShowSuite(run.suitesShown);
    if (QualifyRunning())
        ShowRunning();
    ShowPrompts();
}

void FinishQualify()
{
    if (QualifyRunning() && tester.qualify.ended.load(std::memory_order_acquire))
        JoinQualify();
}

void EndQualify()
{
    if (!QualifyRunning())
        return;
    tester.qualify.stopRequested = true;
    JoinQualify();
}

INT_PTR ShowSelectedSuite([[maybe_unused]] int id)
{
    ShowSuiteDetails(TableGetCurSel(tester.mainWindow, IDC_VERDICTS));
    return TRUE;
}

INT_PTR SaveQualifyJson([[maybe_unused]] int id)
{
    SaveRun("qualify.jsonl", "JSON Lines Files", "*.jsonl", SaveQualifyJsonFile);
    return TRUE;
}

INT_PTR SaveQualifyJunit([[maybe_unused]] int id)
{
    SaveRun("qualify-junit.xml", "JUnit XML Files", "*.xml", SaveJunitFile);
    return TRUE;
}
