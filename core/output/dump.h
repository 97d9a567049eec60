// Byte dumps of requests and responses, and the vendor record's header line,
// into a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include <winscard.h>

#include "core/wire/wire_format.h"

// The caller chooses: a storage APDU is always hex, a direct send follows
// its source, the vendor record's data is hex.
enum DumpForm : int32_t {
    DUMP_HEX = 0,         // "%02X " a byte
    DUMP_CHARACTERS = 1,  // "%c" a byte; a zero byte shows nothing but still counts
};

// Room for one dump; a longer one is cut to 990 characters and "...".
constexpr size_t DUMP_TEXT_SIZE = 1000;

// Writes `count` bytes in `form` with two blanks after every 8th byte and
// CR LF after every 64th; returns the length written.
uint32_t FormatDump(char (&text)[DUMP_TEXT_SIZE], const BYTE* bytes, uint32_t count, DumpForm form);
// "CMD = %d, PA = 0x%08X, PB = 0x%08X, PC = 0x%08X, LE = %d".
void FormatVendorHeader(char (&text)[DUMP_TEXT_SIZE], const VendorIoRecord& record);
