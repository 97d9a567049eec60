// The tap and removal suites against vpcd and vicc: vicc stopped is the card
// pulled off vpcd's reader, vicc started again the card put back or tapped.
// The operator's hand is the prompt's callback, through the harness's
// QTU_PCSCD_CONTROL vicc-stop and vicc-start.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/pcsc/connection.h"
#include "core/qualify/plan.h"
#include "core/qualify/suites.h"
#include "sim_control.h"

namespace {

// vicc's ISO 7816 card.
const BYTE VICC_ATR[] = {0x3B, 0x95, 0x13, 0x81, 0x01, 0x80, 0x73, 0xFF, 0x01, 0x00, 0x0B};

// The hand: each prompt kept, and vicc moved as it asks. A card tapped is
// taken away again by a thread of its own (a process it starts, no handle of
// ours), `ms` later.
struct ViccHand {
    std::vector<std::string> prompts;
    std::thread away;
    void TakeAwayLater(int ms)
    {
        if (away.joinable())
            away.join();
        away = std::thread([ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            SimVicc(false);
        });
    }
    static void Say(void* context, const char* text)
    {
        auto* hand = static_cast<ViccHand*>(context);
        std::string prompt = text;
        hand->prompts.push_back(prompt);
        if (prompt == "Take the card off the reader.") {
            SimVicc(false);
        } else if (prompt.rfind("Tap the card", 0) == 0) {
            SimVicc(true);
            hand->TakeAwayLater(1500);
        } else if (prompt == "Put the card back on the reader.") {
            SimVicc(true);
        } else if (prompt.rfind("Pull the card", 0) == 0) {
            hand->TakeAwayLater(300);
        }
    }
};

QualifyPlan plan;
QualifyScratch scratch;
QualifySamples samples;

TEST(PeerQualify, ViccStoppedIsARemovalAndStartedATap)
{
    const char* reader = getenv("QTU_PEER_READER0");
    if (reader == nullptr)
        GTEST_SKIP() << "needs vpcd and vicc (scripts/with-sim-pcscd --peer)";
    QualifyTarget target {};
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &target.context), SCARD_S_SUCCESS);
    target.reader = reader;
    ASSERT_EQ(ConnectCard(target.context, reader, target.options, &target.card, &target.protocol), SCARD_S_SUCCESS);
    ViccHand hand;
    target.prompt = QualifyPrompt {ViccHand::Say, &hand};
    const char text[] = "suite removal runs=5000 timeout_ms=15000\nlimit reconnected = 1\n"
                        "suite tap taps=2 timeout_ms=15000\nlimit missed_taps = 0\nlimit runs = 2\n"
                        "limit in_field_ms > 500\nlimit in_field_ms < 6000\n";
    PlanFailure failure;
    ASSERT_TRUE(ParsePlan(text, uint32_t(strlen(text)), &plan, &failure)) << failure.reason;

    SuiteResult removal;
    RunSuite(&target, plan, 0, nullptr, &scratch, &samples, &removal);
    if (hand.away.joinable())
        hand.away.join();
    EXPECT_EQ(removal.verdict, VERDICT_PASS) << removal.note;
    EXPECT_GT(removal.value[QUANTITY_RUNS], 1) << "vicc answered before it went";
    EXPECT_EQ(removal.value[QUANTITY_RECONNECTED], 1) << removal.note;
    EXPECT_NE(target.card, SCARDHANDLE(0));

    SuiteResult tap;
    RunSuite(&target, plan, 1, nullptr, &scratch, &samples, &tap);
    if (hand.away.joinable())
        hand.away.join();
    EXPECT_EQ(tap.verdict, VERDICT_PASS) << tap.note << " in the field " << tap.value[QUANTITY_IN_FIELD_MS] << " ms";
    EXPECT_EQ(tap.value[QUANTITY_RUNS], 2);
    EXPECT_EQ(tap.value[QUANTITY_FAILURES], 0) << "6A 81 is an answer";
    ASSERT_EQ(tap.atrLength, DWORD(sizeof VICC_ATR));
    EXPECT_EQ(memcmp(tap.atr, VICC_ATR, sizeof VICC_ATR), 0);
    EXPECT_EQ(hand.prompts.front(), "Pull the card off the reader while the exchanges run.");
    EXPECT_EQ(hand.prompts.back(), "Tap the card (2 of 2).");
    SCardReleaseContext(target.context);
    // The tests after this one find vicc's card in, as at the start.
    EXPECT_TRUE(SimVicc(true));
}

}  // namespace
