// The report of nineteen reader and card attributes. A failed read shows its
// code and pcsc-lite's text in place of a value, so that "not supported" never
// reads as a value of 0.
#include "core/pcsc/attributes.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <strings.h>

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

const AttributeName ATTRIBUTE_NAMES[ATTRIBUTE_NAME_COUNT] = {
    {"SCARD_ATTR_VENDOR_NAME", SCARD_ATTR_VENDOR_NAME, DECODE_TEXT},
    {"SCARD_ATTR_VENDOR_IFD_TYPE", SCARD_ATTR_VENDOR_IFD_TYPE, DECODE_TEXT},
    {"SCARD_ATTR_VENDOR_IFD_VERSION", SCARD_ATTR_VENDOR_IFD_VERSION, DECODE_VERSION},
    {"SCARD_ATTR_VENDOR_IFD_SERIAL_NO", SCARD_ATTR_VENDOR_IFD_SERIAL_NO, DECODE_TEXT},
    {"SCARD_ATTR_CHANNEL_ID", SCARD_ATTR_CHANNEL_ID, DECODE_CHANNEL},
    {"SCARD_ATTR_ASYNC_PROTOCOL_TYPES", SCARD_ATTR_ASYNC_PROTOCOL_TYPES, DECODE_PROTOCOLS},
    {"SCARD_ATTR_DEFAULT_CLK", SCARD_ATTR_DEFAULT_CLK, DECODE_KHZ},
    {"SCARD_ATTR_MAX_CLK", SCARD_ATTR_MAX_CLK, DECODE_KHZ},
    {"SCARD_ATTR_DEFAULT_DATA_RATE", SCARD_ATTR_DEFAULT_DATA_RATE, DECODE_BPS},
    {"SCARD_ATTR_MAX_DATA_RATE", SCARD_ATTR_MAX_DATA_RATE, DECODE_BPS},
    {"SCARD_ATTR_MAX_IFSD", SCARD_ATTR_MAX_IFSD, DECODE_NUMBER},
    {"SCARD_ATTR_SYNC_PROTOCOL_TYPES", SCARD_ATTR_SYNC_PROTOCOL_TYPES, DECODE_PROTOCOLS},
    {"SCARD_ATTR_POWER_MGMT_SUPPORT", SCARD_ATTR_POWER_MGMT_SUPPORT, DECODE_NUMBER},
    {"SCARD_ATTR_USER_TO_CARD_AUTH_DEVICE", SCARD_ATTR_USER_TO_CARD_AUTH_DEVICE, DECODE_NONE},
    {"SCARD_ATTR_USER_AUTH_INPUT_DEVICE", SCARD_ATTR_USER_AUTH_INPUT_DEVICE, DECODE_NONE},
    {"SCARD_ATTR_CHARACTERISTICS", SCARD_ATTR_CHARACTERISTICS, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_PROTOCOL_TYPE", SCARD_ATTR_CURRENT_PROTOCOL_TYPE, DECODE_PROTOCOLS},
    {"SCARD_ATTR_CURRENT_CLK", SCARD_ATTR_CURRENT_CLK, DECODE_KHZ},
    {"SCARD_ATTR_CURRENT_F", SCARD_ATTR_CURRENT_F, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_D", SCARD_ATTR_CURRENT_D, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_N", SCARD_ATTR_CURRENT_N, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_W", SCARD_ATTR_CURRENT_W, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_IFSC", SCARD_ATTR_CURRENT_IFSC, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_IFSD", SCARD_ATTR_CURRENT_IFSD, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_BWT", SCARD_ATTR_CURRENT_BWT, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_CWT", SCARD_ATTR_CURRENT_CWT, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_EBC_ENCODING", SCARD_ATTR_CURRENT_EBC_ENCODING, DECODE_NUMBER},
    {"SCARD_ATTR_EXTENDED_BWT", SCARD_ATTR_EXTENDED_BWT, DECODE_NUMBER},
    {"SCARD_ATTR_ICC_PRESENCE", SCARD_ATTR_ICC_PRESENCE, DECODE_PRESENCE},
    {"SCARD_ATTR_ICC_INTERFACE_STATUS", SCARD_ATTR_ICC_INTERFACE_STATUS, DECODE_NUMBER},
    {"SCARD_ATTR_CURRENT_IO_STATE", SCARD_ATTR_CURRENT_IO_STATE, DECODE_NONE},
    {"SCARD_ATTR_ATR_STRING", SCARD_ATTR_ATR_STRING, DECODE_NONE},
    {"SCARD_ATTR_ICC_TYPE_PER_ATR", SCARD_ATTR_ICC_TYPE_PER_ATR, DECODE_NUMBER},
    {"SCARD_ATTR_ESC_RESET", SCARD_ATTR_ESC_RESET, DECODE_NONE},
    {"SCARD_ATTR_ESC_CANCEL", SCARD_ATTR_ESC_CANCEL, DECODE_NONE},
    {"SCARD_ATTR_ESC_AUTHREQUEST", SCARD_ATTR_ESC_AUTHREQUEST, DECODE_NONE},
    {"SCARD_ATTR_MAXINPUT", SCARD_ATTR_MAXINPUT, DECODE_NUMBER},
    {"SCARD_ATTR_DEVICE_UNIT", SCARD_ATTR_DEVICE_UNIT, DECODE_NUMBER},
    {"SCARD_ATTR_DEVICE_IN_USE", SCARD_ATTR_DEVICE_IN_USE, DECODE_NUMBER},
    {"SCARD_ATTR_DEVICE_FRIENDLY_NAME_A", SCARD_ATTR_DEVICE_FRIENDLY_NAME_A, DECODE_TEXT},
    {"SCARD_ATTR_DEVICE_SYSTEM_NAME_A", SCARD_ATTR_DEVICE_SYSTEM_NAME_A, DECODE_TEXT},
    {"SCARD_ATTR_SUPRESS_T1_IFS_REQUEST", SCARD_ATTR_SUPRESS_T1_IFS_REQUEST, DECODE_NONE},
};

const AttributeName* FindAttributeName(DWORD id)
{
    for (const AttributeName& row : ATTRIBUTE_NAMES)
        if (row.id == id)
            return &row;
    return nullptr;
}

bool ParseAttributeId(const char* text, DWORD* id)
{
    for (const AttributeName& row : ATTRIBUTE_NAMES)
        if (strcasecmp(text, row.name) == 0) {
            *id = row.id;
            return true;
        }
    if (!isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char* end;
    errno = 0;
    unsigned long long code = strtoull(text, &end, 0);
    if (*end != '\0' || errno != 0 || code > UINT32_MAX)
        return false;
    *id = DWORD(code);
    return true;
}

namespace {

// The value's first bytes, up to four, as a little-endian number.
uint32_t LittleEndian(const BYTE* value, DWORD length)
{
    uint32_t number = 0;
    for (DWORD i = length < 4 ? length : 4; i > 0; --i)
        number = number << 8 | value[i - 1];
    return number;
}

const char* ChannelType(uint32_t type)
{
    switch (type) {
    case 0x01:
        return "serial";
    case 0x02:
        return "parallel";
    case 0x04:
        return "PS/2";
    case 0x08:
        return "SCSI";
    case 0x10:
        return "IDE";
    case 0x20:
        return "USB";
    default:
        return type >= 0xF0 && type <= 0xFF ? "vendor-defined" : nullptr;
    }
}

void DecodeProtocols(uint32_t bits, char* text, size_t size, size_t* used)
{
    if (bits == 0) {
        Append(text, size, used, "none");
        return;
    }
    static const struct {
        uint32_t bit;
        const char* name;
    } PROTOCOLS[] = {{SCARD_PROTOCOL_T0, "T=0"},
                     {SCARD_PROTOCOL_T1, "T=1"},
                     {SCARD_PROTOCOL_RAW, "RAW"},
                     {SCARD_PROTOCOL_T15, "T=15"}};
    for (const auto& protocol : PROTOCOLS)
        if (bits & protocol.bit) {
            Append(text, size, used, "%s%s", *used > 0 ? ", " : "", protocol.name);
            bits &= ~protocol.bit;
        }
    if (bits != 0)
        Append(text, size, used, "%sother bits 0x%08X", *used > 0 ? ", " : "", unsigned(bits));
}

}  // namespace

bool DecodeAttribute(DWORD id, const BYTE* value, DWORD length, char* text, size_t size)
{
    if (size == 0)
        return false;
    text[0] = '\0';
    const AttributeName* row = FindAttributeName(id);
    if (row == nullptr || row->decoding == DECODE_NONE || length == 0)
        return false;
    size_t used = 0;
    uint32_t number = LittleEndian(value, length);
    switch (row->decoding) {
    case DECODE_TEXT:
        // Up to the NUL that ends a C string; a byte no text holds shows as '?'.
        for (DWORD i = 0; i < length && value[i] != 0; ++i)
            Append(text, size, &used, "%c", value[i] < 32 || value[i] > 126 ? '?' : char(value[i]));
        break;
    case DECODE_NUMBER:
        Append(text, size, &used, "%u", unsigned(number));
        break;
    case DECODE_KHZ:
        Append(text, size, &used, "%u kHz", unsigned(number));
        break;
    case DECODE_BPS:
        Append(text, size, &used, "%u bps", unsigned(number));
        break;
    case DECODE_VERSION:
        Append(text, size, &used, "%u.%u build %u", unsigned(number >> 24), unsigned(number >> 16 & 0xFF),
               unsigned(number & 0xFFFF));
        break;
    case DECODE_CHANNEL: {
        const char* type = ChannelType(number >> 16);
        if (type != nullptr)
            Append(text, size, &used, "%s, channel %u", type, unsigned(number & 0xFFFF));
        else
            Append(text, size, &used, "type 0x%04X (unknown), channel %u", unsigned(number >> 16),
                   unsigned(number & 0xFFFF));
        break;
    }
    case DECODE_PROTOCOLS:
        DecodeProtocols(number, text, size, &used);
        break;
    case DECODE_PRESENCE:
        Append(text, size, &used, "%s",
               number == 0       ? "not present"
                   : number == 1 ? "present, not swallowed"
                   : number == 2 ? "present, swallowed"
                   : number == 4 ? "confiscated"
                                 : "unknown");
        break;
    case DECODE_NONE:
        break;
    }
    return true;
}
