// The real window against an independent reader that nobody here wrote: vsmartcard's vpcd
// driver with vicc's ISO 7816 card, served by scripts/with-sim-pcscd --peer. It answers as
// many readers in the field do: the ATR attribute and most others refused, a T=1 card that
// knows neither our storage commands nor vendor requests.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "window/compose_support.h"

namespace {

const char OK[] = "0x00000000";

using PeerTest = ComposeTest;

TEST_F(PeerTest, SessionShowsWhatTheReaderAnswers)
{
    const char* reader = getenv("QTU_PEER_READER0");
    if (reader == nullptr)
        GTEST_SKIP() << "needs vpcd and vicc (scripts/with-sim-pcscd --peer)";
    size_t reportStart = 0;
    struct Step {
        const char* what;
        std::function<void()> act;
        std::string logTail;
        const char* status;
        std::function<void()> check;
    } steps[] = {
        {"establish", [&] { Click(IDC_ESTABLISH); }, "SCardEstablishContext: SUCCESS!", OK, [] {}},
        {"list", [&] { Click(IDC_LIST_READERS); }, "SCardListReaders: SUCCESS!", OK,
         [&] {
             char entry[SELECTED_READER_SIZE];
             int found = -1;
             for (int i = 0; i < ListGetCount(window, IDC_READER_LIST); i++) {
                 ListGetText(window, IDC_READER_LIST, i, entry, sizeof entry);
                 if (strcmp(entry, reader) == 0)
                     found = i;
             }
             ASSERT_GE(found, 0) << reader << " is not listed";
             ListSetCurSel(window, IDC_READER_LIST, found);
         }},
        // vpcd refuses the ATR attribute; pcscd holds the ATR all the same. The card
        // offers T=0 and T=1, and pcsc-lite negotiates T=1 when it is asked to.
        {"connect", [&] { Click(IDC_CONNECT); }, "SCardConnect: OK, protocol = 0x00000002.", OK,
         [&] { EXPECT_EQ(Text(IDC_ATR), "3B 95 13 81 01 80 73 FF 01 00 0B "); }},
        // 17 attributes are refused; vpcd answers the two names with "insufficient buffer".
        {"attributes",
         [&] {
             reportStart = LogEntries().size();
             Click(IDC_ATTRIBUTES);
         },
         "IFD Vendor Name:   error 0x8010001F (Feature not supported.)", OK,
         [&] {
             std::vector<std::string> entries = LogEntries();
             ASSERT_EQ(entries.size(), reportStart + 19);
             for (size_t i = reportStart; i < entries.size(); i++) {
                 std::string label = entries[i].substr(0, entries[i].find(":   ") + 4);
                 bool name = label == "Friendly Name:   " || label == "System Name:   ";
                 EXPECT_EQ(entries[i],
                           label
                               + (name ? "error 0x80100008 (Insufficient buffer.)"
                                       : "error 0x8010001F (Feature not supported.)"));
             }
         }},
        {"select an unknown application",
         [&] {
             Click(IDC_TYPE_DIRECT);
             Click(IDC_MODE_HEX);
             SetText(IDC_HEX_DATA, "00 A4 04 00 05 F0 01 02 03 04");
             Click(IDC_TRANSMIT);
         },
         "SCardTransmit: Output:\r\n6A 82 ", OK, [&] { EXPECT_EQ(transmitSpy.lastPci, SCARD_PCI_T1); }},
        {"get UID",
         [&] {
             Click(IDC_TYPE_STORAGE);
             Click(IDC_CMD_GETUID);
             Click(IDC_TRANSMIT);
         },
         "SCardTransmit: Input:\r\n00 CA 00 00 00 \r\nSCardTransmit: Output:\r\n6A 81 ", OK, [] {}},
        {"loop",
         [&] {
             SetLoop(true, 5);
             transmitSpy = {};
             TransmitAndWait();
             SetLoop(false, 0);
         },
         "", OK,
         [&] {
             EXPECT_EQ(transmitSpy.statuses, std::vector<LONG>(5, SCARD_S_SUCCESS));
             EXPECT_EQ(Text(IDC_LOOP_PROGRESS), "100");
             std::vector<std::string> entries = LogEntries();
             ASSERT_GE(entries.size(), 4u);
             EXPECT_EQ(
                 std::vector<std::string>(entries.end() - 4, entries.end() - 1),
                 (std::vector<std::string> {"SCardTransmit: Output:", "6A 81 ", "Loop: 5 runs, 5 answered 6A 81"}));
         }},
        {"vendor request",
         [&] {
             Click(IDC_TYPE_VENDOR);
             Click(IDC_TRANSMIT);
         },
         "SCardControl: Failure!", "0x8010001F", [] {}},
        {"disconnect", [&] { Click(IDC_DISCONNECT); }, "SCardDisconnect: SUCCESS!", OK,
         [&] { EXPECT_EQ(Text(IDC_ATR), ""); }},
        {"release", [&] { Click(IDC_RELEASE); }, "SCardReleaseContext: SUCCESS!", OK,
         [&] { EXPECT_TRUE(Enabled(IDC_ESTABLISH)); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_TRUE(LogEndsWith(step.logTail)) << LastLogEntry();
        EXPECT_EQ(Text(IDC_WIN_STATUS), step.status);
        step.check();
    }
}

}  // namespace
