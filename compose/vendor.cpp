// Vendor requests to the reader driver: the Vendor Specific I/O command type,
// the popup of vendor commands, and the one SCardControl exchange of the
// 276-byte request and reply records.
#include "compose/vendor.h"

#include "app/commands.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include <reader.h>

#include "app/main_window.h"
#include "app/window_output.h"
#include "compose/storage.h"
#include "output/dump.h"
#include "output/timing.h"
#include "pcsc/pcsc_api.h"
#include "state/tester_state.h"
#include "ui/ids.h"

namespace {

struct VendorCommand {
    int id;
    const char* name;
    uint8_t cmd;
    uint32_t pa;
    uint32_t pb;
    uint8_t le;
    bool rewritesFields;
};

const VendorCommand vendorCommands[] = {
    {IDM_LED_OFF, "Switch LED Off", 0, 0, 0, 0, false},
    {IDM_LED_ON, "Switch LED On", 1, 0, 0, 0, false},
    {IDM_LED_FLASH, "Flash LED", 2, 3, 100, 0, true},
    {IDM_RF_RESET, "RF Reset", 7, 200, 0, 0, true},
    {IDM_FIRMWARE_REV, "Get Firmware Revision", 8, 0, 0, 255, true},
};

const int vendorControls[] = {IDC_VENDOR_MENU, IDC_VENDOR_CMD_NAME, IDC_VENDOR_P1,
                              IDC_VENDOR_P2,   IDC_VENDOR_LC,       IDC_VENDOR_LE};

void ShowVendorFields()
{
    SetDlgItemInt(mainWindow, IDC_VENDOR_P1, tester.vendorIn.pa);
    SetDlgItemInt(mainWindow, IDC_VENDOR_P2, tester.vendorIn.pb);
    SetDlgItemInt(mainWindow, IDC_VENDOR_LC, tester.vendorIn.pc);
    SetDlgItemInt(mainWindow, IDC_VENDOR_LE, tester.vendorIn.le);
}

}  // namespace

INT_PTR CmdSelectVendorIo([[maybe_unused]] int id)
{
    HWND window = mainWindow;
    CheckDlgButton(window, IDC_TYPE_DIRECT, false);
    CheckDlgButton(window, IDC_TYPE_STORAGE, false);
    CheckDlgButton(window, IDC_TYPE_VENDOR, true);
    CheckDlgButton(window, IDC_LOOP, false);
    EnableComposerFields(false);
    for (int id : vendorControls)
        EnableDlgItem(window, id, true);
    // A vendor request is always sent once.
    EnableDlgItem(window, IDC_LOOP, false);
    EnableDlgItem(window, IDC_LOOP_COUNT, false);
    tester.loopEnabled = 0;
    tester.commandType = COMMAND_VENDOR;
    return TRUE;
}

INT_PTR CmdShowVendorMenu([[maybe_unused]] int id)
{
    RECT button;
    GetDlgItemScreenRect(mainWindow, IDC_VENDOR_MENU, &button);
    // Every choice starts from a zeroed request.
    memset(&tester.vendorIn, 0, sizeof tester.vendorIn);
    ShowVendorFields();
    TrackPopupMenuUpward(vendorMenu, mainWindow, button.left, button.top);
    return TRUE;
}

INT_PTR CmdSelectVendorCommand(int id)
{
    for (const VendorCommand& command : vendorCommands) {
        if (command.id != id)
            continue;
        tester.vendorIn.cmd = command.cmd;
        if (command.pa)
            tester.vendorIn.pa = command.pa;
        if (command.pb)
            tester.vendorIn.pb = command.pb;
        if (command.le)
            tester.vendorIn.le = command.le;
        if (command.rewritesFields)
            ShowVendorFields();
        SetDlgItemText(mainWindow, IDC_VENDOR_CMD_NAME, command.name);
        break;
    }
    return TRUE;
}

void ExecuteVendorIo()
{
    HWND window = mainWindow;
    tester.vendorIn.pa = GetDlgItemInt(window, IDC_VENDOR_P1);
    tester.vendorIn.pb = GetDlgItemInt(window, IDC_VENDOR_P2);
    tester.vendorIn.pc = GetDlgItemInt(window, IDC_VENDOR_LC);
    tester.vendorIn.le = uint8_t(GetDlgItemInt(window, IDC_VENDOR_LE));
    // The last data byte is never filled; it stays 0.
    memcpy(tester.vendorIn.data, tester.sendBuffer, VENDOR_DATA_SIZE - 1);
    LogVendorRecord("SCardControl: Input:", &tester.vendorIn, VENDOR_RECORD_SIZE);

    Span span;
    LONG status = TimedCall(&span, [] {
        return pcsc.Control(tester.hCard, VENDOR_CONTROL_CODE, &tester.vendorIn, VENDOR_RECORD_SIZE, &tester.vendorOut,
                            VENDOR_RECORD_SIZE, &tester.vendorBytesReturned);
    });
    ShowElapsed(span);
    ShowStatus(status);

    if (status != SCARD_S_SUCCESS) {
        LogAppend("SCardControl: Failure!");
        return;
    }
    // A count that does not fit the size argument is not a whole record either.
    int32_t size = int32_t(std::min<DWORD>(tester.vendorBytesReturned, INT32_MAX));
    LogVendorRecord("SCardControl: Output:", &tester.vendorOut, size);
}
