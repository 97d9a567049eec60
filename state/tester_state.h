// The one record of all the tester's state, its saved storage-command
// settings and the small enumerations. There is exactly one TesterState,
// `tester`, zero at load; the entry and window set-up give it its defaults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <winscard.h>

#include "pcsc/wire_format.h"

constexpr int BUFFER_SIZE = 10000;
constexpr int LINE_SCRATCH_SIZE = 1000;
// Connect takes a reader name of at most 499 characters.
constexpr int SELECTED_READER_SIZE = 500;
constexpr int SETTINGS_DATA_SIZE = 1024;

// Source of the command data; 0 only in CommandSettings (nothing recorded).
enum EntryMode : int32_t {
    ENTRY_NONE = 0,
    ENTRY_STRING = 1,
    ENTRY_HEX = 2,
    ENTRY_FILE = 3,
};

// What Transmit sends.
enum CommandType : int32_t {
    COMMAND_DIRECT = 0,
    COMMAND_STORAGE = 1,
    COMMAND_VENDOR = 2,
};

// The storage-card command the composer builds; app/storage_commands.cpp
// gives each its radio button, captions and defaults.
enum StorageCommand : int32_t {
    STORAGE_GET_UID = 0,
    STORAGE_LOAD_KEYS = 1,
    STORAGE_AUTHENTICATE = 2,
    STORAGE_READ_BINARY = 3,
    STORAGE_UPDATE_BINARY = 4,
};
constexpr int STORAGE_COMMAND_COUNT = 5;

// Saved form of one storage command, kept while another command is shown.
struct CommandSettings {
    BYTE data[SETTINGS_DATA_SIZE];  // string bytes, hex text as typed, or file bytes
    uint32_t dataLen;
    int32_t entryMode;  // EntryMode of data; ENTRY_NONE when none
    uint8_t p1;
    uint8_t p2;
    uint8_t p3;
    uint8_t length;
};

struct TesterState {
    // Reader connection.
    SCARDCONTEXT hContext;
    SCARDHANDLE hCard;
    DWORD activeProtocol;

    // Timing and status.
    int64_t ticksPerMs;
    int64_t shownTicks;  // the span the Elapsed field shows, in counter ticks

    // Log.
    char logText[BUFFER_SIZE];
    char lineScratch[LINE_SCRATCH_SIZE];

    // Data entry.
    int32_t entryMode;
    BYTE stringData[BUFFER_SIZE];
    uint32_t stringLen;
    BYTE hexData[BUFFER_SIZE];
    uint32_t hexLen;
    BYTE fileData[BUFFER_SIZE];
    uint32_t fileLen;

    // Command composition and transmission.
    int32_t commandType;
    StorageCommand storageCommand;
    CommandSettings getUidSettings;
    CommandSettings loadKeysSettings;
    CommandSettings authSettings;
    CommandSettings readSettings;
    CommandSettings updateSettings;
    BYTE sendBuffer[BUFFER_SIZE];
    uint32_t sendLen;
    BYTE recvBuffer[BUFFER_SIZE];
    DWORD recvLen;
    int32_t loopEnabled;
    int32_t loopCount;
    int32_t breakOnError;

    // Vendor I/O.
    VendorIoRecord vendorIn;
    VendorIoRecord vendorOut;
    DWORD vendorBytesReturned;
};

extern TesterState tester;
