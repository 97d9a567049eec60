// The form of the byte dumps the window chooses from the command type and the
// source (the dumps themselves are tests/core/report_test.cpp's).
#include "compose_support.h"

namespace {

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

}  // namespace
