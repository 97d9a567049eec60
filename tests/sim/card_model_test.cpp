// The card model of the simulated reader, without pcscd.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "card_model.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t CARD_UID[UID_SIZE] = {0x04, 0xA1, 0xB2, 0xC3};
const Bytes TRANSPORT_KEY(6, 0xFF);

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class CardModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        slot = ReaderSlot {};
        slot.authSector = -1;
        InsertCard(&slot, CARD_UID);
        ASSERT_TRUE(PowerUpCard(&slot));
    }

    Bytes Send(const Bytes& apdu)
    {
        uint8_t response[MAX_RESPONSE];
        const int length = AnswerApdu(&slot, apdu.data(), int(apdu.size()), response);
        return Bytes(response, response + length);
    }

    uint16_t Sw(const Bytes& apdu)
    {
        const Bytes r = Send(apdu);
        return r.size() < 2 ? 0 : uint16_t(r[r.size() - 2] << 8 | r.back());
    }

    void LoadKey(uint8_t keySlot, const Bytes& key)
    {
        ASSERT_EQ(Sw(Cat({STORAGE_CLA, INS_LOAD_KEYS, 0x00, keySlot, 0x06}, key)), 0x9000);
    }
    uint16_t Auth(uint8_t block, uint8_t type, uint8_t keySlot)
    {
        return Sw({STORAGE_CLA, INS_AUTHENTICATE, 0x00, block, type, keySlot});
    }
    uint16_t Read(uint8_t block) { return Sw({STORAGE_CLA, INS_READ_BINARY, 0x00, block, 0x10}); }
    uint16_t Update(uint8_t block, const Bytes& data)
    {
        return Sw(Cat({STORAGE_CLA, INS_UPDATE_BINARY, 0x00, block, 0x10}, data));
    }

    ReaderSlot slot;
};

TEST_F(CardModel, FreshCardHasUidBlockAndTransportTrailers)
{
    const uint8_t block0[16] = {
        0x04, 0xA1, 0xB2, 0xC3, 0x04 ^ 0xA1 ^ 0xB2 ^ 0xC3, 0x08, 0x04, 0x00, 0x62, 0x63, 0x64, 0x65,
        0x66, 0x67, 0x68, 0x69};
    EXPECT_EQ(memcmp(slot.card.blocks[0], block0, 16), 0);
    const uint8_t trailer[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                                 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t zero[16] = {};
    for (int block = 1; block < BLOCKS; ++block)
        EXPECT_EQ(memcmp(slot.card.blocks[block], block % 4 == 3 ? trailer : zero, 16), 0) << block;
}

TEST_F(CardModel, GetUid)
{
    const Bytes uidOk = {0x04, 0xA1, 0xB2, 0xC3, 0x90, 0x00};
    EXPECT_EQ(Send({0x00, 0xCA, 0x00, 0x00, 0x00}), uidOk);
    EXPECT_EQ(Send({0x00, 0xCA, 0x00, 0x00, 0x04}), uidOk);
    EXPECT_EQ(Send({0xFF, 0xCA, 0x00, 0x00, 0x00}), uidOk);
}

// Status words of malformed requests: a request that is wrong in several ways is judged by
// its length first, then by its parameters.
TEST_F(CardModel, MalformedRequests)
{
    LoadKey(0, TRANSPORT_KEY);
    ASSERT_EQ(Auth(4, KEY_TYPE_A, 0), 0x9000);
    const Bytes data(16, 0xAB);
    const struct {
        Bytes apdu;
        uint16_t sw;
    } cases[] = {
        {{}, 0x6700},
        {{0x00, 0xCA, 0x00}, 0x6700},
        {{0x80, 0xCA, 0x00, 0x00, 0x00}, 0x6E00},
        {{0x00, 0x84, 0x00, 0x00, 0x08}, 0x6D00},
        {{0x00, 0xA4, 0x04, 0x00, 0x05, 0xF0, 0x01, 0x02, 0x03, 0x04}, 0x6A82},
        {{0x00, 0xCA, 0x00, 0x00}, 0x6700},
        {{0x00, 0xCA, 0x00, 0x00, 0x05}, 0x6700},
        {{0x00, 0xCA, 0x01, 0x00, 0x00}, 0x6A86},
        {{0x00, 0x82, 0x00, 0x01, 0x05, 1, 2, 3, 4, 5}, 0x6700},
        {{0x00, 0x82, 0x00, 0x01, 0x06, 1, 2, 3, 4, 5}, 0x6700},
        {{0x00, 0x82, 0x00, 0x10, 0x06, 1, 2, 3, 4, 5, 6}, 0x6A86},
        {{0x00, 0x82, 0x20, 0x01, 0x06, 1, 2, 3, 4, 5, 6}, 0x6A86},
        {{0x00, 0x88, 0x00, 0x07, 0x60}, 0x6700},
        {{0x00, 0x88, 0x00, 0x40, 0x60, 0x00}, 0x6A86},
        {{0x00, 0x88, 0x00, 0x07, 0x62, 0x00}, 0x6A86},
        {{0x00, 0x88, 0x00, 0x07, 0x60, 0x10}, 0x6A86},
        {{0x00, 0xB0, 0x00, 0x04, 0x00}, 0x6700},
        {{0x00, 0xB0, 0x00, 0x04, 0x20}, 0x6700},
        {{0x00, 0xB0, 0x00, 0x04, 0x10, 0x00}, 0x6700},
        {{0x00, 0xB0, 0x00, 0x40, 0x10}, 0x6A86},
        {{0x00, 0xB0, 0x02, 0x04, 0x10}, 0x6A86},
        {Cat({0x00, 0xD6, 0x00, 0x04, 0x0F}, Bytes(15, 0)), 0x6700},
        {Cat({0x00, 0xD6, 0x00, 0x04, 0x10}, Bytes(15, 0)), 0x6700},
        {Cat({0x00, 0xD6, 0x00, 0x04, 0x10}, Bytes(17, 0)), 0x6700},
        {Cat({0x00, 0xD6, 0x00, 0xFF, 0x10}, data), 0x6A86},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sw(c.apdu), c.sw) << testing::PrintToString(c.apdu);
    EXPECT_EQ(Auth(4, KEY_TYPE_A, 0), 0x9000);
    EXPECT_EQ(Read(4), 0x9000) << "none of them changed the authentication";
}

TEST_F(CardModel, ReadAndUpdateNeedTheSectorAuthenticated)
{
    const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(Read(6), 0x6982);
    EXPECT_EQ(Update(6, data), 0x6982);
    LoadKey(1, TRANSPORT_KEY);
    ASSERT_EQ(Auth(7, KEY_TYPE_A, 1), 0x9000);
    for (uint8_t block : {4, 5, 6})
        EXPECT_EQ(Read(block), 0x9000) << int(block);
    EXPECT_EQ(Read(3), 0x6982);
    EXPECT_EQ(Read(8), 0x6982);
    EXPECT_EQ(Update(6, data), 0x9000);
    EXPECT_EQ(Send({0x00, 0xB0, 0x00, 0x06, 0x10}), Cat(data, {0x90, 0x00}));
}

TEST_F(CardModel, AuthenticationWithKeyAOrKeyB)
{
    const Bytes keyB = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
    LoadKey(0, TRANSPORT_KEY);
    LoadKey(15, keyB);
    ASSERT_EQ(Auth(8, KEY_TYPE_A, 0), 0x9000);
    ASSERT_EQ(Update(11, Cat(Cat(TRANSPORT_KEY, {0xFF, 0x07, 0x80, 0x69}), keyB)), 0x9000);
    EXPECT_EQ(Auth(9, KEY_TYPE_B, 15), 0x9000);
    EXPECT_EQ(Auth(9, KEY_TYPE_A, 15), 0x6300) << "key B is not key A";
    EXPECT_EQ(Read(9), 0x6982) << "a failed attempt ends the authentication";
    EXPECT_EQ(Auth(9, KEY_TYPE_B, 0), 0x6300);
    EXPECT_EQ(Auth(9, KEY_TYPE_A, 0), 0x9000);
    EXPECT_EQ(Auth(9, KEY_TYPE_A, 3), 0x6300) << "a slot never loaded";
}

// Key A never reads back from a trailer; block 0 (UID, manufacturer data) is read-only.
TEST_F(CardModel, TrailerAndManufacturerBlock)
{
    LoadKey(0, TRANSPORT_KEY);
    ASSERT_EQ(Auth(3, KEY_TYPE_A, 0), 0x9000);
    const Bytes trailer = {0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x00};
    EXPECT_EQ(Send({0x00, 0xB0, 0x00, 0x03, 0x10}), trailer);
    EXPECT_EQ(Update(0, Bytes(16, 0)), 0x6982);
    EXPECT_EQ(slot.card.blocks[0][0], 0x04);
    EXPECT_EQ(Update(1, Bytes(16, 0x77)), 0x9000);
}

// Power cycles end the authentication; the card's memory and the reader's keys stay.
TEST_F(CardModel, PowerCycleKeepsMemoryAndKeys)
{
    LoadKey(2, TRANSPORT_KEY);
    ASSERT_EQ(Auth(4, KEY_TYPE_A, 2), 0x9000);
    ASSERT_EQ(Update(4, Bytes(16, 0x42)), 0x9000);
    PowerDownCard(&slot);
    ASSERT_TRUE(PowerUpCard(&slot));
    EXPECT_EQ(Read(4), 0x6982);
    ASSERT_EQ(Auth(4, KEY_TYPE_A, 2), 0x9000);
    EXPECT_EQ(Send({0x00, 0xB0, 0x00, 0x04, 0x10}), Cat(Bytes(16, 0x42), {0x90, 0x00}));
}

TEST_F(CardModel, RemovedCardCannotBePowered)
{
    RemoveCard(&slot);
    EXPECT_FALSE(slot.powered);
    EXPECT_FALSE(PowerUpCard(&slot));
    const uint8_t otherUid[UID_SIZE] = {1, 2, 3, 4};
    InsertCard(&slot, otherUid);
    EXPECT_FALSE(slot.powered);
    ASSERT_TRUE(PowerUpCard(&slot));
    EXPECT_EQ(Send({0x00, 0xCA, 0x00, 0x00, 0x00}), Bytes({1, 2, 3, 4, 0x90, 0x00}));
}

class VendorRecord : public CardModel {
protected:
    bool Ask(uint8_t cmd, uint32_t pa = 0, uint32_t pb = 0)
    {
        VendorIoRecord request {};
        request.cmd = cmd;
        request.pa = pa;
        request.pb = pb;
        request.pc = 0x5C;
        memset(request.data, 0xEE, sizeof request.data);
        request.le = 9;
        memset(&reply, 0xCC, sizeof reply);
        busyMs = -1;
        const bool answered = AnswerVendorRecord(&slot, request, &reply, &busyMs);
        if (answered) {
            EXPECT_EQ(reply.cmd, cmd);
            EXPECT_EQ(reply.pa, pa) << "pa, pb and pc come back";
            EXPECT_EQ(reply.pb, pb);
            EXPECT_EQ(reply.pc, 0x5Cu);
        }
        return answered;
    }

    VendorIoRecord reply;
    int busyMs = 0;
};

TEST_F(VendorRecord, LedOnAndOff)
{
    ASSERT_TRUE(Ask(VENDOR_LED_ON));
    EXPECT_TRUE(slot.ledOn);
    EXPECT_EQ(reply.le, 0);
    EXPECT_EQ(reply.data[0], 0) << "no data in the reply";
    ASSERT_TRUE(Ask(VENDOR_LED_OFF));
    EXPECT_FALSE(slot.ledOn);
    EXPECT_EQ(busyMs, 0);
}

TEST_F(VendorRecord, BusyTimesAreCut)
{
    ASSERT_TRUE(Ask(VENDOR_FLASH_LED, 2, 5));
    EXPECT_EQ(busyMs, 10);
    ASSERT_TRUE(Ask(VENDOR_FLASH_LED, 3, 100));
    EXPECT_EQ(busyMs, MAX_BUSY_MS);
    ASSERT_TRUE(Ask(VENDOR_FLASH_LED, 0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_EQ(busyMs, MAX_BUSY_MS);
    ASSERT_TRUE(Ask(VENDOR_RF_RESET, 0xFFFFFFFF));
    EXPECT_EQ(busyMs, MAX_BUSY_MS);
}

TEST_F(VendorRecord, RfResetEndsTheAuthentication)
{
    LoadKey(0, TRANSPORT_KEY);
    ASSERT_EQ(Auth(4, KEY_TYPE_A, 0), 0x9000);
    ASSERT_TRUE(Ask(VENDOR_RF_RESET, 5));
    EXPECT_EQ(busyMs, 5);
    EXPECT_EQ(Read(4), 0x6982);
    EXPECT_TRUE(slot.powered);
}

TEST_F(VendorRecord, FirmwareRevision)
{
    ASSERT_TRUE(Ask(VENDOR_FIRMWARE_REVISION));
    ASSERT_EQ(reply.le, strlen(FIRMWARE_REVISION));
    EXPECT_EQ(memcmp(reply.data, FIRMWARE_REVISION, reply.le), 0);
    EXPECT_EQ(reply.data[reply.le], 0);
}

TEST_F(VendorRecord, UnknownCommandsAreRefused)
{
    for (uint8_t cmd : {3, 4, 5, 6, 9, 0xFF})
        EXPECT_FALSE(Ask(cmd)) << int(cmd);
}

}  // namespace
