// The card-event watcher. pcscd numbers a reader's card changes in the upper
// 16 bits of its event state; comparing those numbers between two looks
// tells a tap that came and went while the watcher was busy from no tap.
#include "core/pcsc/card_watcher.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/clock/counter.h"
#include "core/pcsc/connection.h"
#include "core/pcsc/pcsc_api.h"

namespace {

const char NOTIFICATION_READER[] = "\\\\?PnP?\\Notification";
// The longest the watcher waits on pcscd at a time. A stop cancels the wait
// at once; should the cancel fail, the stop still returns when the wait ends.
constexpr DWORD WAIT_SLICE_MS = 1000;

// Whether the reader has left pcscd's list.
bool Gone(DWORD state)
{
    return (state & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE)) != 0;
}

// Listed but not usable: a reader pulled off its bus that pcscd still lists,
// or one whose driver fails to power it (pcsc_scan: "Status unavailable").
bool Unavailable(DWORD state)
{
    return !Gone(state) && (state & SCARD_STATE_UNAVAILABLE);
}

// Whether pcscd serves the reader (a state of 0 is one not yet asked about).
bool Available(DWORD state)
{
    return state != SCARD_STATE_UNAWARE && !Gone(state) && !Unavailable(state);
}

bool Present(DWORD state)
{
    return Available(state) && (state & SCARD_STATE_PRESENT);
}

struct Change {
    int64_t ticks;
    const char* reader;
    DWORD state;
    const BYTE* atr;
    DWORD atrLength;
};

void Record(CardWatcher* watcher, CardEventKind kind, const Change& change, bool inferred = false,
            LONG status = SCARD_S_SUCCESS)
{
    CardEvent event {};
    event.ticks = change.ticks;
    event.kind = kind;
    event.inferred = inferred;
    event.status = status;
    event.readerState = change.state;
    snprintf(event.reader, sizeof event.reader, "%s", change.reader);
    if (change.atr && change.atrLength <= sizeof event.atr) {
        memcpy(event.atr, change.atr, change.atrLength);
        event.atrLength = change.atrLength;
    }
    {
        std::lock_guard<std::mutex> lock(watcher->mutex);
        event.sequence = watcher->nextSequence++;
        watcher->events[(event.sequence - 1) % CARD_EVENT_CAPACITY] = event;
    }
    if (watcher->callback)
        watcher->callback(watcher->callbackContext, event);
}

// The card changes pcscd counted between `before` and `after`, both states
// of a reader it served: the difference of its event numbers, or one change
// when the numbers disagree with what the presence says.
unsigned CountedChanges(DWORD before, DWORD after)
{
    const unsigned counted = ((after >> 16) - (before >> 16)) & 0xFFFF;
    const unsigned seen = Present(before) != Present(after) ? 1 : 0;
    return counted % 2 == seen ? counted : seen;
}

// Records what changed for `reader`, from its known state to `seen`.
void CompareReader(CardWatcher* watcher, WatchedReader* reader, const SCARD_READERSTATE& seen, int64_t ticks)
{
    const DWORD before = reader->state;
    const DWORD after = seen.dwEventState & ~DWORD(SCARD_STATE_CHANGED);
    const bool atr = Present(after) && seen.cbAtr > 0;
    const Change change {ticks, reader->name, after, atr ? seen.rgbAtr : nullptr, atr ? seen.cbAtr : 0};
    const Change gone {ticks, reader->name, after, nullptr, 0};
    if (Available(before) && !Available(after)) {
        if (Present(before))
            Record(watcher, CARD_EVENT_CARD_REMOVED, gone);
        Record(watcher, Unavailable(after) ? CARD_EVENT_READER_UNAVAILABLE : CARD_EVENT_READER_REMOVED, gone);
    } else if (!Available(before) && Available(after)) {
        if (Unavailable(before))
            Record(watcher, CARD_EVENT_READER_AVAILABLE, gone);
        else if (before != SCARD_STATE_UNAWARE)
            Record(watcher, CARD_EVENT_READER_ADDED, gone);
        if (Present(after))
            Record(watcher, CARD_EVENT_CARD_INSERTED, change);
    } else if (!Gone(before) && Gone(after)) {
        // Unavailable (or never looked at) when it left.
        Record(watcher, CARD_EVENT_READER_REMOVED, gone);
    } else if (before == SCARD_STATE_UNAWARE && Unavailable(after)) {
        Record(watcher, CARD_EVENT_READER_UNAVAILABLE, gone);
    } else if (Available(after)) {
        // Replays every change pcscd counted; only the last is what was seen.
        const unsigned changes = CountedChanges(before, after);
        bool present = Present(before);
        for (unsigned i = 1; i <= changes; i++) {
            present = !present;
            const bool last = i == changes;
            Record(watcher, present ? CARD_EVENT_CARD_INSERTED : CARD_EVENT_CARD_REMOVED, last ? change : gone, !last);
        }
        if (changes == 0 && atr && !reader->atrKnown)
            Record(watcher, CARD_EVENT_ATR_READ, change);
    }
    reader->state = after;
    reader->atrKnown = atr;
}

// Lists the readers anew: readers kept keep their known state, new ones start
// unaware, and (when `record`) arrivals and departures become events.
LONG ListReaders(CardWatcher* watcher, int64_t ticks, bool record)
{
    char names[PCSCLITE_MAX_READERS_CONTEXTS * MAX_READERNAME + 1];
    DWORD size = sizeof names;
    LONG status = pcsc.ListReaders(watcher->context, nullptr, names, &size);
    if (status == SCARD_E_NO_READERS_AVAILABLE)
        size = 0;
    else if (status != SCARD_S_SUCCESS)
        return status;
    if (size > sizeof names)
        size = sizeof names;

    WatchedReader listed[PCSCLITE_MAX_READERS_CONTEXTS];
    int count = 0;
    size_t offset = 0;
    while (const char* name = NextReaderName(names, size, &offset)) {
        if (count == PCSCLITE_MAX_READERS_CONTEXTS)
            break;
        WatchedReader* reader = &listed[count++];
        *reader = {};
        snprintf(reader->name, sizeof reader->name, "%s", name);
        bool known = false;
        for (int i = 0; i < watcher->readerCount && !known; i++)
            if (strcmp(watcher->readers[i].name, reader->name) == 0) {
                *reader = watcher->readers[i];
                known = true;
            }
        if (!known && record)
            Record(watcher, CARD_EVENT_READER_ADDED, {ticks, reader->name, SCARD_STATE_UNAWARE, nullptr, 0});
    }
    for (int i = 0; i < watcher->readerCount && record; i++) {
        const WatchedReader& old = watcher->readers[i];
        bool kept = false;
        for (int j = 0; j < count && !kept; j++)
            kept = strcmp(listed[j].name, old.name) == 0;
        // One that went unknown was reported when it did.
        if (kept || Gone(old.state))
            continue;
        const Change gone {ticks, old.name, SCARD_STATE_UNKNOWN, nullptr, 0};
        if (Present(old.state))
            Record(watcher, CARD_EVENT_CARD_REMOVED, gone);
        Record(watcher, CARD_EVENT_READER_REMOVED, gone);
    }
    memcpy(watcher->readers, listed, sizeof listed[0] * size_t(count));
    watcher->readerCount = count;
    return SCARD_S_SUCCESS;
}

// One wait on pcscd for a change of any reader or of the reader list, then
// what it reported; SCARD_E_TIMEOUT when nothing changed.
LONG Look(CardWatcher* watcher, DWORD timeout, bool record)
{
    SCARD_READERSTATE states[1 + PCSCLITE_MAX_READERS_CONTEXTS] = {};
    states[0].szReader = NOTIFICATION_READER;
    states[0].dwCurrentState = watcher->notificationState;
    const int count = watcher->readerCount;
    for (int i = 0; i < count; i++) {
        states[1 + i].szReader = watcher->readers[i].name;
        states[1 + i].dwCurrentState = watcher->readers[i].state;
    }
    LONG status = pcsc.GetStatusChange(watcher->context, timeout, states, DWORD(1 + count));
    const int64_t ticks = QueryPerformanceCounter();
    // A reader that left between the list and the wait: list again.
    if (status == SCARD_E_UNKNOWN_READER)
        return ListReaders(watcher, ticks, record);
    if (status != SCARD_S_SUCCESS)
        return status;
    for (int i = 0; i < count; i++) {
        if (!(states[1 + i].dwEventState & SCARD_STATE_CHANGED))
            continue;
        if (record)
            CompareReader(watcher, &watcher->readers[i], states[1 + i], ticks);
        else {
            watcher->readers[i].state = states[1 + i].dwEventState & ~DWORD(SCARD_STATE_CHANGED);
            watcher->readers[i].atrKnown = Present(watcher->readers[i].state) && states[1 + i].cbAtr > 0;
        }
    }
    bool relist = (states[0].dwEventState & SCARD_STATE_CHANGED) != 0;
    for (int i = 0; i < count; i++)
        relist = relist || (watcher->readers[i].state & SCARD_STATE_UNKNOWN);
    watcher->notificationState = states[0].dwEventState & ~DWORD(SCARD_STATE_CHANGED);
    return relist ? ListReaders(watcher, ticks, record) : SCARD_S_SUCCESS;
}

void Watch(CardWatcher* watcher)
{
    while (!watcher->stopping) {
        const LONG status = Look(watcher, WAIT_SLICE_MS, true);
        if (watcher->stopping)
            break;
        if (status != SCARD_S_SUCCESS && status != SCARD_E_TIMEOUT) {
            Record(watcher, CARD_EVENT_WATCH_FAILED, {QueryPerformanceCounter(), "", 0, nullptr, 0}, false, status);
            break;
        }
    }
    std::lock_guard<std::mutex> lock(watcher->mutex);
    watcher->watching = false;
    watcher->ended.notify_all();
}

}  // namespace

LONG StartCardWatcher(CardWatcher* watcher, CardEventCallback callback, void* callbackContext)
{
    if (watcher->thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(watcher->mutex);
            if (watcher->watching)
                return SCARD_S_SUCCESS;
        }
        // It ended on its own (pcscd went away): its thread and context go first.
        StopCardWatcher(watcher);
    }
    LONG status = pcsc.EstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &watcher->context);
    if (status != SCARD_S_SUCCESS)
        return status;
    watcher->callback = callback;
    watcher->callbackContext = callbackContext;
    watcher->notificationState = 0;
    watcher->readerCount = 0;
    // The present state is taken here, before the caller goes on, so that a
    // change the caller makes next is a change to the watcher too.
    status = ListReaders(watcher, 0, false);
    if (status == SCARD_S_SUCCESS)
        status = Look(watcher, 0, false);
    if (status != SCARD_S_SUCCESS && status != SCARD_E_TIMEOUT) {
        pcsc.ReleaseContext(watcher->context);
        watcher->context = 0;
        return status;
    }
    watcher->stopping = false;
    watcher->watching = true;
    watcher->thread = std::thread(Watch, watcher);
    return SCARD_S_SUCCESS;
}

void StopCardWatcher(CardWatcher* watcher)
{
    if (!watcher->thread.joinable())
        return;
    watcher->stopping = true;
    std::unique_lock<std::mutex> lock(watcher->mutex);
    // SCardCancel ends only a wait in progress: one that starts just after
    // is cancelled on the next round.
    while (watcher->watching) {
        lock.unlock();
        pcsc.Cancel(watcher->context);
        lock.lock();
        watcher->ended.wait_for(lock, std::chrono::milliseconds(20), [watcher] { return !watcher->watching; });
    }
    lock.unlock();
    watcher->thread.join();
    pcsc.ReleaseContext(watcher->context);
    watcher->context = 0;
}

size_t CopyCardEvents(CardWatcher* watcher, uint64_t after, CardEvent* out, size_t cap)
{
    std::lock_guard<std::mutex> lock(watcher->mutex);
    uint64_t first = after + 1;
    if (first < watcher->firstKept)
        first = watcher->firstKept;
    if (watcher->nextSequence > CARD_EVENT_CAPACITY && first < watcher->nextSequence - CARD_EVENT_CAPACITY)
        first = watcher->nextSequence - CARD_EVENT_CAPACITY;
    size_t copied = 0;
    for (uint64_t sequence = first; sequence < watcher->nextSequence && copied < cap; sequence++)
        out[copied++] = watcher->events[(sequence - 1) % CARD_EVENT_CAPACITY];
    return copied;
}

void ClearCardEvents(CardWatcher* watcher)
{
    std::lock_guard<std::mutex> lock(watcher->mutex);
    watcher->firstKept = watcher->nextSequence;
}

void MeasureCardTaps(const CardEvent* events, size_t count, CardTapMeasure* measure)
{
    *measure = {};
    for (size_t i = 0; i < count; i++) {
        const CardEvent& event = events[i];
        int64_t delay = -1;
        if (event.kind == CARD_EVENT_CARD_INSERTED) {
            measure->arrivals++;
            measure->missed += event.inferred;
            if (event.atrLength > 0)
                delay = 0;
        } else if (event.kind == CARD_EVENT_CARD_REMOVED) {
            measure->removals++;
            measure->missed += event.inferred;
        } else if (event.kind == CARD_EVENT_ATR_READ) {
            // Timed from the arrival on the same reader, when that came without its ATR.
            for (size_t j = i; j-- > 0;) {
                const CardEvent& earlier = events[j];
                if (strcmp(earlier.reader, event.reader) != 0
                    || (earlier.kind != CARD_EVENT_CARD_INSERTED && earlier.kind != CARD_EVENT_CARD_REMOVED))
                    continue;
                if (earlier.kind == CARD_EVENT_CARD_INSERTED && earlier.atrLength == 0)
                    delay = event.ticks - earlier.ticks;
                break;
            }
        }
        if (delay < 0)
            continue;
        measure->atrTimed++;
        measure->atrDelayLast = delay;
        if (delay > measure->atrDelayMax)
            measure->atrDelayMax = delay;
    }
}
