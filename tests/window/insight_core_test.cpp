// The insight cores without a window or a reader: status names and texts,
// status word meanings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pcsc/status_text.h"
#include "pcsc/status_word.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Writes into a heap buffer of exactly `cap` bytes, so that a write past it shows under ASan.
template<class Describe> std::string Into(size_t cap, Describe describe)
{
    std::vector<char> out(cap, '#');
    describe(out.data(), cap);
    return std::string(out.data(), strnlen(out.data(), cap));
}

TEST(StatusText, NamesAndTextsOfPcscCodes)
{
    struct Case {
        LONG status;
        size_t cap;
        std::string shown;
    } cases[] = {
        {SCARD_S_SUCCESS, STATUS_TEXT_SIZE, "0x00000000 SCARD_S_SUCCESS: Command successful."},
        {SCARD_E_NO_SMARTCARD, STATUS_TEXT_SIZE, "0x8010000C SCARD_E_NO_SMARTCARD: No smart card inserted."},
        // pcsclite.h gives this value two names.
        {SCARD_E_UNEXPECTED, STATUS_TEXT_SIZE,
         "0x8010001F SCARD_E_UNSUPPORTED_FEATURE or SCARD_E_UNEXPECTED: Feature not supported."},
        {SCARD_W_REMOVED_CARD, STATUS_TEXT_SIZE, "0x80100069 SCARD_W_REMOVED_CARD: Card was removed."},
        // The same code carried sign-extended in a 64-bit LONG.
        {LONG(int32_t(0x80100069)), STATUS_TEXT_SIZE, "0x80100069 SCARD_W_REMOVED_CARD: Card was removed."},
        {0x12345678, STATUS_TEXT_SIZE, "0x12345678: Unknown error: 0x12345678"},
        {SCARD_E_NO_SMARTCARD, 20, "0x8010000C SCARD_E_"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Into(c.cap, [&](char* out, size_t cap) { DescribeStatus(c.status, out, cap); }), c.shown);
}

TEST(StatusWord, MeaningsOfKnownAnswers)
{
    struct Case {
        Bytes response;
        std::string shown;
    } cases[] = {
        {{0x90, 0x00}, "90 00: Normal processing"},
        {{0x61, 0x1A}, "61 1A: Normal processing, 26 bytes still available"},
        {{0x61, 0x00}, "61 00: Normal processing, 256 bytes still available"},
        {{0x63, 0xC3}, "63 C3: Warning: counter at 3 (often the tries left)"},
        // What contactless readers answer for storage cards, beside the ISO meaning.
        {{0x63, 0x00}, "63 00: Warning, memory changed: no information given; storage card: operation failed"},
        {{0x6A, 0x82}, "6A 82: File or application not found; storage card: addressed block or byte does not exist"},
        {{0x6A, 0x81}, "6A 81: Function not supported"},
        {{0x6C, 0x10}, "6C 10: Wrong Le field, 16 bytes available"},
        {{0x62, 0x99}, "62 99: Warning, memory unchanged"},
        {{0x9F, 0x10}, "9F 10: Proprietary status"},
        {{0x12, 0x34}, "12 34: not an ISO 7816-4 status word"},
        // The status word is the last two bytes of the response.
        {{0x01, 0x02, 0x67, 0x00}, "67 00: Wrong length"},
        {{0x90}, "No status word: the response has 1 byte"},
        {{}, "No status word: the response has 0 bytes"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Into(STATUS_WORD_TEXT_SIZE,
                       [&](char* out, size_t cap) {
                           DescribeResponseStatus(c.response.data(), c.response.size(), out, cap);
                       }),
                  c.shown);
}

}  // namespace
