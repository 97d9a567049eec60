#include "card_model.h"

#include <cstring>

const char FIRMWARE_REVISION[] = "QSIM-1K 1.0.0";

namespace {

constexpr uint16_t SW_OK = 0x9000;
constexpr uint16_t SW_AUTH_FAILED = 0x6300;
constexpr uint16_t SW_WRONG_LENGTH = 0x6700;
constexpr uint16_t SW_SECURITY = 0x6982;
constexpr uint16_t SW_CONDITIONS = 0x6985;
constexpr uint16_t SW_BYTES_LEFT = 0x6100;    // and how many
constexpr uint16_t SW_EXACT_LENGTH = 0x6C00;  // and the Le to ask for
constexpr uint16_t SW_FILE_NOT_FOUND = 0x6A82;
constexpr uint16_t SW_WRONG_PARAMS = 0x6A86;
constexpr uint16_t SW_INS_UNKNOWN = 0x6D00;
constexpr uint16_t SW_CLA_UNKNOWN = 0x6E00;

// A storage card holds no applications: every SELECT finds nothing, as
// contactless readers answer for such a card.
constexpr uint8_t INS_SELECT = 0xA4;

constexpr uint8_t TRANSPORT_ACCESS[4] = {0xFF, 0x07, 0x80, 0x69};

int TrailerOf(int block)
{
    return block / BLOCKS_PER_SECTOR * BLOCKS_PER_SECTOR + BLOCKS_PER_SECTOR - 1;
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

int AnswerGetUid(const ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != APDU_HEADER_SIZE || (apdu[4] != 0 && apdu[4] != UID_SIZE))
        return Status(response, 0, SW_WRONG_LENGTH);
    if (apdu[2] != 0 || apdu[3] != 0)
        return Status(response, 0, SW_WRONG_PARAMS);
    memcpy(response, slot->card.uid, UID_SIZE);
    return Status(response, UID_SIZE, SW_OK);
}

int AnswerLoadKeys(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != APDU_HEADER_SIZE + KEY_SIZE || apdu[4] != KEY_SIZE)
        return Status(response, 0, SW_WRONG_LENGTH);
    const int keySlot = apdu[3];
    if (apdu[2] != 0 || keySlot >= KEY_SLOTS)
        return Status(response, 0, SW_WRONG_PARAMS);
    memcpy(slot->keys[keySlot], apdu + APDU_HEADER_SIZE, KEY_SIZE);
    slot->keyLoaded[keySlot] = true;
    return Status(response, 0, SW_OK);
}

// The key in the slot is checked against key A or key B of the block's sector trailer. A
// failed attempt also ends an earlier authentication.
int Authenticate(ReaderSlot* slot, int block, int keyType, int keySlot, uint8_t* response)
{
    if (block >= BLOCKS || (keyType != KEY_TYPE_A && keyType != KEY_TYPE_B) || keySlot >= KEY_SLOTS)
        return Status(response, 0, SW_WRONG_PARAMS);
    const uint8_t* trailer = slot->card.blocks[TrailerOf(block)];
    const uint8_t* cardKey = keyType == KEY_TYPE_A ? trailer : trailer + BLOCK_SIZE - KEY_SIZE;
    if (!slot->keyLoaded[keySlot] || memcmp(slot->keys[keySlot], cardKey, KEY_SIZE) != 0) {
        slot->authSector = -1;
        return Status(response, 0, SW_AUTH_FAILED);
    }
    slot->authSector = block / BLOCKS_PER_SECTOR;
    return Status(response, 0, SW_OK);
}

// CLA 88 P1 P2(block) key-type key-slot.
int AnswerAuthenticate(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != APDU_HEADER_SIZE + 1)
        return Status(response, 0, SW_WRONG_LENGTH);
    if (apdu[2] != 0)
        return Status(response, 0, SW_WRONG_PARAMS);
    return Authenticate(slot, apdu[3], apdu[4], apdu[5], response);
}

// FF 86 00 00 05 01 address(2) key-type key-slot: GENERAL AUTHENTICATE.
int AnswerGeneralAuthenticate(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != APDU_HEADER_SIZE + GENERAL_AUTHENTICATE_LENGTH || apdu[4] != GENERAL_AUTHENTICATE_LENGTH)
        return Status(response, 0, SW_WRONG_LENGTH);
    const uint8_t* data = apdu + APDU_HEADER_SIZE;
    if (apdu[2] != 0 || apdu[3] != 0 || data[0] != GENERAL_AUTHENTICATE_VERSION)
        return Status(response, 0, SW_WRONG_PARAMS);
    return Authenticate(slot, data[1] << 8 | data[2], data[3], data[4], response);
}

int AnswerExactLe(const ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != APDU_HEADER_SIZE)
        return Status(response, 0, SW_WRONG_LENGTH);
    if (apdu[4] != BLOCK_SIZE || apdu[3] == SIM_NEVER_ENDS)
        return Status(response, 0, SW_EXACT_LENGTH | BLOCK_SIZE);
    memcpy(response, slot->card.blocks[0], BLOCK_SIZE);
    return Status(response, BLOCK_SIZE, SW_OK);
}

int AnswerChained(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length != APDU_HEADER_SIZE)
        return Status(response, 0, SW_WRONG_LENGTH);
    slot->chainLeft = apdu[3] == SIM_NEVER_ENDS ? -1 : BLOCK_SIZE;
    return Status(response, 0, SW_BYTES_LEFT | BLOCK_SIZE);
}

int AnswerGetResponse(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (slot->chainLeft == 0)
        return Status(response, 0, SW_CONDITIONS);
    if (length != APDU_HEADER_SIZE)
        return Status(response, 0, SW_WRONG_LENGTH);
    if (slot->chainLeft < 0)
        return Status(response, 0, SW_BYTES_LEFT | BLOCK_SIZE);
    int asked = apdu[4] == 0 ? 256 : apdu[4];
    int count = asked < SIM_CHAIN_PIECE ? asked : SIM_CHAIN_PIECE;
    count = count < slot->chainLeft ? count : slot->chainLeft;
    memcpy(response, slot->card.blocks[0] + BLOCK_SIZE - slot->chainLeft, size_t(count));
    slot->chainLeft -= count;
    return Status(response, count, slot->chainLeft > 0 ? uint16_t(SW_BYTES_LEFT | slot->chainLeft) : SW_OK);
}

// Read and Update share their checks: P1 0, a block of the card, exactly 16 bytes, and an
// authentication to the block's sector.
uint16_t CheckBlockAccess(const ReaderSlot* slot, const uint8_t* apdu, int length, int expectedLength)
{
    if (length != expectedLength || apdu[4] != BLOCK_SIZE)
        return SW_WRONG_LENGTH;
    if (apdu[2] != 0 || apdu[3] >= BLOCKS)
        return SW_WRONG_PARAMS;
    if (slot->authSector != apdu[3] / BLOCKS_PER_SECTOR)
        return SW_SECURITY;
    return SW_OK;
}

int AnswerRead(const ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    const uint16_t sw = CheckBlockAccess(slot, apdu, length, APDU_HEADER_SIZE);
    if (sw != SW_OK)
        return Status(response, 0, sw);
    const int block = apdu[3];
    memcpy(response, slot->card.blocks[block], BLOCK_SIZE);
    if (IsTrailer(block))
        memset(response, 0, KEY_SIZE);  // key A never reads back
    return Status(response, BLOCK_SIZE, SW_OK);
}

// Block 0 (UID and manufacturer data) is read-only; writing a trailer changes the keys.
int AnswerUpdate(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    uint16_t sw = CheckBlockAccess(slot, apdu, length, APDU_HEADER_SIZE + BLOCK_SIZE);
    if (sw == SW_OK && apdu[3] == 0)
        sw = SW_SECURITY;
    if (sw != SW_OK)
        return Status(response, 0, sw);
    memcpy(slot->card.blocks[apdu[3]], apdu + APDU_HEADER_SIZE, BLOCK_SIZE);
    return Status(response, 0, SW_OK);
}

}  // namespace

void InsertCard(ReaderSlot* slot, const uint8_t uid[UID_SIZE])
{
    slot->cardPresent = true;
    slot->powered = false;
    slot->authSector = -1;
    StorageCard& card = slot->card;
    memset(&card, 0, sizeof card);
    memcpy(card.uid, uid, UID_SIZE);
    const uint8_t manufacturer[] = {0x08, 0x04, 0x00, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69};
    memcpy(card.blocks[0], uid, UID_SIZE);
    card.blocks[0][UID_SIZE] = uid[0] ^ uid[1] ^ uid[2] ^ uid[3];
    memcpy(card.blocks[0] + UID_SIZE + 1, manufacturer, sizeof manufacturer);
    for (int sector = 0; sector < SECTORS; ++sector) {
        uint8_t* trailer = card.blocks[sector * BLOCKS_PER_SECTOR + BLOCKS_PER_SECTOR - 1];
        memset(trailer, 0xFF, BLOCK_SIZE);
        memcpy(trailer + KEY_SIZE, TRANSPORT_ACCESS, sizeof TRANSPORT_ACCESS);
    }
}

void RemoveCard(ReaderSlot* slot)
{
    slot->cardPresent = false;
    slot->powered = false;
    slot->authSector = -1;
    slot->chainLeft = 0;
}

bool PowerUpCard(ReaderSlot* slot)
{
    slot->authSector = -1;
    slot->chainLeft = 0;
    slot->powered = slot->cardPresent;
    return slot->powered;
}

void PowerDownCard(ReaderSlot* slot)
{
    slot->powered = false;
    slot->authSector = -1;
    slot->chainLeft = 0;
}

int AnswerApdu(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response)
{
    if (length < 4)
        return Status(response, 0, SW_WRONG_LENGTH);
    if (apdu[0] != STORAGE_CLA && apdu[0] != STORAGE_CLA_PCSC)
        return Status(response, 0, SW_CLA_UNKNOWN);
    if (apdu[1] == INS_GET_RESPONSE)
        return AnswerGetResponse(slot, apdu, length, response);
    slot->chainLeft = 0;
    if (apdu[0] == STORAGE_CLA_PCSC && apdu[1] == INS_GENERAL_AUTHENTICATE)
        return AnswerGeneralAuthenticate(slot, apdu, length, response);
    switch (apdu[1]) {
    case INS_GET_UID:
        return AnswerGetUid(slot, apdu, length, response);
    case INS_LOAD_KEYS:
        return AnswerLoadKeys(slot, apdu, length, response);
    case INS_AUTHENTICATE:
        return AnswerAuthenticate(slot, apdu, length, response);
    case INS_READ_BINARY:
        return AnswerRead(slot, apdu, length, response);
    case INS_UPDATE_BINARY:
        return AnswerUpdate(slot, apdu, length, response);
    case INS_SELECT:
        return Status(response, 0, SW_FILE_NOT_FOUND);
    case INS_SIM_EXACT_LE:
        return AnswerExactLe(slot, apdu, length, response);
    case INS_SIM_CHAINED:
        return AnswerChained(slot, apdu, length, response);
    default:
        return Status(response, 0, SW_INS_UNKNOWN);
    }
}

bool AnswerVendorRecord(ReaderSlot* slot, const VendorIoRecord& request, VendorIoRecord* reply, int* busyMs)
{
    *reply = VendorIoRecord {};
    reply->cmd = request.cmd;
    reply->pa = request.pa;
    reply->pb = request.pb;
    reply->pc = request.pc;
    *busyMs = 0;
    uint64_t busy = 0;
    switch (request.cmd) {
    case VENDOR_LED_OFF:
        slot->ledOn = false;
        break;
    case VENDOR_LED_ON:
        slot->ledOn = true;
        break;
    case VENDOR_FLASH_LED:
        busy = uint64_t(request.pa) * request.pb;
        break;
    case VENDOR_RF_RESET:
        busy = request.pa;
        slot->authSector = -1;
        break;
    case VENDOR_FIRMWARE_REVISION:
        memcpy(reply->data, FIRMWARE_REVISION, sizeof FIRMWARE_REVISION - 1);
        reply->le = sizeof FIRMWARE_REVISION - 1;
        break;
    default:
        return false;
    }
    *busyMs = busy < MAX_BUSY_MS ? int(busy) : MAX_BUSY_MS;
    return true;
}

namespace {

int PutTlv(uint8_t (&answer)[FEATURE_ANSWER_SIZE], int used, uint8_t tag, const uint8_t* value, uint8_t length)
{
    answer[used] = tag;
    answer[used + 1] = length;
    memcpy(answer + used + 2, value, length);
    return used + 2 + length;
}

int PutFeature(uint8_t (&answer)[FEATURE_ANSWER_SIZE], int used, uint8_t tag, uint8_t length)
{
    const uint32_t code = SIM_FEATURE_CODE_BASE + tag;
    const uint8_t value[4] = {uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8), uint8_t(code)};
    return PutTlv(answer, used, tag, value, length);
}

// A number little-endian in `width` bytes.
int PutNumber(uint8_t (&answer)[FEATURE_ANSWER_SIZE], int used, uint8_t tag, uint32_t number, uint8_t width)
{
    uint8_t value[4];
    for (int i = 0; i < width; ++i)
        value[i] = uint8_t(number >> (8 * i));
    return PutTlv(answer, used, tag, value, width);
}

}  // namespace

int AnswerFeatureRequest(FeatureListFault fault, uint8_t (&answer)[FEATURE_ANSWER_SIZE])
{
    int used = PutFeature(answer, 0, FEATURE_GET_TLV_PROPERTIES, 4);
    used = PutFeature(answer, used, FEATURE_CCID_ESC_COMMAND, fault == FEATURES_BAD_LENGTH ? 2 : 4);
    return fault == FEATURES_CUT ? used - 2 : used;
}

int AnswerTlvProperties(uint8_t (&answer)[FEATURE_ANSWER_SIZE])
{
    int used = PutNumber(answer, 0, PCSCv2_PART10_PROPERTY_wLcdLayout, 0, 2);
    used = PutNumber(answer, used, PCSCv2_PART10_PROPERTY_bEntryValidationCondition, 0x02, 1);
    used = PutNumber(answer, used, PCSCv2_PART10_PROPERTY_bTimeOut2, 0, 1);
    used = PutNumber(answer, used, PCSCv2_PART10_PROPERTY_bMinPINSize, SIM_MIN_PIN_SIZE, 1);
    used = PutNumber(answer, used, PCSCv2_PART10_PROPERTY_bMaxPINSize, SIM_MAX_PIN_SIZE, 1);
    used = PutTlv(answer, used, PCSCv2_PART10_PROPERTY_sFirmwareID, reinterpret_cast<const uint8_t*>(FIRMWARE_REVISION),
                  sizeof FIRMWARE_REVISION - 1);
    used = PutNumber(answer, used, PCSCv2_PART10_PROPERTY_bPPDUSupport, 0, 1);
    used = PutNumber(answer, used, PCSCv2_PART10_PROPERTY_dwMaxAPDUDataSize, SIM_MAX_APDU_DATA_SIZE, 4);
    used = PutNumber(answer, used, PCSCv2_PART10_PROPERTY_wIdVendor, SIM_VENDOR_ID, 2);
    return PutNumber(answer, used, PCSCv2_PART10_PROPERTY_wIdProduct, SIM_PRODUCT_ID, 2);
}
