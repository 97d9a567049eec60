// The insight panel's Card and Reader page, over its record
// (tester.cardPage). The watcher's callback runs on its own thread and only
// posts a message; everything shown is read from the watcher's ring on the
// window's thread.
#include "window/card_page.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/clock/counter.h"
#include "core/output/report.h"
#include "core/pcsc/atr.h"
#include "core/pcsc/card_watcher.h"
#include "core/pcsc/status_text.h"
#include "core/pcsc/status_word.h"
#include "ui/ids.h"
#include "window/commands.h"
#include "window/tester_state.h"

namespace {

constexpr const char* CARD_GONE_TIP = "The card has left this reader.";
constexpr const char* TAP_MEASURE_TIP =
    "Changes not seen: changes of a reader that pcscd's event counter counted but the watcher did not see. "
    "Arrival to ATR: from the card's arrival to its ATR; pcscd reports both in one change, so with pcscd "
    "it reads 0.0 ms.";

void OnCardEvent(void* dialog, [[maybe_unused]] const CardEvent& event)
{
    PostDialogMessage(static_cast<HWND>(dialog), WM_CARD_EVENTS, 0, 0);
}

void ShowLastResult()
{
    const CardPage& page = tester.cardPage;
    char text[sizeof page.lastCallLine + sizeof page.lastResponseLine + 2];
    snprintf(text, sizeof text, "%s\r\n%s", page.lastCallLine, page.lastResponseLine);
    SetDlgItemText(tester.mainWindow, IDC_LAST_RESULT, text);
}

// The local time of the event, from how long ago the counter saw it.
void FormatEventTime(int64_t ticks, char* out, size_t cap)
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t agoMs = int64_t(TicksToMs(QueryPerformanceCounter() - ticks, tester.ticksPerMs));
    int64_t ms = int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000 - agoMs;
    time_t seconds = time_t(ms / 1000);
    tm local {};
    localtime_r(&seconds, &local);
    snprintf(out, cap, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec, int(ms % 1000));
}

// The event's line goes into the event list.
void ListEvent([[maybe_unused]] void* context, const char* line)
{
    ListAddString(tester.mainWindow, IDC_CARD_EVENTS, line);
}

void MarkIfConnectedCardLeft(const CardEvent& event)
{
    if (event.kind != CARD_EVENT_CARD_REMOVED && event.kind != CARD_EVENT_READER_REMOVED
        && event.kind != CARD_EVENT_READER_UNAVAILABLE)
        return;
    char connected[MAX_READERNAME];
    if (GetDlgItemText(tester.mainWindow, IDC_CONNECTED_READER, connected, sizeof connected) == 0
        || strcmp(connected, event.reader) != 0)
        return;
    MarkDlgItem(tester.mainWindow, IDC_CONNECTED_READER, true);
    SetDlgItemTip(tester.mainWindow, IDC_CONNECTED_READER, CARD_GONE_TIP);
}

// The counters say what the watcher saw: a change pcscd counted but the
// watcher never saw in a state of its own is "not seen". pcscd polls the
// reader about every 400 ms, so a tap shorter than that reaches no PC/SC
// program at all; the note says so, since a count of 0 proves nothing.
void ShowTapMeasure(const CardEvent* events, size_t count)
{
    CardTapMeasure measure;
    MeasureCardTaps(events, count, &measure);
    char text[320];
    int used = snprintf(text, sizeof text,
                        "Arrivals: %u  Removals: %u\r\nChanges not seen: %u\r\n"
                        "(taps shorter than pcscd's polling, about 400 ms, are seen by no PC/SC program)",
                        unsigned(measure.arrivals), unsigned(measure.removals), unsigned(measure.missed));
    if (measure.atrTimed > 0 && used >= 0 && size_t(used) < sizeof text)
        snprintf(text + used, sizeof text - size_t(used), "\r\nArrival to ATR: %.1f ms (max %.1f ms)",
                 TicksToMs(measure.atrDelayLast, tester.ticksPerMs), TicksToMs(measure.atrDelayMax, tester.ticksPerMs));
    SetDlgItemText(tester.mainWindow, IDC_TAP_MEASURE, text);
}

}  // namespace

void ResetCardPage()
{
    CardPage& page = tester.cardPage;
    ClearCardEvents(&page.watcher);
    page.lastListed = 0;
    page.lastCallLine[0] = '\0';
    page.lastResponseLine[0] = '\0';
    SetDlgItemTip(tester.mainWindow, IDC_TAP_MEASURE, TAP_MEASURE_TIP);
    ShowTapMeasure(nullptr, 0);
}

void StartCardWatch()
{
    LONG status = StartCardWatcher(&tester.cardPage.watcher, OnCardEvent, tester.mainWindow);
    if (status == SCARD_S_SUCCESS)
        return;
    char description[STATUS_TEXT_SIZE];
    DescribeStatus(status, description, sizeof description);
    char line[STATUS_TEXT_SIZE + 32];
    snprintf(line, sizeof line, "Watching not started: %s", description);
    ListAddString(tester.mainWindow, IDC_CARD_EVENTS, line);
}

void StopCardWatch()
{
    StopCardWatcher(&tester.cardPage.watcher);
}

INT_PTR ShowCardEvents()
{
    CardPage& page = tester.cardPage;
    size_t count = CopyCardEvents(&page.watcher, 0, page.keptEvents, CARD_EVENT_CAPACITY);
    for (size_t i = 0; i < count; i++) {
        const CardEvent& event = page.keptEvents[i];
        if (event.sequence <= page.lastListed)
            continue;
        page.lastListed = event.sequence;
        char time[16];
        FormatEventTime(event.ticks, time, sizeof time);
        ReportCardEvent(LineSink {ListEvent, nullptr}, time, event);
        MarkIfConnectedCardLeft(event);
    }
    while (ListGetCount(tester.mainWindow, IDC_CARD_EVENTS) > int(CARD_EVENT_CAPACITY))
        ListDeleteString(tester.mainWindow, IDC_CARD_EVENTS, 0);
    ShowTapMeasure(page.keptEvents, count);
    return TRUE;
}

void ShowLastCallStatus(const char* description, bool failed)
{
    CardPage& page = tester.cardPage;
    snprintf(page.lastCallLine, sizeof page.lastCallLine, "Last call: %s", description);
    if (failed)
        page.lastResponseLine[0] = '\0';
    ShowLastResult();
}

void ShowResponseMeaning(const BYTE* response, DWORD length)
{
    char meaning[STATUS_WORD_TEXT_SIZE];
    DescribeResponseStatus(response, length, meaning, sizeof meaning);
    CardPage& page = tester.cardPage;
    snprintf(page.lastResponseLine, sizeof page.lastResponseLine, "Last response: %s", meaning);
    ShowLastResult();
}

void ShowCardAtr(const BYTE* atr, DWORD length)
{
    char text[ATR_TEXT_SIZE + CARD_NAME_TEXT_SIZE + 2] = "";
    if (length > 0) {
        DescribeAtr(atr, length, text, ATR_TEXT_SIZE);
        size_t used = strlen(text);
        text[used++] = '\n';
        if (IdentifyCard(&tester.cardPage.knownAtrs, atr, length, text + used, sizeof text - used) == 0)
            snprintf(text + used, sizeof text - used, "Not in the known-ATR lists.");
    }
    SetDlgItemText(tester.mainWindow, IDC_ATR_DECODED, text);
}

void UnmarkConnectedReader()
{
    MarkDlgItem(tester.mainWindow, IDC_CONNECTED_READER, false);
    SetDlgItemTip(tester.mainWindow, IDC_CONNECTED_READER, "");
}

INT_PTR ClearCardEventList([[maybe_unused]] int id)
{
    ClearCardEvents(&tester.cardPage.watcher);
    ListResetContent(tester.mainWindow, IDC_CARD_EVENTS);
    ShowTapMeasure(nullptr, 0);
    return TRUE;
}
