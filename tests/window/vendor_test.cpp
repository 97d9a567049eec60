// Vendor I/O in the real window against the simulated reader: the command
// type, the upward popup of vendor commands, the four fields and the
// SCardControl exchange with both records in the log.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include "window_fixture.h"

namespace {

// The log's dump form of `count` bytes: "%02X ", two blanks after every 8th
// byte, CR LF after every 64th.
std::string HexDump(const uint8_t* bytes, int count)
{
    std::string text;
    char pair[4];
    for (int i = 0; i < count; i++) {
        snprintf(pair, sizeof pair, "%02X ", bytes[i]);
        text += pair;
        text += (i + 1) % 64 == 0 ? "\r\n" : (i + 1) % 8 == 0 ? "  " : "";
    }
    return text;
}

std::string Header(int cmd, uint32_t pa, uint32_t pb, uint32_t pc, int le)
{
    char header[128];
    snprintf(header, sizeof header, "CMD = %d, PA = 0x%08X, PB = 0x%08X, PC = 0x%08X, LE = %d", cmd, pa, pb, pc, le);
    return header;
}

const char* const vendorItems[] = {"Switch LED Off", "Switch LED On", "Flash LED", "RF Reset", "Get Firmware Revision"};

// Scripted replies of the control call.
DWORD scriptedReplySize;
uint8_t scriptedReplyLe;
DWORD scriptedControlCode;

LONG ScriptedControl(SCARDHANDLE, DWORD code, LPCVOID, DWORD, LPVOID reply, DWORD, LPDWORD returned)
{
    scriptedControlCode = code;
    VendorIoRecord record {};
    record.cmd = 8;
    for (int i = 0; i < VENDOR_DATA_SIZE; i++)
        record.data[i] = uint8_t(0xA0 + i);
    record.le = scriptedReplyLe;
    memcpy(reply, &record, scriptedReplySize);
    *returned = scriptedReplySize;
    return SCARD_S_SUCCESS;
}

class VendorTest : public MainWindowTest {
protected:
    void TearDown() override
    {
        SimReset(0);
        tester.vendorTarget = VendorTarget {};
        MainWindowTest::TearDown();
    }

    // Presses Vendor I/O and, once the popup shows, chooses `item` with the
    // keyboard; nullptr closes it with Escape. Returns false when no popup
    // showed up.
    bool UseVendorMenu(const char* item)
    {
        QMenu* seen = nullptr;
        int tries = 0;
        std::function<void()> drive = [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) {
                if (++tries < 200)
                    QTimer::singleShot(5, drive);
                return;
            }
            seen = menu;
            menuGeometry = menu->geometry();
            menuTexts.clear();
            for (QAction* action : menu->actions()) {
                menuTexts += action->text().toStdString() + ";";
                if (item && action->text() == QLatin1String(item))
                    menu->setActiveAction(action);
            }
            QTest::keyClick(menu, item ? Qt::Key_Return : Qt::Key_Escape);
        };
        QTimer::singleShot(0, drive);
        Click(IDC_VENDOR_MENU);
        return seen != nullptr;
    }

    void SetField(int id, const char* text) { SetDlgItemText(window, id, text); }

    std::string Fields()
    {
        return Text(IDC_VENDOR_P1) + "," + Text(IDC_VENDOR_P2) + "," + Text(IDC_VENDOR_LC) + "," + Text(IDC_VENDOR_LE);
    }

    bool RequestIsZero()
    {
        static const VendorIoRecord zero {};
        return memcmp(&tester.vendorIn, &zero, sizeof zero) == 0;
    }

    // Transmit on a cleared log; the log then holds this exchange alone.
    std::string Transmit()
    {
        Command(IDC_CLEAR_LOG);
        Command(IDC_TRANSMIT);
        return tester.logText;
    }

    QRect menuGeometry;
    std::string menuTexts;
};

TEST_F(VendorTest, EveryMenuCommandEndToEnd)
{
    REQUIRE_SIMULATED_READER();
    struct Case {
        int id;
        const char* item;
        int cmd;
        const char* fields;
        uint32_t pa, pb;
        int le;
    };
    const Case cases[] = {
        {IDM_LED_OFF, "Switch LED Off", 0, "0,0,0,0", 0, 0, 0},
        {IDM_LED_ON, "Switch LED On", 1, "0,0,0,0", 0, 0, 0},
        {IDM_LED_FLASH, "Flash LED", 2, "3,100,0,0", 3, 100, 0},
        {IDM_RF_RESET, "RF Reset", 7, "200,0,0,0", 200, 0, 0},
        {IDM_FIRMWARE_REV, "Get Firmware Revision", 8, "0,0,0,255", 0, 0, 255},
    };
    Connect(0);
    Command(IDC_TYPE_VENDOR);
    // Something sent before lies at the start of the send buffer.
    memcpy(tester.sendBuffer, "\x01\x02\x03", 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        int before = recordedMessageCount;
        ASSERT_TRUE(UseVendorMenu(c.item));
        EXPECT_GE(CommandIndex(c.id, before), 0) << "the choice reaches the dispatcher";
        EXPECT_EQ(Fields(), c.fields);
        EXPECT_EQ(Text(IDC_VENDOR_CMD_NAME), c.item);

        std::string log = Transmit();
        std::string expected = "SCardControl: Input:\r\n" + Header(c.cmd, c.pa, c.pb, 0, c.le) + "\r\n"
            + HexDump(tester.sendBuffer, c.le) + "\r\nSCardControl: Output:\r\n"
            + Header(c.cmd, c.pa, c.pb, 0, tester.vendorOut.le) + "\r\n"
            + HexDump(tester.vendorOut.data, tester.vendorOut.le);
        EXPECT_EQ(log, expected);
        EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
        EXPECT_EQ(tester.vendorBytesReturned, DWORD(VENDOR_RECORD_SIZE));
        EXPECT_EQ(tester.vendorIn.data[255], 0);
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tester.vendorOut.data), tester.vendorOut.le), "QSIM-1K 1.0.0");
    // A vendor request is sent once, whatever the loop count says.
    EXPECT_EQ(Text(IDC_LOOP_COUNT), "100");
}

TEST_F(VendorTest, PopupListsTheCommandsAndOpensUpwardFromTheButton)
{
    Command(IDC_TYPE_VENDOR);
    // Room for the menu on the screen, which would otherwise push it aside.
    Window()->move(0, 0);
    RECT button;
    GetDlgItemScreenRect(window, IDC_VENDOR_MENU, &button);
    ASSERT_TRUE(UseVendorMenu(nullptr));
    EXPECT_EQ(menuTexts, "Switch LED Off;Switch LED On;Flash LED;RF Reset;Get Firmware Revision;");
    EXPECT_EQ(menuGeometry.left(), button.left);
    EXPECT_EQ(menuGeometry.top() + menuGeometry.height(), button.top);
}

TEST_F(VendorTest, TransmitBeforeAnyMenuChoice)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    // A direct send of the string leaves its bytes at the start of the send buffer.
    Command(IDC_TRANSMIT);
    Command(IDC_TYPE_VENDOR);
    EXPECT_EQ(Fields(), "0,0,0,21");
    EXPECT_EQ(Text(IDC_VENDOR_CMD_NAME), "");

    uint8_t data[21] = "*** TESTDATA ***";
    std::string log = Transmit();
    EXPECT_EQ(log,
              "SCardControl: Input:\r\n" + Header(0, 0, 0, 0, 21) + "\r\n" + HexDump(data, 21)
                  + "\r\nSCardControl: Output:\r\n" + Header(0, 0, 0, 0, 0) + "\r\n");
}

TEST_F(VendorTest, MenuClosedWithoutAChoiceLeavesAZeroRequest)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    Command(IDC_TYPE_VENDOR);
    ASSERT_TRUE(UseVendorMenu("Flash LED"));
    SetField(IDC_VENDOR_LC, "9");
    int before = recordedMessageCount;
    ASSERT_TRUE(UseVendorMenu(nullptr));
    for (int id : {IDM_LED_OFF, IDM_LED_ON, IDM_LED_FLASH, IDM_RF_RESET, IDM_FIRMWARE_REV})
        EXPECT_EQ(CommandIndex(id, before), -1);
    EXPECT_EQ(Fields(), "0,0,0,0");
    EXPECT_TRUE(RequestIsZero());
    EXPECT_EQ(Text(IDC_VENDOR_CMD_NAME), "Flash LED");
    EXPECT_EQ(Transmit(),
              "SCardControl: Input:\r\n" + Header(0, 0, 0, 0, 0) + "\r\n\r\nSCardControl: Output:\r\n"
                  + Header(0, 0, 0, 0, 0) + "\r\n");
}

TEST_F(VendorTest, FieldsAreReadAtTransmit)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    Command(IDC_TYPE_VENDOR);
    ASSERT_TRUE(UseVendorMenu("RF Reset"));
    struct Case {
        const char* p1;
        const char* p2;
        const char* lc;
        const char* le;
        uint32_t pa, pb, pc;
        int dumped;
    };
    const Case cases[] = {
        {"5", "4294967295", "7", "300", 5, 0xFFFFFFFF, 7, 44},
        {"abc", "", "-1", "256", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.le);
        SetField(IDC_VENDOR_P1, c.p1);
        SetField(IDC_VENDOR_P2, c.p2);
        SetField(IDC_VENDOR_LC, c.lc);
        SetField(IDC_VENDOR_LE, c.le);
        std::string log = Transmit();
        std::string input = "SCardControl: Input:\r\n" + Header(7, c.pa, c.pb, c.pc, c.dumped) + "\r\n"
            + HexDump(tester.sendBuffer, c.dumped) + "\r\nSCardControl: Output:";
        EXPECT_EQ(log.substr(0, input.size()), input);
        EXPECT_EQ(tester.vendorIn.le, c.dumped);
    }
}

TEST_F(VendorTest, DataEntryChangeRewritesTheFourFields)
{
    Command(IDC_TYPE_VENDOR);
    ASSERT_TRUE(UseVendorMenu("Flash LED"));
    SetField(IDC_VENDOR_P1, "5");
    SetField(IDC_VENDOR_LE, "77");
    QWidget* field = Widget(IDC_STRING_DATA);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClicks(field, "X");
    EXPECT_EQ(Text(IDC_STRING_DATA), "*** TESTDATA ***X");
    EXPECT_EQ(Fields(), "3,100,0,17");
    EXPECT_EQ(tester.vendorIn.cmd, 2);
    EXPECT_EQ(tester.vendorIn.le, 17);
}

TEST_F(VendorTest, ReplyOfAnotherSizeShowsTheTitleAlone)
{
    Command(IDC_TYPE_VENDOR);
    pcsc.Control = ScriptedControl;
    scriptedReplyLe = 16;
    for (DWORD size : {DWORD(8), DWORD(275), DWORD(0)}) {
        scriptedReplySize = size;
        std::string log = Transmit();
        EXPECT_EQ(log.substr(log.rfind("\r\n") + 2), "SCardControl: Output:") << size;
        EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
    }
    scriptedReplySize = VENDOR_RECORD_SIZE;
    std::string log = Transmit();
    EXPECT_EQ(log.substr(log.find("SCardControl: Output:")),
              "SCardControl: Output:\r\n" + Header(8, 0, 0, 0, 16) + "\r\n" + HexDump(tester.vendorOut.data, 16));
    EXPECT_EQ(scriptedControlCode, DWORD(SCARD_CTL_CODE(2048)));
}

TEST_F(VendorTest, FailedControlCallLogsOneLine)
{
    REQUIRE_SIMULATED_READER();
    Command(IDC_TYPE_VENDOR);
    // No card connected: hCard is 0.
    std::string log = Transmit();
    EXPECT_EQ(log,
              "SCardControl: Input:\r\n" + Header(0, 0, 0, 0, 21) + "\r\n" + HexDump(tester.sendBuffer, 21)
                  + "\r\nSCardControl: Failure!");
    EXPECT_EQ(Text(IDC_WIN_STATUS), "0x80100003");
    EXPECT_NE(Text(IDC_ELAPSED), "");

    Connect(0);
    SimFailControl(0, true);
    log = Transmit();
    EXPECT_EQ(log.substr(log.rfind("\r\n") + 2), "SCardControl: Failure!");
    EXPECT_NE(Text(IDC_WIN_STATUS), "0x00000000");
}

// The state's destination decides the code: the escape's is asked of the
// reader first, and without one nothing is sent.
TEST_F(VendorTest, TheRecordGoesWhereTheStateSays)
{
    REQUIRE_SIMULATED_READER();
    Connect(0);
    Command(IDC_TYPE_VENDOR);
    ASSERT_TRUE(UseVendorMenu("Get Firmware Revision"));
    const std::string firmware = HexDump(reinterpret_cast<const uint8_t*>("QSIM-1K 1.0.0"), 13);
    struct Case {
        const char* what;
        VendorTarget target;
        const char* featureList;
        const char* status;
        std::string end;
    } cases[] = {
        {"fixed", {VENDOR_TO_FIXED_CODE, 0}, "whole", "0x00000000", firmware},
        {"escape", {VENDOR_TO_ESCAPE, 0}, "whole", "0x00000000", firmware},
        {"a code the reader refuses",
         {VENDOR_TO_CODE, SCARD_CTL_CODE(1)},
         "whole",
         "0x8010001F",
         "\r\nSCardControl: Failure!"},
        {"no escape offered",
         {VENDOR_TO_ESCAPE, 0},
         "cut",
         "0x8010001F",
         "\r\nCCID escape: not offered\r\nSCardControl: Failure!"},
    };
    for (const Case& c : cases) {
        SimSetKey(0, "feature_list", c.featureList);
        tester.vendorTarget = c.target;
        std::string log = Transmit();
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), c.end.size())), c.end) << c.what;
        EXPECT_EQ(Text(IDC_WIN_STATUS), c.status) << c.what;
    }
}

TEST_F(VendorTest, SwitchingCommandTypes)
{
    const int vendorControls[] = {IDC_VENDOR_MENU, IDC_VENDOR_CMD_NAME, IDC_VENDOR_P1,
                                  IDC_VENDOR_P2,   IDC_VENDOR_LC,       IDC_VENDOR_LE};
    Click(IDC_LOOP);
    ASSERT_TRUE(Checked(IDC_LOOP));
    ASSERT_TRUE(Enabled(IDC_LOOP_COUNT));

    Command(IDC_TYPE_VENDOR);
    EXPECT_TRUE(Checked(IDC_TYPE_VENDOR));
    EXPECT_FALSE(Checked(IDC_TYPE_DIRECT));
    EXPECT_FALSE(Checked(IDC_TYPE_STORAGE));
    for (int id : vendorControls)
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Checked(IDC_LOOP));
    EXPECT_FALSE(Enabled(IDC_LOOP));
    EXPECT_FALSE(Enabled(IDC_LOOP_COUNT));
    EXPECT_TRUE(Enabled(IDC_BREAK_ON_ERROR)) << "Break on Error is left as the loop box had it";
    EXPECT_TRUE(Checked(IDC_BREAK_ON_ERROR));
    for (int id : {IDC_CMD_GETUID, IDC_P1, IDC_P2, IDC_P3, IDC_LENGTH})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(tester.loopEnabled, 0);
    EXPECT_EQ(tester.commandType, COMMAND_VENDOR);

    ASSERT_TRUE(UseVendorMenu("RF Reset"));
    for (int type : {IDC_TYPE_DIRECT, IDC_TYPE_STORAGE}) {
        SCOPED_TRACE(type);
        Command(IDC_TYPE_VENDOR);
        Command(type);
        for (int id : vendorControls)
            EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_EQ(Fields(), "200,0,0,0");
        EXPECT_EQ(Text(IDC_VENDOR_CMD_NAME), "RF Reset");
        EXPECT_TRUE(Enabled(IDC_LOOP));
        EXPECT_FALSE(Checked(IDC_LOOP));
        EXPECT_FALSE(Checked(IDC_TYPE_VENDOR));
        EXPECT_NE(tester.commandType, COMMAND_VENDOR);
    }
}

}  // namespace
