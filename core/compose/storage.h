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

// Builds the request of `command` into `dest` and returns its length; 0 when
// it would not fit in `capacity`. All of `data` that fits behind the header is
// copied whatever the command; what the request takes beyond the data is
// zeros, never what an earlier request left in `dest`. `data` may be null
// when there is none.
uint32_t BuildStorageApdu(StorageCommand command, const StorageFields& fields, const uint8_t* data, uint32_t dataLength,
                          uint8_t* dest, uint32_t capacity);
