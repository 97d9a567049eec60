// The slot of the simulated contactless reader: the 1K storage card that may sit in it,
// the reader's volatile key memory, the authentication state, and the answers to the
// storage-card APDUs, to the vendor control record and to the PC/SC Part 10 feature
// and property requests. Plain computation; the pcscd
// driver (ifdhandler.cpp) puts it behind the IFD handler entry points.
#pragma once

#include <cstdint>

#include "core/wire/wire_format.h"
#include "sim/card_atr.h"

constexpr int SECTORS = 16;
constexpr int BLOCKS_PER_SECTOR = 4;
constexpr int BLOCKS = SECTORS * BLOCKS_PER_SECTOR;
constexpr int BLOCK_SIZE = 16;
constexpr int UID_SIZE = 4;
constexpr int KEY_SIZE = 6;
constexpr int KEY_SLOTS = 16;
constexpr int MAX_RESPONSE = BLOCK_SIZE + 2;
constexpr int MAX_BUSY_MS = 20;  // the longest a vendor command keeps the reader busy

extern const char FIRMWARE_REVISION[];

struct StorageCard {
    uint8_t uid[UID_SIZE];
    uint8_t blocks[BLOCKS][BLOCK_SIZE];  // the last block of each sector is its trailer
};

// Two commands of the simulated card that ask for a follow-up as ISO 7816-4
// lets a card ask, for the tests of GET RESPONSE and of the Le correction.
// Both answer block 0's 16 bytes, in either class.
// CLA 5C 00 P2 Le: Le 16 answers the bytes and 90 00, any other Le 6C 10;
// with P2 01 every Le answers 6C 10 (a card that never settles).
constexpr uint8_t INS_SIM_EXACT_LE = 0x5C;
// CLA 5E 00 P2 00: answers 61 10; then each GET RESPONSE (CLA C0 00 00 Le)
// serves up to SIM_CHAIN_PIECE of the bytes left (at most Le, 00 for 256),
// ending 61 xx while some are left and 90 00 after the last. With P2 01 every
// GET RESPONSE answers 61 10 and no bytes (a card that never ends). Any other
// command, and a power-down, ends the chain; GET RESPONSE without one answers 69 85.
constexpr uint8_t INS_SIM_CHAINED = 0x5E;
constexpr int SIM_CHAIN_PIECE = 8;
constexpr uint8_t SIM_NEVER_ENDS = 0x01;

struct ReaderSlot {
    bool cardPresent;
    bool powered;
    int authSector;  // the sector authenticated to since power-up, -1 for none
    int chainLeft;   // bytes INS_SIM_CHAINED still has for GET RESPONSE; 0 for no chain, -1 for one never ending
    StorageCard card;
    bool keyLoaded[KEY_SLOTS];
    uint8_t keys[KEY_SLOTS][KEY_SIZE];
    bool ledOn;
};

// A fresh card: block 0 holds the UID, its check byte and manufacturer bytes, every
// trailer the transport keys FF FF FF FF FF FF and the transport access bits.
void InsertCard(ReaderSlot* slot, const uint8_t uid[UID_SIZE]);
void RemoveCard(ReaderSlot* slot);

// Power-up and power-down both drop the authentication; power-up fails without a card.
bool PowerUpCard(ReaderSlot* slot);
void PowerDownCard(ReaderSlot* slot);

// Answers one command APDU for the powered card; response holds MAX_RESPONSE bytes.
// Returns the response length (data and the two status bytes).
int AnswerApdu(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response);

// Answers a vendor request with a reply record: the request's cmd, pa, pb and pc, and le
// valid bytes of data. Returns false for an unknown command. *busyMs is how long the reader
// stays busy (flashing, field off), at most MAX_BUSY_MS.
bool AnswerVendorRecord(ReaderSlot* slot, const VendorIoRecord& request, VendorIoRecord* reply, int* busyMs);

// The feature codes, as the CCID driver numbers them: SCARD_CTL_CODE(0x330000 + tag).
constexpr DWORD SIM_FEATURE_CODE_BASE = SCARD_CTL_CODE(0x330000);
constexpr DWORD SIM_TLV_PROPERTIES_CODE = SIM_FEATURE_CODE_BASE + FEATURE_GET_TLV_PROPERTIES;
constexpr DWORD SIM_ESCAPE_CODE = SIM_FEATURE_CODE_BASE + FEATURE_CCID_ESC_COMMAND;
// The reader's USB identity and PIN sizes, as its properties give them.
constexpr uint16_t SIM_VENDOR_ID = 0x1209;
constexpr uint16_t SIM_PRODUCT_ID = 0x5153;
constexpr uint8_t SIM_MIN_PIN_SIZE = 4;
constexpr uint8_t SIM_MAX_PIN_SIZE = 8;
constexpr uint32_t SIM_MAX_APDU_DATA_SIZE = 0x10000;
// Room for either list.
constexpr int FEATURE_ANSWER_SIZE = 64;

// How the feature list comes out: whole, its last entry cut two bytes short, or that
// entry with a length of 2 (and two value bytes) where a feature has 4.
enum FeatureListFault { FEATURES_WHOLE, FEATURES_CUT, FEATURES_BAD_LENGTH };

// CM_IOCTL_GET_FEATURE_REQUEST's answer: FEATURE_GET_TLV_PROPERTIES and
// FEATURE_CCID_ESC_COMMAND with their codes big-endian. Returns its length.
int AnswerFeatureRequest(FeatureListFault fault, uint8_t (&answer)[FEATURE_ANSWER_SIZE]);
// FEATURE_GET_TLV_PROPERTIES's answer, numbers little-endian and sFirmwareID the
// firmware revision. Returns its length.
int AnswerTlvProperties(uint8_t (&answer)[FEATURE_ANSWER_SIZE]);
