// The connect options and the resets on demand through the real pcscd and the
// simulated readers: what each share mode lets a second client do, what each
// protocol choice gets, and the ATR a reset brings back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/pcsc/connection.h"
#include "sim/card_atr.h"
#include "sim_control.h"

namespace {

class ConnectOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SimReaderName(0).empty()) << "run inside scripts/with-sim-pcscd";
        SimReset(0);
        ASSERT_TRUE(SimWaitForCard(0, true));
        ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context), SCARD_S_SUCCESS);
    }
    void TearDown() override
    {
        SCardReleaseContext(context);
        SimReset(0);
    }
    SCARDCONTEXT context = 0;
};

// A first connection and, while it is held, a second one. Each case ends with
// the card unpowered, so that no case finds the protocol another one left.
TEST_F(ConnectOptionsTest, ShareModesAndProtocolsAsPcscdGrantsThem)
{
    struct Case {
        int reader;
        ConnectOptions first;
        DWORD protocol;  // the first connection's
        ConnectOptions second;
        LONG secondStatus;
    } cases[] = {
        {0,
         {SHARE_EXCLUSIVE, PROTOCOL_ANY},
         SCARD_PROTOCOL_T1,
         {SHARE_SHARED, PROTOCOL_ANY},
         SCARD_E_SHARING_VIOLATION},
        {0, {SHARE_SHARED, PROTOCOL_ANY}, SCARD_PROTOCOL_T1, {SHARE_SHARED, PROTOCOL_ANY}, SCARD_S_SUCCESS},
        {0, {SHARE_SHARED, PROTOCOL_T1}, SCARD_PROTOCOL_T1, {SHARE_EXCLUSIVE, PROTOCOL_T1}, SCARD_E_SHARING_VIOLATION},
        // The card already speaks T=1: T=0 named is refused, where the RAW fallback would hide it.
        {0, {SHARE_SHARED, PROTOCOL_T1}, SCARD_PROTOCOL_T1, {SHARE_SHARED, PROTOCOL_T0}, SCARD_E_PROTO_MISMATCH},
        {0, {SHARE_SHARED, PROTOCOL_T0}, SCARD_PROTOCOL_T0, {SHARE_SHARED, PROTOCOL_ANY}, SCARD_S_SUCCESS},
        {0,
         {SHARE_EXCLUSIVE, PROTOCOL_RAW},
         SCARD_PROTOCOL_RAW,
         {SHARE_DIRECT, PROTOCOL_ANY},
         SCARD_E_SHARING_VIOLATION},
        // Direct needs no card.
        {1, {SHARE_DIRECT, PROTOCOL_ANY}, SCARD_PROTOCOL_UNDEFINED, {SHARE_DIRECT, PROTOCOL_ANY}, SCARD_S_SUCCESS},
    };
    for (const Case& c : cases) {
        std::string what = std::to_string(c.reader) + " " + ShareChoiceName(c.first.share) + " "
            + ProtocolChoiceName(c.first.protocol) + ", then " + ShareChoiceName(c.second.share) + " "
            + ProtocolChoiceName(c.second.protocol);
        std::string reader = SimReaderName(c.reader);
        SCARDHANDLE first = 0, second = 0;
        DWORD protocol = 99, secondProtocol = 99;
        ASSERT_EQ(ConnectCard(context, reader.c_str(), c.first, &first, &protocol), SCARD_S_SUCCESS) << what;
        EXPECT_EQ(protocol, c.protocol) << what;
        EXPECT_EQ(ConnectCard(context, reader.c_str(), c.second, &second, &secondProtocol), c.secondStatus) << what;
        if (c.secondStatus == SCARD_S_SUCCESS) {
            EXPECT_EQ(secondProtocol, c.protocol) << what;
            SCardDisconnect(second, SCARD_LEAVE_CARD);
        }
        // A reconnect keeps the share mode and the offer; pcscd reconnects to no empty reader.
        LONG reconnected = c.reader == 1 ? SCARD_E_NO_SMARTCARD : SCARD_S_SUCCESS;
        EXPECT_EQ(ReconnectCard(first, c.first, SCARD_LEAVE_CARD, &protocol), reconnected) << what;
        EXPECT_EQ(protocol, c.protocol) << what;
        EXPECT_EQ(SCardDisconnect(first, SCARD_UNPOWER_CARD), SCARD_S_SUCCESS) << what;
    }
}

// A cold reset powers the card off and on and brings the ATR it then gives;
// a warm one keeps it. The sim swaps its ATR at each cold power-up when told.
TEST_F(ConnectOptionsTest, ResetsReadTheNewAtrAndMarkAChange)
{
    const std::vector<uint8_t> storage(STORAGE_ATR, STORAGE_ATR + ATR_SIZE);
    const std::vector<uint8_t> cold(COLD_RESET_ATR, COLD_RESET_ATR + ATR_SIZE);
    ASSERT_TRUE(SimSetAtrAfterColdReset(0, true));
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const ConnectOptions options {};
    ASSERT_EQ(ConnectCard(context, SimReaderName(0).c_str(), options, &card, &protocol), SCARD_S_SUCCESS);
    BYTE atr[MAX_ATR_SIZE];
    DWORD length = 0;
    ASSERT_EQ(ReadAtr(card, atr, sizeof atr, &length), SCARD_S_SUCCESS);
    std::vector<uint8_t> last(atr, atr + length);
    struct Step {
        ResetKind kind;
        bool changed;
    } steps[] = {{RESET_WARM, false}, {RESET_COLD, true}, {RESET_WARM, false}, {RESET_COLD, true}};
    for (const Step& step : steps) {
        ResetResult result;
        ResetCard(card, options, step.kind, last.data(), DWORD(last.size()), &result);
        ASSERT_EQ(result.status, SCARD_S_SUCCESS) << ResetKindName(step.kind);
        EXPECT_EQ(result.protocol, DWORD(SCARD_PROTOCOL_T1));
        std::vector<uint8_t> now(result.atr, result.atr + result.atrLength);
        EXPECT_EQ(result.atrChanged, step.changed) << ResetKindName(step.kind);
        EXPECT_EQ(now == last, !step.changed) << ResetKindName(step.kind);
        EXPECT_TRUE(now == storage || now == cold) << ResetKindName(step.kind);
        last = now;
    }
    // Nothing known before: nothing to call a change.
    ResetResult result;
    ResetCard(card, options, RESET_COLD, nullptr, 0, &result);
    EXPECT_FALSE(result.atrChanged);
    SCardDisconnect(card, SCARD_UNPOWER_CARD);
}

}  // namespace
