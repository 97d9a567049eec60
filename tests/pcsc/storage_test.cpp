// The storage-card commands end to end, through pcscd and the driver.
#include "pcsc_fixture.h"

namespace {

const Bytes TEST_DATA = {'*', '*', '*', ' ', 'T', 'E', 'S', 'T', 'D', 'A', 'T', 'A', ' ', '*', '*', '*'};

class Storage : public PcscTest {
protected:
    void SetUp() override
    {
        PcscTest::SetUp();
        ASSERT_EQ(Connect(), SCARD_S_SUCCESS);
    }
};

// The requests the tester composes with its start values, in the order a tester uses them.
TEST_F(Storage, TesterDefaultsWorkInSequence)
{
    EXPECT_EQ(Exchange(GET_UID), Cat(DEFAULT_UID, {0x90, 0x00}));
    EXPECT_EQ(Exchange(LoadKeyApdu(1, TRANSPORT_KEY)), Bytes({0x90, 0x00}));
    EXPECT_EQ(Exchange({0x00, 0x88, 0x00, 0x07, 0x60, 0x01}), Bytes({0x90, 0x00}));
    EXPECT_EQ(Exchange(UpdateApdu(6, TEST_DATA)), Bytes({0x90, 0x00}));
    EXPECT_EQ(Exchange({0x00, 0xB0, 0x00, 0x06, 0x10}), Cat(TEST_DATA, {0x90, 0x00}));
}

TEST_F(Storage, EveryFailureStatusComesThrough)
{
    Authenticate(4);
    const struct {
        Bytes apdu;
        uint16_t sw;
    } cases[] = {
        {{0x00, 0xB0, 0x00}, 0x6700},
        {{0x00, 0xB0, 0x00, 0x04, 0x08}, 0x6700},
        {ReadApdu(8), 0x6982},
        {{0x00, 0xB0, 0x01, 0x04, 0x10}, 0x6A86},
        {{0x00, 0x12, 0x00, 0x00, 0x00}, 0x6D00},
        {{0x80, 0xCA, 0x00, 0x00, 0x00}, 0x6E00},
        {{0xFF, 0xCA, 0x00, 0x00, 0x00}, 0x9000},
        {AuthApdu(8, 0x61, 7), 0x6300},
        // GENERAL AUTHENTICATE, class FF only; its success opens the sector.
        {{0x00, 0x86, 0x00, 0x00, 0x05, 0x01, 0x00, 0x08, 0x60, 0x01}, 0x6D00},
        {{0xFF, 0x86, 0x00, 0x00, 0x05, 0x02, 0x00, 0x08, 0x60, 0x01}, 0x6A86},
        {{0xFF, 0x86, 0x00, 0x00, 0x05, 0x01, 0x00, 0x08, 0x61, 0x07}, 0x6300},
        {{0xFF, 0x86, 0x00, 0x00, 0x05, 0x01, 0x00, 0x08, 0x60, 0x01}, 0x9000},
        {ReadApdu(8), 0x9000},
    };
    for (const auto& c : cases) {
        Bytes response;
        ASSERT_EQ(Transmit(c.apdu, &response), SCARD_S_SUCCESS);
        EXPECT_EQ(Sw(response), c.sw) << testing::PrintToString(c.apdu);
    }
}

// A reset of the card ends the authentication; the memory stays.
TEST_F(Storage, ResetDropsTheAuthentication)
{
    const Bytes data(16, 0x5A);
    Authenticate(9);
    ASSERT_EQ(Sw(Exchange(UpdateApdu(9, data))), 0x9000);
    ASSERT_EQ(SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, ALL_PROTOCOLS, SCARD_RESET_CARD, &protocol), SCARD_S_SUCCESS);
    EXPECT_EQ(Sw(Exchange(ReadApdu(9))), 0x6982);
    Authenticate(9);
    EXPECT_EQ(Exchange(ReadApdu(9)), Cat(data, {0x90, 0x00}));
}

}  // namespace
