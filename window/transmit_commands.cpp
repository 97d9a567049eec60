// The Transmit button and the loop controls: the request is built from the
// fields, sent by the transmit core, and its result shown. A loop of more
// than one run goes to a worker thread, so the window keeps answering and
// the loop can be stopped; a single run is one PC/SC call like Connect or a
// vendor request and, like them, runs on the window's thread. What the last
// Transmit left, and the worker, are tester.loop.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <thread>

#include "core/output/report.h"
#include "core/pcsc/status_word.h"
#include "core/transmit/follow_up.h"
#include "core/transmit/transmit.h"
#include "ui/ids.h"
#include "window/card_page.h"
#include "window/commands.h"
#include "window/compose_commands.h"
#include "window/panel.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

// Every control that could start or change a command, or reads the record
// a worker writes: inert while a loop or a qualification runs, then as they
// were.
const int LOOP_INERT_CONTROLS[] = {
    IDC_ESTABLISH,
    IDC_LIST_READERS,
    IDC_READER_LIST,
    IDC_CONNECT,
    IDC_DISCONNECT,
    IDC_RELEASE,
    IDC_ATTRIBUTES,
    IDC_MODE_STRING,
    IDC_MODE_HEX,
    IDC_MODE_FILE,
    IDC_STRING_DATA,
    IDC_HEX_DATA,
    IDC_LOAD_FILE,
    IDC_TYPE_DIRECT,
    IDC_TYPE_STORAGE,
    IDC_TYPE_VENDOR,
    IDC_CMD_GETUID,
    IDC_CMD_LOADKEYS,
    IDC_CMD_AUTH,
    IDC_CMD_READ,
    IDC_CMD_UPDATE,
    IDC_P1,
    IDC_P2,
    IDC_P3,
    IDC_LENGTH,
    IDC_VENDOR_MENU,
    IDC_VENDOR_P1,
    IDC_VENDOR_P2,
    IDC_VENDOR_LC,
    IDC_VENDOR_LE,
    IDC_LOOP,
    IDC_LOOP_COUNT,
    IDC_BREAK_ON_ERROR,
    IDC_EXPECTED_SW,
    IDC_SAVE_SAMPLES,
    // The Reader Control page: its card calls and every choice a command reads.
    IDC_SHARE_EXCLUSIVE,
    IDC_SHARE_SHARED,
    IDC_SHARE_DIRECT,
    IDC_PROTOCOL_ANY,
    IDC_PROTOCOL_T0,
    IDC_PROTOCOL_T1,
    IDC_PROTOCOL_RAW,
    IDC_DISPOSITION_UNPOWER,
    IDC_DISPOSITION_LEAVE,
    IDC_DISPOSITION_RESET,
    IDC_DISPOSITION_EJECT,
    IDC_WARM_RESET,
    IDC_COLD_RESET,
    IDC_CLASS_00,
    IDC_CLASS_FF,
    IDC_GENERAL_AUTH,
    IDC_GET_RESPONSE,
    IDC_VENDOR_TO_FIXED,
    IDC_VENDOR_TO_ESCAPE,
    IDC_VENDOR_TO_CODE,
    IDC_VENDOR_CODE,
    IDC_CONTROL_CODE,
    IDC_CONTROL_HEX,
    IDC_SEND_CONTROL,
    IDC_FEATURES,
    IDC_ATTRIBUTE_ID,
    IDC_READ_ATTRIBUTE,
    // The Qualify page: what starts a run or reads its results.
    IDC_PLAN_PATH,
    IDC_OPEN_PLAN,
    IDC_RUN_PLAN,
    IDC_SAVE_JSON,
    IDC_SAVE_JUNIT,
};
static_assert(std::size(LOOP_INERT_CONTROLS) == LOOP_INERT_CONTROL_COUNT);

// A storage APDU and its response are always hex; a direct send follows its source.
DumpForm CardDumpForm()
{
    return tester.commandType == COMMAND_STORAGE || tester.entryMode != ENTRY_STRING ? DUMP_HEX : DUMP_CHARACTERS;
}

// Repainted at once: a single run keeps the window's thread until it ends.
void ShowProgress(void*, int32_t percent)
{
    SetDlgItemInt(tester.mainWindow, IDC_LOOP_PROGRESS, unsigned(percent));
    RepaintDlgItem(tester.mainWindow, IDC_LOOP_PROGRESS);
}

// On the worker: the window's thread writes the field.
void PostProgress(void* dialog, int32_t percent)
{
    PostDialogMessage(static_cast<HWND>(dialog), WM_LOOP_PROGRESS, WPARAM(percent), 0);
}

// The expected status word field; a text that is none is logged and refused.
bool ReadExpectedSw(uint16_t* sw)
{
    char text[256];
    GetDlgItemText(tester.mainWindow, IDC_EXPECTED_SW, text, sizeof text);
    if (ParseExpectedSw(text, sw))
        return true;
    char line[320];
    snprintf(line, sizeof line, "Expected SW: \"%s\" is not a status word; nothing sent.", text);
    LogAppend(line);
    return false;
}

// The meaning of each status word the loop's runs answered, a line each, for
// the panel only: the log keeps its summary lines as they are.
void AddStatusWordMeanings(const LoopSummary& summary, char* out, size_t cap)
{
    out[0] = '\0';
    size_t used = 0;
    for (int32_t i = 0; i < summary.outcomeCount && used + 3 < cap; ++i) {
        const LoopOutcomeCount& kind = summary.outcomes[i];
        if (!kind.answered || kind.code == 0)
            continue;
        char meaning[STATUS_WORD_TEXT_SIZE];
        DescribeStatusWord(uint8_t(kind.code >> 8), uint8_t(kind.code), meaning, sizeof meaning);
        int added = snprintf(out + used, cap - used, "\r\n%s", meaning);
        used = std::min(cap - 1, used + size_t(added > 0 ? added : 0));
    }
}

// The loop's summary lines as the panel shows them, CR LF between them.
struct SummaryText {
    char text[3 * LOOP_LINE_SIZE + 4];
    size_t used;
};

// Each summary line goes to the log and is kept for the panel.
void LogAndKeep(void* context, const char* line)
{
    LogAppend(line);
    SummaryText* panel = static_cast<SummaryText*>(context);
    int added = snprintf(panel->text + panel->used, sizeof panel->text - panel->used, "%s%s",
                         panel->used > 0 ? "\r\n" : "", line);
    panel->used = std::min(sizeof panel->text - 1, panel->used + size_t(added > 0 ? added : 0));
}

// The last Transmit's outcome and record (tester.loop): elapsed per run
// made, the last run's status and its answer dumped in `form`; after a loop,
// the counts of its outcomes and the distribution of its times.
void ShowTransmitResult(DumpForm form)
{
    const TransmitOutcome& outcome = tester.loop.outcome;
    const LoopRecord& record = tester.loop.record;
    ReportLoopStopped(windowLog, record);
    tester.recvLen = outcome.responseLength;
    ShowElapsed(outcome.span, outcome.runsMade > 1 ? outcome.runsMade : 1);
    ShowStatus(outcome.status);
    ReportTransmitOutput(windowLog, outcome.status, tester.recvBuffer, tester.recvLen, form);
    if (outcome.status == SCARD_S_SUCCESS)
        ShowResponseMeaning(tester.recvBuffer, tester.recvLen);
    if (record.runsPlanned > 1) {
        LoopSummary summary;
        SummarizeLoop(record, &summary);
        // The panel keeps the lines in view when the log has moved on.
        SummaryText panel {};
        ReportLoopSummary(LineSink {LogAndKeep, &panel}, summary);
        AddStatusWordMeanings(summary, panel.text + panel.used, sizeof panel.text - panel.used);
        SetDlgItemText(tester.mainWindow, IDC_LOOP_SUMMARY, panel.text);
    }
    ShowLoopCharts();
}

// With GET RESPONSE on, after a single run: each follow-up the last answer
// asks for is sent from sendBuffer and shown as its own exchange, at most
// FOLLOW_UP_MAX of them.
void SendFollowUps(uint16_t expectedSw, DumpForm form)
{
    static BYTE next[BUFFER_SIZE];
    for (int32_t index = 1; tester.loop.outcome.status == SCARD_S_SUCCESS; ++index) {
        DWORD length;
        FollowUpKind kind = NextFollowUp(tester.sendBuffer, tester.sendLen, tester.recvBuffer, tester.recvLen, next,
                                         sizeof next, &length);
        if (kind == FOLLOW_UP_NONE)
            return;
        if (index > FOLLOW_UP_MAX) {
            ReportFollowUpsCut(windowLog);
            return;
        }
        ReportFollowUp(windowLog, index, kind,
                       uint16_t(tester.recvBuffer[tester.recvLen - 2] << 8 | tester.recvBuffer[tester.recvLen - 1]));
        memcpy(tester.sendBuffer, next, length);
        tester.sendLen = length;
        ReportTransmitInput(windowLog, tester.sendBuffer, tester.sendLen, form);
        tester.loop.outcome =
            TransmitLoop(tester.hCard, tester.activeProtocol, tester.sendBuffer, tester.sendLen, 1, false, expectedSw,
                         tester.recvBuffer, BUFFER_SIZE, nullptr, LoopProgress {}, &tester.loop.record);
        ShowTransmitResult(form);
    }
}

void StartLoop(int32_t runs, uint16_t expectedSw, DumpForm form)
{
    LoopRun& loop = tester.loop;
    MakeCardControlsInert(loop.inertWasEnabled);
    GetDlgItemText(tester.mainWindow, IDC_TRANSMIT, loop.transmitCaption, sizeof loop.transmitCaption);
    SetDlgItemText(tester.mainWindow, IDC_TRANSMIT, "&Stop");
    loop.dumpForm = form;
    loop.stopRequested = false;
    loop.worker = std::thread([card = tester.hCard, protocol = tester.activeProtocol, length = tester.sendLen, runs,
                               breakOnError = tester.breakOnError != 0, expectedSw, dialog = tester.mainWindow, &loop] {
        loop.outcome =
            TransmitLoop(card, protocol, tester.sendBuffer, length, runs, breakOnError, expectedSw, tester.recvBuffer,
                         BUFFER_SIZE, &loop.stopRequested, {PostProgress, dialog}, &loop.record);
        PostDialogMessage(dialog, WM_LOOP_DONE, 0, 0);
    });
}

// Sends sendBuffer once or, with the loop on, loopCount times. The dumps lie
// outside the measured span; the progress display lies inside it.
void TransmitApdu()
{
    SetDlgItemText(tester.mainWindow, IDC_LOOP_PROGRESS, "");
    if (tester.sendLen >= BUFFER_SIZE) {
        LogAppend("SCardTransmit: Error: Incorrect buffer size!");
        return;
    }
    uint16_t expectedSw;
    if (!ReadExpectedSw(&expectedSw))
        return;
    DumpForm form = CardDumpForm();
    ReportTransmitInput(windowLog, tester.sendBuffer, tester.sendLen, form);

    int32_t runs = LoopRuns(tester.loopEnabled, tester.loopCount);
    if (runs > 1) {
        StartLoop(runs, expectedSw, form);
        return;
    }
    LoopProgress progress {tester.loopEnabled ? ShowProgress : nullptr, nullptr};
    tester.loop.outcome =
        TransmitLoop(tester.hCard, tester.activeProtocol, tester.sendBuffer, tester.sendLen, 1, tester.breakOnError,
                     expectedSw, tester.recvBuffer, BUFFER_SIZE, nullptr, progress, &tester.loop.record);
    ShowTransmitResult(form);
    if (tester.getResponse)
        SendFollowUps(expectedSw, form);
}

}  // namespace

void MakeCardControlsInert(bool (&wasEnabled)[LOOP_INERT_CONTROL_COUNT])
{
    for (size_t i = 0; i < std::size(LOOP_INERT_CONTROLS); ++i) {
        wasEnabled[i] = IsDlgItemEnabled(tester.mainWindow, LOOP_INERT_CONTROLS[i]);
        EnableDlgItem(tester.mainWindow, LOOP_INERT_CONTROLS[i], false);
    }
}

void RestoreCardControls(const bool (&wasEnabled)[LOOP_INERT_CONTROL_COUNT])
{
    for (size_t i = 0; i < std::size(LOOP_INERT_CONTROLS); ++i)
        EnableDlgItem(tester.mainWindow, LOOP_INERT_CONTROLS[i], wasEnabled[i]);
}

bool LoopRunning()
{
    return tester.loop.worker.joinable();
}

void ShowLoopProgress(int32_t percent)
{
    // A loop ended early leaves its last messages behind.
    if (LoopRunning())
        ShowProgress(nullptr, percent);
}

void FinishLoop()
{
    if (!LoopRunning())
        return;
    LoopRun& loop = tester.loop;
    loop.worker.join();
    SetDlgItemText(tester.mainWindow, IDC_TRANSMIT, loop.transmitCaption);
    RestoreCardControls(loop.inertWasEnabled);
    ShowTransmitResult(loop.dumpForm);
}

void EndLoop()
{
    tester.loop.stopRequested = true;
    FinishLoop();
}

INT_PTR StopLoop([[maybe_unused]] int id)
{
    if (!LoopRunning())
        return FALSE;
    tester.loop.stopRequested = true;
    return TRUE;
}

INT_PTR TransmitCommand(int id)
{
    if (LoopRunning())
        return StopLoop(id);
    switch (tester.commandType) {
    case COMMAND_DIRECT:
        tester.sendLen = BUFFER_SIZE;
        CopyEntryData(tester.sendBuffer, &tester.sendLen, false);
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

INT_PTR ToggleLoop([[maybe_unused]] int id)
{
    tester.loopEnabled = IsDlgButtonChecked(tester.mainWindow, IDC_LOOP) ? 1 : 0;
    EnableDlgItem(tester.mainWindow, IDC_LOOP_COUNT, tester.loopEnabled != 0);
    EnableDlgItem(tester.mainWindow, IDC_BREAK_ON_ERROR, tester.loopEnabled != 0);
    return TRUE;
}

INT_PTR UpdateLoopCount([[maybe_unused]] int id)
{
    int32_t typed = int32_t(GetDlgItemInt(tester.mainWindow, IDC_LOOP_COUNT));
    tester.loopCount = LoopCountCapped(typed);
    // Writing the cap back runs this handler once more, which reads it.
    if (tester.loopCount != typed)
        SetDlgItemInt(tester.mainWindow, IDC_LOOP_COUNT, unsigned(tester.loopCount));
    return TRUE;
}

INT_PTR ToggleBreakOnError([[maybe_unused]] int id)
{
    tester.breakOnError = IsDlgButtonChecked(tester.mainWindow, IDC_BREAK_ON_ERROR) ? 1 : 0;
    return FALSE;
}
