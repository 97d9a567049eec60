// The PC/SC cores without a window: the attribute lines, values and decodings, the protocol
// fallback, the ATR read, the reader-list walk and the release verdict.
// Calls go to the spies of fake_pcsc.h, scripted, so no reader is needed.
#include <gtest/gtest.h>
#include <reader.h>

#include <string>
#include <vector>

#include "core/pcsc/attributes.h"
#include "core/pcsc/connection.h"
#include "fake_pcsc.h"

namespace {

class PcscCoreTest : public ::testing::Test {
protected:
    void SetUp() override { InstallPcscSpies(); }
    void TearDown() override { RemovePcscSpies(); }
};

std::string Repeat(const char* item, int count)
{
    std::string text;
    for (int i = 0; i < count; i++)
        text += item;
    return text;
}

TEST_F(PcscCoreTest, AttributeLinesShowTheDeliveredBytes)
{
    struct Case {
        const char* what;
        AttributeFormat format;
        std::string value;
        DWORD delivered, reported;
        LONG status;
        std::string shown;
    } cases[] = {
        {"word 1", ATTRIBUTE_WORD_HEX, {1, 0, 0, 0}, 4, 4, 0, "0x 00000001 "},
        {"word 1 decimal", ATTRIBUTE_WORD_DECIMAL, {1, 0, 0, 0}, 4, 4, 0, "1 "},
        {"negative decimal", ATTRIBUTE_WORD_DECIMAL, "\xFF\xFF\xFF\xFF", 4, 4, 0, "-1 "},
        {"short word", ATTRIBUTE_WORD_HEX, "\x34\x12", 2, 2, 0, "0x 00001234 "},
        {"short decimal", ATTRIBUTE_WORD_DECIMAL, "\x10", 1, 1, 0, "16 "},
        {"word ignores the length", ATTRIBUTE_WORD_HEX, "\x01\x02\x03\x04\x05", 5, 0, 0, "0x 04030201 "},
        {"failed word", ATTRIBUTE_WORD_HEX, "", 0, 100, SCARD_E_UNSUPPORTED_FEATURE,
         "error 0x8010001F (Feature not supported.)"},
        {"failed decimal", ATTRIBUTE_WORD_DECIMAL, "", 0, 100, SCARD_E_UNSUPPORTED_FEATURE,
         "error 0x8010001F (Feature not supported.)"},
        {"hex bytes", ATTRIBUTE_BYTES_HEX, {1, 2, 0x3A, char(0xFF)}, 4, 4, 0, "0x 01 02 3A FF "},
        {"no hex bytes", ATTRIBUTE_BYTES_HEX, "", 0, 0, 0, "0x "},
        {"failed hex bytes",
         ATTRIBUTE_BYTES_HEX,
         {1, 2, 3},
         3,
         3,
         SCARD_E_INSUFFICIENT_BUFFER,
         "error 0x80100008 (Insufficient buffer.)"},
        {"characters", ATTRIBUTE_CHARACTERS, {'A', 'B', 'C', 0}, 4, 4, 0, "A B C   "},
        {"edge characters", ATTRIBUTE_CHARACTERS, {31, 32, 127, char(128), char(255)}, 5, 5, 0, "    \x7F     "},
        {"no characters", ATTRIBUTE_CHARACTERS, "", 0, 0, 0, ""},
        {"failed characters", ATTRIBUTE_CHARACTERS, "AB", 2, 2, SCARD_E_NO_SERVICE,
         "error 0x8010001D (Service not available.)"},
        // A reader may report more than it was given room for: the line shows
        // the 100 bytes of the area and no more.
        {"hex bytes beyond the area", ATTRIBUTE_BYTES_HEX, std::string(150, 'A'), 150, 150, 0,
         "0x " + Repeat("41 ", 100)},
        {"characters beyond the area", ATTRIBUTE_CHARACTERS, std::string(150, 'A'), 150, 150, 0, Repeat("A ", 100)},
    };
    char line[ATTRIBUTE_LINE_SIZE];
    for (const Case& c : cases) {
        fakePcsc.attributeCount = 0;
        fakePcsc.attribCount = 0;
        ScriptAttribute(0x10101, c.value.data(), c.delivered, c.reported, c.status);
        const AttributeRow row {"Label", 0x10101, c.format};
        ReadAttributeLine(line, sizeof line, 0, row);
        EXPECT_EQ(line, "Label:   " + c.shown) << c.what;
        EXPECT_EQ(fakePcsc.attribLengthsIn[0], ATTRIBUTE_AREA_SIZE) << c.what;
        // The value alone (the command line's JSON) from the same read.
        BYTE value[ATTRIBUTE_AREA_SIZE];
        DWORD length;
        LONG status = ReadAttribute(0, row, value, &length);
        FormatAttributeValue(line, sizeof line, row, status, value, length);
        EXPECT_EQ(line, c.shown) << c.what;
    }
    // A caller's short line or value is cut, not overrun (the last case's bytes).
    char shortLine[14];
    ReadAttributeLine(shortLine, sizeof shortLine, 0, {"Label", 0x10101, ATTRIBUTE_BYTES_HEX});
    EXPECT_STREQ(shortLine, "Label:   0x 4");
    ReadAttributeLine(shortLine, 10, 0, {"Label", 0x10101, ATTRIBUTE_BYTES_HEX});
    EXPECT_STREQ(shortLine, "Label:   ");
    BYTE value[ATTRIBUTE_AREA_SIZE] = {0x41, 0x42};
    FormatAttributeValue(shortLine, 5, {"Label", 0x10101, ATTRIBUTE_BYTES_HEX}, SCARD_S_SUCCESS, value, 2);
    EXPECT_STREQ(shortLine, "0x 4");
}

TEST_F(PcscCoreTest, ReportHasNineteenLinesInOrder)
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
    static_assert(std::size(lines) == ATTRIBUTE_COUNT);
    for (const Line& line : lines)
        ScriptAttribute(line.id, "A", 2, 2, SCARD_S_SUCCESS);
    char text[ATTRIBUTE_LINE_SIZE];
    for (int i = 0; i < ATTRIBUTE_COUNT; i++) {
        ReadAttributeLine(text, sizeof text, 0, ATTRIBUTES[i]);
        EXPECT_STREQ(text, lines[i].text);
        EXPECT_EQ(fakePcsc.attribIds[i], lines[i].id) << lines[i].text;
    }
}

// What a value means, by its attribute; a code typed as hex or by name.
TEST(AttributeDecoding, ValuesReadByTheirAttribute)
{
    struct {
        DWORD id;
        std::vector<BYTE> value;
        const char* decoded;  // null: no decoding
    } cases[] = {
        {SCARD_ATTR_CHANNEL_ID, {0x00, 0x00, 0x20, 0x00}, "USB, channel 0"},
        {SCARD_ATTR_CHANNEL_ID, {0x03, 0x00, 0x01, 0x00}, "serial, channel 3"},
        {SCARD_ATTR_CHANNEL_ID, {0x01, 0x00, 0xF3, 0x00}, "vendor-defined, channel 1"},
        {SCARD_ATTR_CHANNEL_ID, {0x00, 0x00, 0x40, 0x00}, "type 0x0040 (unknown), channel 0"},
        {SCARD_ATTR_VENDOR_IFD_VERSION, {0x01, 0x00, 0x00, 0x01}, "1.0 build 1"},
        {SCARD_ATTR_VENDOR_IFD_VERSION, {0x34, 0x12, 0x05, 0x02}, "2.5 build 4660"},
        {SCARD_ATTR_CURRENT_PROTOCOL_TYPE, {0x02, 0, 0, 0}, "T=1"},
        {SCARD_ATTR_ASYNC_PROTOCOL_TYPES, {0x03, 0, 0, 0}, "T=0, T=1"},
        {SCARD_ATTR_ASYNC_PROTOCOL_TYPES, {0x11, 0, 0, 0}, "T=0, other bits 0x00000010"},
        {SCARD_ATTR_CURRENT_PROTOCOL_TYPE, {0, 0, 0, 0}, "none"},
        {SCARD_ATTR_CURRENT_CLK, {0xF8, 0x34, 0, 0}, "13560 kHz"},
        {SCARD_ATTR_MAX_DATA_RATE, {0x80, 0xF0, 0x0C, 0x00}, "848000 bps"},
        // A value shorter than a word is read as far as it goes.
        {SCARD_ATTR_CURRENT_IFSC, {0xFE}, "254"},
        {SCARD_ATTR_ICC_PRESENCE, {0x02}, "present, swallowed"},
        {SCARD_ATTR_VENDOR_IFD_SERIAL_NO, {'S', 'N', 0x01, '9', 0, 'x'}, "SN?9"},
        {SCARD_ATTR_ATR_STRING, {0x3B, 0x00}, nullptr},
        {SCARD_ATTR_MAXINPUT, {}, nullptr},
        {0x7FFF7FFF, {0x01}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.id));
        char text[ATTRIBUTE_DECODED_SIZE] = "left over";
        EXPECT_EQ(DecodeAttribute(c.id, c.value.data(), DWORD(c.value.size()), text, sizeof text),
                  c.decoded != nullptr);
        EXPECT_STREQ(text, c.decoded != nullptr ? c.decoded : "");
    }
    struct {
        const char* text;
        bool accepted;
        DWORD id;
    } ids[] = {
        {"0x00010100", true, SCARD_ATTR_VENDOR_NAME},
        {"scard_attr_channel_id", true, SCARD_ATTR_CHANNEL_ID},
        {"65792", true, 0x00010100},
        {"0x1FFFFFFFF", false, 0},
        {"SCARD_ATTR_", false, 0},
        {"0x10 ", false, 0},
        {"", false, 0},
    };
    for (const auto& c : ids) {
        DWORD id = 0;
        EXPECT_EQ(ParseAttributeId(c.text, &id), c.accepted) << c.text;
        EXPECT_EQ(id, c.id) << c.text;
    }
}

// pcscd negotiates T=0 or T=1 only when RAW is not offered with them; RAW is
// offered alone after a protocol mismatch, only then, and only for the
// default choice: a protocol named, or a direct connection, has its refusal
// shown. (The window's connection tests show the fallback working on a card
// held in RAW; tests/pcsc the options against pcscd.)
TEST_F(PcscCoreTest, ConnectOffersWhatTheOptionsSayAndFallsBackOnlyByDefault)
{
    struct Case {
        ConnectOptions options;
        LONG scripted;
        int calls;
        DWORD share, lastOffer;
    } cases[] = {
        {{}, SCARD_E_PROTO_MISMATCH, 2, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW},
        {{}, SCARD_E_NO_SMARTCARD, 1, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1},
        {{SHARE_SHARED, PROTOCOL_T0}, SCARD_E_PROTO_MISMATCH, 1, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0},
        {{SHARE_EXCLUSIVE, PROTOCOL_T1}, SCARD_E_PROTO_MISMATCH, 1, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_T1},
        {{SHARE_EXCLUSIVE, PROTOCOL_RAW}, SCARD_E_NO_SMARTCARD, 1, SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW},
        {{SHARE_DIRECT, PROTOCOL_ANY}, SCARD_E_PROTO_MISMATCH, 1, SCARD_SHARE_DIRECT, 0},
        {{SHARE_DIRECT, PROTOCOL_T1}, SCARD_E_NO_SMARTCARD, 1, SCARD_SHARE_DIRECT, SCARD_PROTOCOL_T1},
    };
    for (const Case& c : cases) {
        for (bool reconnect : {false, true}) {
            FakePcsc::Entry& entry = reconnect ? fakePcsc.reconnect : fakePcsc.connect;
            entry = {};
            Script(entry, c.scripted);
            SCARDHANDLE card = 0;
            DWORD protocol = 0;
            LONG status = reconnect ? ReconnectCard(1, c.options, SCARD_RESET_CARD, &protocol)
                                    : ConnectCard(1, "reader", c.options, &card, &protocol);
            std::string what = std::string(ShareChoiceName(c.options.share)) + " "
                + ProtocolChoiceName(c.options.protocol) + (reconnect ? " reconnect" : " connect");
            EXPECT_EQ(status, c.scripted) << what;
            EXPECT_EQ(entry.calls, c.calls) << what;
            EXPECT_EQ(reconnect ? fakePcsc.reconnectShare : fakePcsc.connectShare, c.share) << what;
            EXPECT_EQ(reconnect ? fakePcsc.reconnectProtocols : fakePcsc.connectProtocols, c.lastOffer) << what;
        }
    }
}

// The words both front ends take: each names its value, and a word not in
// the table (another case, a near miss, nothing) leaves the value alone.
TEST(ConnectWords, ParseExactlyTheTablesWords)
{
    ConnectOptions options {};
    EXPECT_TRUE(ParseShareChoice("shared", &options.share) && options.share == SHARE_SHARED);
    EXPECT_TRUE(ParseShareChoice("direct", &options.share) && options.share == SHARE_DIRECT);
    EXPECT_TRUE(ParseProtocolChoice("t1", &options.protocol) && options.protocol == PROTOCOL_T1);
    EXPECT_TRUE(ParseProtocolChoice("raw", &options.protocol) && options.protocol == PROTOCOL_RAW);
    for (const char* word : {"Shared", "exclusive ", "", "t1"})
        EXPECT_FALSE(ParseShareChoice(word, &options.share)) << word;
    for (const char* word : {"T1", "t2", "", "shared"})
        EXPECT_FALSE(ParseProtocolChoice(word, &options.protocol)) << word;
    EXPECT_FALSE(ParseShareChoice(nullptr, &options.share));
    EXPECT_EQ(options.share, SHARE_DIRECT);
    EXPECT_EQ(options.protocol, PROTOCOL_RAW);
    struct Disposition {
        const char* word;
        DWORD value;
    } dispositions[] = {{"leave", SCARD_LEAVE_CARD},
                        {"reset", SCARD_RESET_CARD},
                        {"unpower", SCARD_UNPOWER_CARD},
                        {"eject", SCARD_EJECT_CARD}};
    for (const Disposition& d : dispositions) {
        DWORD value = 99;
        EXPECT_TRUE(ParseDisposition(d.word, &value) && value == d.value) << d.word;
        EXPECT_STREQ(DispositionName(d.value), d.word);
    }
    DWORD untouched = 99;
    EXPECT_FALSE(ParseDisposition("power", &untouched));
    ResetKind kind = RESET_WARM;
    EXPECT_TRUE(ParseResetKind("cold", &kind) && kind == RESET_COLD);
    EXPECT_FALSE(ParseResetKind("hot", &kind));
    EXPECT_EQ(untouched, DWORD(99));
    EXPECT_EQ(kind, RESET_COLD);
}

// The ATR read offers no more than pcsc-lite accepts, counts only what a
// successful read gave, and asks pcscd's status of the card when the
// attribute is refused.
TEST_F(PcscCoreTest, AtrReadCountsOnlyASuccessfulRead)
{
    BYTE value[300];
    memset(value, 0x3B, sizeof value);
    struct Case {
        const char* what;
        DWORD delivered, reported;
        LONG attribute, cardStatus;
        LONG status;
        DWORD length;
        int statusCalls;
    } cases[] = {
        {"attribute", 11, 11, SCARD_S_SUCCESS, SCARD_S_SUCCESS, SCARD_S_SUCCESS, 11, 0},
        {"attribute longer than the offer", 264, 300, SCARD_S_SUCCESS, SCARD_S_SUCCESS, SCARD_S_SUCCESS, 264, 0},
        {"both refused", 11, 11, SCARD_E_UNSUPPORTED_FEATURE, SCARD_E_NO_SMARTCARD, SCARD_E_NO_SMARTCARD, 0, 1},
    };
    for (const Case& c : cases) {
        InstallPcscSpies();
        ScriptAttribute(SCARD_ATTR_ATR_STRING, value, c.delivered, c.reported, c.attribute);
        Script(fakePcsc.cardStatus, c.cardStatus);
        BYTE atr[300];
        DWORD length = 12345;
        EXPECT_EQ(ReadAtr(0, atr, sizeof atr, &length), c.status) << c.what;
        EXPECT_EQ(length, c.length) << c.what;
        EXPECT_EQ(fakePcsc.attribLengthsIn[0], DWORD(MAX_BUFFER_SIZE)) << c.what;
        EXPECT_EQ(fakePcsc.cardStatus.calls, c.statusCalls) << c.what;
    }
}

// The walk stays in the buffer even when the closing empty name is missing.
TEST(ReaderNames, WalkYieldsEachNameWithinTheBuffer)
{
    struct Case {
        const char* what;
        std::string names;
        std::vector<std::string> yielded;
    } cases[] = {
        {"two names", std::string("B reader\0A reader\0\0", 19), {"B reader", "A reader"}},
        {"none", std::string("\0", 1), {}},
        {"full buffer without the closing name", std::string("AB\0C\0", 5), {"AB", "C"}},
        {"last name cut by the buffer", std::string("AB\0CD", 5), {"AB"}},
    };
    for (const Case& c : cases) {
        // Exactly the buffer's bytes on the heap, so that a read past it shows.
        std::vector<char> buffer(c.names.begin(), c.names.end());
        std::vector<std::string> yielded;
        size_t offset = 0;
        while (const char* name = NextReaderName(buffer.data(), buffer.size(), &offset))
            yielded.push_back(name);
        EXPECT_EQ(yielded, c.yielded) << c.what;
    }
}

// A release that fails yet leaves no context behind must lead back to
// Establish Context; the window tests show both outcomes on the buttons.
TEST(ReleaseVerdict, NoContextLeftWhenNoneWasHeldOrTheServiceLostIt)
{
    struct Case {
        SCARDCONTEXT context;
        LONG status;
        bool gone;
    } cases[] = {
        {1, SCARD_S_SUCCESS, true},    {1, SCARD_E_READER_UNAVAILABLE, false}, {1, SCARD_E_INVALID_HANDLE, true},
        {1, SCARD_E_NO_SERVICE, true}, {1, SCARD_E_SERVICE_STOPPED, true},     {0, SCARD_E_READER_UNAVAILABLE, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReleaseLeftNoContext(c.context, c.status), c.gone) << std::hex << c.status << " " << c.context;
}

}  // namespace
