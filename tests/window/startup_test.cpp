// The window as set-up leaves it: every control's enabled state, check mark
// and text, the changed captions, the focus, the state record's defaults and
// the order of the set-up steps.
#include <cstdlib>
#include <set>
#include <string>

#include <QApplication>
#include <QLineEdit>
#include <QValidator>

#include "ui/templates.h"
#include "window/tester_state.h"
#include "window_fixture.h"

using StartupTest = MainWindowTest;

static const char HEX_DEFAULT[] = "00 02 00 00 10 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10";

TEST_F(StartupTest, ControlsAreEnabledAsTheLayoutLists)
{
    std::set<int> disabled = {
        IDC_LIST_READERS, IDC_CONNECT,     IDC_DISCONNECT,      IDC_RELEASE,     IDC_ATTRIBUTES,
        IDC_HEX_DATA,     IDC_LOOP_COUNT,  IDC_BREAK_ON_ERROR,  IDC_CMD_GETUID,  IDC_CMD_LOADKEYS,
        IDC_CMD_AUTH,     IDC_CMD_READ,    IDC_CMD_UPDATE,      IDC_P1_LABEL,    IDC_P1,
        IDC_P2_LABEL,     IDC_P2,          IDC_P3_LABEL,        IDC_P3,          IDC_LENGTH_LABEL,
        IDC_LENGTH,       IDC_VENDOR_MENU, IDC_VENDOR_CMD_NAME, IDC_VENDOR_P1,   IDC_VENDOR_P2,
        IDC_VENDOR_LC,    IDC_VENDOR_LE,   IDC_SAVE_SAMPLES,    IDC_WARM_RESET,  IDC_COLD_RESET,
        IDC_SEND_CONTROL, IDC_FEATURES,    IDC_READ_ATTRIBUTE,  IDC_VENDOR_CODE, IDC_GENERAL_AUTH,
        IDC_STOP_PLAN,    IDC_SAVE_JSON,   IDC_SAVE_JUNIT,
    };
    const DialogTemplate* main = FindDialogTemplate(IDD_MAIN);
    ASSERT_EQ(main->controlCount, 134);
    for (int i = 0; i < main->controlCount; i++) {
        int id = main->controls[i].id;
        EXPECT_EQ(Enabled(id), disabled.count(id) == 0) << main->controls[i].name;
    }
}

TEST_F(StartupTest, ChecksAreSetOnlyWhereTheLayoutLists)
{
    int checked[] = {IDC_MODE_STRING, IDC_CMD_GETUID, IDC_TYPE_DIRECT, IDC_BREAK_ON_ERROR};
    int unchecked[] = {IDC_MODE_HEX, IDC_MODE_FILE, IDC_TYPE_STORAGE, IDC_TYPE_VENDOR, IDC_CMD_LOADKEYS,
                       IDC_CMD_AUTH, IDC_CMD_READ,  IDC_CMD_UPDATE,   IDC_LOOP};
    for (int id : checked)
        EXPECT_TRUE(Checked(id)) << id;
    for (int id : unchecked)
        EXPECT_FALSE(Checked(id)) << id;
}

TEST_F(StartupTest, FieldsHoldTheirStartTexts)
{
    struct Field {
        int id;
        const char* text;
    } fields[] = {
        {IDC_STRING_DATA, "*** TESTDATA ***"},
        {IDC_STRING_LEN, "16"},
        {IDC_HEX_DATA, HEX_DEFAULT},
        {IDC_HEX_LEN, "21"},
        {IDC_FILE_LEN, ""},
        {IDC_LOOP_COUNT, "100"},
        {IDC_LOOP_PROGRESS, ""},
        {IDC_P1, "0"},
        {IDC_P2, "0"},
        {IDC_P3, "0x00"},
        {IDC_LENGTH, "0"},
        {IDC_VENDOR_P1, "0"},
        {IDC_VENDOR_P2, "0"},
        {IDC_VENDOR_LC, "0"},
        {IDC_VENDOR_LE, "21"},
        {IDC_VENDOR_CMD_NAME, ""},
        {IDC_WIN_STATUS, "0x00000000"},
        {IDC_CONNECTED_READER, ""},
        {IDC_ATR, ""},
        {IDC_LOG, ""},
        {IDC_P2_LABEL, "P2(Block)"},
        {IDC_P3_LABEL, "P3"},
        {IDC_LENGTH_LABEL, "Length"},
        {IDC_MODE_HEX, "Enter Data in &HEX"},
    };
    for (const Field& field : fields)
        EXPECT_EQ(Text(field.id), field.text) << field.id;
    EXPECT_EQ(ListGetCount(window, IDC_READER_LIST), 0);

    // An empty measurement: a few hundredths of a millisecond at most.
    std::string elapsed = Text(IDC_ELAPSED);
    ASSERT_EQ(elapsed.size(), 8u) << elapsed;
    EXPECT_EQ(elapsed.substr(5), " ms");
    EXPECT_LT(atof(elapsed.c_str()), 1.0);
}

TEST_F(StartupTest, FocusIsOnEstablishContext)
{
    EXPECT_EQ(Window()->focusWidget(), Widget(IDC_ESTABLISH));
}

TEST_F(StartupTest, EditFieldsHaveTheirTextLimits)
{
    struct Limit {
        int id, limit;
    } limits[] = {{IDC_STRING_DATA, 1024}, {IDC_HEX_DATA, 1024}, {IDC_P1, 3}, {IDC_P2, 3}, {IDC_P3, 4},
                  {IDC_LENGTH, 3}};
    for (const Limit& l : limits) {
        const QValidator* validator = static_cast<QLineEdit*>(Widget(l.id))->validator();
        QString full(l.limit, u'1');
        QString over(l.limit + 1, u'1');
        int position = 0;
        EXPECT_EQ(validator->validate(full, position), QValidator::Acceptable) << l.id;
        EXPECT_EQ(validator->validate(over, position), QValidator::Invalid) << l.id;
    }
}

TEST_F(StartupTest, StateRecordHoldsItsDefaults)
{
    EXPECT_EQ(tester.mainWindow, window);
    EXPECT_EQ(tester.loopEnabled, 0);
    EXPECT_EQ(tester.loopCount, 100);
    EXPECT_EQ(tester.breakOnError, 1);
    EXPECT_EQ(tester.entryMode, ENTRY_STRING);
    EXPECT_EQ(tester.commandType, COMMAND_DIRECT);
    EXPECT_EQ(tester.storageCommand, STORAGE_GET_UID);
    EXPECT_EQ(tester.stringLen, 16u);
    EXPECT_EQ(tester.hexLen, 21u);
    EXPECT_EQ(tester.vendorIn.le, 21);
    EXPECT_EQ(tester.hContext, 0u);

    struct Settings {
        const CommandSettings* record;
        const char* data;
        EntryMode entryMode;
        uint8_t p1, p2, p3, length;
    } settings[] = {
        {&tester.getUidSettings, "", ENTRY_NONE, 0, 0, 0, 0},
        {&tester.loadKeysSettings, HEX_DEFAULT, ENTRY_HEX, 0, 1, 0, 6},
        {&tester.authSettings, "01", ENTRY_HEX, 0, 7, 0x60, 0},
        {&tester.readSettings, "", ENTRY_NONE, 0, 6, 0, 16},
        {&tester.updateSettings, "*** TESTDATA ***", ENTRY_STRING, 0, 6, 0, 16},
    };
    for (const Settings& s : settings) {
        CommandSettings expected = {};
        memcpy(expected.data, s.data, strlen(s.data));
        expected.dataLen = uint32_t(strlen(s.data));
        expected.entryMode = s.entryMode;
        expected.p1 = s.p1;
        expected.p2 = s.p2;
        expected.p3 = s.p3;
        expected.length = s.length;
        EXPECT_EQ(memcmp(s.record, &expected, sizeof expected), 0) << s.data;
    }

    ASSERT_NE(tester.vendorMenu, nullptr);
    struct Item {
        int id;
        const char* text;
    } items[] = {{IDM_LED_OFF, "Switch LED Off"},
                 {IDM_LED_ON, "Switch LED On"},
                 {IDM_LED_FLASH, "Flash LED"},
                 {IDM_RF_RESET, "RF Reset"},
                 {IDM_FIRMWARE_REV, "Get Firmware Revision"}};
    ASSERT_EQ(GetMenuItemCount(tester.vendorMenu), 5);
    for (int i = 0; i < 5; i++) {
        char text[64];
        GetMenuString(tester.vendorMenu, i, text, sizeof text);
        EXPECT_EQ(GetMenuItemID(tester.vendorMenu, i), UINT(items[i].id));
        EXPECT_STREQ(text, items[i].text);
    }
    EXPECT_FALSE(Window()->windowIcon().isNull());
}

// Later set-up steps run handlers that read what earlier steps set; the field
// writes reach their handlers through the dialog, the radio choices are called.
TEST_F(StartupTest, SetUpRunsItsHandlersInOrder)
{
    ASSERT_GT(recordedMessageCount, 0);
    EXPECT_EQ(recordedMessages[0].message, WM_INITDIALOG);
    int order[] = {IDC_LOOP_COUNT, IDC_STRING_DATA, IDC_HEX_DATA};
    int previous = -1;
    for (int id : order) {
        int index = CommandIndex(id, previous + 1);
        EXPECT_GT(index, previous) << id;
        previous = index;
    }
}
