// The attribute report in the window, from the simulated reader: nineteen
// lines, the status fields untouched, and the failure form of a refusing
// reader. The line formats and the table are tested without a window in
// pcsc_core_test.cpp.
#include <string>

#include "window_fixture.h"

using AttributesTest = MainWindowTest;

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
