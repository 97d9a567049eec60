// The report of nineteen reader and card attributes. A failed read shows its
// code and pcsc-lite's text in place of a value, so that "not supported" never
// reads as a value of 0.
#include "core/pcsc/attributes.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <reader.h>

#include "core/pcsc/pcsc_api.h"

const AttributeRow ATTRIBUTES[ATTRIBUTE_COUNT] = {
    {"ATR", SCARD_ATTR_ATR_STRING, ATTRIBUTE_CHARACTERS},
    {"Channel", SCARD_ATTR_CHANNEL_ID, ATTRIBUTE_WORD_HEX},
    {"Mechanical Characteristic", SCARD_ATTR_CHARACTERISTICS, ATTRIBUTE_WORD_HEX},
    {"Current Clockfrequency", SCARD_ATTR_CURRENT_CLK, ATTRIBUTE_WORD_DECIMAL},
    {"Current Protocol Type", SCARD_ATTR_CURRENT_PROTOCOL_TYPE, ATTRIBUTE_WORD_HEX},
    {"Default Clockfrequency", SCARD_ATTR_DEFAULT_CLK, ATTRIBUTE_WORD_DECIMAL},
    {"Default Data Rate", SCARD_ATTR_DEFAULT_DATA_RATE, ATTRIBUTE_WORD_DECIMAL},
    {"Friendly Name", SCARD_ATTR_DEVICE_FRIENDLY_NAME_A, ATTRIBUTE_CHARACTERS},
    {"System Name", SCARD_ATTR_DEVICE_SYSTEM_NAME_A, ATTRIBUTE_CHARACTERS},
    {"Device Unit", SCARD_ATTR_DEVICE_UNIT, ATTRIBUTE_WORD_DECIMAL},
    {"Interface Status", SCARD_ATTR_ICC_INTERFACE_STATUS, ATTRIBUTE_WORD_HEX},
    {"Card Presence Status", SCARD_ATTR_ICC_PRESENCE, ATTRIBUTE_WORD_HEX},
    {"Card Type Per ATR", SCARD_ATTR_ICC_TYPE_PER_ATR, ATTRIBUTE_WORD_HEX},
    {"Maximum Clock Frequency", SCARD_ATTR_MAX_CLK, ATTRIBUTE_WORD_DECIMAL},
    {"Maximum Data Rate", SCARD_ATTR_MAX_DATA_RATE, ATTRIBUTE_WORD_DECIMAL},
    {"Power Management Supported", SCARD_ATTR_POWER_MGMT_SUPPORT, ATTRIBUTE_WORD_HEX},
    {"IFD Type", SCARD_ATTR_VENDOR_IFD_TYPE, ATTRIBUTE_CHARACTERS},
    {"IFD Version", SCARD_ATTR_VENDOR_IFD_VERSION, ATTRIBUTE_BYTES_HEX},
    {"IFD Vendor Name", SCARD_ATTR_VENDOR_NAME, ATTRIBUTE_CHARACTERS},
};

// Appends to a line of `size` bytes filled up to *used. What does not fit is
// cut; *used then passes the end and later appends do nothing.
[[gnu::format(printf, 4, 5)]] static void Append(char* line, size_t size, size_t* used, const char* format, ...)
{
    if (*used + 1 >= size)
        return;
    va_list args;
    va_start(args, format);
    int written = vsnprintf(line + *used, size - *used, format, args);
    va_end(args);
    if (written > 0)
        *used += size_t(written);
}

void FormatAttributeValue(char* text, size_t size, const AttributeRow& row, LONG status, const BYTE* value,
                          DWORD length)
{
    if (size == 0)
        return;
    text[0] = '\0';
    size_t used = 0;
    if (status != SCARD_S_SUCCESS) {
        // pcsc_stringify_error fills one shared buffer: the text is used at once.
        Append(text, size, &used, "error 0x%08X (%s)", unsigned(uint32_t(status)), pcsc_stringify_error(status));
        return;
    }
    uint32_t word;
    memcpy(&word, value, sizeof word);
    switch (row.format) {
    case ATTRIBUTE_WORD_HEX:
        Append(text, size, &used, "0x %08X ", word);
        break;
    case ATTRIBUTE_WORD_DECIMAL:
        Append(text, size, &used, "%d ", int32_t(word));
        break;
    case ATTRIBUTE_BYTES_HEX:
        Append(text, size, &used, "0x ");
        for (DWORD i = 0; i < length; i++)
            Append(text, size, &used, "%02X ", value[i]);
        break;
    case ATTRIBUTE_CHARACTERS:
        for (DWORD i = 0; i < length; i++)
            Append(text, size, &used, "%c ", value[i] < 32 || value[i] > 127 ? ' ' : value[i]);
        break;
    }
}

void FormatAttributeLine(char* line, size_t size, const AttributeRow& row, LONG status, const BYTE* value, DWORD length)
{
    if (size == 0)
        return;
    line[0] = '\0';
    size_t used = 0;
    Append(line, size, &used, "%s:   ", row.label);
    // The value goes where the label ends, cut where the line ends.
    if (used + 1 < size)
        FormatAttributeValue(line + used, size - used, row, status, value, length);
}

LONG ReadAttribute(SCARDHANDLE card, const AttributeRow& row, BYTE (&value)[ATTRIBUTE_AREA_SIZE], DWORD* length)
{
    memset(value, 0, sizeof value);
    *length = ATTRIBUTE_AREA_SIZE;
    LONG status = pcsc.GetAttrib(card, row.id, value, length);
    // Only the area was filled, whatever length comes back.
    if (*length > ATTRIBUTE_AREA_SIZE)
        *length = ATTRIBUTE_AREA_SIZE;
    return status;
}

void ReadAttributeLine(char* line, size_t size, SCARDHANDLE card, const AttributeRow& row)
{
    BYTE value[ATTRIBUTE_AREA_SIZE];
    DWORD length;
    LONG status = ReadAttribute(card, row, value, &length);
    FormatAttributeLine(line, size, row, status, value, length);
}
