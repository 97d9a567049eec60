// The slot of the simulated contactless reader: the 1K storage card that may sit in it,
// the reader's volatile key memory, the authentication state, and the answers to the
// storage-card APDUs and to the vendor control record. Plain computation; the pcscd
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

constexpr uint8_t KEY_TYPE_A = 0x60;
constexpr uint8_t KEY_TYPE_B = 0x61;

extern const char FIRMWARE_REVISION[];

struct StorageCard {
    uint8_t uid[UID_SIZE];
    uint8_t blocks[BLOCKS][BLOCK_SIZE];  // the last block of each sector is its trailer
};

struct ReaderSlot {
    bool cardPresent;
    bool powered;
    int authSector;  // the sector authenticated to since power-up, -1 for none
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
