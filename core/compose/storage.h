// The storage-card APDU composer core: the request a command makes of its
// parameter bytes and the current data.
#pragma once

#include <cstdint>

// The storage-card command the composer builds; the window gives each its
// radio button, captions and defaults.
enum StorageCommand : int32_t {
    STORAGE_GET_UID = 0,
    STORAGE_LOAD_KEYS = 1,
    STORAGE_AUTHENTICATE = 2,
    STORAGE_READ_BINARY = 3,
    STORAGE_UPDATE_BINARY = 4,
};
constexpr int STORAGE_COMMAND_COUNT = 5;

// The parameter fields of the form as bytes.
struct StorageFields {
    uint8_t p1;
    uint8_t p2;
    uint8_t p3;      // Authenticate's key type
    uint8_t length;  // Le of a request without data, Lc of one with data
};

// Which Authenticate a request is: the older AUTHENTICATE (INS 88: P1 P2
// the block, the key type in place of Lc, the key number as its one byte of
// data) or GENERAL AUTHENTICATE (INS 86: P1 P2 00, Lc 05, version 01, P1
// and P2 as the block's address, the key type, the key number).
enum StorageAuthenticate : int32_t {
    STORAGE_AUTH_LEGACY = 0,
    STORAGE_AUTH_GENERAL = 1,
};

// The class byte and the Authenticate every request is built with; zero is
// class 00 and the older AUTHENTICATE.
struct StorageDialect {
    uint8_t cla;  // STORAGE_CLA or STORAGE_CLA_PCSC
    StorageAuthenticate authenticate;
};

// Builds the request of `command` in `dialect` into `dest` and returns its length; 0 when
// it would not fit in `capacity`. All of `data` that fits behind the header is
// copied whatever the command (but GENERAL AUTHENTICATE, whose data is built
// of the fields and the key number, `data`'s first byte, 0 when there is none); what the request takes beyond the data
// is zeros, never what an earlier request left in `dest`. `data` may be null when there is none.
uint32_t BuildStorageApdu(StorageCommand command, const StorageDialect& dialect, const StorageFields& fields,
                          const uint8_t* data, uint32_t dataLength, uint8_t* dest, uint32_t capacity);
