// What goes over the wire, defined once for the program, the simulated reader
// and the tests: the storage-card APDU bytes, the vendor control record with
// its control code and command numbers, the protocols a connect offers, and
// the send protocol record that goes with a negotiated protocol.
#pragma once

#include <cstddef>
#include <cstdint>

#include <reader.h>
#include <winscard.h>

// Storage-card APDUs: class bytes and instruction bytes. The requests go
// with class 00 or with the reader's own class FF (PC/SC Part 3), which also
// has GENERAL AUTHENTICATE: Lc 05, then the version, the block's address
// (two bytes), the key type and the key number.
constexpr uint8_t STORAGE_CLA = 0x00;
constexpr uint8_t STORAGE_CLA_PCSC = 0xFF;
enum StorageIns : uint8_t {
    INS_GET_UID = 0xCA,
    INS_LOAD_KEYS = 0x82,
    INS_AUTHENTICATE = 0x88,
    INS_GENERAL_AUTHENTICATE = 0x86,
    INS_READ_BINARY = 0xB0,
    INS_UPDATE_BINARY = 0xD6,
};
constexpr uint8_t GENERAL_AUTHENTICATE_LENGTH = 5;
// Authenticate's key types: key A and key B of the block's sector.
constexpr uint8_t KEY_TYPE_A = 0x60;
constexpr uint8_t KEY_TYPE_B = 0x61;
constexpr uint8_t GENERAL_AUTHENTICATE_VERSION = 0x01;
// ISO 7816-4's GET RESPONSE: CLA C0 00 00 Le after an answer 61 xx.
constexpr uint8_t INS_GET_RESPONSE = 0xC0;
// CLA INS P1 P2 Lc/Le.
constexpr int APDU_HEADER_SIZE = 5;

// Vendor requests to the reader driver: SCardControl with pcsc-lite's value
// for function 2048 (the one its drivers answer) and a 276-byte record,
// little-endian on the wire, which is this host's order.
constexpr DWORD VENDOR_CONTROL_CODE = SCARD_CTL_CODE(2048);
enum VendorCommandCode : uint8_t {
    VENDOR_LED_OFF = 0,
    VENDOR_LED_ON = 1,
    VENDOR_FLASH_LED = 2,
    VENDOR_RF_RESET = 7,
    VENDOR_FIRMWARE_REVISION = 8,
};
constexpr int VENDOR_DATA_SIZE = 256;
constexpr int VENDOR_RECORD_SIZE = 276;

struct VendorIoRecord {
    uint8_t cmd;
    uint8_t reserved1[3];
    uint32_t pa;
    uint32_t pb;
    uint32_t pc;
    uint8_t data[VENDOR_DATA_SIZE];
    uint8_t le;
    uint8_t reserved2[3];
};
static_assert(sizeof(VendorIoRecord) == VENDOR_RECORD_SIZE, "vendor record is 276 bytes");
static_assert(offsetof(VendorIoRecord, pa) == 4);
static_assert(offsetof(VendorIoRecord, pb) == 8);
static_assert(offsetof(VendorIoRecord, pc) == 12);
static_assert(offsetof(VendorIoRecord, data) == 16);
static_assert(offsetof(VendorIoRecord, le) == 272);

// pcsc-lite skips protocol negotiation when RAW is among the preferred
// protocols, so a connect offers T=0 and T=1 and falls back to RAW alone only
// when the card speaks neither.
constexpr DWORD OFFERED_PROTOCOLS = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
constexpr DWORD FALLBACK_PROTOCOL = SCARD_PROTOCOL_RAW;

// The send protocol record of a negotiated protocol; RAW for anything else.
inline const SCARD_IO_REQUEST* SendPci(DWORD protocol)
{
    if (protocol == SCARD_PROTOCOL_T1)
        return SCARD_PCI_T1;
    if (protocol == SCARD_PROTOCOL_T0)
        return SCARD_PCI_T0;
    return SCARD_PCI_RAW;
}
