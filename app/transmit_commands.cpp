// The Transmit button and the loop controls: the request is built from the
// fields, sent by the transmit core, and its result shown.
#include "app/card_page.h"
#include "app/commands.h"
#include "app/compose_commands.h"
#include "app/main_window.h"
#include "app/window_output.h"
#include "state/tester_state.h"
#include "transmit/transmit.h"
#include "ui/ids.h"

namespace {

// A storage APDU and its response are always hex; a direct send follows its source.
DumpForm CardDumpForm()
{
    return tester.commandType == COMMAND_STORAGE || tester.entryMode != ENTRY_STRING ? DUMP_HEX : DUMP_CHARACTERS;
}

// Repainted at once: the loop does not return to the event loop until it ends.
void ShowProgress(void* dialog, int32_t percent)
{
    SetDlgItemInt(static_cast<HWND>(dialog), IDC_LOOP_PROGRESS, unsigned(percent));
    RepaintDlgItem(static_cast<HWND>(dialog), IDC_LOOP_PROGRESS);
}

// Sends sendBuffer once or, with the loop on, loopCount times. The dumps lie
// outside the measured span; the progress display lies inside it.
void TransmitRequest()
{
    SetDlgItemText(mainWindow, IDC_LOOP_PROGRESS, "");
    if (tester.sendLen >= BUFFER_SIZE) {
        LogAppend("SCardTransmit: Error: Incorrect buffer size!");
        return;
    }
    DumpForm form = CardDumpForm();
    LogBytes("SCardTransmit: Input:", tester.sendBuffer, tester.sendLen, form);

    int32_t runs = LoopRuns(tester.loopEnabled, tester.loopCount);
    LoopProgress progress {tester.loopEnabled ? ShowProgress : nullptr, mainWindow};
    TransmitOutcome outcome = TransmitLoop(tester.hCard, tester.activeProtocol, tester.sendBuffer, tester.sendLen, runs,
                                           tester.breakOnError, tester.recvBuffer, BUFFER_SIZE, progress);
    tester.recvLen = outcome.responseLength;

    ShowElapsed(outcome.span, runs);
    ShowStatus(outcome.status);
    if (outcome.status != SCARD_S_SUCCESS)
        LogAppend("SCardTransmit: Failure!");
    else
        LogBytes("SCardTransmit: Output:", tester.recvBuffer, tester.recvLen, form);
    if (outcome.status == SCARD_S_SUCCESS)
        ShowResponseMeaning(tester.recvBuffer, tester.recvLen);
}

}  // namespace

INT_PTR CmdTransmit([[maybe_unused]] int id)
{
    switch (tester.commandType) {
    case COMMAND_DIRECT:
        tester.sendLen = BUFFER_SIZE;
        CopyEntryData(tester.sendBuffer, &tester.sendLen, false);
        TransmitRequest();
        break;
    case COMMAND_STORAGE:
        if (ComposeStorageApdu(tester.sendBuffer, &tester.sendLen, tester.storageCommand))
            TransmitRequest();
        break;
    case COMMAND_VENDOR:
        ExecuteVendorIo();
        break;
    }
    return TRUE;
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
    int32_t typed = int32_t(GetDlgItemInt(mainWindow, IDC_LOOP_COUNT));
    tester.loopCount = LoopCountCapped(typed);
    // Writing the cap back runs this handler once more, which reads it.
    if (tester.loopCount != typed)
        SetDlgItemInt(mainWindow, IDC_LOOP_COUNT, unsigned(tester.loopCount));
    return TRUE;
}

INT_PTR CmdToggleBreakOnError([[maybe_unused]] int id)
{
    tester.breakOnError = IsDlgButtonChecked(mainWindow, IDC_BREAK_ON_ERROR) ? 1 : 0;
    return FALSE;
}
