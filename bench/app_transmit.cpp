// The window's transmit loop against bare SCardTransmit calls, in one process
// and on one card connection, alternating: GetUID, 5000 runs with the loop
// and its progress display on, driven through the real window on the
// offscreen platform. Prints the app's mean time per run against the raw
// mean per call (and their medians), and how far Elapsed lies from the wall
// clock.
// Run inside scripts/with-sim-pcscd.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include "bench/raw_transmit.h"
#include "core/clock/counter.h"
#include "core/pcsc/pcsc_api.h"
#include "ui/ids.h"
#include "ui/widget_lookup.h"
#include "ui/winsys.h"
#include "window/commands.h"
#include "window/dispatch.h"
#include "window/tester_state.h"

namespace {

constexpr int RUNS = 5000;
constexpr int ROUNDS = 5;

using Clock = std::chrono::steady_clock;

double MicrosSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Mean(const std::vector<double>& values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return sum / double(values.size());
}

// Times every SCardTransmit the window makes, so the window's own share of
// the loop can be told apart from what the PC/SC stack costs.
double spiedCalls[RUNS];
int spiedCount;

LONG TimedTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST* sendPci, LPCBYTE sendBuffer, DWORD sendLength,
                   SCARD_IO_REQUEST* recvPci, LPBYTE recvBuffer, LPDWORD recvLength)
{
    Clock::time_point start = Clock::now();
    LONG status = SCardTransmit(card, sendPci, sendBuffer, sendLength, recvPci, recvBuffer, recvLength);
    if (spiedCount < RUNS)
        spiedCalls[spiedCount++] = MicrosSince(start);
    return status;
}

// Counts the paints of the progress field: the display the loop pays for.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints++;
        return false;
    }
};

PaintCounter* progressPaints;

struct AppRound {
    double elapsedFieldMs;  // the figure the Elapsed field shows
    double elapsedExactUs;  // the same span at full precision
    double wallUs;          // per run, around the whole Transmit press
    double callMedianUs;    // SCardTransmit inside the loop
    double callMeanUs;
    double windowShare;  // the loop's time outside SCardTransmit, relative to it
    int paints;          // of the progress field
};

AppRound RunAppRound(HWND dialog)
{
    spiedCount = 0;
    progressPaints->paints = 0;
    Clock::time_point start = Clock::now();
    SendCommand(dialog, IDC_TRANSMIT);
    // The loop runs on its worker; its end arrives as a message.
    while (LoopRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    double wall = MicrosSince(start) / RUNS;

    char text[64];
    GetDlgItemText(dialog, IDC_ELAPSED, text, sizeof text);
    const Span& span = tester.loop.outcome.span;
    double exact = double(span.end - span.start) / double(tester.ticksPerMs) / RUNS * 1000.0;
    std::vector<double> calls(spiedCalls, spiedCalls + spiedCount);
    double inCalls = 0;
    for (double call : calls)
        inCalls += call;
    return {atof(text),
            exact,
            wall,
            Median(calls),
            inCalls / double(calls.size()),
            (exact * RUNS - inCalls) / inCalls,
            progressPaints->paints};
}

// Bare calls on the window's own connection: the card is held exclusively.
std::vector<double> RunRawRound()
{
    const SCARD_IO_REQUEST* pci = SendPci(tester.activeProtocol);
    std::vector<double> calls(RUNS);
    BYTE response[BUFFER_SIZE];
    for (int i = 0; i < RUNS; ++i) {
        DWORD length = sizeof response;
        Clock::time_point start = Clock::now();
        LONG status = SCardTransmit(tester.hCard, pci, RAW_GET_UID, sizeof RAW_GET_UID, nullptr, response, &length);
        calls[i] = MicrosSince(start);
        if (status != SCARD_S_SUCCESS) {
            fprintf(stderr, "raw SCardTransmit failed: 0x%08X\n", unsigned(status));
            exit(1);
        }
    }
    return calls;
}

// Establish, List, Connect to the first reader, storage type with GetUID,
// loop on with 5000 runs.
bool PrepareWindow(HWND dialog)
{
    SendCommand(dialog, IDC_ESTABLISH);
    SendCommand(dialog, IDC_LIST_READERS);
    ListSetCurSel(dialog, IDC_READER_LIST, 0);
    SendCommand(dialog, IDC_CONNECT);
    if (tester.hCard == 0) {
        fprintf(stderr, "no card connected; run inside scripts/with-sim-pcscd\n");
        return false;
    }
    CheckDlgButton(dialog, IDC_TYPE_STORAGE, true);
    SendCommand(dialog, IDC_TYPE_STORAGE);
    SendCommand(dialog, IDC_CMD_GETUID);
    CheckDlgButton(dialog, IDC_LOOP, true);
    SendCommand(dialog, MAKEWPARAM(IDC_LOOP, BN_CLICKED));
    SetDlgItemText(dialog, IDC_LOOP_COUNT, "5000");
    return tester.loopEnabled == 1 && tester.loopCount == RUNS;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    int64_t frequency = QueryPerformanceFrequency();
    tester.ticksPerMs = frequency > 0 ? frequency / 1000 : 1;

    pcsc.Transmit = TimedTransmit;
    HWND dialog = CreateDialogParam(IDD_MAIN, nullptr, MainDialogProc, 0);
    if (dialog == nullptr || !PrepareWindow(dialog))
        return 1;
    // The field repaints only once the window is on screen, as it is for a user.
    QWidget* window = DialogWidget(dialog);
    while (window->windowHandle() == nullptr || !window->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    PaintCounter paints;
    progressPaints = &paints;
    DialogItemWidget(dialog, IDC_LOOP_PROGRESS)->installEventFilter(&paints);

    // One unmeasured press of each warms the caches and pcscd.
    RunAppRound(dialog);
    RunRawRound();

    std::vector<double> appPerRun;
    std::vector<double> rawMeans;
    std::vector<double> rawCalls;
    std::vector<double> windowShares;
    std::vector<double> offWall;
    printf("GetUID, %d runs per round, loop and progress on; app and raw alternate\n", RUNS);
    printf("round  Elapsed field  Elapsed/run  wall/run  Elapsed vs wall  in-loop call median/mean  window share"
           "  raw median  raw mean  repaints\n");
    for (int round = 1; round <= ROUNDS; ++round) {
        AppRound app = RunAppRound(dialog);
        std::vector<double> raw = RunRawRound();
        double off = (app.elapsedExactUs - app.wallUs) / app.wallUs * 100.0;
        printf("%5d  %10.2f ms  %8.1f us  %5.1f us  %+13.2f %%  %11.1f/%5.1f us  %+10.2f %%  %7.1f us  %5.1f us  %8d\n",
               round, app.elapsedFieldMs, app.elapsedExactUs, app.wallUs, off, app.callMedianUs, app.callMeanUs,
               app.windowShare * 100.0, Median(raw), Mean(raw), app.paints);
        appPerRun.push_back(app.elapsedExactUs);
        rawMeans.push_back(Mean(raw));
        rawCalls.insert(rawCalls.end(), raw.begin(), raw.end());
        windowShares.push_back(app.windowShare);
        offWall.push_back(off);
    }

    // Every round has as many runs as calls: the means of the rounds average
    // to the mean of all runs.
    double appMean = Mean(appPerRun);
    double rawMean = Mean(rawMeans);
    printf("app mean per run (all rounds):              %.1f us\n", appMean);
    printf("raw SCardTransmit mean per call:            %.1f us\n", rawMean);
    printf("ratio app mean / raw mean:                  %.3f (target <= 1.02)\n", appMean / rawMean);
    printf("ratio app Elapsed / raw median (medians):   %.3f\n", Median(appPerRun) / Median(rawCalls));
    printf("window's own share of the loop (median):    %+.2f %%\n", Median(windowShares) * 100.0);
    printf("Elapsed vs wall clock per run (median):     %+.2f %%\n", Median(offWall));

    DestroyDialog(dialog);
    return 0;
}
