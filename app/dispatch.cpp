// The main window's dialog procedure: set-up, dispatch of every command,
// closing, the system menu and the resume from suspend. A command is chosen
// by the low 16 bits of wParam alone, so every notification of a control
// runs its handler.
#include "app/dispatch.h"

#include "app/about.h"
#include "app/card_page.h"
#include "app/commands.h"
#include "app/compose_commands.h"
#include "app/help.h"
#include "app/main_window.h"
#include "app/panel.h"
#include "app/window_output.h"
#include "output/counter.h"
#include "pcsc/pcsc_api.h"
#include "state/tester_state.h"
#include "transmit/transmit.h"
#include "ui/ids.h"

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
    mainWindow = hwnd;

    tester.loopEnabled = 0;
    tester.loopCount = 100;
    tester.breakOnError = 1;
    tester.entryMode = ENTRY_STRING;
    tester.commandType = COMMAND_DIRECT;
    tester.storageCommand = STORAGE_GET_UID;

    ShowEmptyMeasurement();

    CheckDlgButton(hwnd, IDC_BREAK_ON_ERROR, tester.breakOnError != 0);
    SetDlgItemInt(hwnd, IDC_LOOP_COUNT, unsigned(tester.loopCount));
    EnableDlgItem(hwnd, IDC_LOOP_COUNT, tester.loopEnabled != 0);
    EnableDlgItem(hwnd, IDC_BREAK_ON_ERROR, tester.loopEnabled != 0);

    CmdSelectEntryMode(IDC_MODE_STRING);
    CmdSwitchStorageCommand(IDC_CMD_GETUID);
    CmdSelectCommandType(IDC_TYPE_DIRECT);

    LimitDlgItemText(hwnd, IDC_STRING_DATA, 1024);
    LimitDlgItemText(hwnd, IDC_HEX_DATA, 1024);
    LimitDlgItemText(hwnd, IDC_P1, 3);
    LimitDlgItemText(hwnd, IDC_P2, 3);
    LimitDlgItemText(hwnd, IDC_P3, 4);
    LimitDlgItemText(hwnd, IDC_LENGTH, 3);

    ShowComposerDefaults();
    vendorMenu = CreateVendorMenu();

    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_RELEASE, false);
    EnableDlgItem(hwnd, IDC_CONNECT, false);
    EnableDlgItem(hwnd, IDC_LIST_READERS, false);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, false);
    EnableDlgItem(hwnd, IDC_SAVE_SAMPLES, false);
    InitInsightPanel();
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

INT_PTR CmdQuit(int id)
{
    EndLoop();
    ReleaseHeldContext();
    EndDialog(mainWindow, INT_PTR(id));
    return TRUE;
}

namespace {

struct CommandEntry {
    int id;
    CommandHandler handler;
};

// Every command the main window answers; any other identifier is left to the
// default handling.
const CommandEntry COMMANDS[] = {
    {IDHELP, CmdOpenHelp},
    {IDC_QUIT, CmdQuit},
    {IDC_ESTABLISH, CmdEstablishContext},
    {IDC_LIST_READERS, CmdListReaders},
    {IDC_CONNECT, CmdConnectCard},
    {IDC_DISCONNECT, CmdDisconnectCard},
    {IDC_RELEASE, CmdReleaseContext},
    {IDC_CLEAR_LOG, CmdClearLog},
    {IDC_ATTRIBUTES, CmdShowAttributes},
    {IDC_MODE_STRING, CmdSelectEntryMode},
    {IDC_MODE_HEX, CmdSelectEntryMode},
    {IDC_MODE_FILE, CmdSelectEntryMode},
    {IDC_STRING_DATA, CmdUpdateStringData},
    {IDC_HEX_DATA, CmdUpdateHexData},
    {IDC_LOAD_FILE, CmdLoadDataFile},
    {IDC_TYPE_DIRECT, CmdSelectCommandType},
    {IDC_TYPE_STORAGE, CmdSelectCommandType},
    {IDC_CMD_GETUID, CmdSwitchStorageCommand},
    {IDC_CMD_LOADKEYS, CmdSwitchStorageCommand},
    {IDC_CMD_AUTH, CmdSwitchStorageCommand},
    {IDC_CMD_READ, CmdSwitchStorageCommand},
    {IDC_CMD_UPDATE, CmdSwitchStorageCommand},
    {IDC_TYPE_VENDOR, CmdSelectVendorIo},
    {IDC_VENDOR_MENU, CmdShowVendorMenu},
    {IDM_LED_OFF, CmdSelectVendorCommand},
    {IDM_LED_ON, CmdSelectVendorCommand},
    {IDM_LED_FLASH, CmdSelectVendorCommand},
    {IDM_RF_RESET, CmdSelectVendorCommand},
    {IDM_FIRMWARE_REV, CmdSelectVendorCommand},
    {IDC_TRANSMIT, CmdTransmit},
    {IDC_LOOP, CmdToggleLoop},
    {IDC_LOOP_COUNT, CmdUpdateLoopCount},
    {IDC_BREAK_ON_ERROR, CmdToggleBreakOnError},
    {IDC_INSIGHT, CmdToggleInsight},
    {IDM_INSIGHT, CmdToggleInsight},
    {IDC_SAVE_SAMPLES, CmdSaveSamples},
    {IDC_PAGE_LOOP, CmdShowPanelPage},
    {IDC_PAGE_CARD, CmdShowPanelPage},
    {IDM_CARD_PAGE, CmdShowPanelPage},
    {IDC_CLEAR_EVENTS, CmdClearCardEvents},
    {IDC_SAVE_LOG, CmdSaveLog},
    {IDM_SAVE_LOG, CmdSaveLog},
    {IDCANCEL, CmdStopLoop},
};

// The commands that answer while a loop runs: the worker alone uses the card
// and the request, so nothing may start or change a command meanwhile.
const int LOOP_COMMANDS[] = {IDC_TRANSMIT,     IDCANCEL,     IDC_CLEAR_LOG, IDC_INSIGHT,   IDM_INSIGHT,
                             IDHELP,           IDC_QUIT,     IDC_PAGE_LOOP, IDC_PAGE_CARD, IDM_CARD_PAGE,
                             IDC_CLEAR_EVENTS, IDC_SAVE_LOG, IDM_SAVE_LOG};

bool AnswersDuringLoop(int id)
{
    for (int loopCommand : LOOP_COMMANDS)
        if (loopCommand == id)
            return true;
    return false;
}

// A command is chosen by the low 16 bits of wParam alone, so every
// notification of a control runs its handler.
INT_PTR DispatchCommand(WPARAM wParam)
{
    int id = int(LOWORD(wParam));
    if (LoopRunning() && !AnswersDuringLoop(id))
        return FALSE;
    for (const CommandEntry& entry : COMMANDS)
        if (entry.id == id)
            return entry.handler(id);
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
    case WM_CLOSE:
    case WM_DESTROY:
        EndLoop();
        ReleaseHeldContext();
        EndDialog(hwnd, INT_PTR(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if (LOWORD(wParam) == IDM_INSIGHT || LOWORD(wParam) == IDM_SAVE_LOG)
            return DispatchCommand(wParam);
        if (LOWORD(wParam) == IDM_ABOUT)
            DialogBoxParam(IDD_ABOUT, mainWindow, AboutDialogProc, 0);
        DefWindowProc(hwnd, WM_SYSCOMMAND, wParam, lParam);
        return FALSE;
    case WM_CARD_EVENTS:
        return ShowCardEvents();
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMESUSPEND) {
            EndLoop();
            ReconnectAfterResume();
        }
        return TRUE;
    default:
        return FALSE;
    }
}
