// The Transmit button, the exchange with the card (once or in a loop with
// progress and stop on error) and the loop controls.
#include "transmit/transmit.h"

#include "app/commands.h"
#include "app/compose_commands.h"

#include "app/main_window.h"
#include "app/window_output.h"
#include "output/dump.h"
#include "output/timing.h"
#include "pcsc/pcsc_api.h"
#include "state/tester_state.h"
#include "ui/ids.h"

namespace {

constexpr int32_t LOOP_COUNT_MAX = 5000;

}  // namespace

INT_PTR CmdTransmit([[maybe_unused]] int id)
{
    switch (tester.commandType) {
    case COMMAND_DIRECT:
        tester.sendLen = BUFFER_SIZE;
        CopyEntryData(tester.sendBuffer, &tester.sendLen, 0);
        TransmitApdu();
        break;
    case COMMAND_STORAGE:
        if (ComposeStorageApdu(tester.sendBuffer, &tester.sendLen, tester.storageCommand))
            TransmitApdu();
        break;
    case COMMAND_VENDOR:
        ExecuteVendorIo();
        break;
    }
    return TRUE;
}

void TransmitApdu()
{
    HWND dialog = mainWindow;
    SetDlgItemText(dialog, IDC_LOOP_PROGRESS, "");
    tester.recvLen = BUFFER_SIZE;
    if (tester.sendLen >= BUFFER_SIZE) {
        LogAppend("SCardTransmit: Error: Incorrect buffer size!");
        return;
    }
    LogBytes("SCardTransmit: Input:", tester.sendBuffer, tester.sendLen);

    // The span covers every run with its progress display; the dumps lie outside.
    Span span;
    span.start = QueryPerformanceCounter();
    int32_t runs = tester.loopEnabled ? tester.loopCount : 1;
    LONG status = SCARD_S_SUCCESS;
    for (int32_t run = 1; run <= runs; ++run) {
        const SCARD_IO_REQUEST* sendPci = SendPci(tester.activeProtocol);
        tester.recvLen = BUFFER_SIZE;
        status = pcsc.Transmit(tester.hCard, sendPci, tester.sendBuffer, tester.sendLen, nullptr, tester.recvBuffer,
                               &tester.recvLen);
        if (tester.breakOnError && status != SCARD_S_SUCCESS)
            break;
        if (tester.loopEnabled && tester.loopCount > 0) {
            int32_t percent = int32_t(int64_t(run) * 100 / tester.loopCount);
            if (percent % 5 == 0) {
                SetDlgItemInt(dialog, IDC_LOOP_PROGRESS, unsigned(percent));
                RepaintDlgItem(dialog, IDC_LOOP_PROGRESS);
            }
        }
    }
    span.end = QueryPerformanceCounter();

    ShowElapsed(span);
    ShowStatus(status);
    if (status != SCARD_S_SUCCESS)
        LogAppend("SCardTransmit: Failure!");
    else
        LogBytes("SCardTransmit: Output:", tester.recvBuffer, tester.recvLen);
}

INT_PTR CmdToggleLoop([[maybe_unused]] int id)
{
    tester.loopEnabled = IsDlgButtonChecked(mainWindow, IDC_LOOP) ? 1 : 0;
    EnableDlgItem(mainWindow, IDC_LOOP_COUNT, tester.loopEnabled != 0);
    EnableDlgItem(mainWindow, IDC_BREAK_ON_ERROR, tester.loopEnabled != 0);
    return TRUE;
}

INT_PTR CmdUpdateLoopCount([[maybe_unused]] int id)
{
    tester.loopCount = int32_t(GetDlgItemInt(mainWindow, IDC_LOOP_COUNT));
    if (tester.loopCount > LOOP_COUNT_MAX) {
        tester.loopCount = LOOP_COUNT_MAX;
        // Runs this handler once more, which reads 5000 back.
        SetDlgItemInt(mainWindow, IDC_LOOP_COUNT, LOOP_COUNT_MAX);
    }
    return TRUE;
}

INT_PTR CmdToggleBreakOnError([[maybe_unused]] int id)
{
    tester.breakOnError = IsDlgButtonChecked(mainWindow, IDC_BREAK_ON_ERROR) ? 1 : 0;
    return FALSE;
}
