// The slot of the simulated contactless reader: the 1K storage card that may sit in it,
// the reader's volatile key memory, the authentication state, and the answers to the
// storage-card APDUs and to the vendor control record. Plain computation; the pcscd
// driver (ifdhandler.cpp) puts it behind the IFD handler entry points.
#pragma once

#include <cstdint>

constexpr int kSectors = 16;
constexpr int kBlocksPerSector = 4;
constexpr int kBlocks = kSectors * kBlocksPerSector;
constexpr int kBlockSize = 16;
constexpr int kUidSize = 4;
constexpr int kKeySize = 6;
constexpr int kKeySlots = 16;
constexpr int kAtrSize = 20;
constexpr int kMaxResponse = kBlockSize + 2;
constexpr int kVendorRecordSize = 276;
constexpr int kMaxBusyMs = 20;  // the longest a vendor command keeps the reader busy

constexpr uint8_t kKeyTypeA = 0x60;
constexpr uint8_t kKeyTypeB = 0x61;

// PC/SC storage-card ATR of a 1K card.
extern const uint8_t kStorageAtr[kAtrSize];
extern const char kFirmwareRevision[];

enum VendorCommand : uint8_t {
    kVendorLedOff = 0,
    kVendorLedOn = 1,
    kVendorFlashLed = 2,
    kVendorRfReset = 7,
    kVendorFirmwareRevision = 8,
};

struct StorageCard {
    uint8_t uid[kUidSize];
    uint8_t blocks[kBlocks][kBlockSize];  // the last block of each sector is its trailer
};

struct ReaderSlot {
    bool cardPresent;
    bool powered;
    int authSector;  // the sector authenticated to since power-up, -1 for none
    StorageCard card;
    bool keyLoaded[kKeySlots];
    uint8_t keys[kKeySlots][kKeySize];
    bool ledOn;
};

// A fresh card: block 0 holds the UID, its check byte and manufacturer bytes, every
// trailer the transport keys FF FF FF FF FF FF and the transport access bits.
void InsertCard(ReaderSlot* slot, const uint8_t uid[kUidSize]);
void RemoveCard(ReaderSlot* slot);

// Power-up and power-down both drop the authentication; power-up fails without a card.
bool PowerUpCard(ReaderSlot* slot);
void PowerDownCard(ReaderSlot* slot);

// Answers one command APDU for the powered card; response holds kMaxResponse bytes.
// Returns the response length (data and the two status bytes).
int AnswerApdu(ReaderSlot* slot, const uint8_t* apdu, int length, uint8_t* response);

// Answers a 276-byte vendor request with a 276-byte reply of the same layout: the
// request's cmd, pa, pb and pc, and le valid bytes of data. Returns false for an unknown
// command. *busyMs is how long the reader stays busy (flashing, field off), at most
// kMaxBusyMs.
bool AnswerVendorRecord(ReaderSlot* slot, const uint8_t* request, uint8_t* reply, int* busyMs);
