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
    CARD_EVENT_READER_ADDED,    // a reader appeared, or came back from being unavailable
    CARD_EVENT_READER_REMOVED,  // a reader left the list, or became unavailable
    CARD_EVENT_CARD_INSERTED,   // with the ATR when pcscd gave it in the same change
    CARD_EVENT_CARD_REMOVED,
    CARD_EVENT_ATR_READ,      // a card that came without its ATR now has one
    CARD_EVENT_WATCH_FAILED,  // pcscd answered `status`; the watcher has stopped
};

struct CardEvent {
    uint64_t sequence;  // 1 for the first event a watcher records, counting on
    int64_t ticks;      // QueryPerformanceCounter when the watcher saw the change
    CardEventKind kind;
    // pcscd counted this change between two looks of the watcher (a tap
    // quicker than the watcher): it happened, but was not seen as it did.
    bool inferred;
    LONG status;
    DWORD readerState;  // pcscd's state of the reader after the change
    char reader[MAX_READERNAME];
    DWORD atrLength;
    BYTE atr[MAX_ATR_SIZE];
};

// Called on the watcher's thread after each event is in the ring.
typedef void (*CardEventCallback)(void* context, const CardEvent& event);

struct WatchedReader {
    char name[MAX_READERNAME];
    DWORD state;  // pcscd's last event state, passed back as the known state
    bool atrKnown;
};

struct CardWatcher {
    // The watcher thread's own while it runs.
    SCARDCONTEXT context = 0;
    CardEventCallback callback = nullptr;
    void* callbackContext = nullptr;
    DWORD notificationState = 0;
    WatchedReader readers[PCSCLITE_MAX_READERS_CONTEXTS] = {};
    int readerCount = 0;
    std::thread thread;
    std::atomic<bool> stopping {false};

    // Under `mutex`: whether the thread still watches, and the ring.
    std::mutex mutex;
    std::condition_variable ended;
    bool watching = false;
    uint64_t nextSequence = 1;
    uint64_t firstKept = 1;
    CardEvent events[CARD_EVENT_CAPACITY] = {};
};

// Takes pcscd's present state of every reader (no events for what is already
// there), then watches on a new thread; nothing while it watches already.
// The ring keeps the events of earlier runs. Fails with the status of the
// context, list or state call.
LONG StartCardWatcher(CardWatcher* watcher, CardEventCallback callback, void* callbackContext);

// Cancels the watcher's wait, joins its thread and releases its context;
// nothing when it does not run.
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
