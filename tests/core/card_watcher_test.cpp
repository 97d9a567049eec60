// The card-event watcher against the private pcscd and its simulated
// readers: what the sim's switches do arrives as events, in order, with the
// card's ATR; a tap made while the watcher is busy is still counted; stop
// returns whether the watcher waits or pcscd has gone; scripted failures of
// each of its PC/SC calls end it cleanly.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/pcsc/card_watcher.h"
#include "fake_pcsc.h"
#include "sim/card_atr.h"
#include "sim_control.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kSimAtr(STORAGE_ATR, STORAGE_ATR + ATR_SIZE);

struct Expected {
    CardEventKind kind;
    int reader;
    Bytes atr;
    bool inferred = false;
};

class CardWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SimReaderName(0).empty()) << "run inside scripts/with-sim-pcscd";
        Settle();
        watcher = std::make_unique<CardWatcher>();
    }

    void TearDown() override
    {
        Release();
        StopCardWatcher(watcher.get());
        Settle();
    }

    // Both readers at their defaults, as pcscd sees them.
    static void Settle()
    {
        SimReset(0);
        SimReset(1);
        ASSERT_TRUE(SimWaitForCard(0, true));
        ASSERT_TRUE(SimWaitForCard(1, false));
    }

    // On the watcher's thread; while `holding`, the watcher stays in here.
    static void OnEvent(void* context, const CardEvent& event)
    {
        auto* self = static_cast<CardWatcherTest*>(context);
        std::unique_lock<std::mutex> lock(self->mutex);
        self->seen.push_back(event);
        self->changed.notify_all();
        self->changed.wait(lock, [self] { return !self->holding; });
    }

    // Whether `count` events have come (a guard against a hang, not a measure).
    bool WaitForEvents(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return seen.size() >= count; });
    }

    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        holding = false;
        changed.notify_all();
    }

    std::vector<CardEvent> Seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }

    static void ExpectEvents(const std::vector<CardEvent>& events, const std::vector<Expected>& expected)
    {
        ASSERT_EQ(events.size(), expected.size());
        for (size_t i = 0; i < events.size(); i++) {
            SCOPED_TRACE("event " + std::to_string(i + 1));
            EXPECT_EQ(events[i].kind, expected[i].kind);
            EXPECT_EQ(events[i].reader, SimReaderName(expected[i].reader));
            EXPECT_EQ(Bytes(events[i].atr, events[i].atr + events[i].atrLength), expected[i].atr);
            EXPECT_EQ(events[i].inferred, expected[i].inferred);
            EXPECT_EQ(events[i].sequence, events[0].sequence + i);
            EXPECT_GE(events[i].ticks, events[i ? i - 1 : 0].ticks);
        }
    }

    std::unique_ptr<CardWatcher> watcher;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<CardEvent> seen;
    bool holding = false;
};

TEST_F(CardWatcherTest, SimSwitchesArriveInOrderWithTheAtr)
{
    ASSERT_EQ(StartCardWatcher(watcher.get(), OnEvent, this), SCARD_S_SUCCESS);
    struct Step {
        const char* what;
        std::function<bool()> act;
        std::vector<Expected> events;
    } steps[] = {
        {"card out of reader 0", [] { return SimSetCard(0, false); }, {{CARD_EVENT_CARD_REMOVED, 0, {}}}},
        {"card into reader 0", [] { return SimSetCard(0, true); }, {{CARD_EVENT_CARD_INSERTED, 0, kSimAtr}}},
        {"card into reader 1", [] { return SimSetCard(1, true); }, {{CARD_EVENT_CARD_INSERTED, 1, kSimAtr}}},
        // A reader that pcscd still lists but marks unavailable is not one
        // removed: it takes its card with it; back, its card comes in anew.
        {"reader 1 unavailable",
         [] { return SimSetUnplugged(1, true); },
         {{CARD_EVENT_CARD_REMOVED, 1, {}}, {CARD_EVENT_READER_UNAVAILABLE, 1, {}}}},
        {"reader 1 available",
         [] { return SimSetUnplugged(1, false); },
         {{CARD_EVENT_READER_AVAILABLE, 1, {}}, {CARD_EVENT_CARD_INSERTED, 1, kSimAtr}}},
    };
    std::vector<Expected> expected;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(step.act());
        expected.insert(expected.end(), step.events.begin(), step.events.end());
        ASSERT_TRUE(WaitForEvents(expected.size()));
    }
    StopCardWatcher(watcher.get());
    EXPECT_FALSE(watcher->thread.joinable());

    const std::vector<CardEvent> events = Seen();
    ExpectEvents(events, expected);
    EXPECT_EQ(events[0].sequence, 1u);
    // The ring holds what the callback was given.
    std::vector<CardEvent> kept(CARD_EVENT_CAPACITY);
    kept.resize(CopyCardEvents(watcher.get(), 0, kept.data(), kept.size()));
    ASSERT_EQ(kept.size(), events.size());
    for (size_t i = 0; i < kept.size(); i++)
        EXPECT_EQ(memcmp(&kept[i], &events[i], sizeof kept[i]), 0) << "event " << i + 1;
    EXPECT_EQ(CopyCardEvents(watcher.get(), 4, kept.data(), 2), 2u);
    EXPECT_EQ(kept[0].sequence, 5u);

    // pcscd gives the ATR in the change that reports the card: no delay to measure.
    CardTapMeasure measure;
    MeasureCardTaps(events.data(), events.size(), &measure);
    EXPECT_EQ(measure.arrivals, 3u);
    EXPECT_EQ(measure.removals, 2u);
    EXPECT_EQ(measure.atrTimed, 3u);
    EXPECT_EQ(measure.atrDelayMax, 0);

    ClearCardEvents(watcher.get());
    EXPECT_EQ(CopyCardEvents(watcher.get(), 0, kept.data(), kept.size()), 0u);
}

// pcscd counts every card change it sees; a card taken out and put back
// while the watcher was busy still shows as a removal and an arrival.
TEST_F(CardWatcherTest, TapWhileTheWatcherIsBusyIsCounted)
{
    holding = true;
    ASSERT_EQ(StartCardWatcher(watcher.get(), OnEvent, this), SCARD_S_SUCCESS);
    ASSERT_TRUE(SimSetCard(0, false));
    ASSERT_TRUE(WaitForEvents(1));
    for (bool present : {true, false, true}) {
        ASSERT_TRUE(SimSetCard(0, present));
        ASSERT_TRUE(SimWaitForCard(0, present));
    }
    Release();
    ASSERT_TRUE(WaitForEvents(4));
    StopCardWatcher(watcher.get());

    const std::vector<CardEvent> events = Seen();
    ExpectEvents(events,
                 {{CARD_EVENT_CARD_REMOVED, 0, {}},
                  {CARD_EVENT_CARD_INSERTED, 0, {}, true},
                  {CARD_EVENT_CARD_REMOVED, 0, {}, true},
                  {CARD_EVENT_CARD_INSERTED, 0, kSimAtr}});
    CardTapMeasure measure;
    MeasureCardTaps(events.data(), events.size(), &measure);
    EXPECT_EQ(measure.arrivals, 2u);
    EXPECT_EQ(measure.removals, 2u);
    EXPECT_EQ(measure.missed, 2u);
}

// Stop returns and joins the thread whenever it comes: at once after start
// (the wait may not have begun), and after pcscd went away (the watcher
// ended on its own, with one event saying why, and starts anew once pcscd
// is back).
TEST_F(CardWatcherTest, StopReturnsWhateverTheWatcherIsDoing)
{
    for (int i = 0; i < 50; i++) {
        ASSERT_EQ(StartCardWatcher(watcher.get(), OnEvent, this), SCARD_S_SUCCESS);
        StopCardWatcher(watcher.get());
        ASSERT_FALSE(watcher->thread.joinable());
    }

    ASSERT_EQ(StartCardWatcher(watcher.get(), OnEvent, this), SCARD_S_SUCCESS);
    ASSERT_TRUE(SimPcscd("kill"));
    ASSERT_TRUE(WaitForEvents(1));
    EXPECT_EQ(StartCardWatcher(std::make_unique<CardWatcher>().get(), OnEvent, this), SCARD_E_NO_SERVICE);
    ASSERT_TRUE(SimPcscd("start"));
    ASSERT_TRUE(SimWaitForCard(0, true));
    ASSERT_EQ(StartCardWatcher(watcher.get(), OnEvent, this), SCARD_S_SUCCESS);
    ASSERT_TRUE(SimSetCard(0, false));
    ASSERT_TRUE(WaitForEvents(2));
    StopCardWatcher(watcher.get());
    EXPECT_FALSE(watcher->thread.joinable());

    const std::vector<CardEvent> events = Seen();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, CARD_EVENT_WATCH_FAILED);
    EXPECT_NE(events[0].status, SCARD_S_SUCCESS);
    EXPECT_EQ(events[1].kind, CARD_EVENT_CARD_REMOVED);
}

// Tells the test that the watcher's thread has begun a wait on pcscd, and
// so is past its check of the stop flag; then the spy answers.
std::mutex waitMutex;
std::condition_variable waitBegun;
int waitsBegun;

LONG NoticedGetStatusChange(SCARDCONTEXT context, DWORD timeout, SCARD_READERSTATE* states, DWORD count)
{
    if (timeout != 0) {
        std::lock_guard<std::mutex> lock(waitMutex);
        waitsBegun++;
        waitBegun.notify_all();
    }
    return fake_pcsc_detail::GetStatusChange(context, timeout, states, count);
}

// Failures no reader gives on demand, scripted in the `pcsc` table: what the
// start returns, whether the watch ends in a WATCH_FAILED event with pcscd's
// answer, and that stop returns with the thread joined and the watcher's
// context released once, whatever failed. A watcher that runs on is stopped
// during a wait, so that a refused cancel leaves the wait to end by itself.
TEST_F(CardWatcherTest, ScriptedFailuresLeaveNothingBehind)
{
    struct Spies {
        Spies() { InstallPcscSpies(); }
        ~Spies() { RemovePcscSpies(); }
    } spies;
    const struct {
        const char* what;
        FakePcsc::Entry FakePcsc::*entry;
        LONG status;
        int passed;  // calls of the entry that go through first
        LONG started;
        bool failsWatching;  // one WATCH_FAILED event with `status`
        int releases;
    } cases[] = {
        {"no context", &FakePcsc::establish, SCARD_E_NO_SERVICE, 0, SCARD_E_NO_SERVICE, false, 0},
        {"list refused", &FakePcsc::listReaders, SCARD_E_NO_MEMORY, 0, SCARD_E_NO_MEMORY, false, 1},
        {"no readers", &FakePcsc::listReaders, SCARD_E_NO_READERS_AVAILABLE, 0, SCARD_S_SUCCESS, false, 1},
        {"first look refused", &FakePcsc::getStatusChange, SCARD_E_INVALID_HANDLE, 0, SCARD_E_INVALID_HANDLE, false, 1},
        {"pcscd gone while waiting", &FakePcsc::getStatusChange, SCARD_E_NO_SERVICE, 1, SCARD_S_SUCCESS, true, 1},
        {"cancel refused", &FakePcsc::cancel, SCARD_E_INVALID_HANDLE, 0, SCARD_S_SUCCESS, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InstallPcscSpies();
        pcsc.GetStatusChange = NoticedGetStatusChange;
        Script(fakePcsc.*c.entry, c.status, c.passed);
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen.clear();
        }
        {
            std::lock_guard<std::mutex> lock(waitMutex);
            waitsBegun = 0;
        }
        watcher = std::make_unique<CardWatcher>();
        EXPECT_EQ(StartCardWatcher(watcher.get(), OnEvent, this), c.started);
        if (c.failsWatching) {
            ASSERT_TRUE(WaitForEvents(1));
        } else if (c.started == SCARD_S_SUCCESS) {
            std::unique_lock<std::mutex> lock(waitMutex);
            ASSERT_TRUE(waitBegun.wait_for(lock, std::chrono::seconds(20), [] { return waitsBegun > 0; }));
        }
        StopCardWatcher(watcher.get());
        EXPECT_FALSE(watcher->thread.joinable());
        EXPECT_EQ(watcher->context, 0);

        const std::vector<CardEvent> events = Seen();
        ASSERT_EQ(events.size(), c.failsWatching ? 1u : 0u);
        if (c.failsWatching) {
            EXPECT_EQ(events[0].kind, CARD_EVENT_WATCH_FAILED);
            EXPECT_EQ(events[0].status, c.status);
        }
        EXPECT_GE((fakePcsc.*c.entry).calls, c.passed + 1);
        EXPECT_EQ(fakePcsc.release.calls, c.releases);
        if (c.releases > 0) {
            ASSERT_EQ(fakePcsc.contextCount, 1);
            EXPECT_EQ(fakePcsc.releasedContext, fakePcsc.contexts[0]);
        }
        RemovePcscSpies();
    }
}

// Arrivals, removals and the time from an arrival to its ATR, from events as
// the watcher records them.
TEST(CardTaps, MeasuredFromTheEvents)
{
    auto event = [](CardEventKind kind, const char* reader, int64_t ticks, DWORD atrLength, bool inferred = false) {
        CardEvent e {};
        e.kind = kind;
        snprintf(e.reader, sizeof e.reader, "%s", reader);
        e.ticks = ticks;
        e.atrLength = atrLength;
        e.inferred = inferred;
        return e;
    };
    const CardEvent events[] = {
        event(CARD_EVENT_CARD_INSERTED, "A", 100, 20),  // the ATR with the arrival: 0
        event(CARD_EVENT_CARD_REMOVED, "A", 200, 0, true),
        event(CARD_EVENT_CARD_INSERTED, "A", 300, 0),  // the ATR comes later, after B's arrival
        event(CARD_EVENT_CARD_INSERTED, "B", 350, 0),
        event(CARD_EVENT_ATR_READ, "A", 370, 20),
        event(CARD_EVENT_READER_REMOVED, "B", 400, 0),
        event(CARD_EVENT_ATR_READ, "B", 500, 20),  // after B left: no arrival to time
    };
    CardTapMeasure measure;
    MeasureCardTaps(events, std::size(events), &measure);
    EXPECT_EQ(measure.arrivals, 3u);
    EXPECT_EQ(measure.removals, 1u);
    EXPECT_EQ(measure.missed, 1u);
    EXPECT_EQ(measure.atrTimed, 3u);
    EXPECT_EQ(measure.atrDelayLast, 150);
    EXPECT_EQ(measure.atrDelayMax, 150);
}

}  // namespace
