// The main window's dialog procedure: set-up, dispatch of every command,
// closing, the system menu and the resume from suspend. A command is chosen
// by the low 16 bits of wParam alone, so every notification of a control
// runs its handler.
#include "app/dispatch.h"

#include <cstring>

#include "app/about.h"
#include "app/help.h"
#include "compose/data_entry.h"
#include "compose/storage.h"
#include "compose/vendor.h"
#include "output/counter.h"
#include "output/log.h"
#include "pcsc/attributes.h"
#include "pcsc/connection.h"
#include "pcsc/pcsc_api.h"
#include "state/tester_state.h"
#include "transmit/transmit.h"
#include "ui/ids.h"

static const char STRING_DEFAULT[] = "*** TESTDATA ***";
static const char HEX_DEFAULT[] = "00 02 00 00 10 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10";

static void SetCommandDefaults(CommandSettings* settings, const char* data, int32_t entryMode, uint8_t p1, uint8_t p2,
                               uint8_t p3, uint8_t length)
{
    memset(settings, 0, sizeof *settings);
    settings->dataLen = uint32_t(strlen(data));
    memcpy(settings->data, data, settings->dataLen);
    settings->entryMode = entryMode;
    settings->p1 = p1;
    settings->p2 = p2;
    settings->p3 = p3;
    settings->length = length;
}

// The start-up sequence; later steps run handlers that read the defaults of
// the earlier ones, so the order matters.
static INT_PTR InitMainDialog(HWND hwnd)
{
    SetDialogIcon(hwnd, IDI_MAIN);
    AppendMenuSeparator(GetSystemMenu(hwnd));
    AppendMenuItem(GetSystemMenu(hwnd), IDM_ABOUT, "Information");
    tester.hwndMain = hwnd;

    tester.loopEnabled = 0;
    tester.loopCount = 100;
    tester.breakOnError = 1;
    tester.entryMode = ENTRY_STRING;
    tester.commandType = COMMAND_DIRECT;
    tester.storageCommand = IDC_CMD_GETUID;

    tester.counterStart = QueryPerformanceCounter();
    tester.counterEnd = QueryPerformanceCounter();
    ShowElapsed();
    ShowStatus(SCARD_S_SUCCESS);

    CheckDlgButton(hwnd, IDC_BREAK_ON_ERROR, tester.breakOnError != 0);
    SetDlgItemInt(hwnd, IDC_LOOP_COUNT, unsigned(tester.loopCount));
    EnableDlgItem(hwnd, IDC_LOOP_COUNT, tester.loopEnabled != 0);
    EnableDlgItem(hwnd, IDC_BREAK_ON_ERROR, tester.loopEnabled != 0);

    SendCommand(hwnd, IDC_MODE_STRING);
    SendCommand(hwnd, IDC_CMD_GETUID);
    SendCommand(hwnd, IDC_TYPE_DIRECT);

    LimitDlgItemText(hwnd, IDC_STRING_DATA, 1024);
    LimitDlgItemText(hwnd, IDC_HEX_DATA, 1024);
    LimitDlgItemText(hwnd, IDC_P1, 3);
    LimitDlgItemText(hwnd, IDC_P2, 3);
    LimitDlgItemText(hwnd, IDC_P3, 4);
    LimitDlgItemText(hwnd, IDC_LENGTH, 3);

    SetDlgItemText(hwnd, IDC_STRING_DATA, STRING_DEFAULT);
    SetDlgItemText(hwnd, IDC_HEX_DATA, HEX_DEFAULT);
    ShowCommandFields(0, 0, 0, 0, nullptr, ENTRY_NONE);

    SetCommandDefaults(&tester.loadKeysSettings, HEX_DEFAULT, ENTRY_HEX, 0, 1, 0, 6);
    SetCommandDefaults(&tester.authSettings, "01", ENTRY_HEX, 0, 7, 0x60, 0);
    SetCommandDefaults(&tester.readSettings, "", ENTRY_NONE, 0, 6, 0, 16);
    SetCommandDefaults(&tester.updateSettings, STRING_DEFAULT, ENTRY_STRING, 0, 6, 0, 16);

    tester.hVendorMenu = CreatePopupMenu();
    AppendMenuItem(tester.hVendorMenu, IDM_LED_OFF, "Switch LED Off");
    AppendMenuItem(tester.hVendorMenu, IDM_LED_ON, "Switch LED On");
    AppendMenuItem(tester.hVendorMenu, IDM_LED_FLASH, "Flash LED");
    AppendMenuItem(tester.hVendorMenu, IDM_RF_RESET, "RF Reset");
    AppendMenuItem(tester.hVendorMenu, IDM_FIRMWARE_REV, "Get Firmware Revision");

    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_RELEASE, false);
    EnableDlgItem(hwnd, IDC_CONNECT, false);
    EnableDlgItem(hwnd, IDC_LIST_READERS, false);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, false);
    // TRUE: the focus goes to the first control that takes it, Establish Context.
    return TRUE;
}

// Releasing clears hContext, so a context is released once however many
// closing messages arrive.
static void ReleaseHeldContext()
{
    if (tester.hContext != 0) {
        pcsc.ReleaseContext(tester.hContext);
        tester.hContext = 0;
    }
}

// Establish Context, Disconnect and Release Context end here: the verdict line
// goes to the log, then the status to Win Status.
static INT_PTR ReportVerdict(Verdict verdict)
{
    LogAppend(verdict.line);
    ShowStatus(verdict.status);
    return TRUE;
}

static INT_PTR DispatchCommand(HWND hwnd, WPARAM wParam)
{
    unsigned id = LOWORD(wParam);
    switch (id) {
    case IDHELP:
        return OpenHelp();
    case IDC_QUIT:
        ReleaseHeldContext();
        EndDialog(hwnd, INT_PTR(wParam));
        return TRUE;
    case IDC_ESTABLISH:
        return ReportVerdict(EstablishContext());
    case IDC_LIST_READERS:
        return ListReaders();
    case IDC_CONNECT:
        return ConnectCard();
    case IDC_DISCONNECT:
        return ReportVerdict(DisconnectCard());
    case IDC_RELEASE:
        return ReportVerdict(ReleaseContext());
    case IDC_CLEAR_LOG:
        return ClearLog();
    case IDC_ATTRIBUTES:
        return ShowAttributes();
    case IDC_VENDOR_MENU:
        return ShowVendorMenu();
    case IDC_STRING_DATA:
        return UpdateStringData();
    case IDC_LOOP:
        return ToggleLoop();
    case IDC_LOOP_COUNT:
        return UpdateLoopCount();
    case IDC_CMD_READ:
    case IDC_CMD_UPDATE:
    case IDC_CMD_AUTH:
    case IDC_CMD_LOADKEYS:
    case IDC_CMD_GETUID:
        return SwitchStorageCommand(int(id));
    case IDC_TRANSMIT:
        return TransmitCommand();
    case IDC_MODE_HEX:
    case IDC_MODE_STRING:
    case IDC_MODE_FILE:
        return SelectEntryMode(int(id));
    case IDC_TYPE_DIRECT:
    case IDC_TYPE_STORAGE:
        return SelectCommandType(int(id));
    case IDC_LOAD_FILE:
        return LoadDataFile();
    case IDC_HEX_DATA:
        return UpdateHexData();
    case IDC_BREAK_ON_ERROR:
        return ToggleBreakOnError();
    case IDC_TYPE_VENDOR:
        return SelectVendorIo();
    case IDM_LED_OFF:
    case IDM_LED_ON:
    case IDM_LED_FLASH:
    case IDM_RF_RESET:
    case IDM_FIRMWARE_REV:
        return SelectVendorCommand(int(id));
    default:
        return FALSE;
    }
}

INT_PTR MainDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Every handler sees a loop count of at least 1.
    if (tester.loopCount < 1)
        tester.loopCount = 1;

    switch (message) {
    case WM_INITDIALOG:
        return InitMainDialog(hwnd);
    case WM_COMMAND:
        return DispatchCommand(hwnd, wParam);
    case WM_CLOSE:
    case WM_DESTROY:
        ReleaseHeldContext();
        EndDialog(hwnd, INT_PTR(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if (LOWORD(wParam) == IDM_ABOUT)
            DialogBoxParam(IDD_ABOUT, tester.hwndMain, AboutDialogProc, 0);
        DefWindowProc(hwnd, WM_SYSCOMMAND, wParam, lParam);
        return FALSE;
    case WM_POWERBROADCAST:
        // The card lost its session in the suspend: reconnect with a reset,
        // whatever handle is held.
        if (wParam == PBT_APMRESUMESUSPEND)
            ReconnectCard(SCARD_RESET_CARD);
        return TRUE;
    default:
        return FALSE;
    }
}
