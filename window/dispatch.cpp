// The main window's dialog procedure: set-up, dispatch of every command,
// the workers' messages, closing, the system menu and the resume from
// suspend. A command is chosen by the low 16 bits of wParam alone, so every
// notification of a control runs its handler.
#include "window/dispatch.h"

#include "core/clock/counter.h"
#include "core/pcsc/pcsc_api.h"
#include "core/transmit/transmit.h"
#include "ui/ids.h"
#include "window/about.h"
#include "window/card_page.h"
#include "window/commands.h"
#include "window/compose_commands.h"
#include "window/help.h"
#include "window/panel.h"
#include "window/qualify_page.h"
#include "window/tester_state.h"
#include "window/window_output.h"

// The start-up sequence; later steps run handlers that read the defaults of
// the earlier ones, so the order matters.
static INT_PTR InitMainDialog(HWND hwnd)
{
    SetDialogIcon(hwnd, IDI_MAIN);
    AppendMenuItem(GetSystemMenu(hwnd), IDM_SAVE_LOG, "Save Log...");
    // A window manager takes Alt+Space for its own menu: the panel has F2 and
    // its button too.
    AppendMenuItem(GetSystemMenu(hwnd), IDM_INSIGHT, "Insight Panel\tF2");
    AddDialogAccelerator(hwnd, VK_F2, IDM_INSIGHT);
    AppendMenuSeparator(GetSystemMenu(hwnd));
    AppendMenuItem(GetSystemMenu(hwnd), IDM_ABOUT, "Information");
    tester.mainWindow = hwnd;

    tester.loopEnabled = 0;
    tester.loopCount = 100;
    tester.breakOnError = 1;
    tester.entryMode = ENTRY_STRING;
    tester.commandType = COMMAND_DIRECT;
    tester.storageCommand = STORAGE_GET_UID;
    tester.connectOptions = ConnectOptions {SHARE_EXCLUSIVE, PROTOCOL_ANY};
    tester.disconnectDisposition = SCARD_UNPOWER_CARD;

    ShowEmptyMeasurement();

    CheckDlgButton(hwnd, IDC_BREAK_ON_ERROR, tester.breakOnError != 0);
    SetDlgItemInt(hwnd, IDC_LOOP_COUNT, unsigned(tester.loopCount));
    EnableDlgItem(hwnd, IDC_LOOP_COUNT, tester.loopEnabled != 0);
    EnableDlgItem(hwnd, IDC_BREAK_ON_ERROR, tester.loopEnabled != 0);

    SelectEntryMode(IDC_MODE_STRING);
    SwitchStorageCommand(IDC_CMD_GETUID);
    SelectCommandType(IDC_TYPE_DIRECT);

    LimitDlgItemText(hwnd, IDC_STRING_DATA, 1024);
    LimitDlgItemText(hwnd, IDC_HEX_DATA, 1024);
    LimitDlgItemText(hwnd, IDC_P1, 3);
    LimitDlgItemText(hwnd, IDC_P2, 3);
    LimitDlgItemText(hwnd, IDC_P3, 4);
    LimitDlgItemText(hwnd, IDC_LENGTH, 3);

    ShowComposerDefaults();
    tester.vendorMenu = CreateVendorMenu();

    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_RELEASE, false);
    EnableDlgItem(hwnd, IDC_CONNECT, false);
    EnableDlgItem(hwnd, IDC_LIST_READERS, false);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, false);
    EnableDlgItem(hwnd, IDC_SAVE_SAMPLES, false);
    InitInsightPanel();
    InitControlPage();
    InitQualifyPage();
    // TRUE: the focus goes to the first control that takes it, Establish Context.
    return TRUE;
}

// Releasing clears hContext, so a context is released once however many
// closing messages arrive.
static void ReleaseHeldContext()
{
    StopCardWatch();
    if (tester.hContext != 0) {
        pcsc.ReleaseContext(tester.hContext);
        tester.hContext = 0;
    }
}

INT_PTR Quit(int id)
{
    EndLoop();
    EndQualify();
    ReleaseHeldContext();
    EndDialog(tester.mainWindow, INT_PTR(id));
    return TRUE;
}

namespace {

// When a command answers: only while no worker runs (a loop's or a
// qualification's worker alone uses the card and the request then, so
// nothing may start or change a command meanwhile); also while a loop runs
// but not while a qualification does (Transmit, the loop's Stop); or always.
enum WorkerRule {
    IDLE_ONLY,
    DURING_LOOP,
    ALWAYS,
};

struct CommandEntry {
    int id;
    CommandHandler handler;
    WorkerRule rule;
};

// Escape stops whichever worker runs.
INT_PTR StopWorker(int id)
{
    return StopLoop(id) || StopQualify(id);
}

// Every command the main window answers; any other identifier is left to the
// default handling.
const CommandEntry COMMAND_HANDLERS[] = {
    {IDHELP, OpenHelp, ALWAYS},
    {IDC_QUIT, Quit, ALWAYS},
    {IDC_ESTABLISH, EstablishContext, IDLE_ONLY},
    {IDC_LIST_READERS, ListReaders, IDLE_ONLY},
    {IDC_CONNECT, ConnectSelectedReader, IDLE_ONLY},
    {IDC_DISCONNECT, DisconnectCard, IDLE_ONLY},
    {IDC_RELEASE, ReleaseContext, IDLE_ONLY},
    {IDC_CLEAR_LOG, ClearLog, ALWAYS},
    {IDC_ATTRIBUTES, ShowAttributes, IDLE_ONLY},
    {IDC_MODE_STRING, SelectEntryMode, IDLE_ONLY},
    {IDC_MODE_HEX, SelectEntryMode, IDLE_ONLY},
    {IDC_MODE_FILE, SelectEntryMode, IDLE_ONLY},
    {IDC_STRING_DATA, UpdateStringData, IDLE_ONLY},
    {IDC_HEX_DATA, UpdateHexData, IDLE_ONLY},
    {IDC_LOAD_FILE, LoadDataFile, IDLE_ONLY},
    {IDC_TYPE_DIRECT, SelectCommandType, IDLE_ONLY},
    {IDC_TYPE_STORAGE, SelectCommandType, IDLE_ONLY},
    {IDC_CMD_GETUID, SwitchStorageCommand, IDLE_ONLY},
    {IDC_CMD_LOADKEYS, SwitchStorageCommand, IDLE_ONLY},
    {IDC_CMD_AUTH, SwitchStorageCommand, IDLE_ONLY},
    {IDC_CMD_READ, SwitchStorageCommand, IDLE_ONLY},
    {IDC_CMD_UPDATE, SwitchStorageCommand, IDLE_ONLY},
    {IDC_TYPE_VENDOR, SelectVendorIo, IDLE_ONLY},
    {IDC_VENDOR_MENU, ShowVendorMenu, IDLE_ONLY},
    {IDM_LED_OFF, SelectVendorCommand, IDLE_ONLY},
    {IDM_LED_ON, SelectVendorCommand, IDLE_ONLY},
    {IDM_LED_FLASH, SelectVendorCommand, IDLE_ONLY},
    {IDM_RF_RESET, SelectVendorCommand, IDLE_ONLY},
    {IDM_FIRMWARE_REV, SelectVendorCommand, IDLE_ONLY},
    {IDC_TRANSMIT, TransmitCommand, DURING_LOOP},
    {IDC_LOOP, ToggleLoop, IDLE_ONLY},
    {IDC_LOOP_COUNT, UpdateLoopCount, IDLE_ONLY},
    {IDC_BREAK_ON_ERROR, ToggleBreakOnError, IDLE_ONLY},
    {IDC_INSIGHT, ToggleInsight, ALWAYS},
    {IDM_INSIGHT, ToggleInsight, ALWAYS},
    {IDC_SAVE_SAMPLES, SaveSamples, IDLE_ONLY},
    {IDC_PAGE_LOOP, ShowPanelPage, ALWAYS},
    {IDC_PAGE_CARD, ShowPanelPage, ALWAYS},
    {IDM_CARD_PAGE, ShowPanelPage, ALWAYS},
    {IDC_PAGE_CONTROL, ShowPanelPage, ALWAYS},
    {IDM_CONTROL_PAGE, ShowPanelPage, ALWAYS},
    {IDC_SHARE_EXCLUSIVE, ChooseConnectOption, IDLE_ONLY},
    {IDC_SHARE_SHARED, ChooseConnectOption, IDLE_ONLY},
    {IDC_SHARE_DIRECT, ChooseConnectOption, IDLE_ONLY},
    {IDC_PROTOCOL_ANY, ChooseConnectOption, IDLE_ONLY},
    {IDC_PROTOCOL_T0, ChooseConnectOption, IDLE_ONLY},
    {IDC_PROTOCOL_T1, ChooseConnectOption, IDLE_ONLY},
    {IDC_PROTOCOL_RAW, ChooseConnectOption, IDLE_ONLY},
    {IDC_DISPOSITION_UNPOWER, ChooseConnectOption, IDLE_ONLY},
    {IDC_DISPOSITION_LEAVE, ChooseConnectOption, IDLE_ONLY},
    {IDC_DISPOSITION_RESET, ChooseConnectOption, IDLE_ONLY},
    {IDC_DISPOSITION_EJECT, ChooseConnectOption, IDLE_ONLY},
    {IDC_CLASS_00, ChooseDialect, IDLE_ONLY},
    {IDC_CLASS_FF, ChooseDialect, IDLE_ONLY},
    {IDC_GENERAL_AUTH, ChooseDialect, IDLE_ONLY},
    {IDC_GET_RESPONSE, ChooseDialect, IDLE_ONLY},
    {IDC_VENDOR_TO_FIXED, ChooseVendorTarget, IDLE_ONLY},
    {IDC_VENDOR_TO_ESCAPE, ChooseVendorTarget, IDLE_ONLY},
    {IDC_VENDOR_TO_CODE, ChooseVendorTarget, IDLE_ONLY},
    {IDC_VENDOR_CODE, ChooseVendorTarget, IDLE_ONLY},
    {IDC_WARM_RESET, ResetConnectedCard, IDLE_ONLY},
    {IDC_COLD_RESET, ResetConnectedCard, IDLE_ONLY},
    {IDC_SEND_CONTROL, SendControlCode, IDLE_ONLY},
    {IDC_FEATURES, ShowFeatures, IDLE_ONLY},
    {IDC_READ_ATTRIBUTE, ReadOneAttribute, IDLE_ONLY},
    {IDC_CLEAR_EVENTS, ClearCardEventList, ALWAYS},
    {IDC_SAVE_LOG, SaveLog, ALWAYS},
    {IDM_SAVE_LOG, SaveLog, ALWAYS},
    {IDC_PAGE_QUALIFY, ShowPanelPage, ALWAYS},
    {IDM_QUALIFY_PAGE, ShowPanelPage, ALWAYS},
    {IDC_OPEN_PLAN, OpenPlan, IDLE_ONLY},
    {IDC_RUN_PLAN, RunPlan, IDLE_ONLY},
    {IDC_STOP_PLAN, StopQualify, ALWAYS},
    {IDC_VERDICTS, ShowSelectedSuite, ALWAYS},
    {IDC_SAVE_JSON, SaveQualifyJson, IDLE_ONLY},
    {IDC_SAVE_JUNIT, SaveQualifyJunit, IDLE_ONLY},
    {IDCANCEL, StopWorker, ALWAYS},
};

// A command is chosen by the low 16 bits of wParam alone, so every
// notification of a control runs its handler.
INT_PTR DispatchCommand(WPARAM wParam)
{
    int id = int(LOWORD(wParam));
    // By rule: whether the command is refused now.
    const bool refused[] = {LoopRunning() || QualifyRunning(), QualifyRunning(), false};
    for (const CommandEntry& entry : COMMAND_HANDLERS)
        if (entry.id == id)
            return refused[entry.rule] ? FALSE : entry.handler(id);
    return FALSE;
}

}  // namespace

INT_PTR MainDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Every handler sees a loop count of at least 1.
    tester.loopCount = LoopCountAtLeastOne(tester.loopCount);

    switch (message) {
    case WM_INITDIALOG:
        return InitMainDialog(hwnd);
    case WM_COMMAND:
        return DispatchCommand(wParam);
    case WM_LOOP_PROGRESS:
        ShowLoopProgress(int32_t(wParam));
        return TRUE;
    case WM_LOOP_DONE:
        FinishLoop();
        return TRUE;
    case WM_QUALIFY_PROGRESS:
        ShowQualifyProgress();
        return TRUE;
    case WM_QUALIFY_DONE:
        FinishQualify();
        return TRUE;
    case WM_CLOSE:
    case WM_DESTROY:
        EndLoop();
        EndQualify();
        ReleaseHeldContext();
        EndDialog(hwnd, INT_PTR(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if (LOWORD(wParam) == IDM_INSIGHT || LOWORD(wParam) == IDM_SAVE_LOG)
            return DispatchCommand(wParam);
        if (LOWORD(wParam) == IDM_ABOUT)
            DialogBoxParam(IDD_ABOUT, tester.mainWindow, AboutDialogProc, 0);
        DefWindowProc(hwnd, WM_SYSCOMMAND, wParam, lParam);
        return FALSE;
    case WM_CARD_EVENTS:
        return ShowCardEvents();
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMESUSPEND) {
            EndLoop();
            EndQualify();
            ReconnectAfterResume();
        }
        return TRUE;
    default:
        return FALSE;
    }
}
