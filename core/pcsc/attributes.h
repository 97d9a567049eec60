// The report of nineteen reader and card attributes: the table, and the value
// and the line each attribute gets; every SCARD_ATTR_ name with its code, and
// the decoded reading of a value.
#pragma once

#include <cstddef>

#include <winscard.h>

enum AttributeFormat {
    ATTRIBUTE_WORD_HEX,      // "0x %08X " of the first four bytes
    ATTRIBUTE_WORD_DECIMAL,  // "%d " of the first four bytes
    ATTRIBUTE_BYTES_HEX,     // "0x " then "%02X " per byte
    ATTRIBUTE_CHARACTERS,    // "%c " per byte, a blank for any byte outside 32..127
};

struct AttributeRow {
    const char* label;
    DWORD id;
    AttributeFormat format;
};

constexpr int ATTRIBUTE_COUNT = 19;
// The report's attributes, in the order of its lines.
extern const AttributeRow ATTRIBUTES[ATTRIBUTE_COUNT];

// The area an attribute is read into.
constexpr DWORD ATTRIBUTE_AREA_SIZE = 100;
// Room for the longest line: a label and 100 bytes in hex.
constexpr size_t ATTRIBUTE_LINE_SIZE = 512;

// The value of `length` bytes in the row's format, or "error 0x%08X (text)"
// when `status` is a failure. The word formats read four bytes of `value`
// whatever the length. The text is cut to `size`.
void FormatAttributeValue(char* text, size_t size, const AttributeRow& row, LONG status, const BYTE* value,
                          DWORD length);
// "label:   " and the value as FormatAttributeValue writes it, cut to `size`.
void FormatAttributeLine(char* line, size_t size, const AttributeRow& row, LONG status, const BYTE* value,
                         DWORD length);
// Reads the row's attribute of `card` into `value`, zeroed first; *length is
// the bytes it holds, never more than the area.
LONG ReadAttribute(SCARDHANDLE card, const AttributeRow& row, BYTE (&value)[ATTRIBUTE_AREA_SIZE], DWORD* length);
// Reads the row's attribute of `card` and formats its line; the read is not
// timed.
void ReadAttributeLine(char* line, size_t size, SCARDHANDLE card, const AttributeRow& row);

// How an attribute's value reads, beyond its bytes.
enum AttributeDecoding {
    DECODE_NONE,
    DECODE_TEXT,       // characters up to the first NUL
    DECODE_NUMBER,     // a little-endian number of up to four bytes
    DECODE_KHZ,        // a number of kHz
    DECODE_BPS,        // a number of bits per second
    DECODE_VERSION,    // 0xMMmmbbbb: major.minor build
    DECODE_CHANNEL,    // the channel type in the upper half, the channel in the lower
    DECODE_PROTOCOLS,  // SCARD_PROTOCOL_ bits
    DECODE_PRESENCE,   // SCARD_ATTR_ICC_PRESENCE's values
};

struct AttributeName {
    const char* name;  // "SCARD_ATTR_CHANNEL_ID"
    DWORD id;
    AttributeDecoding decoding;
};

// Every SCARD_ATTR_ of pcsc-lite's reader.h (the _A names for the two that
// have _A and _W forms, which pcsc-lite gives the same codes).
constexpr size_t ATTRIBUTE_NAME_COUNT = 42;
extern const AttributeName ATTRIBUTE_NAMES[ATTRIBUTE_NAME_COUNT];

// The row of `id`; null for a code without a name.
const AttributeName* FindAttributeName(DWORD id);
// An attribute as typed: a code in hex ("0x00010100") or decimal, or a
// SCARD_ATTR_ name (any case). False for anything else; *id unchanged.
bool ParseAttributeId(const char* text, DWORD* id);

// Room for the longest decoding.
constexpr size_t ATTRIBUTE_DECODED_SIZE = 160;
// The value of attribute `id` decoded ("USB, channel 0", "1.0 build 1",
// "T=1", "13560 kHz"), cut to `size`; false, with "" written, when there is
// no decoding for it or its value is empty.
bool DecodeAttribute(DWORD id, const BYTE* value, DWORD length, char* text, size_t size);
