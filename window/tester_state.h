// The one record of all the tester's state, its saved storage-command
// settings and the small enumerations. There is exactly one TesterState,
// `tester`, zero at load; the entry and window set-up give it its defaults.
#pragma once

#include <cstddef>
#include <cstdint>

#include <winscard.h>

#include "core/compose/storage.h"
#include "core/output/log.h"
#include "core/wire/wire_format.h"

constexpr int BUFFER_SIZE = 10000;
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

// Saved form of one storage command, kept while another command is shown.
struct CommandSettings {
    BYTE data[SETTINGS_DATA_SIZE];  // string bytes, hex text as typed, or file bytes
    uint32_t dataLen;
    EntryMode entryMode;  // of data; ENTRY_NONE when none
    uint8_t p1;
    uint8_t p2;
    uint8_t p3;
    uint8_t length;
};

struct TesterState {
    // Reader connection; the Resource Manager buttons guard their life cycle.
    SCARDCONTEXT hContext;  // 0 when none is held
    SCARDHANDLE hCard;      // 0 when no card is connected
    DWORD activeProtocol;   // negotiated at Connect (or at the resume's reconnect)

    // Timing.
    int64_t ticksPerMs;  // counter ticks per millisecond, set by the entry
    int64_t shownTicks;  // the span the Elapsed field shows, in counter ticks

    // The log pane's text: CR LF separated entries, restarted when full.
    char logText[LOG_TEXT_SIZE];

    // Data entry: the chosen source and what each source holds.
    EntryMode entryMode;
    BYTE stringData[BUFFER_SIZE];  // the string field's bytes (Latin-1)
    uint32_t stringLen;
    BYTE hexData[BUFFER_SIZE];  // the hex field's parsed bytes
    uint32_t hexLen;
    BYTE fileData[BUFFER_SIZE];  // the loaded file's first bytes
    uint32_t fileLen;

    // Command composition.
    CommandType commandType;
    StorageCommand storageCommand;   // the form shown while commandType is storage
    CommandSettings getUidSettings;  // each storage command's form while another is shown
    CommandSettings loadKeysSettings;
    CommandSettings authSettings;
    CommandSettings readSettings;
    CommandSettings updateSettings;

    // Transmission.
    BYTE sendBuffer[BUFFER_SIZE];  // the last request, built anew at each Transmit
    uint32_t sendLen;
    BYTE recvBuffer[BUFFER_SIZE];  // the last response
    DWORD recvLen;
    bool loopEnabled;   // Execute Command in Loop
    int32_t loopCount;  // runs per Transmit with the loop on, 1 to 5000 when used
    bool breakOnError;  // a failed run ends the loop

    // Vendor I/O: the request the vendor fields and menu fill, and the reply.
    VendorIoRecord vendorIn;
    VendorIoRecord vendorOut;
    DWORD vendorBytesReturned;
};

extern TesterState tester;
