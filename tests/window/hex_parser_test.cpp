// The hex field's parser, through the real field.
#include "compose_support.h"

namespace {

struct HexFieldCase {
    std::string text;
    std::vector<BYTE> bytes;
};

using HexFieldTest = ComposeTest;

TEST_F(HexFieldTest, ParsesDigitsSkippingEverythingElse)
{
    const HexFieldCase cases[] = {
        {"00 02 00 00 10 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10",
         {0x00, 0x02, 0x00, 0x00, 0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
          0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}},
        {"123", {0x12, 0x30}},
        {"F", {0xF0}},
        {"0x1F", {0x01, 0xF0}},            // the prefix's 0 counts, the x is skipped
        {"a1 b2 C3", {0xA1, 0xB2, 0xC3}},  // the field turns every letter into a capital
        {"DE:AD-gh,EF", {0xDE, 0xAD, 0xEF}},
        {"\xC1\xC2"
         "AB\xFF",
         {0xAB}},  // bytes of 128 and more are skipped
        {"", {}},
        {"xyz ,;", {}},
    };
    for (const HexFieldCase& c : cases) {
        SCOPED_TRACE(c.text);
        SetText(IDC_HEX_DATA, c.text);
        EXPECT_EQ(tester.hexLen, c.bytes.size());
        EXPECT_EQ(std::vector<BYTE>(tester.hexData, tester.hexData + tester.hexLen), c.bytes);
        EXPECT_EQ(Text(IDC_HEX_LEN), std::to_string(c.bytes.size()));
        EXPECT_EQ(tester.vendorIn.le, c.bytes.size());
        EXPECT_EQ(Text(IDC_VENDOR_LE), std::to_string(c.bytes.size()));
    }
}

TEST_F(HexFieldTest, FullFieldGives512BytesAndVendorLengthCapped)
{
    Click(IDC_MODE_HEX);
    std::string digits;
    for (int i = 0; i < 512; ++i)
        digits += "0123456789ABCDEF"[i % 16] + std::string(1, "FEDCBA9876543210"[i % 16]);
    SetText(IDC_HEX_DATA, digits);
    ASSERT_EQ(tester.hexLen, 512u);
    EXPECT_EQ(tester.hexData[0], 0x0F);
    EXPECT_EQ(tester.hexData[511], 0xF0);
    EXPECT_EQ(tester.vendorIn.le, 255);
    EXPECT_EQ(Text(IDC_VENDOR_LE), "255");
}

TEST_F(HexFieldTest, TypedLettersBecomeDigitsAndEveryKeystrokeParses)
{
    Click(IDC_MODE_HEX);
    SetText(IDC_HEX_DATA, "");
    Widget(IDC_HEX_DATA)->setFocus();
    QTest::keyClicks(Widget(IDC_HEX_DATA), "ab c");
    EXPECT_EQ(Text(IDC_HEX_DATA), "AB C");
    EXPECT_EQ(tester.hexLen, 2u);
    EXPECT_EQ(tester.hexData[0], 0xAB);
    EXPECT_EQ(tester.hexData[1], 0xC0);
    EXPECT_EQ(Text(IDC_HEX_LEN), "2");
}

TEST_F(HexFieldTest, ProgramTextLongerThanTheLimitStaysInsideTheBuffer)
{
    // Only texts the program sets can pass the 1024 limit; the parse still
    // ends inside hexData whatever their length.
    std::string digits(BUFFER_SIZE - 1, 'E');
    SetText(IDC_HEX_DATA, digits);
    EXPECT_EQ(tester.hexLen, uint32_t(BUFFER_SIZE / 2));
    EXPECT_EQ(tester.hexData[tester.hexLen - 1], 0xE0);
}

}  // namespace
