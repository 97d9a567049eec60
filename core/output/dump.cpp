// Byte dumps: the grouping and the cut of both forms, built in the caller's
// buffer and never past it.
#include "core/output/dump.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
// Three characters are counted per byte in either form; past this the dump is cut.
constexpr uint32_t BYTE_LIMIT_CHARS = 990;
constexpr uint32_t CUT_LENGTH = 990;
constexpr uint32_t TEXT_MAX = DUMP_TEXT_SIZE - 1;

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

uint32_t AppendText(char* text, uint32_t pos, const char* separator)
{
    for (; *separator != '\0'; ++separator)
        text[pos++] = *separator;
    return pos;
}

}  // namespace

uint32_t FormatDump(char (&text)[DUMP_TEXT_SIZE], const BYTE* bytes, uint32_t count, DumpForm form)
{
    bool hexForm = form == DUMP_HEX;
    uint32_t pos = 0;
    bool cut = false;
    for (uint32_t k = 0; k < count; ++k) {
        if (3 * uint64_t(k) > BYTE_LIMIT_CHARS) {
            cut = true;
            break;
        }
        const char* separator = GroupSeparator(k + 1);
        uint32_t byteChars = hexForm ? 3 : (bytes[k] != 0 ? 1 : 0);
        if (pos + byteChars + uint32_t(strlen(separator)) > TEXT_MAX) {
            cut = true;
            break;
        }
        if (hexForm) {
            text[pos] = HEX_DIGITS[bytes[k] >> 4];
            text[pos + 1] = HEX_DIGITS[bytes[k] & 0x0F];
            text[pos + 2] = ' ';
            pos += 3;
        } else if (bytes[k] != 0) {
            text[pos++] = char(bytes[k]);
        }
        pos = AppendText(text, pos, separator);
    }
    if (cut) {
        if (pos > CUT_LENGTH)
            pos = CUT_LENGTH;
        pos = AppendText(text, pos, "...");
    }
    text[pos] = '\0';
    return pos;
}

void FormatVendorHeader(char (&text)[DUMP_TEXT_SIZE], const VendorIoRecord& record)
{
    snprintf(text, sizeof text, "CMD = %d, PA = 0x%08X, PB = 0x%08X, PC = 0x%08X, LE = %d", record.cmd,
             unsigned(record.pa), unsigned(record.pb), unsigned(record.pc), record.le);
}
