// The Resource Manager group: context, reader list, connect, disconnect,
// release, the attribute report, and the reconnect after a resume. The
// enabling of the six buttons is the only guard of the life cycle: no handler
// tests a handle before its call.
#include "window/commands.h"

#include <algorithm>
#include <cstdint>

#include "core/clock/timing.h"
#include "core/output/report.h"
#include "core/pcsc/atr.h"
#include "core/pcsc/attributes.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/pcsc_api.h"
#include "ui/ids.h"
#include "window/card_page.h"
#include "window/tester_state.h"
#include "window/window_output.h"

// The ATR field shows at most this many bytes, "%02X " each.
constexpr DWORD ATR_SHOWN_MAX = 166;

namespace {

struct ButtonState {
    int id;
    bool enabled;
};

// The Resource Manager buttons each step sets, in the order it sets them.
const ButtonState ESTABLISHING[] = {{IDC_ESTABLISH, false}, {IDC_RELEASE, true}};
const ButtonState CONTEXT_OPEN[] = {
    {IDC_ESTABLISH, false}, {IDC_RELEASE, true}, {IDC_CONNECT, true}, {IDC_DISCONNECT, false}, {IDC_LIST_READERS, true},
};
// The Reader Control page's card calls go with Attributes.
const ButtonState CARD_CONNECTED[] = {{IDC_CONNECT, false},   {IDC_DISCONNECT, true},    {IDC_ATTRIBUTES, true},
                                      {IDC_WARM_RESET, true}, {IDC_COLD_RESET, true},    {IDC_SEND_CONTROL, true},
                                      {IDC_FEATURES, true},   {IDC_READ_ATTRIBUTE, true}};
const ButtonState CARD_DISCONNECTED[] = {{IDC_CONNECT, true},     {IDC_DISCONNECT, false},    {IDC_ATTRIBUTES, false},
                                         {IDC_WARM_RESET, false}, {IDC_COLD_RESET, false},    {IDC_SEND_CONTROL, false},
                                         {IDC_FEATURES, false},   {IDC_READ_ATTRIBUTE, false}};
const ButtonState NO_CONTEXT[] = {
    {IDC_CONNECT, false},      {IDC_DISCONNECT, false}, {IDC_LIST_READERS, false},   {IDC_ESTABLISH, true},
    {IDC_RELEASE, false},      {IDC_ATTRIBUTES, false}, {IDC_WARM_RESET, false},     {IDC_COLD_RESET, false},
    {IDC_SEND_CONTROL, false}, {IDC_FEATURES, false},   {IDC_READ_ATTRIBUTE, false},
};

template<size_t N> void SetButtons(const ButtonState (&states)[N])
{
    for (const ButtonState& state : states)
        EnableDlgItem(tester.mainWindow, state.id, state.enabled);
}

// Establish Context, Disconnect and Release Context end here: the buttons
// move on to `next` when the step `tookPlace`, the verdict line goes to the
// log, then the status to Win Status.
template<size_t N>
INT_PTR ReportVerdict(LONG status, bool tookPlace, const ButtonState (&next)[N], const char* success, const char* error)
{
    if (tookPlace)
        SetButtons(next);
    LogAppend(status == SCARD_S_SUCCESS ? success : error);
    ShowStatus(status);
    return TRUE;
}

// Disconnect and Release: the connected reader and its card's ATR go, in the
// fields and the panel.
void ForgetConnectedCard()
{
    SetDlgItemText(tester.mainWindow, IDC_CONNECTED_READER, "");
    SetDlgItemText(tester.mainWindow, IDC_ATR, "");
    UnmarkConnectedReader();
    ShowCardAtr(nullptr, 0);
}

}  // namespace

INT_PTR EstablishContext([[maybe_unused]] int id)
{
    ListResetContent(tester.mainWindow, IDC_READER_LIST);
    SetButtons(ESTABLISHING);

    Span span;
    LONG status =
        TimedCall(&span, [] { return pcsc.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &tester.hContext); });
    ShowElapsed(span);
    if (status == SCARD_S_SUCCESS)
        StartCardWatch();

    return ReportVerdict(status, status == SCARD_S_SUCCESS, CONTEXT_OPEN, "SCardEstablishContext: SUCCESS!",
                         "SCardEstablishContext: ERROR!");
}

// Replaces the reader list's content with the names of the multi-string
// and selects the first.
static void FillReaderList(const char* names, size_t size)
{
    HWND hwnd = tester.mainWindow;
    ListResetContent(hwnd, IDC_READER_LIST);
    size_t offset = 0;
    while (const char* name = NextReaderName(names, size, &offset))
        ListAddString(hwnd, IDC_READER_LIST, name);
    ListSetCurSel(hwnd, IDC_READER_LIST, 0);
}

INT_PTR ListReaders([[maybe_unused]] int id)
{
    char names[BUFFER_SIZE] = {};
    DWORD length = sizeof names;
    Span span;
    LONG status = TimedCall(&span, [&] { return pcsc.ListReaders(tester.hContext, nullptr, names, &length); });
    ShowElapsed(span);

    if (status == SCARD_S_SUCCESS) {
        FillReaderList(names, sizeof names);
        LogAppend("SCardListReaders: SUCCESS!");
    } else {
        LogAppend("SCardListReaders: ERROR!");
    }
    ShowStatus(status);
    return TRUE;
}

// The ATR in hex, each byte followed by a blank; only the bytes of a
// successful read count.
void ShowConnectedAtr()
{
    BYTE atr[MAX_BUFFER_SIZE];
    DWORD length;
    ReadAtr(tester.hCard, atr, sizeof atr, &length);
    ShowCardAtr(atr, length);
    char text[3 * ATR_SHOWN_MAX + 1];
    size_t used = FormatHexBytes(text, sizeof text - 1, atr, std::min<DWORD>(length, ATR_SHOWN_MAX));
    if (used > 0) {
        text[used] = ' ';
        text[used + 1] = '\0';
    }
    SetDlgItemText(tester.mainWindow, IDC_ATR, text);
}

INT_PTR ConnectSelectedReader([[maybe_unused]] int id)
{
    HWND hwnd = tester.mainWindow;
    int index = ListGetCurSel(hwnd, IDC_READER_LIST);
    if (index == -1) {
        LogAppend("Please select a (logical) reader device!");
        ShowEmptyMeasurement();
        return TRUE;
    }
    // A name longer than the buffer is cut to fit; the connect then names no reader.
    char reader[SELECTED_READER_SIZE];
    ListGetText(hwnd, IDC_READER_LIST, index, reader, sizeof reader);

    Span span;
    LONG status = TimedCall(&span, [&] {
        return ConnectCard(tester.hContext, reader, tester.connectOptions, &tester.hCard, &tester.activeProtocol);
    });
    ShowElapsed(span);
    ShowStatus(status);

    if (status != SCARD_S_SUCCESS) {
        LogAppend("SCardConnect: ERROR.");
        return TRUE;
    }
    SetDlgItemText(hwnd, IDC_CONNECTED_READER, reader);
    UnmarkConnectedReader();
    SetButtons(CARD_CONNECTED);
    ShowConnectedAtr();

    ReportConnected(windowLog, "SCardConnect", tester.activeProtocol);
    return TRUE;
}

INT_PTR DisconnectCard([[maybe_unused]] int id)
{
    ForgetConnectedCard();

    Span span;
    LONG status = TimedCall(&span, [] { return pcsc.Disconnect(tester.hCard, tester.disconnectDisposition); });
    tester.hCard = 0;
    ShowElapsed(span);

    return ReportVerdict(status, status == SCARD_S_SUCCESS, CARD_DISCONNECTED, "SCardDisconnect: SUCCESS!",
                         "SCardDisconnect: ERROR!");
}

INT_PTR ReleaseContext([[maybe_unused]] int id)
{
    HWND hwnd = tester.mainWindow;
    ForgetConnectedCard();
    ListResetContent(hwnd, IDC_READER_LIST);
    // Stopped first: the watcher goes with the context even when the release fails.
    StopCardWatch();

    SCARDCONTEXT context = tester.hContext;
    Span span;
    LONG status = TimedCall(&span, [&] { return pcsc.ReleaseContext(context); });
    tester.hContext = 0;
    ShowElapsed(span);

    // A failure that leaves no context to release must not keep Establish
    // Context out of reach.
    return ReportVerdict(status, ReleaseLeftNoContext(context, status), NO_CONTEXT, "SCardReleaseContext: SUCCESS!",
                         "SCardReleaseContext: ERROR!");
}

// Reads one attribute of the connected card and logs it in its format.
static void ShowAttribute(const AttributeRow& row)
{
    char line[ATTRIBUTE_LINE_SIZE];
    ReadAttributeLine(line, sizeof line, tester.hCard, row);
    LogAppend(line);
}

INT_PTR ShowAttributes([[maybe_unused]] int id)
{
    for (const AttributeRow& row : ATTRIBUTES)
        ShowAttribute(row);
    // Reported as not handled; the default handling of a button does nothing.
    return FALSE;
}

void ReconnectAfterResume()
{
    // The card lost its session in the suspend: reconnect with a reset,
    // whatever handle is held; the outcome is not reported.
    ReconnectCard(tester.hCard, tester.connectOptions, SCARD_RESET_CARD, &tester.activeProtocol);
}

void TakeBackCard(SCARDHANDLE card, DWORD protocol)
{
    bool held = tester.hCard != 0;
    tester.hCard = card;
    tester.activeProtocol = protocol;
    // A power cycle may have brought the card back with another ATR.
    if (card != 0) {
        ShowConnectedAtr();
        return;
    }
    if (!held)
        return;
    ForgetConnectedCard();
    SetButtons(CARD_DISCONNECTED);
    LogAppend("The card did not come back from a power cycle: it is no longer connected.");
}
