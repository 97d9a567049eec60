// The card model of the simulated reader, without pcscd.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "card_model.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kUid[kUidSize] = {0x04, 0xA1, 0xB2, 0xC3};
const Bytes kTransportKey(6, 0xFF);

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
        InsertCard(&slot, kUid);
        ASSERT_TRUE(PowerUpCard(&slot));
    }

    Bytes Send(const Bytes& apdu)
    {
        uint8_t response[kMaxResponse];
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
        ASSERT_EQ(Sw(Cat({0x00, 0x82, 0x00, keySlot, 0x06}, key)), 0x9000);
    }
    uint16_t Auth(uint8_t block, uint8_t type, uint8_t keySlot) { return Sw({0x00, 0x88, 0x00, block, type, keySlot}); }
    uint16_t Read(uint8_t block) { return Sw({0x00, 0xB0, 0x00, block, 0x10}); }
    uint16_t Update(uint8_t block, const Bytes& data) { return Sw(Cat({0x00, 0xD6, 0x00, block, 0x10}, data)); }

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
    for (int block = 1; block < kBlocks; ++block)
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
    LoadKey(0, kTransportKey);
    ASSERT_EQ(Auth(4, kKeyTypeA, 0), 0x9000);
    const Bytes data(16, 0xAB);
    const struct {
        Bytes apdu;
        uint16_t sw;
    } cases[] = {
        {{}, 0x6700},
        {{0x00, 0xCA, 0x00}, 0x6700},
        {{0x80, 0xCA, 0x00, 0x00, 0x00}, 0x6E00},
        {{0x00, 0x84, 0x00, 0x00, 0x08}, 0x6D00},
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
    EXPECT_EQ(Auth(4, kKeyTypeA, 0), 0x9000);
    EXPECT_EQ(Read(4), 0x9000) << "none of them changed the authentication";
}

TEST_F(CardModel, ReadAndUpdateNeedTheSectorAuthenticated)
{
    const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(Read(6), 0x6982);
    EXPECT_EQ(Update(6, data), 0x6982);
    LoadKey(1, kTransportKey);
    ASSERT_EQ(Auth(7, kKeyTypeA, 1), 0x9000);
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
    LoadKey(0, kTransportKey);
    LoadKey(15, keyB);
    ASSERT_EQ(Auth(8, kKeyTypeA, 0), 0x9000);
    ASSERT_EQ(Update(11, Cat(Cat(kTransportKey, {0xFF, 0x07, 0x80, 0x69}), keyB)), 0x9000);
    EXPECT_EQ(Auth(9, kKeyTypeB, 15), 0x9000);
    EXPECT_EQ(Auth(9, kKeyTypeA, 15), 0x6300) << "key B is not key A";
    EXPECT_EQ(Read(9), 0x6982) << "a failed attempt ends the authentication";
    EXPECT_EQ(Auth(9, kKeyTypeB, 0), 0x6300);
    EXPECT_EQ(Auth(9, kKeyTypeA, 0), 0x9000);
    EXPECT_EQ(Auth(9, kKeyTypeA, 3), 0x6300) << "a slot never loaded";
}

// Key A never reads back from a trailer; block 0 (UID, manufacturer data) is read-only.
TEST_F(CardModel, TrailerAndManufacturerBlock)
{
    LoadKey(0, kTransportKey);
    ASSERT_EQ(Auth(3, kKeyTypeA, 0), 0x9000);
    const Bytes trailer = {0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x90, 0x00};
    EXPECT_EQ(Send({0x00, 0xB0, 0x00, 0x03, 0x10}), trailer);
    EXPECT_EQ(Update(0, Bytes(16, 0)), 0x6982);
    EXPECT_EQ(slot.card.blocks[0][0], 0x04);
    EXPECT_EQ(Update(1, Bytes(16, 0x77)), 0x9000);
}

// Power cycles end the authentication; the card's memory and the reader's keys stay.
TEST_F(CardModel, PowerCycleKeepsMemoryAndKeys)
{
    LoadKey(2, kTransportKey);
    ASSERT_EQ(Auth(4, kKeyTypeA, 2), 0x9000);
    ASSERT_EQ(Update(4, Bytes(16, 0x42)), 0x9000);
    PowerDownCard(&slot);
    ASSERT_TRUE(PowerUpCard(&slot));
    EXPECT_EQ(Read(4), 0x6982);
    ASSERT_EQ(Auth(4, kKeyTypeA, 2), 0x9000);
    EXPECT_EQ(Send({0x00, 0xB0, 0x00, 0x04, 0x10}), Cat(Bytes(16, 0x42), {0x90, 0x00}));
}

TEST_F(CardModel, RemovedCardCannotBePowered)
{
    RemoveCard(&slot);
    EXPECT_FALSE(slot.powered);
    EXPECT_FALSE(PowerUpCard(&slot));
    const uint8_t otherUid[kUidSize] = {1, 2, 3, 4};
    InsertCard(&slot, otherUid);
    EXPECT_FALSE(slot.powered);
    ASSERT_TRUE(PowerUpCard(&slot));
    EXPECT_EQ(Send({0x00, 0xCA, 0x00, 0x00, 0x00}), Bytes({1, 2, 3, 4, 0x90, 0x00}));
}

class VendorRecord : public CardModel {
protected:
    bool Ask(uint8_t cmd, uint32_t pa = 0, uint32_t pb = 0)
    {
        uint8_t request[kVendorRecordSize] = {cmd};
        memcpy(request + 4, &pa, 4);
        memcpy(request + 8, &pb, 4);
        request[12] = 0x5C;
        memset(request + 16, 0xEE, 256);
        request[272] = 9;
        memset(reply, 0xCC, sizeof reply);
        busyMs = -1;
        const bool answered = AnswerVendorRecord(&slot, request, reply, &busyMs);
        if (answered) {
            EXPECT_EQ(reply[0], cmd);
            EXPECT_EQ(memcmp(reply + 4, request + 4, 12), 0) << "pa, pb and pc come back";
        }
        return answered;
    }

    uint8_t reply[kVendorRecordSize];
    int busyMs = 0;
};

TEST_F(VendorRecord, LedOnAndOff)
{
    ASSERT_TRUE(Ask(kVendorLedOn));
    EXPECT_TRUE(slot.ledOn);
    EXPECT_EQ(reply[272], 0);
    EXPECT_EQ(reply[16], 0) << "no data in the reply";
    ASSERT_TRUE(Ask(kVendorLedOff));
    EXPECT_FALSE(slot.ledOn);
    EXPECT_EQ(busyMs, 0);
}

TEST_F(VendorRecord, BusyTimesAreCut)
{
    ASSERT_TRUE(Ask(kVendorFlashLed, 2, 5));
    EXPECT_EQ(busyMs, 10);
    ASSERT_TRUE(Ask(kVendorFlashLed, 3, 100));
    EXPECT_EQ(busyMs, kMaxBusyMs);
    ASSERT_TRUE(Ask(kVendorFlashLed, 0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_EQ(busyMs, kMaxBusyMs);
    ASSERT_TRUE(Ask(kVendorRfReset, 0xFFFFFFFF));
    EXPECT_EQ(busyMs, kMaxBusyMs);
}

TEST_F(VendorRecord, RfResetEndsTheAuthentication)
{
    LoadKey(0, kTransportKey);
    ASSERT_EQ(Auth(4, kKeyTypeA, 0), 0x9000);
    ASSERT_TRUE(Ask(kVendorRfReset, 5));
    EXPECT_EQ(busyMs, 5);
    EXPECT_EQ(Read(4), 0x6982);
    EXPECT_TRUE(slot.powered);
}

TEST_F(VendorRecord, FirmwareRevision)
{
    ASSERT_TRUE(Ask(kVendorFirmwareRevision));
    ASSERT_EQ(reply[272], strlen(kFirmwareRevision));
    EXPECT_EQ(memcmp(reply + 16, kFirmwareRevision, reply[272]), 0);
    EXPECT_EQ(reply[16 + reply[272]], 0);
}

TEST_F(VendorRecord, UnknownCommandsAreRefused)
{
    for (uint8_t cmd : {3, 4, 5, 6, 9, 0xFF})
        EXPECT_FALSE(Ask(cmd)) << int(cmd);
}

}  // namespace
