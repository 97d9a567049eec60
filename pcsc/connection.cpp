// The reader life cycle: context, reader list, connect, disconnect, release.
// The enabling of the six Resource Manager buttons is the only guard of the
// life cycle: no handler tests a handle before its call.
#include "pcsc/connection.h"

#include "app/commands.h"

#include <cstdio>
#include <cstring>

#include <reader.h>

#include "app/main_window.h"
#include "app/window_output.h"
#include "output/timing.h"
#include "pcsc/pcsc_api.h"
#include "state/tester_state.h"
#include "ui/ids.h"

// Three characters per ATR byte and the terminator must fit selectedReader.
constexpr DWORD ATR_SHOWN_MAX = (SELECTED_READER_SIZE - 1) / 3;

// Establish Context, Disconnect and Release Context end here: the verdict line
// goes to the log, then the status to Win Status.
static INT_PTR ReportVerdict(const char* line, LONG status)
{
    LogAppend(line);
    ShowStatus(status);
    return TRUE;
}

INT_PTR CmdEstablishContext([[maybe_unused]] int id)
{
    HWND hwnd = mainWindow;
    ListResetContent(hwnd, IDC_READER_LIST);
    EnableDlgItem(hwnd, IDC_ESTABLISH, false);
    EnableDlgItem(hwnd, IDC_RELEASE, true);

    Span span;
    LONG status =
        TimedCall(&span, [] { return pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &tester.hContext); });
    ShowElapsed(span);

    if (status != SCARD_S_SUCCESS)
        return ReportVerdict("SCardEstablishContext: ERROR!", status);
    EnableDlgItem(hwnd, IDC_ESTABLISH, false);
    EnableDlgItem(hwnd, IDC_RELEASE, true);
    EnableDlgItem(hwnd, IDC_CONNECT, true);
    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_LIST_READERS, true);
    return ReportVerdict("SCardEstablishContext: SUCCESS!", status);
}

INT_PTR CmdListReaders([[maybe_unused]] int id)
{
    tester.readerNamesLen = BUFFER_SIZE;
    Span span;
    LONG status = TimedCall(
        &span, [] { return pcsc.ListReaders(tester.hContext, nullptr, tester.readerNames, &tester.readerNamesLen); });
    ShowElapsed(span);

    if (status == SCARD_S_SUCCESS) {
        FillReaderList(tester.readerNames);
        LogAppend("SCardListReaders: SUCCESS!");
    } else {
        LogAppend("SCardListReaders: ERROR!");
    }
    ShowStatus(status);
    return TRUE;
}

// The multi-string lies in a buffer of BUFFER_SIZE bytes; the walk stays in it
// even when the closing empty name is missing.
void FillReaderList(const char* readerNames)
{
    HWND hwnd = mainWindow;
    ListResetContent(hwnd, IDC_READER_LIST);
    size_t offset = 0;
    while (offset < BUFFER_SIZE && readerNames[offset] != '\0') {
        size_t length = strnlen(readerNames + offset, BUFFER_SIZE - offset);
        if (offset + length == BUFFER_SIZE)
            break;
        ListAddString(hwnd, IDC_READER_LIST, readerNames + offset);
        offset += length + 1;
    }
    ListSetCurSel(hwnd, IDC_READER_LIST, 0);
}

// The ATR into recvBuffer: the attribute first, else what pcscd holds for
// the card, which it keeps even when the driver does not give the attribute.
static LONG ReadAtr()
{
    // pcsc-lite refuses an attribute buffer larger than MAX_BUFFER_SIZE, so
    // the read is offered that much of recvBuffer.
    tester.recvLen = MAX_BUFFER_SIZE;
    LONG status = pcsc.GetAttrib(tester.hCard, SCARD_ATTR_ATR_STRING, tester.recvBuffer, &tester.recvLen);
    if (status == SCARD_S_SUCCESS)
        return status;
    DWORD state, protocol;
    tester.recvLen = MAX_BUFFER_SIZE;
    return pcsc.Status(tester.hCard, nullptr, nullptr, &state, &protocol, tester.recvBuffer, &tester.recvLen);
}

// The ATR as "%02X " per byte, formed in selectedReader. Only the bytes of a
// successful read count, and no more than the buffer can show.
static void ShowAtr(LONG readStatus)
{
    DWORD count = readStatus == SCARD_S_SUCCESS ? tester.recvLen : 0;
    if (count > ATR_SHOWN_MAX)
        count = ATR_SHOWN_MAX;
    char* text = tester.selectedReader;
    text[0] = '\0';
    for (DWORD i = 0; i < count; i++)
        snprintf(text + 3 * i, 4, "%02X ", tester.recvBuffer[i]);
    SetDlgItemText(mainWindow, IDC_ATR, text);
}

INT_PTR CmdConnectCard([[maybe_unused]] int id)
{
    HWND hwnd = mainWindow;
    int index = ListGetCurSel(hwnd, IDC_READER_LIST);
    if (index == -1) {
        LogAppend("Please select a (logical) reader device!");
        ShowEmptyMeasurement();
        return TRUE;
    }
    // A name longer than the buffer is cut to fit; the connect then names no reader.
    ListGetText(hwnd, IDC_READER_LIST, index, tester.selectedReader, SELECTED_READER_SIZE);

    Span span;
    LONG status = TimedCall(&span, [] {
        LONG offered = pcsc.Connect(tester.hContext, tester.selectedReader, SCARD_SHARE_EXCLUSIVE, OFFERED_PROTOCOLS,
                                    &tester.hCard, &tester.activeProtocol);
        if (offered != SCARD_E_PROTO_MISMATCH)
            return offered;
        return pcsc.Connect(tester.hContext, tester.selectedReader, SCARD_SHARE_EXCLUSIVE, FALLBACK_PROTOCOL,
                            &tester.hCard, &tester.activeProtocol);
    });
    ShowElapsed(span);
    ShowStatus(status);

    if (status != SCARD_S_SUCCESS) {
        LogAppend("SCardConnect: ERROR.");
        return TRUE;
    }
    SetDlgItemText(hwnd, IDC_CONNECTED_READER, tester.selectedReader);
    EnableDlgItem(hwnd, IDC_CONNECT, false);
    EnableDlgItem(hwnd, IDC_DISCONNECT, true);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, true);
    ShowAtr(ReadAtr());

    snprintf(tester.lineScratch, sizeof tester.lineScratch, "SCardConnect: OK, protocol = 0x%08X.",
             unsigned(uint32_t(tester.activeProtocol)));
    LogAppend(tester.lineScratch);
    return TRUE;
}

void ReconnectCard(DWORD initialization)
{
    LONG status =
        pcsc.Reconnect(tester.hCard, SCARD_SHARE_EXCLUSIVE, OFFERED_PROTOCOLS, initialization, &tester.activeProtocol);
    if (status == SCARD_E_PROTO_MISMATCH)
        pcsc.Reconnect(tester.hCard, SCARD_SHARE_EXCLUSIVE, FALLBACK_PROTOCOL, initialization, &tester.activeProtocol);
}

INT_PTR CmdDisconnectCard([[maybe_unused]] int id)
{
    HWND hwnd = mainWindow;
    SetDlgItemText(hwnd, IDC_CONNECTED_READER, "");
    SetDlgItemText(hwnd, IDC_ATR, "");

    Span span;
    LONG status = TimedCall(&span, [] { return pcsc.Disconnect(tester.hCard, SCARD_UNPOWER_CARD); });
    tester.hCard = 0;
    ShowElapsed(span);

    if (status != SCARD_S_SUCCESS)
        return ReportVerdict("SCardDisconnect: ERROR!", status);
    EnableDlgItem(hwnd, IDC_CONNECT, true);
    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, false);
    return ReportVerdict("SCardDisconnect: SUCCESS!", status);
}

INT_PTR CmdReleaseContext([[maybe_unused]] int id)
{
    HWND hwnd = mainWindow;
    SetDlgItemText(hwnd, IDC_CONNECTED_READER, "");
    SetDlgItemText(hwnd, IDC_ATR, "");
    ListResetContent(hwnd, IDC_READER_LIST);

    bool held = tester.hContext != 0;
    Span span;
    LONG status = TimedCall(&span, [] { return pcsc.ReleaseContext(tester.hContext); });
    tester.hContext = 0;
    ShowElapsed(span);

    // A failure that leaves no context to release (none was held, or the
    // service lost it) must not keep Establish Context out of reach.
    bool contextGone =
        !held || status == SCARD_E_INVALID_HANDLE || status == SCARD_E_NO_SERVICE || status == SCARD_E_SERVICE_STOPPED;
    if (status != SCARD_S_SUCCESS && !contextGone)
        return ReportVerdict("SCardReleaseContext: ERROR!", status);
    EnableDlgItem(hwnd, IDC_CONNECT, false);
    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_LIST_READERS, false);
    EnableDlgItem(hwnd, IDC_ESTABLISH, true);
    EnableDlgItem(hwnd, IDC_RELEASE, false);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, false);
    return ReportVerdict(status == SCARD_S_SUCCESS ? "SCardReleaseContext: SUCCESS!" : "SCardReleaseContext: ERROR!",
                         status);
}
