// The report of nineteen reader and card attributes: the table, and the value
// and the line each attribute gets.
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
