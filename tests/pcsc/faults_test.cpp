// Card removal and insertion while pcscd runs, and the injected faults.
#include <chrono>

#include "pcsc_fixture.h"

namespace {

class Faults : public PcscTest {
protected:
    void SetUp() override
    {
        PcscTest::SetUp();
        ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    }
};

TEST_F(Faults, RemovalDuringASession)
{
    SimSetCard(0, false);
    Bytes response;
    EXPECT_NE(Transmit(GET_UID, &response), SCARD_S_SUCCESS) << "before pcscd polls";
    ASSERT_TRUE(SimWaitForCard(0, false));
    EXPECT_EQ(Transmit(GET_UID, &response), SCARD_E_NO_SMARTCARD);
    EXPECT_EQ(SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, ALL_PROTOCOLS, SCARD_LEAVE_CARD, &protocol),
              SCARD_E_NO_SMARTCARD);

    // Put back, it is a fresh card: the memory written before is gone.
    SimSetCard(0, true);
    ASSERT_TRUE(SimWaitForCard(0, true));
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    card = 0;
    ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    EXPECT_EQ(Exchange(GET_UID), Cat(DEFAULT_UID, {0x90, 0x00}));
}

TEST_F(Faults, CardPutBackBeforePcscdPollsIsStillANewCard)
{
    Authenticate(4);
    ASSERT_EQ(Sw(Exchange(UpdateApdu(4, Bytes(16, 0x11)))), 0x9000);
    SimSetCard(0, false);
    Bytes response;
    EXPECT_NE(Transmit(GET_UID, &response), SCARD_S_SUCCESS);
    SimSetCard(0, true);
    ASSERT_TRUE(SimWaitForCard(0, true));
    EXPECT_EQ(Transmit(GET_UID, &response), SCARD_W_REMOVED_CARD);
    ASSERT_EQ(SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, ALL_PROTOCOLS, SCARD_LEAVE_CARD, &protocol), SCARD_S_SUCCESS);
    Authenticate(4);
    EXPECT_EQ(Exchange(ReadApdu(4)), Cat(Bytes(16, 0x00), {0x90, 0x00}));
}

TEST_F(Faults, InsertionIntoTheEmptyReader)
{
    SimSetUid(1, "11223344");
    SimSetCard(1, true);
    ASSERT_TRUE(SimWaitForCard(1, true));
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    ASSERT_EQ(Connect(1), SCARD_S_SUCCESS);
    EXPECT_EQ(Exchange(GET_UID), Bytes({0x11, 0x22, 0x33, 0x44, 0x90, 0x00}));
    SimReset(1);
    ASSERT_TRUE(SimWaitForCard(1, false));
}

TEST_F(Faults, EveryNthTransmitFails)
{
    SimSetFailEvery(0, 3);
    for (int call = 1; call <= 9; ++call) {
        Bytes response;
        const LONG status = Transmit(GET_UID, &response);
        if (call % 3 == 0)
            EXPECT_EQ(status, SCARD_E_NOT_TRANSACTED) << call;
        else
            EXPECT_EQ(status, SCARD_S_SUCCESS) << call;
    }
    SimSetFailEvery(0, 0);
    for (int call = 1; call <= 4; ++call)
        EXPECT_EQ(Sw(Exchange(GET_UID)), 0x9000);
}

TEST_F(Faults, AnswersAreDelayed)
{
    using std::chrono::steady_clock;
    SimSetDelayMicros(0, 30000);
    auto start = steady_clock::now();
    EXPECT_EQ(Sw(Exchange(GET_UID)), 0x9000);
    EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(30));
    VendorIoRecord reply;
    start = steady_clock::now();
    EXPECT_EQ(Control({}, &reply), SCARD_S_SUCCESS);
    EXPECT_GE(steady_clock::now() - start, std::chrono::milliseconds(30));
    SimSetDelayMicros(0, 0);
    start = steady_clock::now();
    EXPECT_EQ(Sw(Exchange(GET_UID)), 0x9000);
    EXPECT_LT(steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST_F(Faults, ControlRequestsFailOnDemand)
{
    VendorIoRecord reply;
    SimFailControl(0, true);
    EXPECT_EQ(Control({}, &reply), SCARD_E_NOT_TRANSACTED);
    EXPECT_EQ(Sw(Exchange(GET_UID)), 0x9000) << "transmits are not affected";
    SimFailControl(0, false);
    EXPECT_EQ(Control({}, &reply), SCARD_S_SUCCESS);
}

// pcscd keeps an unplugged reader listed but unavailable, and takes it back when it answers.
TEST_F(Faults, UnpluggedReaderIsUnavailableUntilItAnswersAgain)
{
    SimSetUnplugged(0, true);
    Bytes response;
    EXPECT_EQ(Transmit(GET_UID, &response), SCARD_E_READER_UNAVAILABLE);
    VendorIoRecord reply;
    EXPECT_EQ(Control({}, &reply), SCARD_E_READER_UNAVAILABLE);
    const std::string name = SimReaderName(0);
    SCARD_READERSTATE state {};
    state.szReader = name.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    for (int call = 0; call < 4 && !(state.dwEventState & SCARD_STATE_UNAVAILABLE); ++call) {
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
        SCardGetStatusChange(context, 3000, &state, 1);
    }
    EXPECT_TRUE(state.dwEventState & SCARD_STATE_UNAVAILABLE) << std::hex << state.dwEventState;
    char names[512];
    DWORD length = sizeof names;
    ASSERT_EQ(SCardListReaders(context, nullptr, names, &length), SCARD_S_SUCCESS);
    EXPECT_EQ(names, name) << "still listed";

    SimSetUnplugged(0, false);
    ASSERT_TRUE(SimWaitForCard(0, true));
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    card = 0;
    ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    EXPECT_EQ(Exchange(GET_UID), Cat(DEFAULT_UID, {0x90, 0x00}));
}

}  // namespace
