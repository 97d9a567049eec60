#include "card_model.h"

#include <cstring>

const uint8_t kStorageAtr[kAtrSize] = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                                       0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A};
const char kFirmwareRevision[] = "QSIM-1K 1.0.0";

namespace {

constexpr uint8_t kClaIso = 0x00;
constexpr uint8_t kClaPcsc = 0xFF;
constexpr uint8_t kInsGetUid = 0xCA;
constexpr uint8_t kInsLoadKeys = 0x82;
constexpr uint8_t kInsAuthenticate = 0x88;
constexpr uint8_t kInsRead = 0xB0;
constexpr uint8_t kInsUpdate = 0xD6;

constexpr uint16_t kSwOk = 0x9000;
constexpr uint16_t kSwAuthFailed = 0x6300;
constexpr uint16_t kSwWrongLength = 0x6700;
constexpr uint16_t kSwSecurity = 0x6982;
constexpr uint16_t kSwWrongParams = 0x6A86;
constexpr uint16_t kSwInsUnknown = 0x6D00;
constexpr uint16_t kSwClaUnknown = 0x6E00;

constexpr uint8_t kTransportAccess[4] = {0xFF, 0x07, 0x80, 0x69};

int TrailerOf(int block)
{
    return block / kBlocksPerSector * kBlocksPerSector + kBlocksPerSector - 1;
}
bool IsTrailer(int block)
{
    return block == TrailerOf(block);
}

int Status(uint8_t* response, int dataLength, uint16_t sw)
{
    response[dataLength] = uint8_t(sw >> 8);
    response[dataLength + 1] = uint8_t(sw);
    return dataLength + 2;
}

uint32_t ReadLe32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

int AnswerGetUid(const ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != 5 || (apdu[4] != 0 && apdu[4] != kUidSize))
        return Status(response, 0, kSwWrongLength);
    if (apdu[2] != 0 || apdu[3] != 0)
        return Status(response, 0, kSwWrongParams);
    memcpy(response, slot->card.uid, kUidSize);
    return Status(response, kUidSize, kSwOk);
}

int AnswerLoadKeys(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != 5 + kKeySize || apdu[4] != kKeySize)
        return Status(response, 0, kSwWrongLength);
    const int keySlot = apdu[3];
    if (apdu[2] != 0 || keySlot >= kKeySlots)
        return Status(response, 0, kSwWrongParams);
    memcpy(slot->keys[keySlot], apdu + 5, kKeySize);
    slot->keyLoaded[keySlot] = true;
    return Status(response, 0, kSwOk);
}

// CLA INS P1 P2(block) key-type key-slot: the key in the slot is checked against key A or
// key B of the block's sector trailer. A failed attempt also ends an earlier authentication.
int AnswerAuthenticate(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != 6)
        return Status(response, 0, kSwWrongLength);
    const int block = apdu[3], keyType = apdu[4], keySlot = apdu[5];
    if (apdu[2] != 0 || block >= kBlocks || (keyType != kKeyTypeA && keyType != kKeyTypeB) || keySlot >= kKeySlots)
        return Status(response, 0, kSwWrongParams);
    const uint8_t* trailer = slot->card.blocks[TrailerOf(block)];
    const uint8_t* cardKey = keyType == kKeyTypeA ? trailer : trailer + kBlockSize - kKeySize;
    if (!slot->keyLoaded[keySlot] || memcmp(slot->keys[keySlot], cardKey, kKeySize) != 0) {
        slot->authSector = -1;
        return Status(response, 0, kSwAuthFailed);
    }
    slot->authSector = block / kBlocksPerSector;
    return Status(response, 0, kSwOk);
}

// Read and Update share their checks: P1 0, a block of the card, exactly 16 bytes, and an
// authentication to the block's sector.
uint16_t CheckBlockAccess(const ReaderSlot* slot, const uint8_t* apdu, int length, int expectedLength)
{
    if (length != expectedLength || apdu[4] != kBlockSize)
        return kSwWrongLength;
    if (apdu[2] != 0 || apdu[3] >= kBlocks)
        return kSwWrongParams;
    if (slot->authSector != apdu[3] / kBlocksPerSector)
        return kSwSecurity;
    return kSwOk;
}

int AnswerRead(const ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    const uint16_t sw = CheckBlockAccess(slot, apdu, length, 5);
    if (sw != kSwOk)
        return Status(response, 0, sw);
    const int block = apdu[3];
    memcpy(response, slot->card.blocks[block], kBlockSize);
    if (IsTrailer(block))
        memset(response, 0, kKeySize);  // key A never reads back
    return Status(response, kBlockSize, kSwOk);
}

// Block 0 (UID and manufacturer data) is read-only; writing a trailer changes the keys.
int AnswerUpdate(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    uint16_t sw = CheckBlockAccess(slot, apdu, length, 5 + kBlockSize);
    if (sw == kSwOk && apdu[3] == 0)
        sw = kSwSecurity;
    if (sw != kSwOk)
        return Status(response, 0, sw);
    memcpy(slot->card.blocks[apdu[3]], apdu + 5, kBlockSize);
    return Status(response, 0, kSwOk);
}

}  // namespace

void InsertCard(ReaderSlot* slot, const uint8_t uid[kUidSize])
{
    slot->cardPresent = true;
    slot->powered = false;
    slot->authSector = -1;
    StorageCard& card = slot->card;
    memset(&card, 0, sizeof card);
    memcpy(card.uid, uid, kUidSize);
    const uint8_t manufacturer[] = {0x08, 0x04, 0x00, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69};
    memcpy(card.blocks[0], uid, kUidSize);
    card.blocks[0][kUidSize] = uid[0] ^ uid[1] ^ uid[2] ^ uid[3];
    memcpy(card.blocks[0] + kUidSize + 1, manufacturer, sizeof manufacturer);
    for (int sector = 0; sector < kSectors; ++sector) {
        uint8_t* trailer = card.blocks[sector * kBlocksPerSector + kBlocksPerSector - 1];
        memset(trailer, 0xFF, kBlockSize);
        memcpy(trailer + kKeySize, kTransportAccess, sizeof kTransportAccess);
    }
}

void RemoveCard(ReaderSlot* slot)
{
    slot->cardPresent = false;
    slot->powered = false;
    slot->authSector = -1;
}

bool PowerUpCard(ReaderSlot* slot)
{
    slot->authSector = -1;
    slot->powered = slot->cardPresent;
    return slot->powered;
}

void PowerDownCard(ReaderSlot* slot)
{
    slot->powered = false;
    slot->authSector = -1;
}

int AnswerApdu(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length < 4)
        return Status(response, 0, kSwWrongLength);
    if (apdu[0] != kClaIso && apdu[0] != kClaPcsc)
        return Status(response, 0, kSwClaUnknown);
    switch (apdu[1]) {
    case kInsGetUid:
        return AnswerGetUid(slot, apdu, length, response);
    case kInsLoadKeys:
        return AnswerLoadKeys(slot, apdu, length, response);
    case kInsAuthenticate:
        return AnswerAuthenticate(slot, apdu, length, response);
    case kInsRead:
        return AnswerRead(slot, apdu, length, response);
    case kInsUpdate:
        return AnswerUpdate(slot, apdu, length, response);
    default:
        return Status(response, 0, kSwInsUnknown);
    }
}

bool AnswerVendorRecord(ReaderSlot* slot, const uint8_t* request, uint8_t* reply, int* busyMs)
{
    const uint32_t pa = ReadLe32(request + 4), pb = ReadLe32(request + 8);
    memset(reply, 0, kVendorRecordSize);
    reply[0] = request[0];
    memcpy(reply + 4, request + 4, 12);
    *busyMs = 0;
    uint64_t busy = 0;
    switch (request[0]) {
    case kVendorLedOff:
        slot->ledOn = false;
        break;
    case kVendorLedOn:
        slot->ledOn = true;
        break;
    case kVendorFlashLed:
        busy = uint64_t(pa) * pb;
        break;
    case kVendorRfReset:
        busy = pa;
        slot->authSector = -1;
        break;
    case kVendorFirmwareRevision:
        memcpy(reply + 16, kFirmwareRevision, sizeof kFirmwareRevision - 1);
        reply[272] = sizeof kFirmwareRevision - 1;
        break;
    default:
        return false;
    }
    *busyMs = busy < kMaxBusyMs ? int(busy) : kMaxBusyMs;
    return true;
}
