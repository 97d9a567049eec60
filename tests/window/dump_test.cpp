// Byte dumps in the log: every length rule of both forms, the grouping, zero
// bytes, the form chosen from the command type and the source, and the vendor
// record dump.
#include "compose_support.h"
#include "output/dump.h"

namespace {

class DumpTest : public ComposeTest {
protected:
    // Chooses the form as a user would: command type, then data source.
    void ChooseForm(int typeRadio, int modeRadio)
    {
        Click(typeRadio);
        Click(modeRadio);
        Command(IDC_CLEAR_LOG);
    }

    // The dump entry that follows the title.
    std::string Dump(const std::vector<BYTE>& bytes)
    {
        Command(IDC_CLEAR_LOG);
        LogBytes("Title:", bytes.data(), uint32_t(bytes.size()));
        std::string log = Log();
        EXPECT_EQ(log.rfind("Title:\r\n", 0), 0u);
        return log.substr(strlen("Title:\r\n"));
    }
};

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

TEST_F(DumpTest, LengthRulesOfBothForms)
{
    const LengthCase cases[] = {
        {0, 0, 0},       {8, 26, 10},     {9, 29, 11},     {64, 208, 80},   {65, 211, 81},
        {307, 997, 383}, {308, 993, 384}, {331, 993, 413}, {332, 993, 416}, {10000, 993, 416},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.count);
        std::vector<BYTE> bytes = Letters(c.count);
        std::string full = HexDump(bytes);

        ChooseForm(IDC_TYPE_DIRECT, IDC_MODE_HEX);
        std::string hex = Dump(bytes);
        EXPECT_EQ(hex.size(), c.hexLength);
        if (c.count >= 308)
            EXPECT_EQ(hex, full.substr(0, 990) + "...");
        else
            EXPECT_EQ(hex, full);

        ChooseForm(IDC_TYPE_DIRECT, IDC_MODE_STRING);
        std::string characters = Dump(bytes);
        EXPECT_EQ(characters.size(), c.charLength);
        EXPECT_EQ(characters.size() >= 3 && characters.substr(characters.size() - 3) == "...", c.count >= 332);
    }
}

TEST_F(DumpTest, GroupsOfEightAndLinesOfSixtyFour)
{
    ChooseForm(IDC_TYPE_DIRECT, IDC_MODE_HEX);
    EXPECT_EQ(Dump({0, 1, 2, 3, 4, 5, 6, 7}), "00 01 02 03 04 05 06 07   ");
    EXPECT_EQ(Dump({0, 1, 2, 3, 4, 5, 6, 7, 0xAB}), "00 01 02 03 04 05 06 07   AB ");
    std::string line = Dump(Letters(65));
    EXPECT_EQ(line.substr(203), "4C \r\n4D ");
    // The next entry's own separator leaves an empty line after a full line.
    Dump(Letters(64));
    LogAppend("next");
    EXPECT_TRUE(LogEndsWith(" \r\n\r\nnext"));

    ChooseForm(IDC_TYPE_DIRECT, IDC_MODE_STRING);
    EXPECT_EQ(Dump({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}), "01234567  89");
    // A zero byte shows nothing but still counts.
    EXPECT_EQ(Dump({'A', 'B', 0, 'D', 'E', 'F', 'G', 'H', 'I', 'J'}), "ABDEFGH  IJ");
    EXPECT_EQ(Dump(std::vector<BYTE>(9, 0)), "  ");
    std::string cut = Dump(Letters(332));
    EXPECT_EQ(cut.substr(cut.size() - 8), "  QRS...");
}

struct FormCase {
    int typeRadio;
    int modeRadio;
    const char* dump;
};

TEST_F(DumpTest, FormFollowsCommandTypeThenSource)
{
    const FormCase cases[] = {
        {IDC_TYPE_DIRECT, IDC_MODE_STRING, "Hi"},   {IDC_TYPE_DIRECT, IDC_MODE_HEX, "48 69 "},
        {IDC_TYPE_DIRECT, IDC_MODE_FILE, "48 69 "}, {IDC_TYPE_STORAGE, IDC_MODE_STRING, "48 69 "},
        {IDC_TYPE_STORAGE, IDC_MODE_HEX, "48 69 "},
    };
    for (const FormCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.typeRadio) + "/" + std::to_string(c.modeRadio));
        ChooseForm(c.typeRadio, c.modeRadio);
        EXPECT_EQ(Dump({'H', 'i'}), c.dump);
    }
}

TEST_F(DumpTest, VendorRecordDumpsOnlyWholeRecords)
{
    VendorIoRecord record {};
    record.cmd = 2;
    record.pa = 3;
    record.pb = 100;
    record.le = 16;
    for (int32_t size : {0, 275, 277, -1}) {
        Command(IDC_CLEAR_LOG);
        LogVendorRecord("SCardControl: Output:", &record, size);
        EXPECT_EQ(Log(), "SCardControl: Output:") << size;
    }

    const std::string header = "CMD = 2, PA = 0x00000003, PB = 0x00000064, PC = 0x00000000, LE = ";
    Command(IDC_CLEAR_LOG);
    record.le = 0;
    LogVendorRecord("SCardControl: Input:", &record, VENDOR_RECORD_SIZE);
    EXPECT_EQ(Log(), "SCardControl: Input:\r\n" + header + "0\r\n");

    // Always hex, whatever the form of card dumps.
    ChooseForm(IDC_TYPE_DIRECT, IDC_MODE_STRING);
    std::vector<BYTE> data = Letters(255);
    memcpy(record.data, data.data(), data.size());
    record.data[255] = 0xEE;
    record.le = 255;
    LogVendorRecord("SCardControl: Input:", &record, VENDOR_RECORD_SIZE);
    EXPECT_EQ(Log(), "SCardControl: Input:\r\n" + header + "255\r\n" + HexDump(data));
    EXPECT_EQ(HexDump(data).size(), 827u);

    record.cmd = 255;
    record.pa = 0xFFFFFFFF;
    record.pc = 0xABCDEF01;
    record.le = 16;
    Command(IDC_CLEAR_LOG);
    LogVendorRecord("T", &record, VENDOR_RECORD_SIZE);
    EXPECT_EQ(Log(),
              "T\r\nCMD = 255, PA = 0xFFFFFFFF, PB = 0x00000064, PC = 0xABCDEF01, LE = 16\r\n"
                  + HexDump(std::vector<BYTE>(data.begin(), data.begin() + 16)));
}

}  // namespace
