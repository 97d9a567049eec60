// The storage-card composer's real form: the five default requests, each command keeping its settings while
// another is shown, the captions and enabled fields, the P3 field, and the
// bounds of the saved data and of the request buffer.
#include <map>

#include "compose_support.h"
#include "core/compose/storage.h"

namespace {

const int COMMANDS[] = {IDC_CMD_GETUID, IDC_CMD_LOADKEYS, IDC_CMD_AUTH, IDC_CMD_READ, IDC_CMD_UPDATE};

class ComposerTest : public ComposeTest {
protected:
    void SetUp() override
    {
        ComposeTest::SetUp();
        Click(IDC_TYPE_STORAGE);
    }

    // Transmits and returns the request the card was sent.
    std::vector<BYTE> Send()
    {
        transmitSpy = {};
        Command(IDC_TRANSMIT);
        EXPECT_EQ(transmitSpy.calls, 1);
        return transmitSpy.requests.empty() ? std::vector<BYTE>() : transmitSpy.requests[0];
    }

    void SetFields(const std::string& p1, const std::string& p2, const std::string& p3, const std::string& length)
    {
        SetText(IDC_P1, p1);
        SetText(IDC_P2, p2);
        SetText(IDC_P3, p3);
        SetText(IDC_LENGTH, length);
    }

    std::vector<std::string> Fields() { return {Text(IDC_P1), Text(IDC_P2), Text(IDC_P3), Text(IDC_LENGTH)}; }
};

std::vector<BYTE> Bytes(std::initializer_list<int> values)
{
    return std::vector<BYTE>(values.begin(), values.end());
}

std::vector<BYTE> Concat(std::vector<BYTE> head, const std::string& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(ComposerTest, DefaultRequestsOfTheFiveCommands)
{
    struct {
        int command;
        std::vector<BYTE> request;
    } cases[] = {
        {IDC_CMD_GETUID, Bytes({0x00, 0xCA, 0x00, 0x00, 0x00})},
        {IDC_CMD_LOADKEYS, Bytes({0x00, 0x82, 0x00, 0x01, 0x06, 0x00, 0x02, 0x00, 0x00, 0x10, 0x01})},
        {IDC_CMD_AUTH, Bytes({0x00, 0x88, 0x00, 0x07, 0x60, 0x01})},
        {IDC_CMD_READ, Bytes({0x00, 0xB0, 0x00, 0x06, 0x10})},
        {IDC_CMD_UPDATE, Concat(Bytes({0x00, 0xD6, 0x00, 0x06, 0x10}), "*** TESTDATA ***")},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.command);
        Click(c.command);
        EXPECT_EQ(Send(), c.request);
        EXPECT_TRUE(LogEndsWith("SCardTransmit: Input:\r\n" + HexDump(c.request) + "\r\nSCardTransmit: Failure!"));
    }
}

// What a command's form shows: P1, P2, P3, Length, and its data text when it
// restores one.
struct Form {
    std::vector<std::string> fields;
    std::string text;
};

TEST_F(ComposerTest, EachCommandKeepsItsFormWhileAnotherIsShown)
{
    std::map<int, Form> shown = {
        {IDC_CMD_GETUID, {{"0", "0", "0x00", "0"}, ""}},
        {IDC_CMD_LOADKEYS, {{"0", "1", "0x00", "6"}, "00 02 00 00 10 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"}},
        {IDC_CMD_AUTH, {{"0", "7", "0x60", "0"}, "01"}},
        {IDC_CMD_READ, {{"0", "6", "0x00", "16"}, ""}},
        {IDC_CMD_UPDATE, {{"0", "6", "0x00", "16"}, "*** TESTDATA ***"}},
    };
    auto expectShown = [&](int command) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Fields(), shown[command].fields);
        if (command == IDC_CMD_LOADKEYS || command == IDC_CMD_AUTH) {
            EXPECT_EQ(tester.entryMode, ENTRY_HEX);
            EXPECT_TRUE(Checked(IDC_MODE_HEX));
            EXPECT_EQ(Text(IDC_HEX_DATA), shown[command].text);
        }
        if (command == IDC_CMD_UPDATE) {
            EXPECT_EQ(tester.entryMode, ENTRY_STRING);
            EXPECT_TRUE(Checked(IDC_MODE_STRING));
            EXPECT_EQ(Text(IDC_STRING_DATA), shown[command].text);
        }
    };

    int round = 0;
    for (int a : COMMANDS) {
        for (int b : COMMANDS) {
            if (a == b)
                continue;
            SCOPED_TRACE(std::to_string(a) + " then " + std::to_string(b));
            ++round;
            Click(a);
            expectShown(a);

            char p3[8];
            snprintf(p3, sizeof p3, "0x%02X", (round * 37) & 0xFF);
            Form edited = {{std::to_string(round), std::to_string(round + 100), p3, std::to_string(round * 3)},
                           "text " + std::to_string(round)};
            SetFields(edited.fields[0], edited.fields[1], edited.fields[2], edited.fields[3]);
            if (a == IDC_CMD_LOADKEYS || a == IDC_CMD_AUTH) {
                edited.text = std::to_string(round * 1111);
                SetText(IDC_HEX_DATA, edited.text);
            } else if (a == IDC_CMD_UPDATE) {
                Click(IDC_MODE_STRING);
                SetText(IDC_STRING_DATA, edited.text);
            }
            shown[a] = edited;

            Click(b);
            expectShown(b);
            Click(a);
            expectShown(a);
        }
    }
}

TEST_F(ComposerTest, ChoosingTheShownCommandAgainDropsItsEdits)
{
    Click(IDC_CMD_UPDATE);
    SetFields("9", "9", "0x09", "9");
    SetText(IDC_STRING_DATA, "zzz");
    Click(IDC_CMD_UPDATE);
    EXPECT_EQ(Fields(), (std::vector<std::string> {"0", "6", "0x00", "16"}));
    EXPECT_EQ(Text(IDC_STRING_DATA), "*** TESTDATA ***");
    EXPECT_EQ(tester.stringLen, 16u);
}

TEST_F(ComposerTest, UpdateLeftWithFileKeepsTheDataEntryOnReturn)
{
    Click(IDC_CMD_UPDATE);
    Click(IDC_MODE_FILE);
    Click(IDC_CMD_GETUID);
    Click(IDC_MODE_STRING);
    SetText(IDC_STRING_DATA, "other");
    Click(IDC_CMD_UPDATE);
    EXPECT_EQ(tester.entryMode, ENTRY_STRING);
    EXPECT_EQ(Text(IDC_STRING_DATA), "other");
    EXPECT_EQ(Fields(), (std::vector<std::string> {"0", "6", "0x00", "16"}));
}

struct CaptionCase {
    int command;
    const char* p2Label;
    const char* p3Label;
    const char* lengthLabel;
    const char* hexRadio;
};

TEST_F(ComposerTest, CaptionsAndEnabledFieldsFollowTheCommand)
{
    // A caption a command leaves unchanged keeps what the previous one set.
    const CaptionCase cases[] = {
        {IDC_CMD_LOADKEYS, "KeyNo.:", "P3", "KeyLen.:", "Key:"},
        {IDC_CMD_AUTH, "BlockNo.:", "KeyType:", "KeyLen.:", "Key Number:"},
        {IDC_CMD_LOADKEYS, "KeyNo.:", "KeyType:", "KeyLen.:", "Key:"},
        {IDC_CMD_READ, "P2(Block)", "P3", "Length", "Enter Data in &HEX"},
        {IDC_CMD_AUTH, "BlockNo.:", "KeyType:", "Length", "Key Number:"},
        {IDC_CMD_UPDATE, "P2(Block)", "P3", "Length", "Enter Data in &HEX"},
        {IDC_CMD_GETUID, "P2(Block)", "P3", "Length", "Enter Data in &HEX"},
    };
    for (const CaptionCase& c : cases) {
        SCOPED_TRACE(c.command);
        Click(c.command);
        EXPECT_EQ(Text(IDC_P2_LABEL), c.p2Label);
        EXPECT_EQ(Text(IDC_P3_LABEL), c.p3Label);
        EXPECT_EQ(Text(IDC_LENGTH_LABEL), c.lengthLabel);
        EXPECT_EQ(Text(IDC_MODE_HEX), c.hexRadio);
        for (int command : COMMANDS)
            EXPECT_EQ(Checked(command), command == c.command) << command;

        bool keys = c.command == IDC_CMD_LOADKEYS || c.command == IDC_CMD_AUTH;
        for (int id : {IDC_MODE_STRING, IDC_STRING_DATA, IDC_MODE_FILE})
            EXPECT_EQ(Enabled(id), !keys) << id;
        // Update then restores its STRING entry, which disables the Load button.
        EXPECT_EQ(Enabled(IDC_LOAD_FILE), !keys && c.command != IDC_CMD_UPDATE);
        for (int id : {IDC_LENGTH_LABEL, IDC_LENGTH})
            EXPECT_EQ(Enabled(id), c.command != IDC_CMD_AUTH) << id;
        for (int id : {IDC_P3_LABEL, IDC_P3})
            EXPECT_EQ(Enabled(id), c.command == IDC_CMD_AUTH) << id;
        for (int id : {IDC_P1_LABEL, IDC_P1, IDC_P2_LABEL, IDC_P2})
            EXPECT_TRUE(Enabled(id)) << id;
    }
}

TEST_F(ComposerTest, CommandTypeEnablesTheFormAndTheLoop)
{
    const int form[] = {IDC_CMD_READ, IDC_CMD_UPDATE, IDC_CMD_GETUID, IDC_CMD_LOADKEYS, IDC_CMD_AUTH,
                        IDC_P1_LABEL, IDC_P2_LABEL,   IDC_P3_LABEL,   IDC_LENGTH_LABEL, IDC_P1,
                        IDC_P2,       IDC_P3,         IDC_LENGTH};
    const int vendor[] = {IDC_VENDOR_MENU, IDC_VENDOR_CMD_NAME, IDC_VENDOR_P1,
                          IDC_VENDOR_P2,   IDC_VENDOR_LC,       IDC_VENDOR_LE};
    Click(IDC_CMD_LOADKEYS);
    Click(IDC_LOOP);
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop);
        if (Checked(IDC_LOOP) != loop)
            Click(IDC_LOOP);

        Click(IDC_TYPE_DIRECT);
        EXPECT_EQ(tester.commandType, COMMAND_DIRECT);
        EXPECT_TRUE(Checked(IDC_TYPE_DIRECT));
        EXPECT_FALSE(Checked(IDC_TYPE_STORAGE));
        for (int id : form)
            EXPECT_FALSE(Enabled(id)) << id;
        // The data entry stays as LoadKeys left it, captions too.
        EXPECT_FALSE(Enabled(IDC_MODE_STRING));
        EXPECT_FALSE(Enabled(IDC_LOAD_FILE));
        EXPECT_EQ(Text(IDC_MODE_HEX), "Key:");
        EXPECT_EQ(Text(IDC_P2_LABEL), "KeyNo.:");

        Click(IDC_TYPE_STORAGE);
        EXPECT_EQ(tester.commandType, COMMAND_STORAGE);
        EXPECT_FALSE(Checked(IDC_TYPE_DIRECT));
        EXPECT_TRUE(Checked(IDC_TYPE_STORAGE));
        for (int id : form)
            EXPECT_EQ(Enabled(id), id != IDC_P3_LABEL && id != IDC_P3) << id;

        for (int id : vendor)
            EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_FALSE(Checked(IDC_TYPE_VENDOR));
        EXPECT_TRUE(Enabled(IDC_LOOP));
        EXPECT_EQ(Enabled(IDC_LOOP_COUNT), loop);
    }
}

TEST_F(ComposerTest, DecimalFieldsKeepTheirLowEightBits)
{
    Click(IDC_CMD_READ);
    SetFields("300", "261", "0x00", "272");
    EXPECT_EQ(Send(), Bytes({0x00, 0xB0, 0x2C, 0x05, 0x10}));
    Click(IDC_CMD_GETUID);
    Click(IDC_CMD_READ);
    EXPECT_EQ(Fields(), (std::vector<std::string> {"44", "5", "0x00", "16"}));
}

// The reading of the text is the core's (hex_parser_test.cpp); here what the
// form does with it.
TEST_F(ComposerTest, P3IsOneHexByteOrNothingIsSent)
{
    // shownAgain: the field after leaving Auth and coming back; a refused
    // text keeps the value Auth had.
    struct {
        const char* text;
        int keyType;  // -1: refused
        const char* shownAgain;
    } cases[] = {{"0XfF", 0xFF, "0xFF"}, {"0xG1", -1, "0xFF"}};
    Click(IDC_CMD_AUTH);
    SetText(IDC_LENGTH, "99");
    for (auto& c : cases) {
        SCOPED_TRACE(c.text);
        SetText(IDC_P3, c.text);
        Command(IDC_CLEAR_LOG);
        transmitSpy = {};
        Command(IDC_TRANSMIT);
        if (c.keyType < 0) {
            EXPECT_EQ(transmitSpy.calls, 0);
            EXPECT_EQ(LogEntries(),
                      std::vector<std::string> {"P3: \"" + std::string(c.text)
                                                + "\" is not a hexadecimal byte; nothing sent."});
        } else {
            // Six bytes whatever Length says; the key type replaces the Length byte.
            ASSERT_EQ(transmitSpy.requests.size(), 1u);
            EXPECT_EQ(transmitSpy.requests[0], Bytes({0x00, 0x88, 0x00, 0x07, c.keyType, 0x01}));
        }
        Click(IDC_CMD_GETUID);
        Click(IDC_CMD_AUTH);
        EXPECT_EQ(Text(IDC_P3), c.shownAgain);
    }
}

TEST_F(ComposerTest, LongFileStaysInsideTheRecordAndTheRequestBuffer)
{
    Click(IDC_CMD_UPDATE);
    Click(IDC_MODE_FILE);
    LoadFile(WriteFile("big", Pattern(10000)));
    ASSERT_EQ(tester.fileLen, 10000u);
    SetFields("1", "2", "0x03", "4");

    tester.recvBuffer[0] = 0xA5;
    std::vector<BYTE> request = Send();
    EXPECT_EQ(request, Concat(Bytes({0x00, 0xD6, 0x01, 0x02, 0x04}), std::string("\x01\x08\x0F\x16", 4)));
    std::vector<BYTE> pattern = Pattern(10000);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.begin() + BUFFER_SIZE - 5, tester.sendBuffer + 5));
    EXPECT_EQ(tester.recvBuffer[0], 0xA5);

    // Leaving Update saves the first 1024 bytes of the file, nothing more.
    memset(tester.sendBuffer, 0xC3, 16);
    Click(IDC_CMD_READ);
    const CommandSettings& saved = tester.updateSettings;
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.begin() + SETTINGS_DATA_SIZE, saved.data));
    EXPECT_EQ(saved.dataLen, uint32_t(SETTINGS_DATA_SIZE));
    EXPECT_EQ(saved.entryMode, ENTRY_FILE);
    EXPECT_EQ(saved.p1, 1);
    EXPECT_EQ(saved.p2, 2);
    EXPECT_EQ(saved.p3, 3);
    EXPECT_EQ(saved.length, 4);
    EXPECT_EQ(tester.sendBuffer[0], 0xC3);
}

TEST_F(ComposerTest, FullLengthTextsComeBackWhole)
{
    std::string string(1024, 'w');
    string[1023] = 'z';
    Click(IDC_CMD_UPDATE);
    SetText(IDC_STRING_DATA, string);
    Click(IDC_CMD_READ);
    Click(IDC_CMD_UPDATE);
    EXPECT_EQ(Text(IDC_STRING_DATA), string);
    EXPECT_EQ(tester.stringLen, 1024u);

    std::string hex(1024, '1');
    hex[1023] = 'F';
    Click(IDC_CMD_LOADKEYS);
    SetText(IDC_HEX_DATA, hex);
    Click(IDC_CMD_READ);
    Click(IDC_CMD_LOADKEYS);
    EXPECT_EQ(Text(IDC_HEX_DATA), hex);
    EXPECT_EQ(tester.hexLen, 512u);
    EXPECT_EQ(tester.hexData[511], 0x1F);
}

}  // namespace
