// The attribute report: nineteen lines in their order, the four formats and
// the failure form, with exact values from a scripted SCardGetAttrib and one
// full report from the simulated reader.
#include <reader.h>

#include <string>

#include "app/commands.h"
#include "pcsc/attributes.h"
#include "window_fixture.h"

using AttributesTest = MainWindowTest;

TEST_F(AttributesTest, FormatsShowTheDeliveredBytes)
{
    struct Case {
        const char* what;
        int format;
        std::string value;
        DWORD delivered, reported;
        LONG status;
        std::string shown;
    } cases[] = {
        {"word 1", 0, {1, 0, 0, 0}, 4, 4, 0, "0x 00000001 "},
        {"word 1 decimal", 1, {1, 0, 0, 0}, 4, 4, 0, "1 "},
        {"negative decimal", 1, "\xFF\xFF\xFF\xFF", 4, 4, 0, "-1 "},
        {"short word", 0, "\x34\x12", 2, 2, 0, "0x 00001234 "},
        {"short decimal", 1, "\x10", 1, 1, 0, "16 "},
        {"word ignores the length", 0, "\x01\x02\x03\x04\x05", 5, 0, 0, "0x 04030201 "},
        {"failed word", 0, "", 0, 100, SCARD_E_UNSUPPORTED_FEATURE, "error 0x8010001F (Feature not supported.)"},
        {"failed decimal", 1, "", 0, 100, SCARD_E_UNSUPPORTED_FEATURE, "error 0x8010001F (Feature not supported.)"},
        {"hex bytes", 2, {1, 2, 0x3A, char(0xFF)}, 4, 4, 0, "0x 01 02 3A FF "},
        {"no hex bytes", 2, "", 0, 0, 0, "0x "},
        {"failed hex bytes",
         2,
         {1, 2, 3},
         3,
         3,
         SCARD_E_INSUFFICIENT_BUFFER,
         "error 0x80100008 (Insufficient buffer.)"},
        {"characters", 3, {'A', 'B', 'C', 0}, 4, 4, 0, "A B C   "},
        {"edge characters", 3, {31, 32, 127, char(128), char(255)}, 5, 5, 0, "    \x7F     "},
        {"no characters", 3, "", 0, 0, 0, ""},
        {"failed characters", 3, "AB", 2, 2, SCARD_E_NO_SERVICE, "error 0x8010001D (Service not available.)"},
    };
    for (const Case& c : cases) {
        fakePcsc.attributeCount = 0;
        fakePcsc.attribCount = 0;
        ScriptAttribute(0x10101, c.value.data(), c.delivered, c.reported, c.status);
        ShowAttribute("Label", 0x10101, c.format);
        EXPECT_EQ(LastLogEntry(), "Label:   " + c.shown) << c.what;
        EXPECT_EQ(fakePcsc.attribLengthsIn[0], 100u) << c.what;
    }
}

// A reader may report more than it was given room for; the line shows the
// 100 bytes of the receive area and no more.
TEST_F(AttributesTest, ReportedLengthAbove100IsBoundedTo100)
{
    BYTE value[150];
    memset(value, 0x41, sizeof value);
    ScriptAttribute(0x10102, value, 150, 150, SCARD_S_SUCCESS);
    ShowAttribute("IFD Version", 0x10102, 2);
    std::string hex = "IFD Version:   0x ";
    for (int i = 0; i < 100; i++)
        hex += "41 ";
    EXPECT_EQ(LastLogEntry(), hex);
    ShowAttribute("IFD Type", 0x10102, 3);
    EXPECT_EQ(LastLogEntry().size(), strlen("IFD Type:   ") + 200);
}

TEST_F(AttributesTest, ReportHasNineteenLinesInOrder)
{
    struct Line {
        const char* text;
        DWORD id;
    } lines[] = {
        {"ATR:   A   ", SCARD_ATTR_ATR_STRING},
        {"Channel:   0x 00000041 ", SCARD_ATTR_CHANNEL_ID},
        {"Mechanical Characteristic:   0x 00000041 ", SCARD_ATTR_CHARACTERISTICS},
        {"Current Clockfrequency:   65 ", SCARD_ATTR_CURRENT_CLK},
        {"Current Protocol Type:   0x 00000041 ", SCARD_ATTR_CURRENT_PROTOCOL_TYPE},
        {"Default Clockfrequency:   65 ", SCARD_ATTR_DEFAULT_CLK},
        {"Default Data Rate:   65 ", SCARD_ATTR_DEFAULT_DATA_RATE},
        {"Friendly Name:   A   ", SCARD_ATTR_DEVICE_FRIENDLY_NAME_A},
        {"System Name:   A   ", SCARD_ATTR_DEVICE_SYSTEM_NAME_A},
        {"Device Unit:   65 ", SCARD_ATTR_DEVICE_UNIT},
        {"Interface Status:   0x 00000041 ", SCARD_ATTR_ICC_INTERFACE_STATUS},
        {"Card Presence Status:   0x 00000041 ", SCARD_ATTR_ICC_PRESENCE},
        {"Card Type Per ATR:   0x 00000041 ", SCARD_ATTR_ICC_TYPE_PER_ATR},
        {"Maximum Clock Frequency:   65 ", SCARD_ATTR_MAX_CLK},
        {"Maximum Data Rate:   65 ", SCARD_ATTR_MAX_DATA_RATE},
        {"Power Management Supported:   0x 00000041 ", SCARD_ATTR_POWER_MGMT_SUPPORT},
        {"IFD Type:   A   ", SCARD_ATTR_VENDOR_IFD_TYPE},
        {"IFD Version:   0x 41 00 ", SCARD_ATTR_VENDOR_IFD_VERSION},
        {"IFD Vendor Name:   A   ", SCARD_ATTR_VENDOR_NAME},
    };
    for (const Line& line : lines)
        ScriptAttribute(line.id, "A", 2, 2, SCARD_S_SUCCESS);
    EXPECT_EQ(CmdShowAttributes(IDC_ATTRIBUTES), FALSE);
    std::vector<std::string> entries = LogEntries();
    ASSERT_EQ(entries.size(), 19u);
    ASSERT_EQ(fakePcsc.attribCount, 19);
    for (int i = 0; i < 19; i++) {
        EXPECT_EQ(entries[i], lines[i].text);
        EXPECT_EQ(fakePcsc.attribIds[i], lines[i].id) << lines[i].text;
    }
}

TEST_F(AttributesTest, SimulatedReaderGivesAFullReport)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    std::string status = Text(IDC_WIN_STATUS);
    std::string elapsed = Text(IDC_ELAPSED);
    size_t before = LogEntries().size();
    EXPECT_EQ(Command(IDC_ATTRIBUTES), FALSE);
    std::vector<std::string> entries = LogEntries();
    ASSERT_EQ(entries.size(), before + 19);
    // 3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A as characters.
    EXPECT_EQ(entries[before], "ATR:   ;         O                           j ");
    std::string spacedName = "Friendly Name:   ";
    for (char c : SimReaderName(0))
        spacedName += std::string(1, c) + " ";
    EXPECT_EQ(entries[before + 7].substr(0, spacedName.size()), spacedName);
    for (int i = 0; i < 19; i++)
        EXPECT_NE(entries[before + i].find(":   "), std::string::npos) << entries[before + i];
    EXPECT_EQ(Text(IDC_WIN_STATUS), status);
    EXPECT_EQ(Text(IDC_ELAPSED), elapsed);
    EXPECT_TRUE(Enabled(IDC_ATTRIBUTES));
}

// A reader that refuses every attribute: each line names its failure instead of a value,
// but for the two names that pcscd answers itself.
TEST_F(AttributesTest, RefusedReadsShowTheirFailure)
{
    REQUIRE_SIMULATED_READER();
    SimSetRefuseAttributes(0, true);
    Connect(0);
    size_t before = LogEntries().size();
    Command(IDC_ATTRIBUTES);
    SimReset(0);
    std::vector<std::string> entries = LogEntries();
    ASSERT_EQ(entries.size(), before + 19);
    for (size_t i = before; i < entries.size(); i++) {
        std::string label = entries[i].substr(0, entries[i].find(":   ") + 4);
        if (label == "Friendly Name:   " || label == "System Name:   ")
            EXPECT_EQ(entries[i].find("error"), std::string::npos) << entries[i];
        else
            EXPECT_EQ(entries[i], label + "error 0x8010001F (Feature not supported.)");
    }
}
