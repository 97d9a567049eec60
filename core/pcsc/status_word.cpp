// The status word table: one row per meaning, searched in order, so a row for
// one value comes before the row for the range around it.
#include "core/pcsc/status_word.h"

#include <cstdio>

namespace {

enum StatusWordDetail {
    SW_PLAIN,
    SW_BYTE_COUNT,  // SW2 counts bytes, 00 standing for 256
    SW_COUNTER,     // the low half of SW2 is a counter
};

struct StatusWordRow {
    uint16_t first, last;
    StatusWordDetail detail;
    const char* meaning;  // a printf format taking the detail when there is one
    const char* storageMeaning;
};

const StatusWordRow STATUS_WORDS[] = {
    {0x9000, 0x9000, SW_PLAIN, "Normal processing", nullptr},
    {0x6100, 0x61FF, SW_BYTE_COUNT, "Normal processing, %u bytes still available", nullptr},
    {0x6200, 0x6200, SW_PLAIN, "Warning, memory unchanged: no information given", nullptr},
    {0x6202, 0x6280, SW_PLAIN, "Warning, memory unchanged: triggering by the card", nullptr},
    {0x6281, 0x6281, SW_PLAIN, "Warning: part of returned data may be corrupted", nullptr},
    {0x6282, 0x6282, SW_PLAIN, "Warning: end of file or record reached before reading Le bytes", nullptr},
    {0x6283, 0x6283, SW_PLAIN, "Warning: selected file deactivated", nullptr},
    {0x6284, 0x6284, SW_PLAIN, "Warning: file control information not formatted as expected", nullptr},
    {0x6285, 0x6285, SW_PLAIN, "Warning: selected file in termination state", nullptr},
    {0x6286, 0x6286, SW_PLAIN, "Warning: no input data available from a sensor on the card", nullptr},
    {0x6200, 0x62FF, SW_PLAIN, "Warning, memory unchanged", nullptr},
    {0x6300, 0x6300, SW_PLAIN, "Warning, memory changed: no information given", "operation failed"},
    {0x6381, 0x6381, SW_PLAIN, "Warning: file filled up by the last write", nullptr},
    {0x63C0, 0x63CF, SW_COUNTER, "Warning: counter at %u (often the tries left)", nullptr},
    {0x6300, 0x63FF, SW_PLAIN, "Warning, memory changed", nullptr},
    {0x6400, 0x6400, SW_PLAIN, "Execution error, memory unchanged: no information given", nullptr},
    {0x6401, 0x6401, SW_PLAIN, "Execution error: immediate response required by the card", nullptr},
    {0x6402, 0x6480, SW_PLAIN, "Execution error: triggering by the card", nullptr},
    {0x6400, 0x64FF, SW_PLAIN, "Execution error, memory unchanged", nullptr},
    {0x6500, 0x6500, SW_PLAIN, "Execution error, memory changed: no information given", nullptr},
    {0x6581, 0x6581, SW_PLAIN, "Execution error: memory failure", nullptr},
    {0x6500, 0x65FF, SW_PLAIN, "Execution error, memory changed", nullptr},
    {0x6600, 0x66FF, SW_PLAIN, "Security-related issue", nullptr},
    {0x6700, 0x6700, SW_PLAIN, "Wrong length", nullptr},
    {0x6701, 0x67FF, SW_PLAIN, "Not defined by ISO 7816-4 (SW1 67: wrong length)", nullptr},
    {0x6881, 0x6881, SW_PLAIN, "Logical channel not supported", nullptr},
    {0x6882, 0x6882, SW_PLAIN, "Secure messaging not supported", nullptr},
    {0x6883, 0x6883, SW_PLAIN, "Last command of the chain expected", nullptr},
    {0x6884, 0x6884, SW_PLAIN, "Command chaining not supported", nullptr},
    {0x6800, 0x68FF, SW_PLAIN, "Functions in CLA not supported", nullptr},
    {0x6981, 0x6981, SW_PLAIN, "Command incompatible with file structure", nullptr},
    {0x6982, 0x6982, SW_PLAIN, "Security status not satisfied", nullptr},
    {0x6983, 0x6983, SW_PLAIN, "Authentication method blocked", "authentication cannot be done"},
    {0x6984, 0x6984, SW_PLAIN, "Reference data not usable", nullptr},
    {0x6985, 0x6985, SW_PLAIN, "Conditions of use not satisfied", nullptr},
    {0x6986, 0x6986, SW_PLAIN, "Command not allowed (no current EF)", nullptr},
    {0x6987, 0x6987, SW_PLAIN, "Expected secure messaging data objects missing", nullptr},
    {0x6988, 0x6988, SW_PLAIN, "Incorrect secure messaging data objects", "key number not valid"},
    {0x6900, 0x69FF, SW_PLAIN, "Command not allowed", nullptr},
    {0x6A80, 0x6A80, SW_PLAIN, "Incorrect parameters in the command data field", nullptr},
    {0x6A81, 0x6A81, SW_PLAIN, "Function not supported", nullptr},
    {0x6A82, 0x6A82, SW_PLAIN, "File or application not found", "addressed block or byte does not exist"},
    {0x6A83, 0x6A83, SW_PLAIN, "Record not found", nullptr},
    {0x6A84, 0x6A84, SW_PLAIN, "Not enough memory space in the file", nullptr},
    {0x6A85, 0x6A85, SW_PLAIN, "Lc inconsistent with TLV structure", nullptr},
    {0x6A86, 0x6A86, SW_PLAIN, "Incorrect parameters P1-P2", nullptr},
    {0x6A87, 0x6A87, SW_PLAIN, "Lc inconsistent with parameters P1-P2", nullptr},
    {0x6A88, 0x6A88, SW_PLAIN, "Referenced data or reference data not found", nullptr},
    {0x6A89, 0x6A89, SW_PLAIN, "File already exists", nullptr},
    {0x6A8A, 0x6A8A, SW_PLAIN, "DF name already exists", nullptr},
    {0x6A00, 0x6AFF, SW_PLAIN, "Wrong parameters P1-P2", nullptr},
    {0x6B00, 0x6B00, SW_PLAIN, "Wrong parameters P1-P2", nullptr},
    {0x6B01, 0x6BFF, SW_PLAIN, "Not defined by ISO 7816-4 (SW1 6B: wrong parameters P1-P2)", nullptr},
    {0x6C00, 0x6CFF, SW_BYTE_COUNT, "Wrong Le field, %u bytes available", nullptr},
    // ISO 7816-4 gives these classes a meaning with SW2 00 alone.
    {0x6D00, 0x6D00, SW_PLAIN, "Instruction code not supported or invalid", nullptr},
    {0x6D01, 0x6DFF, SW_PLAIN, "Not defined by ISO 7816-4 (SW1 6D: instruction code not supported or invalid)",
     nullptr},
    {0x6E00, 0x6E00, SW_PLAIN, "Class not supported", nullptr},
    {0x6E01, 0x6EFF, SW_PLAIN, "Not defined by ISO 7816-4 (SW1 6E: class not supported)", nullptr},
    {0x6F00, 0x6F00, SW_PLAIN, "No precise diagnosis", nullptr},
    {0x6F01, 0x6FFF, SW_PLAIN, "Not defined by ISO 7816-4 (SW1 6F: no precise diagnosis)", nullptr},
    {0x9000, 0x9FFF, SW_PLAIN, "Proprietary status", nullptr},
};

}  // namespace

void StatusWordMeaning(uint8_t sw1, uint8_t sw2, char* out, size_t cap)
{
    if (cap == 0)
        return;
    const unsigned word = unsigned(sw1) << 8 | sw2;
    const StatusWordRow* found = nullptr;
    for (const StatusWordRow& row : STATUS_WORDS)
        if (word >= row.first && word <= row.last) {
            found = &row;
            break;
        }
    if (!found) {
        snprintf(out, cap, "not an ISO 7816-4 status word");
        return;
    }
    unsigned detail = 0;
    if (found->detail == SW_BYTE_COUNT)
        detail = sw2 ? sw2 : 256;
    else if (found->detail == SW_COUNTER)
        detail = sw2 & 0x0F;
    char meaning[STATUS_WORD_TEXT_SIZE];
    snprintf(meaning, sizeof meaning, found->meaning, detail);
    snprintf(out, cap, "%s%s%s", meaning, found->storageMeaning ? "; storage card: " : "",
             found->storageMeaning ? found->storageMeaning : "");
}

void DescribeStatusWord(uint8_t sw1, uint8_t sw2, char* out, size_t cap)
{
    if (cap == 0)
        return;
    char meaning[STATUS_WORD_TEXT_SIZE];
    StatusWordMeaning(sw1, sw2, meaning, sizeof meaning);
    snprintf(out, cap, "%02X %02X: %s", sw1, sw2, meaning);
}

void DescribeResponseStatus(const uint8_t* response, size_t length, char* out, size_t cap)
{
    if (cap == 0)
        return;
    if (length < 2) {
        snprintf(out, cap, "No status word: the response has %zu byte%s", length, length == 1 ? "" : "s");
        return;
    }
    DescribeStatusWord(response[length - 2], response[length - 1], out, cap);
}
