// Vendor requests to the reader driver: the Vendor Specific I/O command type,
// the popup of vendor commands, the four fields and the one SCardControl
// exchange of the 276-byte request and reply records.
#include "window/commands.h"
#include "window/compose_commands.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/clock/timing.h"
#include "core/compose/vendor.h"
#include "core/output/report.h"
#include "ui/ids.h"
#include "window/tester_state.h"
#include "window/window_output.h"

namespace {

struct VendorMenuItem {
    int id;
    VendorCommandCode code;
};

// The popup, top to bottom; every code is one of the core's commands.
constexpr VendorMenuItem VENDOR_MENU[] = {
    {IDM_LED_OFF, VENDOR_LED_OFF},
    {IDM_LED_ON, VENDOR_LED_ON},
    {IDM_LED_FLASH, VENDOR_FLASH_LED},
    {IDM_RF_RESET, VENDOR_RF_RESET},
    {IDM_FIRMWARE_REV, VENDOR_FIRMWARE_REVISION},
};
constexpr int VENDOR_CONTROLS[] = {IDC_VENDOR_MENU, IDC_VENDOR_CMD_NAME, IDC_VENDOR_P1,
                                   IDC_VENDOR_P2,   IDC_VENDOR_LC,       IDC_VENDOR_LE};

void ShowVendorFields()
{
    SetDlgItemInt(tester.mainWindow, IDC_VENDOR_P1, tester.vendorIn.pa);
    SetDlgItemInt(tester.mainWindow, IDC_VENDOR_P2, tester.vendorIn.pb);
    SetDlgItemInt(tester.mainWindow, IDC_VENDOR_LC, tester.vendorIn.pc);
    SetDlgItemInt(tester.mainWindow, IDC_VENDOR_LE, tester.vendorIn.le);
}

}  // namespace

INT_PTR SelectVendorIo([[maybe_unused]] int id)
{
    CheckDlgButton(tester.mainWindow, IDC_TYPE_DIRECT, false);
    CheckDlgButton(tester.mainWindow, IDC_TYPE_STORAGE, false);
    CheckDlgButton(tester.mainWindow, IDC_TYPE_VENDOR, true);
    CheckDlgButton(tester.mainWindow, IDC_LOOP, false);
    EnableComposerFields(false);
    EnableVendorControls(true);
    // A vendor request is always sent once.
    EnableDlgItem(tester.mainWindow, IDC_LOOP, false);
    EnableDlgItem(tester.mainWindow, IDC_LOOP_COUNT, false);
    tester.loopEnabled = 0;
    tester.commandType = COMMAND_VENDOR;
    return TRUE;
}

INT_PTR ShowVendorMenu([[maybe_unused]] int id)
{
    RECT button;
    GetDlgItemScreenRect(tester.mainWindow, IDC_VENDOR_MENU, &button);
    // Every choice starts from a zeroed request.
    memset(&tester.vendorIn, 0, sizeof tester.vendorIn);
    ShowVendorFields();
    TrackPopupMenuUpward(tester.vendorMenu, tester.mainWindow, button.left, button.top);
    return TRUE;
}

INT_PTR SelectVendorCommand(int id)
{
    for (const VendorMenuItem& item : VENDOR_MENU) {
        if (item.id != id)
            continue;
        const VendorCommand& command = *FindVendorCommand(item.code);
        if (ApplyVendorCommand(command, &tester.vendorIn))
            ShowVendorFields();
        SetDlgItemText(tester.mainWindow, IDC_VENDOR_CMD_NAME, command.name);
        break;
    }
    return TRUE;
}

void EnableVendorControls(bool enable)
{
    for (int control : VENDOR_CONTROLS)
        EnableDlgItem(tester.mainWindow, control, enable);
}

void UpdateVendorLength(uint32_t count)
{
    tester.vendorIn.le = VendorLength(count);
    ShowVendorFields();
}

HMENU CreateVendorMenu()
{
    HMENU menu = CreatePopupMenu();
    for (const VendorMenuItem& item : VENDOR_MENU)
        AppendMenuItem(menu, item.id, FindVendorCommand(item.code)->name);
    return menu;
}

void ExecuteVendorIo()
{
    uint32_t pa = GetDlgItemInt(tester.mainWindow, IDC_VENDOR_P1);
    uint32_t pb = GetDlgItemInt(tester.mainWindow, IDC_VENDOR_P2);
    uint32_t pc = GetDlgItemInt(tester.mainWindow, IDC_VENDOR_LC);
    uint8_t le = uint8_t(GetDlgItemInt(tester.mainWindow, IDC_VENDOR_LE));
    FillVendorRequest(&tester.vendorIn, pa, pb, pc, le, tester.sendBuffer, BUFFER_SIZE);
    ReportControlInput(windowLog, tester.vendorIn);

    // The escape's code comes from the reader's feature list, asked before
    // the timed exchange; without one nothing is sent.
    DWORD code;
    bool missing;
    LONG status = ResolveVendorCode(tester.hCard, tester.vendorTarget, &code, &missing);
    if (status != SCARD_S_SUCCESS) {
        if (missing)
            ReportEscapeCode(windowLog, false, 0);
        ShowStatus(status);
        ReportControlOutput(windowLog, status, tester.vendorOut, 0);
        return;
    }
    Span span;
    status = TimedCall(&span, [code] {
        return ExchangeVendorRecords(tester.hCard, code, &tester.vendorIn, &tester.vendorOut,
                                     &tester.vendorBytesReturned);
    });
    ShowElapsed(span);
    ShowStatus(status);

    // A count that does not fit the size argument is not a whole record either.
    int32_t size = int32_t(std::min<DWORD>(tester.vendorBytesReturned, INT32_MAX));
    ReportControlOutput(windowLog, status, tester.vendorOut, size);
}
