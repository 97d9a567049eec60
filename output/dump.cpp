// Byte dumps of requests and responses: a title entry, then the bytes as one
// entry in hex ("%02X ") or character ("%c") form, two blanks after every 8th
// byte and CR LF after every 64th. Built in lineScratch, never past it.
#include "output/dump.h"

#include <cstdio>
#include <cstring>

#include "app/window_output.h"

namespace {

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
// Three characters are counted per byte in either form; past this the dump is cut.
constexpr uint32_t BYTE_LIMIT_CHARS = 990;
constexpr uint32_t CUT_LENGTH = 990;
constexpr uint32_t SCRATCH_TEXT_MAX = LINE_SCRATCH_SIZE - 1;

// The separator after the byte at 1-based position `position`: CR LF after
// every 64th, two blanks after every other 8th, nothing otherwise.
const char* GroupSeparator(uint32_t position)
{
    if (position % 64 == 0)
        return "\r\n";
    if (position % 8 == 0)
        return "  ";
    return "";
}

uint32_t AppendHexByte(char* text, uint32_t pos, BYTE value)
{
    text[pos] = HEX_DIGITS[value >> 4];
    text[pos + 1] = HEX_DIGITS[value & 0x0F];
    text[pos + 2] = ' ';
    return pos + 3;
}

uint32_t AppendSeparator(char* text, uint32_t pos, const char* separator)
{
    for (; *separator != '\0'; ++separator)
        text[pos++] = *separator;
    return pos;
}

}  // namespace

void LogBytes(const char* title, const BYTE* bytes, uint32_t count)
{
    // A storage APDU and its response are always hex; direct sends follow the source.
    bool hexForm = tester.commandType == COMMAND_STORAGE || tester.entryMode != ENTRY_STRING;
    char* text = tester.lineScratch;

    LogAppend(title);

    uint32_t pos = 0;
    bool cut = false;
    for (uint32_t k = 0; k < count; ++k) {
        if (3 * uint64_t(k) > BYTE_LIMIT_CHARS) {
            cut = true;
            break;
        }
        const char* separator = GroupSeparator(k + 1);
        uint32_t byteChars = hexForm ? 3 : (bytes[k] != 0 ? 1 : 0);
        if (pos + byteChars + uint32_t(strlen(separator)) > SCRATCH_TEXT_MAX) {
            cut = true;
            break;
        }
        if (hexForm)
            pos = AppendHexByte(text, pos, bytes[k]);
        else if (bytes[k] != 0)
            text[pos++] = char(bytes[k]);
        pos = AppendSeparator(text, pos, separator);
    }
    if (cut) {
        if (pos > CUT_LENGTH)
            pos = CUT_LENGTH;
        pos = AppendSeparator(text, pos, "...");
    }
    text[pos] = '\0';

    LogAppend(text);
}

void LogVendorRecord(const char* title, const VendorIoRecord* record, int32_t size)
{
    LogAppend(title);
    if (size != VENDOR_RECORD_SIZE)
        return;

    snprintf(tester.lineScratch, sizeof tester.lineScratch, "CMD = %d, PA = 0x%08X, PB = 0x%08X, PC = 0x%08X, LE = %d",
             record->cmd, unsigned(record->pa), unsigned(record->pb), unsigned(record->pc), record->le);
    LogAppend(tester.lineScratch);

    // At most 255 bytes: 827 characters, well inside the scratch.
    char* text = tester.lineScratch;
    uint32_t pos = 0;
    for (uint32_t i = 0; i < record->le && i < VENDOR_DATA_SIZE; ++i) {
        pos = AppendHexByte(text, pos, record->data[i]);
        pos = AppendSeparator(text, pos, GroupSeparator(i + 1));
    }
    text[pos] = '\0';
    LogAppend(text);
}
