// The reader life cycle: Establish Context, List Devices, Connect, Disconnect
// and Release Context against the simulated reader (clicked like a user would), the six buttons after each
// event, and the failures that only a scripted PC/SC gives.
#include <functional>
#include <string>

#include "sim/card_atr.h"
#include "window_fixture.h"

static const std::string SIM_ATR_TEXT = std::string(STORAGE_ATR_TEXT) + " ";

// The four states of the six buttons, in the order Establish Context, List
// Devices, Connect, Disconnect, Attributes, Release Context.
static const char NO_CONTEXT[] = "100000";
static const char CONTEXT_FAILED[] = "000001";
static const char CONTEXT_OPEN[] = "011001";
static const char CARD_CONNECTED[] = "010111";

class ConnectionTest : public MainWindowTest {
protected:
    std::string Buttons()
    {
        std::string state;
        for (int id : {IDC_ESTABLISH, IDC_LIST_READERS, IDC_CONNECT, IDC_DISCONNECT, IDC_ATTRIBUTES, IDC_RELEASE})
            state += Enabled(id) ? '1' : '0';
        return state;
    }

    void SelectReader(int index) { ListSetCurSel(window, IDC_READER_LIST, index); }
};

TEST_F(ConnectionTest, WalksTheLifeCycleOfTheSimulatedReader)
{
    REQUIRE_SIMULATED_READER();
    struct Step {
        const char* what;
        std::function<void()> act;
        const char* buttons;
        std::string line;
        const char* status;
    } steps[] = {
        {"establish", [&] { Click(IDC_ESTABLISH); }, CONTEXT_OPEN, "SCardEstablishContext: SUCCESS!", "0x00000000"},
        {"connect before listing", [&] { Click(IDC_CONNECT); }, CONTEXT_OPEN,
         "Please select a (logical) reader device!", "0x00000000"},
        {"list", [&] { Click(IDC_LIST_READERS); }, CONTEXT_OPEN, "SCardListReaders: SUCCESS!", "0x00000000"},
        {"connect to the card", [&] { Click(IDC_CONNECT); }, CARD_CONNECTED, "SCardConnect: OK, protocol = 0x",
         "0x00000000"},
        {"disconnect", [&] { Click(IDC_DISCONNECT); }, CONTEXT_OPEN, "SCardDisconnect: SUCCESS!", "0x00000000"},
        {"connect to the empty reader",
         [&] {
             SelectReader(1);
             Click(IDC_CONNECT);
         },
         CONTEXT_OPEN, "SCardConnect: ERROR.", "0x8010000C"},
        {"release", [&] { Click(IDC_RELEASE); }, NO_CONTEXT, "SCardReleaseContext: SUCCESS!", "0x00000000"},
    };
    EXPECT_EQ(Buttons(), NO_CONTEXT);
    // Disabled buttons are the only guard of the life cycle.
    for (int id : {IDC_LIST_READERS, IDC_CONNECT, IDC_DISCONNECT, IDC_ATTRIBUTES, IDC_RELEASE})
        Click(id);
    EXPECT_EQ(fakePcsc.listReaders.calls + fakePcsc.connect.calls + fakePcsc.disconnect.calls + fakePcsc.getAttrib.calls
                  + fakePcsc.release.calls,
              0);
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(Buttons(), step.buttons) << step.what;
        EXPECT_EQ(LastLogEntry().substr(0, step.line.size()), step.line) << step.what;
        EXPECT_EQ(Text(IDC_WIN_STATUS), step.status) << step.what;
        EXPECT_EQ(Text(IDC_ELAPSED).substr(Text(IDC_ELAPSED).size() - 3), " ms") << step.what;
        if (strcmp(step.buttons, CARD_CONNECTED) == 0) {
            // The card offers T=0 and T=1; pcscd negotiates T=1.
            EXPECT_EQ(LastLogEntry(), "SCardConnect: OK, protocol = 0x00000002.");
            EXPECT_EQ(tester.activeProtocol, DWORD(SCARD_PROTOCOL_T1));
            EXPECT_EQ(Text(IDC_CONNECTED_READER), SimReaderName(0));
            EXPECT_EQ(Text(IDC_ATR), SIM_ATR_TEXT);
        } else {
            EXPECT_EQ(Text(IDC_CONNECTED_READER), "") << step.what;
            EXPECT_EQ(Text(IDC_ATR), "") << step.what;
        }
    }
    EXPECT_EQ(ListGetCount(window, IDC_READER_LIST), 0);
    EXPECT_EQ(tester.hContext, 0u);
    EXPECT_EQ(tester.hCard, 0u);
}

TEST_F(ConnectionTest, ListShowsTheReadersInOrderWithTheFirstSelected)
{
    REQUIRE_SIMULATED_READER();
    Command(IDC_ESTABLISH);
    Command(IDC_LIST_READERS);
    ASSERT_EQ(ListGetCount(window, IDC_READER_LIST), 2);
    char name[SELECTED_READER_SIZE];
    for (int i = 0; i < 2; i++) {
        ListGetText(window, IDC_READER_LIST, i, name, sizeof name);
        EXPECT_EQ(name, SimReaderName(i));
    }
    EXPECT_EQ(ListGetCurSel(window, IDC_READER_LIST), 0);
}

TEST_F(ConnectionTest, CallsCarryTheirFixedArguments)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    EXPECT_EQ(fakePcsc.establishScope, DWORD(SCARD_SCOPE_USER));
    EXPECT_STREQ(fakePcsc.connectReader, SimReaderName(0).c_str());
    EXPECT_EQ(fakePcsc.connectShare, DWORD(SCARD_SHARE_EXCLUSIVE));
    EXPECT_EQ(fakePcsc.connectProtocols, DWORD(SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1));
    ASSERT_EQ(fakePcsc.attribCount, 1);
    EXPECT_EQ(fakePcsc.attribIds[0], DWORD(SCARD_ATTR_ATR_STRING));
    SCARDHANDLE card = tester.hCard;
    Command(IDC_DISCONNECT);
    EXPECT_EQ(fakePcsc.disconnectCard, card);
    EXPECT_EQ(fakePcsc.disconnectDisposition, DWORD(SCARD_UNPOWER_CARD));
}

TEST_F(ConnectionTest, ReleaseWithACardConnectedReleasesOnlyTheContext)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    ASSERT_EQ(Buttons(), CARD_CONNECTED);
    Command(IDC_RELEASE);
    EXPECT_EQ(Buttons(), NO_CONTEXT);
    EXPECT_EQ(fakePcsc.disconnect.calls, 0);
    EXPECT_EQ(Text(IDC_CONNECTED_READER), "");
    EXPECT_EQ(Text(IDC_ATR), "");
    Connect(0);
    EXPECT_EQ(Buttons(), CARD_CONNECTED) << "the exclusive connection ended with its context";
}

// Every failure keeps the buttons where the table of events leaves them,
// except a release that leaves no context behind: that one returns to the
// start, so that Establish Context can be tried again. Which statuses leave
// no context is tested on its own in pcsc_core_test.cpp.
TEST_F(ConnectionTest, FailedCallsLogErrorAndSetTheButtons)
{
    REQUIRE_SIMULATED_READER();
    struct Case {
        const char* what;
        std::function<void()> before;
        FakePcsc::Entry* entry;
        LONG status;
        int command;
        const char* buttons;
        const char* line;
        const char* shown;
    } cases[] = {
        {"establish", [&] { ListAddString(window, IDC_READER_LIST, "stale"); }, &fakePcsc.establish, SCARD_E_NO_SERVICE,
         IDC_ESTABLISH, CONTEXT_FAILED, "SCardEstablishContext: ERROR!", "0x8010001D"},
        {"list", [&] { Command(IDC_ESTABLISH); }, &fakePcsc.listReaders, SCARD_E_NO_READERS_AVAILABLE, IDC_LIST_READERS,
         CONTEXT_OPEN, "SCardListReaders: ERROR!", "0x8010002E"},
        {"disconnect", [&] { Connect(0); }, &fakePcsc.disconnect, SCARD_E_NOT_TRANSACTED, IDC_DISCONNECT,
         CARD_CONNECTED, "SCardDisconnect: ERROR!", "0x80100016"},
        {"release", [&] { Connect(0); }, &fakePcsc.release, SCARD_E_READER_UNAVAILABLE, IDC_RELEASE, CARD_CONNECTED,
         "SCardReleaseContext: ERROR!", "0x80100017"},
        {"release of a lost context", [&] { Connect(0); }, &fakePcsc.release, SCARD_E_INVALID_HANDLE, IDC_RELEASE,
         NO_CONTEXT, "SCardReleaseContext: ERROR!", "0x80100003"},
        {"release after a failed establish",
         [&] {
             Script(fakePcsc.establish, SCARD_E_NO_SERVICE);
             Command(IDC_ESTABLISH);
         },
         &fakePcsc.release, SCARD_E_READER_UNAVAILABLE, IDC_RELEASE, NO_CONTEXT, "SCardReleaseContext: ERROR!",
         "0x80100017"},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        c.before();
        Script(*c.entry, c.status);
        EXPECT_EQ(Command(c.command), TRUE) << c.what;
        EXPECT_EQ(Buttons(), c.buttons) << c.what;
        EXPECT_EQ(LastLogEntry(), c.line) << c.what;
        EXPECT_EQ(Text(IDC_WIN_STATUS), c.shown) << c.what;
    }
}

TEST_F(ConnectionTest, FailuresStillClearWhatTheirHandlersClear)
{
    REQUIRE_SIMULATED_READER();
    Script(fakePcsc.establish, SCARD_E_NO_SERVICE);
    ListAddString(window, IDC_READER_LIST, "stale");
    Command(IDC_ESTABLISH);
    EXPECT_EQ(ListGetCount(window, IDC_READER_LIST), 0);
    Script(fakePcsc.release, SCARD_S_SUCCESS);
    Command(IDC_RELEASE);
    EXPECT_EQ(Buttons(), NO_CONTEXT) << "a successful release is the way out of a failed context";

    fakePcsc.establish.scripted = fakePcsc.release.scripted = false;
    Connect(0);
    Script(fakePcsc.listReaders, SCARD_E_NO_READERS_AVAILABLE);
    Command(IDC_LIST_READERS);
    EXPECT_EQ(ListGetCount(window, IDC_READER_LIST), 2) << "a failed listing keeps the earlier names";
    Script(fakePcsc.disconnect, SCARD_E_NOT_TRANSACTED);
    Command(IDC_DISCONNECT);
    EXPECT_EQ(tester.hCard, 0u);
    EXPECT_EQ(Text(IDC_CONNECTED_READER), "");
    EXPECT_EQ(Text(IDC_ATR), "");
    Script(fakePcsc.release, SCARD_E_READER_UNAVAILABLE);
    Command(IDC_RELEASE);
    EXPECT_EQ(tester.hContext, 0u);
    EXPECT_EQ(ListGetCount(window, IDC_READER_LIST), 0);
}

// Connect shows its status before its log line; the others log first (the
// verdict tail of Establish Context, Disconnect and Release Context included).
TEST_F(ConnectionTest, ConnectShowsTheStatusBeforeTheLogLine)
{
    REQUIRE_SIMULATED_READER();
    struct Case {
        int command;
        bool statusFirst;
    } cases[] = {{IDC_ESTABLISH, false},
                 {IDC_LIST_READERS, false},
                 {IDC_CONNECT, true},
                 {IDC_DISCONNECT, false},
                 {IDC_RELEASE, false}};
    for (const Case& c : cases) {
        int from = recordedMessageCount;
        size_t logBefore = strlen(tester.logText);
        Command(c.command);
        int status = CommandIndex(IDC_WIN_STATUS, from);
        ASSERT_GE(status, 0) << c.command;
        EXPECT_EQ(recordedMessages[status].logLength == logBefore, c.statusFirst) << c.command;
    }
}

TEST_F(ConnectionTest, ReaderListKeepsTheOrderOfTheResourceManager)
{
    static const char names[] = "Zeta reader 00 00\0Alpha reader 01 00\0\0";
    memcpy(fakePcsc.readers, names, sizeof names);
    fakePcsc.readersLen = sizeof names;
    Script(fakePcsc.listReaders, SCARD_S_SUCCESS);
    Command(IDC_LIST_READERS);
    char name[SELECTED_READER_SIZE];
    ASSERT_EQ(ListGetCount(window, IDC_READER_LIST), 2);
    ListGetText(window, IDC_READER_LIST, 0, name, sizeof name);
    EXPECT_STREQ(name, "Zeta reader 00 00");
    EXPECT_EQ(ListGetCurSel(window, IDC_READER_LIST), 0);

    fakePcsc.readers[0] = '\0';
    Command(IDC_LIST_READERS);
    EXPECT_EQ(ListGetCount(window, IDC_READER_LIST), 0);
    EXPECT_EQ(ListGetCurSel(window, IDC_READER_LIST), -1);
}

// A name longer than the buffer Connect reads it into is cut to its 499 characters.
TEST_F(ConnectionTest, OverlongReaderNameIsCutToFit)
{
    REQUIRE_SIMULATED_READER();
    Command(IDC_ESTABLISH);
    memset(fakePcsc.readers, 'r', 600);
    fakePcsc.readers[600] = fakePcsc.readers[601] = '\0';
    fakePcsc.readersLen = 602;
    Script(fakePcsc.listReaders, SCARD_S_SUCCESS);
    Command(IDC_LIST_READERS);
    int64_t ticksPerMs = tester.ticksPerMs;
    Command(IDC_CONNECT);
    EXPECT_EQ(strlen(fakePcsc.connectReader), size_t(SELECTED_READER_SIZE - 1));
    EXPECT_EQ(tester.ticksPerMs, ticksPerMs);
    EXPECT_EQ(LastLogEntry(), "SCardConnect: ERROR.");
}

// The ATR field shows at most 166 bytes. When the attribute fails, the ATR
// comes from pcscd's status of the card. (What a read counts is tested
// without a window in pcsc_core_test.cpp.)
TEST_F(ConnectionTest, AtrFieldShowsWhatTheReadDelivered)
{
    REQUIRE_SIMULATED_READER();
    BYTE atr[200];
    memset(atr, 0xAB, sizeof atr);
    std::string long166;
    for (int i = 0; i < 166; i++)
        long166 += "AB ";
    struct Case {
        DWORD delivered, reported;
        LONG status;
        std::string shown;
    } cases[] = {
        {11, 11, SCARD_S_SUCCESS, std::string("AB AB AB AB AB AB AB AB AB AB AB ")},
        {200, 200, SCARD_S_SUCCESS, long166},
        {0, 50, SCARD_E_INSUFFICIENT_BUFFER, SIM_ATR_TEXT},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        ScriptAttribute(SCARD_ATTR_ATR_STRING, atr, c.delivered, c.reported, c.status);
        Connect(0);
        EXPECT_EQ(Text(IDC_ATR), c.shown) << c.delivered;
        EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
        EXPECT_EQ(LastLogEntry(), "SCardConnect: OK, protocol = 0x00000002.");
        EXPECT_EQ(fakePcsc.attribLengthsIn[0], DWORD(MAX_BUFFER_SIZE));
    }
}

// A card left in RAW by another client refuses T=0 and T=1: Connect offers
// RAW alone and shows what it got. (Which failures fall back is tested
// without a window in pcsc_core_test.cpp.)
TEST_F(ConnectionTest, CardHeldInRawIsConnectedInRaw)
{
    REQUIRE_SIMULATED_READER();
    // Another client speaks RAW to the card and leaves it powered.
    SCARDCONTEXT other;
    SCARDHANDLE card;
    DWORD protocol;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &other), SCARD_S_SUCCESS);
    ASSERT_EQ(
        SCardConnect(other, SimReaderName(0).c_str(), SCARD_SHARE_EXCLUSIVE, SCARD_PROTOCOL_RAW, &card, &protocol),
        SCARD_S_SUCCESS);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(other);
    Connect(0);
    EXPECT_EQ(fakePcsc.connect.calls, 2);
    EXPECT_EQ(fakePcsc.connectProtocols, DWORD(SCARD_PROTOCOL_RAW));
    EXPECT_EQ(LastLogEntry(), "SCardConnect: OK, protocol = 0x00000004.");
    EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
}

// A reader that refuses the ATR attribute, as many drivers do: the field shows the ATR
// that pcscd holds for the card.
TEST_F(ConnectionTest, AtrComesFromTheCardStatusWhenTheReaderRefusesTheAttribute)
{
    REQUIRE_SIMULATED_READER();
    SimSetRefuseAtr(0, true);
    Connect(0);
    SimReset(0);
    EXPECT_EQ(Text(IDC_ATR), SIM_ATR_TEXT);
    EXPECT_EQ(Buttons(), CARD_CONNECTED);
}

// pcscd dies while the window holds a context: Release Context fails, yet leads back to
// Establish Context, and a new pcscd serves the same program.
TEST_F(ConnectionTest, ReleaseAfterPcscdDiedLeadsToANewPcscd)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    ASSERT_EQ(Buttons(), CARD_CONNECTED);
    ASSERT_TRUE(SimPcscd("kill"));
    Click(IDC_RELEASE);
    EXPECT_EQ(LastLogEntry(), "SCardReleaseContext: ERROR!");
    EXPECT_EQ(Text(IDC_WIN_STATUS), "0x8010001D");
    EXPECT_EQ(Buttons(), NO_CONTEXT);
    // Later tests need pcscd whatever happened above.
    ASSERT_TRUE(SimPcscd("start"));
    Click(IDC_ESTABLISH);
    Click(IDC_LIST_READERS);
    Click(IDC_CONNECT);
    EXPECT_EQ(Buttons(), CARD_CONNECTED);
    EXPECT_EQ(Text(IDC_ATR), SIM_ATR_TEXT);
}
