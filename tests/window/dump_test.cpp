// Byte dumps: every length rule of both forms, the grouping, zero bytes and
// the vendor record's header line (the output core, no window); the form the
// window chooses from the command type and the source, and the whole-record
// rule of the vendor dump (the window).
#include "compose_support.h"
#include "core/output/dump.h"

namespace {

std::string Dump(const std::vector<BYTE>& bytes, DumpForm form)
{
    char text[DUMP_TEXT_SIZE];
    uint32_t length = FormatDump(text, bytes.data(), uint32_t(bytes.size()), form);
    EXPECT_EQ(length, strlen(text));
    return text;
}

std::vector<BYTE> Letters(size_t count)
{
    std::vector<BYTE> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = BYTE('A' + i % 26);
    return bytes;
}

struct LengthCase {
    size_t count;
    size_t hexLength;
    size_t charLength;
};

TEST(DumpFormat, LengthRulesOfBothForms)
{
    const LengthCase cases[] = {
        {0, 0, 0},       {8, 26, 10},     {9, 29, 11},     {64, 208, 80},   {65, 211, 81},
        {307, 997, 383}, {308, 993, 384}, {331, 993, 413}, {332, 993, 416}, {10000, 993, 416},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.count);
        std::vector<BYTE> bytes = Letters(c.count);
        std::string full = HexDump(bytes);

        std::string hex = Dump(bytes, DUMP_HEX);
        EXPECT_EQ(hex.size(), c.hexLength);
        if (c.count >= 308)
            EXPECT_EQ(hex, full.substr(0, 990) + "...");
        else
            EXPECT_EQ(hex, full);

        std::string characters = Dump(bytes, DUMP_CHARACTERS);
        EXPECT_EQ(characters.size(), c.charLength);
        EXPECT_EQ(characters.size() >= 3 && characters.substr(characters.size() - 3) == "...", c.count >= 332);
    }
}

TEST(DumpFormat, GroupsOfEightAndLinesOfSixtyFour)
{
    EXPECT_EQ(Dump({0, 1, 2, 3, 4, 5, 6, 7}, DUMP_HEX), "00 01 02 03 04 05 06 07   ");
    EXPECT_EQ(Dump({0, 1, 2, 3, 4, 5, 6, 7, 0xAB}, DUMP_HEX), "00 01 02 03 04 05 06 07   AB ");
    EXPECT_EQ(Dump(Letters(65), DUMP_HEX).substr(203), "4C \r\n4D ");
    // A full line ends in CR LF, so the next log entry's separator leaves an empty line.
    EXPECT_EQ(Dump(Letters(64), DUMP_HEX).substr(203), "4C \r\n");

    EXPECT_EQ(Dump({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, DUMP_CHARACTERS), "01234567  89");
    // A zero byte shows nothing but still counts.
    EXPECT_EQ(Dump({'A', 'B', 0, 'D', 'E', 'F', 'G', 'H', 'I', 'J'}, DUMP_CHARACTERS), "ABDEFGH  IJ");
    EXPECT_EQ(Dump(std::vector<BYTE>(9, 0), DUMP_CHARACTERS), "  ");
    std::string cut = Dump(Letters(332), DUMP_CHARACTERS);
    EXPECT_EQ(cut.substr(cut.size() - 8), "  QRS...");
}

TEST(DumpFormat, VendorHeaderShowsEveryField)
{
    struct Case {
        VendorIoRecord record;
        const char* header;
    } cases[] = {
        {{2, {}, 3, 100, 0, {}, 0, {}}, "CMD = 2, PA = 0x00000003, PB = 0x00000064, PC = 0x00000000, LE = 0"},
        {{255, {}, 0xFFFFFFFF, 100, 0xABCDEF01, {}, 255, {}},
         "CMD = 255, PA = 0xFFFFFFFF, PB = 0x00000064, PC = 0xABCDEF01, LE = 255"},
    };
    for (const Case& c : cases) {
        char text[DUMP_TEXT_SIZE];
        FormatVendorHeader(text, c.record);
        EXPECT_STREQ(text, c.header);
    }
}

using DumpTest = ComposeTest;

// What Transmit dumps of its request: a storage APDU is always hex, a direct
// send follows its source. No card is needed: the request is dumped first.
TEST_F(DumpTest, FormFollowsCommandTypeThenSource)
{
    struct FormCase {
        int typeRadio;
        int modeRadio;
        const char* dump;
    } cases[] = {
        {IDC_TYPE_DIRECT, IDC_MODE_STRING, "Hi"},
        {IDC_TYPE_DIRECT, IDC_MODE_HEX, "48 69 "},
        {IDC_TYPE_DIRECT, IDC_MODE_FILE, "48 69 "},
        {IDC_TYPE_STORAGE, IDC_MODE_STRING, "00 CA 00 00 00 "},
        {IDC_TYPE_STORAGE, IDC_MODE_HEX, "00 CA 00 00 00 "},
    };
    SetText(IDC_STRING_DATA, "Hi");
    SetText(IDC_HEX_DATA, "48 69");
    for (const FormCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.typeRadio) + "/" + std::to_string(c.modeRadio));
        Click(c.typeRadio);
        Click(c.modeRadio);
        if (c.modeRadio == IDC_MODE_FILE)
            LoadFile(WriteFile("hi.bin", {'H', 'i'}));
        Command(IDC_CLEAR_LOG);
        Command(IDC_TRANSMIT);
        std::vector<std::string> entries = LogEntries();
        ASSERT_GE(entries.size(), 2u);
        EXPECT_EQ(entries[0], "SCardTransmit: Input:");
        EXPECT_EQ(entries[1], c.dump);
    }
}

TEST_F(DumpTest, VendorRecordDumpsOnlyWholeRecords)
{
    VendorIoRecord record {};
    record.le = 16;
    for (int32_t size : {0, 275, 277, -1}) {
        Command(IDC_CLEAR_LOG);
        LogVendorRecord("SCardControl: Output:", &record, size);
        EXPECT_EQ(Log(), "SCardControl: Output:") << size;
    }
}

}  // namespace
