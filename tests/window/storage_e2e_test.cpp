// End to end against the simulated 1K card, through the real form: load the
// transport key, authenticate to sector 1, update a block and read it back,
// 100 times over with every response checked in the log; then the same Read
// in the window's own loop of 100 runs.
#include "compose_support.h"

namespace {

class StorageEndToEndTest : public ComposeTest {
protected:
    void SetUp() override
    {
        ComposeTest::SetUp();
        if (!HaveSimulatedReader())
            return;
        Connect(0);
        ASSERT_NE(tester.hCard, 0);
        Click(IDC_TYPE_STORAGE);
    }

    // Transmits and returns the response dump, which a loop's two summary
    // lines follow; the log is cleared first so it does not restart between
    // the title and the dump.
    std::string Transmit()
    {
        Command(IDC_CLEAR_LOG);
        TransmitAndWait();
        std::vector<std::string> entries = LogEntries();
        size_t expected = tester.loopEnabled ? 6 : 4;
        EXPECT_EQ(entries.size(), expected);
        if (entries.size() != expected)
            return "";
        EXPECT_EQ(entries[2], "SCardTransmit: Output:");
        return entries[3];
    }

    void WriteBlock(int block, const std::vector<BYTE>& data)
    {
        Click(IDC_CMD_UPDATE);
        SetText(IDC_P2, std::to_string(block));
        SetText(IDC_HEX_DATA, HexDump(data));
        EXPECT_EQ(Transmit(), "90 00 ");
    }

    std::string ReadBlock(int block)
    {
        Click(IDC_CMD_READ);
        SetText(IDC_P2, std::to_string(block));
        return Transmit();
    }

    void Authenticate(int block)
    {
        Click(IDC_CMD_AUTH);
        SetText(IDC_P2, std::to_string(block));
        EXPECT_EQ(Transmit(), "90 00 ");
    }
};

std::vector<BYTE> BlockData(int round)
{
    std::vector<BYTE> data(16);
    for (int i = 0; i < 16; ++i)
        data[i] = BYTE(round * 16 + i);
    return data;
}

TEST_F(StorageEndToEndTest, LoadAuthenticateUpdateAndReadBack)
{
    REQUIRE_SIMULATED_READER();
    // The transport key into key slot 0; Authenticate uses key type A and slot 0.
    Click(IDC_CMD_LOADKEYS);
    SetText(IDC_P2, "0");
    SetText(IDC_HEX_DATA, "FF FF FF FF FF FF");
    Click(IDC_CMD_AUTH);
    SetText(IDC_HEX_DATA, "00");
    Click(IDC_CMD_UPDATE);
    Click(IDC_MODE_HEX);

    const int rounds = 100;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        int block = 4 + round % 3;
        Click(IDC_CMD_LOADKEYS);
        ASSERT_EQ(Transmit(), "90 00 ");
        Authenticate(block);
        WriteBlock(block, BlockData(round));
        ASSERT_EQ(ReadBlock(block), HexDump(BlockData(round)) + "90 00 ");
        EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
    }
    // Each block holds what its last round wrote.
    for (int block = 4; block <= 6; ++block)
        EXPECT_EQ(ReadBlock(block), HexDump(BlockData(rounds - 3 + (block - 4 + 2) % 3)) + "90 00 ") << block;

    // The window's own loop: 100 reads, the last response dumped.
    transmitSpy = {};
    Click(IDC_LOOP);
    SetText(IDC_LOOP_COUNT, "100");
    EXPECT_EQ(ReadBlock(6), HexDump(BlockData(rounds - 2)) + "90 00 ");
    EXPECT_EQ(transmitSpy.calls, 100);
    EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "100");
    Click(IDC_LOOP);

    // A block of another sector is refused until its sector is authenticated.
    EXPECT_EQ(ReadBlock(8), "69 82 ");

    // Factory content back for the tests that follow.
    Authenticate(4);
    for (int block = 4; block <= 6; ++block)
        WriteBlock(block, std::vector<BYTE>(16, 0));
}

}  // namespace
