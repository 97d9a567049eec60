// The hex text parser and the P3 byte, as cores.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winscard.h>

#include "core/compose/data_entry.h"

namespace {

// The size of the window's data buffers, which the parser fills.
constexpr uint32_t BUFFER_SIZE = 10000;

struct HexTextCase {
    std::string text;
    uint32_t capacity;
    std::vector<BYTE> bytes;
};

// 9999 digits E: the lone last one pairs with 0.
std::vector<BYTE> FullOfE()
{
    std::vector<BYTE> bytes(BUFFER_SIZE / 2 - 1, 0xEE);
    bytes.push_back(0xE0);
    return bytes;
}

TEST(HexParser, ReadsDigitsSkippingEverythingElseWithinTheDestination)
{
    const HexTextCase cases[] = {
        {"00 02 00 00 10 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10",
         BUFFER_SIZE,
         {0x00, 0x02, 0x00, 0x00, 0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
          0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}},
        {"123", BUFFER_SIZE, {0x12, 0x30}},
        {"F", BUFFER_SIZE, {0xF0}},
        {"0x1F", BUFFER_SIZE, {0x01, 0xF0}},            // the prefix's 0 counts, the x is skipped
        {"a1 b2 C3", BUFFER_SIZE, {0xA1, 0xB2, 0xC3}},  // either case
        {"DE:AD-gh,EF", BUFFER_SIZE, {0xDE, 0xAD, 0xEF}},
        {"\xC1\xC2"
         "AB\xFF",
         BUFFER_SIZE,
         {0xAB}},  // Latin-1 letters (bytes of 128 and more) are skipped
        {"", BUFFER_SIZE, {}},
        {"xyz ,;", BUFFER_SIZE, {}},
        // Only texts the program sets can pass the field's 1024 limit.
        {std::string(BUFFER_SIZE - 1, 'E'), BUFFER_SIZE, FullOfE()},
        {"01 02 03 04", 2, {0x01, 0x02}},
        {"123", 1, {0x12}},
    };
    for (const HexTextCase& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        std::vector<BYTE> dest(c.capacity + 4, 0x5A);
        uint32_t count = ParseHexPairs(c.text.data(), uint32_t(c.text.size()), dest.data(), c.capacity);
        ASSERT_EQ(count, c.bytes.size());
        EXPECT_EQ(std::vector<BYTE>(dest.begin(), dest.begin() + count), c.bytes);
        EXPECT_EQ(dest[c.capacity], 0x5A) << "wrote past the destination";
    }
}

TEST(HexParser, P3IsOneHexByteOrNothing)
{
    const struct {
        const char* text;
        int value;  // -1: refused, the old value stays
    } cases[] = {
        {"0x60", 0x60}, {"0XfF", 0xFF}, {"0x1", 0x01}, {"61", 0x61},  {"f", 0x0F},  {"00", 0x00},
        {"0x6a", 0x6A}, {"0xG1", -1},   {"", -1},      {"0x", -1},    {"600", -1},  {"0x600", -1},
        {"x60", -1},    {"6 ", -1},     {" 6", -1},    {"0x0x6", -1}, {"\xE9", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        uint8_t value = 0x5A;
        EXPECT_EQ(ParseHexByte(c.text, &value), c.value >= 0);
        EXPECT_EQ(value, c.value >= 0 ? c.value : 0x5A);
    }
}

}  // namespace
