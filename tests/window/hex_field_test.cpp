// The hex field, through the real field: every keystroke parses, and a full
// field caps the vendor length.
#include "compose_support.h"
#include "core/compose/data_entry.h"

namespace {

using HexFieldTest = ComposeTest;

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
    EXPECT_EQ(Text(IDC_VENDOR_LE), "2");
}

}  // namespace
