// Data entry cores: the hex text parser, the one-byte P3 reading and the
// file loader. Plain arguments and results; the window's handlers read the
// fields and show what comes back.
#pragma once

#include <cstdint>

// Reads every hex digit of `text` (length characters) in order and skips
// anything else, Latin-1 letters included; digits pair into bytes, and a
// lone last digit pairs with 0. Writes at most `capacity` bytes into `dest`
// and returns the count written.
uint32_t ParseHexPairs(const char* text, uint32_t length, uint8_t* dest, uint32_t capacity);

// Why a hex text was refused by ParseHexStrict.
enum HexFailure : int32_t {
    HEX_OK = 0,
    HEX_NO_BYTES,
    HEX_NOT_HEX,
    HEX_ODD_DIGITS,
    HEX_TOO_LONG,
};

// Reads bytes typed where nothing may be guessed (a command line, a script):
// pairs of hex digits of either case, blanks (spaces, tabs) allowed between
// pairs, so "00CA000000" and "00 CA 00 00 00" are the same five bytes. A text
// holding anything else, a run of digits of odd length, no digit at all or
// more than `capacity` bytes is refused; *count is then 0.
HexFailure ParseHexStrict(const char* text, uint8_t* dest, uint32_t capacity, uint32_t* count);
// Says why, e.g. "odd number of hex digits".
const char* HexFailureText(HexFailure failure);

// One byte in hex, as the P3 field shows it ("0x%02X") or as typed: "0x",
// "0X" or nothing before one or two digits of either case. False for any
// other text; *value changes only on success.
bool ParseHexByte(const char* text, uint8_t* value);

constexpr int LOAD_FAILURE_SIZE = 80;

// What a file load came to. `failure` is empty after a load that worked and
// otherwise says why it did not.
struct FileLoad {
    uint32_t count;  // bytes read into the destination
    bool larger;     // the file holds more than the destination took
    char failure[LOAD_FAILURE_SIZE];
};

// Reads at most `capacity` bytes of the file at `path` into `dest`, without
// ever waiting for data: a pipe or device that has nothing to give now is
// refused. Returns false (with result->failure) when the file cannot be
// opened or read; dest may then hold part of it.
bool ReadDataFile(const char* path, uint8_t* dest, uint32_t capacity, FileLoad* result);
