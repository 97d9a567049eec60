// The card-event watcher: readers coming and going, cards put in and taken
// out, as pcscd reports them, on a PC/SC context and a thread of its own,
// kept in a ring of the last CARD_EVENT_CAPACITY events.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include <winscard.h>

constexpr size_t CARD_EVENT_CAPACITY = 1000;

enum CardEventKind : uint8_t {
    CARD_EVENT_READER_ADDED,        // a reader appeared
    CARD_EVENT_READER_REMOVED,      // a reader left the list
    CARD_EVENT_READER_UNAVAILABLE,  // still listed, but pcscd marks it SCARD_STATE_UNAVAILABLE
    CARD_EVENT_READER_AVAILABLE,    // an unavailable reader is served again
    CARD_EVENT_CARD_INSERTED,       // with the ATR when pcscd gave it in the same change
    CARD_EVENT_CARD_REMOVED,
    CARD_EVENT_ATR_READ,      // a card that came without its ATR now has one
    CARD_EVENT_WATCH_FAILED,  // pcscd answered `status`; the watcher has stopped
};

struct CardEvent {
    uint64_t sequence;   // 1 for the first event a watcher records, counting on
    int64_t ticks;       // QueryPerformanceCounter when the watcher saw the change
    CardEventKind kind;  // what changed
    // pcscd counted this change between two looks of the watcher (a tap
    // quicker than the watcher): it happened, but was not seen as it did.
    bool inferred;
    LONG status;                  // WATCH_FAILED: what pcscd answered; SCARD_S_SUCCESS otherwise
    DWORD readerState;            // pcscd's state of the reader after the change
    char reader[MAX_READERNAME];  // the reader's name; empty for WATCH_FAILED
    DWORD atrLength;              // of `atr`; 0 when the change brought none
    BYTE atr[MAX_ATR_SIZE];       // the card's ATR, for an arrival or ATR_READ
};

// Called on the watcher's thread after each event is in the ring.
typedef void (*CardEventCallback)(void* context, const CardEvent& event);

struct WatchedReader {
    char name[MAX_READERNAME];  // as pcscd lists it
    DWORD state;                // pcscd's last event state, passed back as the known state
    bool atrKnown;              // the last look gave a card in it with its ATR
};

// One watcher, held by whoever shows its events (the window's card page, the
// command line's monitor).
struct CardWatcher {
    // Set by the start before the thread runs, then the thread's own until
    // the stop has joined it.
    SCARDCONTEXT context = 0;                                   // the watcher's own; 0 while none is held
    CardEventCallback callback = nullptr;                       // called after each event, on the thread; may be null
    void* callbackContext = nullptr;                            // handed to `callback`
    DWORD notificationState = 0;                                // the reader list's known state (its pseudo-reader's)
    WatchedReader readers[PCSCLITE_MAX_READERS_CONTEXTS] = {};  // the readers watched
    int readerCount = 0;                                        // of `readers`
    std::thread thread;                  // joinable from the start until the stop; the starter's alone
    std::atomic<bool> stopping {false};  // set by the stop: the thread ends after its wait

    // Under `mutex`: whether the thread still watches, and the ring.
    std::mutex mutex;                            // taken by the thread for each event and by every reader of the ring
    std::condition_variable ended;               // signalled when `watching` turns false
    bool watching = false;                       // from the start until the thread ends (stopped, or on a failure)
    uint64_t nextSequence = 1;                   // the number the next event gets
    uint64_t firstKept = 1;                      // the oldest number the ring still offers (ClearCardEvents moves it)
    CardEvent events[CARD_EVENT_CAPACITY] = {};  // event n at (n - 1) % CARD_EVENT_CAPACITY
};

// Takes pcscd's present state of every reader (no events for what is already
// there), then watches on a new thread; nothing while it watches already.
// The ring keeps the events of earlier runs. Fails with the status of the
// context, list or state call.
LONG StartCardWatcher(CardWatcher* watcher, CardEventCallback callback, void* callbackContext);

// Cancels the watcher's wait, joins its thread and releases its context;
// nothing when it does not run. A wait that pcscd does not cancel ends by
// itself within a second.
void StopCardWatcher(CardWatcher* watcher);

// Copies the kept events after sequence number `after`, oldest first, up to
// `cap`, into `out`; the number copied. Events the ring has dropped are
// skipped: the first copied then numbers more than after + 1.
size_t CopyCardEvents(CardWatcher* watcher, uint64_t after, CardEvent* out, size_t cap);

// Forgets the kept events; numbering goes on.
void ClearCardEvents(CardWatcher* watcher);

// Card taps counted from events.
struct CardTapMeasure {
    uint32_t arrivals;
    uint32_t removals;
    uint32_t missed;       // of those, how many the watcher inferred rather than saw
    uint32_t atrTimed;     // arrivals whose ATR became known
    int64_t atrDelayLast;  // ticks from an arrival to its ATR; 0 when both came in one change
    int64_t atrDelayMax;
};

void MeasureCardTaps(const CardEvent* events, size_t count, CardTapMeasure* measure);
