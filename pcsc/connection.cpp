// The reader life cycle: context, reader list, connect, disconnect, release.
// The enabling of the six Resource Manager buttons is the only guard of the
// life cycle: no handler tests a handle before its call.
#include "pcsc/connection.h"

#include <cstdio>
#include <cstring>

#include <reader.h>

#include "output/counter.h"
#include "output/log.h"
#include "pcsc/pcsc_api.h"
#include "state/tester_state.h"
#include "ui/ids.h"

// pcscd negotiates only when RAW is not among the offered protocols; RAW is
// offered alone, and only to a card that takes neither T=0 nor T=1.
constexpr DWORD NEGOTIATED_PROTOCOLS = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
// Three characters per ATR byte and the terminator must fit selectedReader.
constexpr DWORD ATR_SHOWN_MAX = (SELECTED_READER_SIZE - 1) / 3;

Verdict EstablishContext()
{
    HWND hwnd = tester.hwndMain;
    ListResetContent(hwnd, IDC_READER_LIST);
    EnableDlgItem(hwnd, IDC_ESTABLISH, false);
    EnableDlgItem(hwnd, IDC_RELEASE, true);

    tester.counterStart = QueryPerformanceCounter();
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &tester.hContext);
    tester.counterEnd = QueryPerformanceCounter();
    ShowElapsed();

    if (status != SCARD_S_SUCCESS)
        return {"SCardEstablishContext: ERROR!", status};
    EnableDlgItem(hwnd, IDC_ESTABLISH, false);
    EnableDlgItem(hwnd, IDC_RELEASE, true);
    EnableDlgItem(hwnd, IDC_CONNECT, true);
    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_LIST_READERS, true);
    return {"SCardEstablishContext: SUCCESS!", status};
}

INT_PTR ListReaders()
{
    tester.readerNamesLen = BUFFER_SIZE;
    tester.counterStart = QueryPerformanceCounter();
    LONG status = pcsc.ListReaders(tester.hContext, nullptr, tester.readerNames, &tester.readerNamesLen);
    tester.counterEnd = QueryPerformanceCounter();
    ShowElapsed();

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
    HWND hwnd = tester.hwndMain;
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
    SetDlgItemText(tester.hwndMain, IDC_ATR, text);
}

INT_PTR ConnectCard()
{
    HWND hwnd = tester.hwndMain;
    int index = ListGetCurSel(hwnd, IDC_READER_LIST);
    if (index == -1) {
        LogAppend("Please select a (logical) reader device!");
        tester.counterStart = QueryPerformanceCounter();
        tester.counterEnd = QueryPerformanceCounter();
        ShowElapsed();
        ShowStatus(SCARD_S_SUCCESS);
        return TRUE;
    }
    // A name longer than the buffer is cut to fit; the connect then names no reader.
    ListGetText(hwnd, IDC_READER_LIST, index, tester.selectedReader, SELECTED_READER_SIZE);

    tester.counterStart = QueryPerformanceCounter();
    LONG status = pcsc.Connect(tester.hContext, tester.selectedReader, SCARD_SHARE_EXCLUSIVE, NEGOTIATED_PROTOCOLS,
                               &tester.hCard, &tester.activeProtocol);
    if (status == SCARD_E_PROTO_MISMATCH)
        status = pcsc.Connect(tester.hContext, tester.selectedReader, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW,
                              &tester.hCard, &tester.activeProtocol);
    tester.counterEnd = QueryPerformanceCounter();
    ShowElapsed();
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
    LONG status = pcsc.Reconnect(tester.hCard, SCARD_SHARE_EXCLUSIVE, NEGOTIATED_PROTOCOLS, initialization,
                                 &tester.activeProtocol);
    if (status == SCARD_E_PROTO_MISMATCH)
        pcsc.Reconnect(tester.hCard, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW, initialization, &tester.activeProtocol);
}

Verdict DisconnectCard()
{
    HWND hwnd = tester.hwndMain;
    SetDlgItemText(hwnd, IDC_CONNECTED_READER, "");
    SetDlgItemText(hwnd, IDC_ATR, "");

    tester.counterStart = QueryPerformanceCounter();
    LONG status = pcsc.Disconnect(tester.hCard, SCARD_UNPOWER_CARD);
    tester.hCard = 0;
    tester.counterEnd = QueryPerformanceCounter();
    ShowElapsed();

    if (status != SCARD_S_SUCCESS)
        return {"SCardDisconnect: ERROR!", status};
    EnableDlgItem(hwnd, IDC_CONNECT, true);
    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, false);
    return {"SCardDisconnect: SUCCESS!", status};
}

Verdict ReleaseContext()
{
    HWND hwnd = tester.hwndMain;
    SetDlgItemText(hwnd, IDC_CONNECTED_READER, "");
    SetDlgItemText(hwnd, IDC_ATR, "");
    ListResetContent(hwnd, IDC_READER_LIST);

    bool held = tester.hContext != 0;
    tester.counterStart = QueryPerformanceCounter();
    LONG status = pcsc.ReleaseContext(tester.hContext);
    tester.hContext = 0;
    tester.counterEnd = QueryPerformanceCounter();
    ShowElapsed();

    // A failure that leaves no context to release (none was held, or the
    // service lost it) must not keep Establish Context out of reach.
    bool contextGone =
        !held || status == SCARD_E_INVALID_HANDLE || status == SCARD_E_NO_SERVICE || status == SCARD_E_SERVICE_STOPPED;
    if (status != SCARD_S_SUCCESS && !contextGone)
        return {"SCardReleaseContext: ERROR!", status};
    EnableDlgItem(hwnd, IDC_CONNECT, false);
    EnableDlgItem(hwnd, IDC_DISCONNECT, false);
    EnableDlgItem(hwnd, IDC_LIST_READERS, false);
    EnableDlgItem(hwnd, IDC_ESTABLISH, true);
    EnableDlgItem(hwnd, IDC_RELEASE, false);
    EnableDlgItem(hwnd, IDC_ATTRIBUTES, false);
    return {status == SCARD_S_SUCCESS ? "SCardReleaseContext: SUCCESS!" : "SCardReleaseContext: ERROR!", status};
}
