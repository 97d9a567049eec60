// The window-system layer on its own: the main window built from its
// template, driven through QTest and the operations of ui/winsys.h, with a
// dialog procedure that only records what reaches it.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "ui/ids.h"
#include "ui/templates.h"
#include "ui/widget_lookup.h"
#include "ui/winsys.h"

namespace {

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool checked;      // of the sending button, as the procedure saw it
    std::string text;  // of the sending control, as the procedure saw it
};

std::vector<Message> messages;
INT_PTR initDialogResult = TRUE;
INT_PTR sysCommandResult = FALSE;

INT_PTR RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    Message record {message, wParam, lParam, false, {}};
    if (message == WM_COMMAND) {
        char text[2048];
        GetDlgItemText(dialog, int(LOWORD(wParam)), text, sizeof text);
        record.text = text;
        record.checked = IsDlgButtonChecked(dialog, int(LOWORD(wParam)));
    }
    messages.push_back(record);
    if (message == WM_INITDIALOG)
        return initDialogResult;
    if (message == WM_SYSCOMMAND)
        return sysCommandResult;
    return FALSE;
}

// Ends the dialog on WM_CLOSE and WM_COMMAND IDC_QUIT, as the program does.
INT_PTR EndingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordingProc(dialog, message, wParam, lParam);
    if (message == WM_CLOSE || message == WM_DESTROY || (message == WM_COMMAND && LOWORD(wParam) == IDC_QUIT)) {
        EndDialog(dialog, message == WM_CLOSE ? 77 : INT_PTR(wParam));
        return TRUE;
    }
    return message == WM_INITDIALOG ? initDialogResult : FALSE;
}

std::vector<WPARAM> Commands()
{
    std::vector<WPARAM> commands;
    for (const Message& m : messages)
        if (m.message == WM_COMMAND)
            commands.push_back(m.wParam);
    return commands;
}

int CountOf(UINT message)
{
    int count = 0;
    for (const Message& m : messages)
        count += m.message == message;
    return count;
}

// Once `find` sees the widget (a menu, a modal dialog: the call that opens
// it returns only when it closes), runs `action` on it.
void WhenOpen(std::function<QWidget*()> find, std::function<void(QWidget*)> action, int tries = 300)
{
    QTimer::singleShot(10, [find, action, tries] {
        if (QWidget* widget = find())
            action(widget);
        else if (tries > 0)
            WhenOpen(find, action, tries - 1);
    });
}

QWidget* Popup()
{
    return QApplication::activePopupWidget();
}

QWidget* Shown(const QString& objectName)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == objectName && window->isVisible())
            return window;
    return nullptr;
}

QWidget* MainWindowShown()
{
    return Shown(QStringLiteral("IDD_MAIN"));
}

QWidget* AboutBoxShown()
{
    return Shown(QStringLiteral("IDD_ABOUT"));
}

QWidget* FileDialogShown()
{
    return Shown(QStringLiteral("OpenFileDialog"));
}

QString AccessibleName(QWidget* widget)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

class WinsysTest : public ::testing::Test {
protected:
    HWND dialog = nullptr;

    void SetUp() override
    {
        messages.clear();
        initDialogResult = TRUE;
        sysCommandResult = FALSE;
        dialog = CreateDialogParam(IDD_MAIN, nullptr, RecordingProc, 1234);
        ASSERT_NE(dialog, nullptr);
        messages.clear();
    }

    void TearDown() override
    {
        if (dialog)
            DestroyDialog(dialog);
    }

    QWidget* Widget(int id) { return DialogItemWidget(dialog, id); }
    QWidget* Window() { return DialogWidget(dialog); }

    std::string Text(int id)
    {
        char text[12000];
        unsigned length = GetDlgItemText(dialog, id, text, sizeof text);
        return std::string(text, length);
    }

    void Activate()
    {
        Window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window()));
    }
};

// The controls without a caption and the names they are known by.
const struct {
    int id;
    const char* name;
} namedFields[] = {
    {IDC_CONNECTED_READER, "Connected Reader"},
    {IDC_READER_LIST, "Reader List"},
    {IDC_ATR, "ATR"},
    {IDC_LOG, "Log"},
    {IDC_STRING_DATA, "String Data"},
    {IDC_STRING_LEN, "String Length"},
    {IDC_HEX_DATA, "Hex Data"},
    {IDC_HEX_LEN, "Hex Length"},
    {IDC_FILE_LEN, "File Length"},
    {IDC_P1, "P1"},
    {IDC_P2, "P2"},
    {IDC_P3, "P3"},
    {IDC_LENGTH, "Length"},
    {IDC_VENDOR_P1, "Vendor P1"},
    {IDC_VENDOR_P2, "Vendor P2"},
    {IDC_VENDOR_LC, "Vendor Lc"},
    {IDC_VENDOR_LE, "Vendor Le"},
    {IDC_VENDOR_CMD_NAME, "Vendor Command"},
    {IDC_LOOP_COUNT, "Loop Count"},
    {IDC_LOOP_PROGRESS, "Loop Progress"},
    {IDC_WIN_STATUS, "Win Status"},
    {IDC_ELAPSED, "Elapsed"},
    {IDC_EXPECTED_SW, "Expected SW"},
    {IDC_LOOP_SUMMARY, "Loop Summary"},
};

TEST_F(WinsysTest, MainWindowHasItsTitleAndEveryControlByNameAndIdentifier)
{
    EXPECT_EQ(Window()->windowTitle(), QStringLiteral("Quarnel Test Utility"));
    EXPECT_EQ(Window()->objectName(), QStringLiteral("IDD_MAIN"));
    QList<QWidget*> children = Window()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    int controls = 0;
    for (QWidget* child : children)
        controls += child->objectName().startsWith(QStringLiteral("IDC_")) || child->objectName() == "IDHELP";
    EXPECT_EQ(controls, 134);

    for (int id = IDC_QUIT; id <= IDC_INSIGHT; ++id) {
        if (id == 1052)
            continue;
        QWidget* widget = Widget(id);
        ASSERT_NE(widget, nullptr) << id;
        EXPECT_TRUE(widget->objectName().startsWith(QStringLiteral("IDC_"))) << id;
        EXPECT_FALSE(AccessibleName(widget).isEmpty()) << widget->objectName().toStdString();
    }
    EXPECT_EQ(Widget(IDHELP)->objectName(), QStringLiteral("IDHELP"));
    EXPECT_EQ(Widget(1052), nullptr);
    EXPECT_EQ(Widget(IDOK), nullptr);
    for (const auto& field : namedFields)
        EXPECT_EQ(AccessibleName(Widget(field.id)), QString::fromLatin1(field.name)) << field.name;
}

TEST_F(WinsysTest, ControlsHaveTheKindCaptionAndAccessibleNameOfTheirTemplate)
{
    enum Kind { Button, Radio, Check, Edit, ReadOnly, Label, Group, Log, List };
    const struct {
        int id;
        Kind kind;
        const char* caption;
        const char* accessibleName;
        bool right;
    } cases[] = {
        {IDC_ESTABLISH, Button, "&Establish Context", "Establish Context", false},
        {IDC_VENDOR_MENU, Button, "Vendor I/&O ...", "Vendor I/O ...", false},
        {IDC_MODE_HEX, Radio, "Enter Data in &HEX", "Enter Data in HEX", false},
        {IDC_LOOP, Check, "E&xecute Command in Loop:", "Execute Command in Loop:", false},
        {IDC_VENDOR_LE_LABEL, Label, "L&e", "Le", false},
        {IDC_PERCENT_LABEL, Label, "%", "%", true},
        {IDC_GROUP_TYPE, Group, "Command Type", "Command Type", false},
        {IDC_STRING_DATA, Edit, "", "String Data", false},
        {IDC_P3, Edit, "", "P3", true},
        {IDC_ATR, ReadOnly, "", "ATR", false},
        {IDC_ELAPSED, ReadOnly, "", "Elapsed", true},
        {IDC_LOG, Log, "", "Log", false},
        {IDC_READER_LIST, List, "", "Reader List", false},
    };
    for (const auto& c : cases) {
        QWidget* widget = Widget(c.id);
        std::string name = widget->objectName().toStdString();
        EXPECT_EQ(Text(c.id), c.caption) << name;
        EXPECT_EQ(AccessibleName(widget), QString::fromLatin1(c.accessibleName)) << name;
        bool tabStop = c.kind == Button || c.kind == Radio || c.kind == Check || c.kind == Edit || c.kind == List;
        EXPECT_EQ(bool(widget->focusPolicy() & Qt::TabFocus), tabStop) << name;
        Qt::Alignment alignment;
        switch (c.kind) {
        case Button:
            EXPECT_NE(qobject_cast<QPushButton*>(widget), nullptr) << name;
            break;
        case Radio:
            EXPECT_NE(qobject_cast<QRadioButton*>(widget), nullptr) << name;
            break;
        case Check:
            EXPECT_NE(qobject_cast<QCheckBox*>(widget), nullptr) << name;
            break;
        case Group:
            EXPECT_NE(qobject_cast<QGroupBox*>(widget), nullptr) << name;
            break;
        case Label:
            ASSERT_NE(qobject_cast<QLabel*>(widget), nullptr) << name;
            alignment = static_cast<QLabel*>(widget)->alignment();
            break;
        case Edit:
        case ReadOnly:
            ASSERT_NE(qobject_cast<QLineEdit*>(widget), nullptr) << name;
            EXPECT_EQ(static_cast<QLineEdit*>(widget)->isReadOnly(), c.kind == ReadOnly) << name;
            alignment = static_cast<QLineEdit*>(widget)->alignment();
            break;
        case Log: {
            auto* log = qobject_cast<QPlainTextEdit*>(widget);
            ASSERT_NE(log, nullptr);
            EXPECT_TRUE(log->isReadOnly());
            EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::NoWrap);
            break;
        }
        case List:
            ASSERT_NE(qobject_cast<QListWidget*>(widget), nullptr);
            EXPECT_FALSE(static_cast<QListWidget*>(widget)->isSortingEnabled());
            break;
        }
        EXPECT_EQ(bool(alignment & Qt::AlignRight), c.right) << name;
    }
}

TEST_F(WinsysTest, TabOrderIsTheTemplateOrder)
{
    const int tabStops[] = {
        IDC_ESTABLISH,
        IDC_LIST_READERS,
        IDC_READER_LIST,
        IDC_CONNECT,
        IDC_DISCONNECT,
        IDC_ATTRIBUTES,
        IDC_RELEASE,
        IDC_MODE_STRING,
        IDC_MODE_HEX,
        IDC_MODE_FILE,
        IDC_STRING_DATA,
        IDC_HEX_DATA,
        IDC_LOAD_FILE,
        IDC_TYPE_DIRECT,
        IDC_TYPE_STORAGE,
        IDC_TYPE_VENDOR,
        IDC_CMD_READ,
        IDC_CMD_UPDATE,
        IDC_P1,
        IDC_P2,
        IDC_P3,
        IDC_VENDOR_P1,
        IDC_VENDOR_P2,
        IDC_VENDOR_LC,
        IDC_VENDOR_LE,
        IDC_VENDOR_MENU,
        IDC_LOOP,
        IDC_BREAK_ON_ERROR,
        IDC_LOOP_COUNT,
        IDC_TRANSMIT,
        IDC_CLEAR_LOG,
        IDHELP,
        IDC_QUIT,
        IDC_CMD_AUTH,
        IDC_CMD_LOADKEYS,
        IDC_CMD_GETUID,
        IDC_LENGTH,
        IDC_INSIGHT,
        IDC_PAGE_LOOP,
        IDC_PAGE_CARD,
        IDC_EXPECTED_SW,
        IDC_SAVE_SAMPLES,
        IDC_LOOP_SUMMARY,
        IDC_SAVE_LOG,
        IDC_LAST_RESULT,
        IDC_ATR_DECODED,
        IDC_CARD_EVENTS,
        IDC_TAP_MEASURE,
        IDC_CLEAR_EVENTS,
        IDC_PAGE_CONTROL,
        IDC_SHARE_EXCLUSIVE,
        IDC_SHARE_SHARED,
        IDC_SHARE_DIRECT,
        IDC_PROTOCOL_ANY,
        IDC_PROTOCOL_T0,
        IDC_PROTOCOL_T1,
        IDC_PROTOCOL_RAW,
        IDC_DISPOSITION_UNPOWER,
        IDC_DISPOSITION_LEAVE,
        IDC_DISPOSITION_RESET,
        IDC_DISPOSITION_EJECT,
        IDC_WARM_RESET,
        IDC_COLD_RESET,
        IDC_CLASS_00,
        IDC_CLASS_FF,
        IDC_GENERAL_AUTH,
        IDC_GET_RESPONSE,
        IDC_VENDOR_TO_FIXED,
        IDC_VENDOR_TO_ESCAPE,
        IDC_VENDOR_TO_CODE,
        IDC_VENDOR_CODE,
        IDC_CONTROL_CODE,
        IDC_CONTROL_HEX,
        IDC_SEND_CONTROL,
        IDC_FEATURES,
        IDC_ATTRIBUTE_ID,
        IDC_READ_ATTRIBUTE,
        IDC_PAGE_QUALIFY,
        IDC_PLAN_PATH,
        IDC_OPEN_PLAN,
        IDC_RUN_PLAN,
        IDC_STOP_PLAN,
        IDC_VERDICTS,
        IDC_LIMIT_DETAILS,
        IDC_SAVE_JSON,
        IDC_SAVE_JUNIT,
    };
    std::vector<std::string> expected;
    for (int id : tabStops)
        expected.push_back(Widget(id)->objectName().toStdString());
    std::vector<std::string> actual;
    QWidget* widget = Widget(IDC_ESTABLISH);
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            actual.push_back(widget->objectName().toStdString());
        widget = widget->nextInFocusChain();
    } while (widget != Widget(IDC_ESTABLISH) && actual.size() < 200);
    EXPECT_EQ(actual, expected);
}

TEST_F(WinsysTest, PositionsAreDialogUnitsOfTheWindowFont)
{
    QFontMetrics metrics(Window()->font());
    int charWidth = (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
    int charHeight = metrics.height();
    auto x = [&](int units) { return (units * charWidth + 2) / 4; };
    auto y = [&](int units) { return (units * charHeight + 4) / 8; };

    EXPECT_EQ(Window()->size(), QSize(x(418), y(406)));
    EXPECT_EQ(Window()->minimumSize(), Window()->maximumSize());
    EXPECT_TRUE(Window()->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(Window()->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Widget(IDC_LOG)->geometry(), QRect(x(10), y(191), x(181), y(207)));
    EXPECT_EQ(Widget(IDC_QUIT)->geometry(), QRect(x(363), y(387), x(50), y(14)));
    EXPECT_EQ(Widget(IDC_GROUP_COMPOSE)->geometry(), QRect(x(203), y(5), x(210), y(376)));
    // Frames lie behind the controls they frame.
    QList<QObject*> stacking = Window()->children();
    EXPECT_LT(stacking.indexOf(Widget(IDC_GROUP_COMPOSE)), stacking.indexOf(Widget(IDC_GROUP_TYPE)));
    EXPECT_LT(stacking.indexOf(Widget(IDC_GROUP_TYPE)), stacking.indexOf(Widget(IDC_P1)));
    EXPECT_LT(stacking.indexOf(Widget(IDC_GROUP_LOG)), stacking.indexOf(Widget(IDC_LOG)));
}

TEST_F(WinsysTest, FocusStartsOnTheFirstTabStopOnlyWhenInitDialogAsksForIt)
{
    EXPECT_EQ(Window()->focusWidget(), Widget(IDC_ESTABLISH));

    initDialogResult = FALSE;
    HWND other = CreateDialogParam(IDD_MAIN, nullptr, RecordingProc, 1234);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().message, WM_INITDIALOG);
    EXPECT_EQ(messages.front().lParam, 1234);
    EXPECT_TRUE(DialogWidget(other)->isVisible());
    EXPECT_EQ(DialogWidget(other)->focusWidget(), DialogWidget(other));
    DestroyDialog(other);
    EXPECT_EQ(messages.back().message, WM_DESTROY);
}

TEST_F(WinsysTest, PlainRadioButtonClickOnlyNotifies)
{
    QTest::mouseClick(Widget(IDC_MODE_HEX), Qt::LeftButton);
    EXPECT_FALSE(IsDlgButtonChecked(dialog, IDC_MODE_HEX));
    ASSERT_EQ(Commands(), std::vector<WPARAM> {MAKEWPARAM(IDC_MODE_HEX, BN_CLICKED)});

    messages.clear();
    CheckDlgButton(dialog, IDC_MODE_HEX, true);
    EXPECT_TRUE(IsDlgButtonChecked(dialog, IDC_MODE_HEX));
    EXPECT_TRUE(messages.empty());
    QTest::mouseClick(Widget(IDC_MODE_HEX), Qt::LeftButton);
    QTest::keyClick(Widget(IDC_MODE_HEX), Qt::Key_Space);
    EXPECT_TRUE(IsDlgButtonChecked(dialog, IDC_MODE_HEX));
    EXPECT_EQ(Commands().size(), 2u);
    // Checking one radio button leaves the others as they are.
    CheckDlgButton(dialog, IDC_MODE_STRING, true);
    EXPECT_TRUE(IsDlgButtonChecked(dialog, IDC_MODE_HEX));

    // Screen readers see radio buttons, and acting on one is a click.
    for (int id : {IDC_MODE_HEX, IDC_MODE_FILE}) {
        messages.clear();
        bool checked = IsDlgButtonChecked(dialog, id);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(Widget(id));
        EXPECT_EQ(accessible->role(), QAccessible::RadioButton) << id;
        EXPECT_EQ(accessible->state().checked, checked) << id;
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_EQ(IsDlgButtonChecked(dialog, id), checked) << id;
        EXPECT_EQ(Commands(), std::vector<WPARAM> {MAKEWPARAM(id, BN_CLICKED)}) << id;
    }
}

TEST_F(WinsysTest, CheckBoxTogglesBeforeItsCommandArrives)
{
    QTest::mouseClick(Widget(IDC_LOOP), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, MAKEWPARAM(IDC_LOOP, BN_CLICKED));
    EXPECT_TRUE(messages[0].checked);
    QTest::mouseClick(Widget(IDC_LOOP), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_FALSE(messages[1].checked);

    messages.clear();
    CheckDlgButton(dialog, IDC_BREAK_ON_ERROR, true);
    CheckDlgButton(dialog, IDC_BREAK_ON_ERROR, false);
    EnableDlgItem(dialog, IDC_BREAK_ON_ERROR, false);
    EXPECT_FALSE(IsDlgItemEnabled(dialog, IDC_BREAK_ON_ERROR));
    QTest::mouseClick(Widget(IDC_BREAK_ON_ERROR), Qt::LeftButton);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(IsDlgButtonChecked(dialog, IDC_BREAK_ON_ERROR));
}

TEST_F(WinsysTest, PushButtonClickNotifies)
{
    QTest::mouseClick(Widget(IDC_TRANSMIT), Qt::LeftButton);
    EXPECT_EQ(Commands(), std::vector<WPARAM> {MAKEWPARAM(IDC_TRANSMIT, BN_CLICKED)});
}

TEST_F(WinsysTest, ProgramTextRunsAnEditFieldsHandlerExactlyOnce)
{
    const struct {
        int id;
        int changes;  // EN_CHANGE per setting
    } cases[] = {
        {IDC_STRING_DATA, 1}, {IDC_HEX_DATA, 1},        {IDC_P3, 1},  {IDC_LOOP_COUNT, 1}, {IDC_WIN_STATUS, 1},
        {IDC_ATR, 1},         {IDC_VENDOR_CMD_NAME, 1}, {IDC_LOG, 0}, {IDC_P2_LABEL, 0},   {IDC_ESTABLISH, 0},
        {IDC_MODE_HEX, 0},    {IDC_GROUP_LOG, 0},
    };
    for (const auto& c : cases) {
        for (int round = 0; round < 2; ++round) {  // the second time with the same text
            messages.clear();
            SetDlgItemText(dialog, c.id, "0X1F");
            ASSERT_EQ(int(messages.size()), c.changes) << c.id << " round " << round;
            if (c.changes) {
                EXPECT_EQ(messages[0].wParam, MAKEWPARAM(unsigned(c.id), EN_CHANGE));
                EXPECT_EQ(messages[0].text, "0X1F") << "the handler sees the new text";
            }
            EXPECT_EQ(Text(c.id), "0X1F");
        }
        messages.clear();
        SetDlgItemInt(dialog, c.id, 4294967295u);
        EXPECT_EQ(int(messages.size()), c.changes) << c.id;
        EXPECT_EQ(Text(c.id), "4294967295");
    }
}

TEST_F(WinsysTest, TypingNotifiesChangeFocusAndEditingFinished)
{
    Activate();
    Widget(IDC_STRING_DATA)->setFocus();
    QTest::keyClicks(Widget(IDC_STRING_DATA), "ab");
    Widget(IDC_LOAD_FILE)->setFocus();
    std::vector<WPARAM> expected = {
        MAKEWPARAM(IDC_STRING_DATA, EN_SETFOCUS),  MAKEWPARAM(IDC_STRING_DATA, EN_CHANGE),
        MAKEWPARAM(IDC_STRING_DATA, EN_CHANGE),    MAKEWPARAM(IDC_STRING_DATA, EN_UPDATE),
        MAKEWPARAM(IDC_STRING_DATA, EN_KILLFOCUS),
    };
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(messages[2].text, "ab");
}

TEST_F(WinsysTest, TextLimitRefusesTypingButNotProgramText)
{
    const struct {
        int id;
        int limit;
        const char* typed;
        const char* kept;
    } cases[] = {
        {IDC_P1, 3, "12345", "123"},
        {IDC_P3, 4, "0x123", "0x12"},
        {IDC_LENGTH, 3, "9999", "999"},
        {IDC_STRING_DATA, 0, "123456", "123456"},
    };
    for (const auto& c : cases) {
        LimitDlgItemText(dialog, c.id, c.limit);
        SetDlgItemText(dialog, c.id, "");
        messages.clear();
        QTest::keyClicks(Widget(c.id), c.typed);
        EXPECT_EQ(Text(c.id), c.kept) << c.id;
        EXPECT_EQ(int(Commands().size()), int(strlen(c.kept))) << "one EN_CHANGE per accepted character";
        SetDlgItemText(dialog, c.id, "1234567");
        EXPECT_EQ(Text(c.id), "1234567") << c.id;
    }
}

TEST_F(WinsysTest, UppercaseFieldsTurnTypedLettersIntoCapitals)
{
    QTest::keyClicks(Widget(IDC_HEX_DATA), "0a bf z");
    EXPECT_EQ(Text(IDC_HEX_DATA), "0A BF Z");
    EXPECT_EQ(messages.back().text, "0A BF Z");
    QTest::keyClicks(Widget(IDC_STRING_DATA), "ab");
    EXPECT_EQ(Text(IDC_STRING_DATA), "ab");
    // As with the Win32 edit field, a text the program sets is converted
    // too; letters beyond a-z stay as they are.
    SetDlgItemText(dialog, IDC_ATR, "3b 8f \xe9\xff");
    EXPECT_EQ(Text(IDC_ATR), "3B 8F \xe9\xff");
}

TEST_F(WinsysTest, EveryByteSurvivesARoundTrip)
{
    char all[256];
    for (int i = 1; i < 256; ++i)
        all[i - 1] = char(i);
    all[255] = '\0';
    for (int id : {IDC_STRING_DATA, IDC_WIN_STATUS, IDC_LOG, IDC_P2_LABEL, IDC_MODE_HEX}) {
        SetDlgItemText(dialog, id, all);
        char back[300];
        EXPECT_EQ(GetDlgItemText(dialog, id, back, sizeof back), 255u) << id;
        EXPECT_EQ(memcmp(back, all, 256), 0) << id;
    }
    ListAddString(dialog, IDC_READER_LIST, all);
    char entry[300];
    EXPECT_EQ(ListGetText(dialog, IDC_READER_LIST, 0, entry, sizeof entry), 255);
    EXPECT_EQ(memcmp(entry, all, 256), 0);
}

TEST_F(WinsysTest, GetTextCopiesAtMostCapacityLessOne)
{
    SetDlgItemText(dialog, IDC_STRING_DATA, "abcdef");
    const struct {
        int capacity;
        unsigned count;
        const char* text;
    } cases[] = {{100, 6, "abcdef"}, {7, 6, "abcdef"}, {6, 5, "abcde"}, {1, 0, ""}};
    for (const auto& c : cases) {
        char buffer[100];
        memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(GetDlgItemText(dialog, IDC_STRING_DATA, buffer, c.capacity), c.count);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[c.count + 1], 'x') << "nothing written past the terminator";
    }
    char untouched = 'x';
    EXPECT_EQ(GetDlgItemText(dialog, IDC_STRING_DATA, &untouched, 0), 0u);
    EXPECT_EQ(untouched, 'x');
}

TEST_F(WinsysTest, NumbersAreReadAsUnsignedDecimal)
{
    const struct {
        const char* text;
        unsigned value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"12", 12},
        {"007", 7},
        {"4294967295", 4294967295u},
        {"2147483648", 2147483648u},
        {"4294967296", 0},
        {"4294967301", 5},
        {" 7", 7},
        {"7 ", 7},
        {"12x", 0},
        {"-1", 0},
        {"+5", 0},
        {"0x10", 0},
        {"1 2", 0},
    };
    for (const auto& c : cases) {
        SetDlgItemText(dialog, IDC_LOOP_COUNT, c.text);
        EXPECT_EQ(GetDlgItemInt(dialog, IDC_LOOP_COUNT), c.value) << '"' << c.text << '"';
    }
}

// Escape is the Cancel command, as in Win32 dialogs.
TEST_F(WinsysTest, EscapeSendsCancelAndEnterOutsideAPushButtonDoesNothing)
{
    Activate();
    for (int id : {IDC_STRING_DATA, IDC_READER_LIST, IDC_MODE_HEX, IDC_LOOP}) {
        Widget(id)->setFocus();
        messages.clear();
        QTest::keyClick(Widget(id), Qt::Key_Escape);
        QTest::keyClick(Widget(id), Qt::Key_Return);
        QTest::keyClick(Widget(id), Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_TRUE(Window()->isVisible());
        int cancels = 0;
        for (WPARAM command : Commands()) {
            cancels += command == MAKEWPARAM(IDCANCEL, BN_CLICKED);
            EXPECT_TRUE(LOWORD(command) == IDCANCEL || LOWORD(command) == unsigned(id))
                << "else only the field's own notifications";
        }
        EXPECT_EQ(cancels, 1);
        for (const Message& m : messages)
            EXPECT_EQ(m.message, WM_COMMAND);
    }
    QTest::keyClick(Window(), Qt::Key_Escape);
    QTest::keyClick(Window(), Qt::Key_Return);
    EXPECT_TRUE(Window()->isVisible());
}

TEST_F(WinsysTest, EnterOnAFocusedPushButtonPressesIt)
{
    Activate();
    Widget(IDC_CLEAR_LOG)->setFocus();
    messages.clear();
    QTest::keyClick(Widget(IDC_CLEAR_LOG), Qt::Key_Return);
    EXPECT_EQ(Commands(), std::vector<WPARAM> {MAKEWPARAM(IDC_CLEAR_LOG, BN_CLICKED)});
}

TEST_F(WinsysTest, MnemonicsMoveToTheirControl)
{
    Activate();
    const struct {
        Qt::Key key;
        int focused;  // 0: not looked at
        int clicked;  // 0: none
    } cases[] = {
        {Qt::Key_1, IDC_VENDOR_P1, 0},
        {Qt::Key_2, IDC_VENDOR_P2, 0},
        {Qt::Key_X, IDC_LOOP, IDC_LOOP},
        {Qt::Key_B, 0, IDC_ATTRIBUTES},
        // "L&e" shares its letter with "&Establish Context"; each press of
        // a shared letter only moves the focus, to each control in turn.
        {Qt::Key_E, IDC_ESTABLISH, 0},
        {Qt::Key_E, IDC_VENDOR_LE, 0},
    };
    for (const auto& c : cases) {
        messages.clear();
        QTest::keyClick(Window(), c.key, Qt::AltModifier);
        if (c.focused) {
            EXPECT_EQ(QApplication::focusWidget(), Widget(c.focused)) << c.key;
        }
        // A button's mnemonic shows the press before it clicks.
        auto clicks = [] {
            std::vector<WPARAM> clicked;
            for (WPARAM command : Commands())
                if (HIWORD(command) == BN_CLICKED)
                    clicked.push_back(command);
            return clicked;
        };
        std::vector<WPARAM> expected;
        if (c.clicked)
            expected.push_back(MAKEWPARAM(unsigned(c.clicked), BN_CLICKED));
        for (int wait = 0; wait < 30 && clicks().size() < expected.size(); ++wait)
            QTest::qWait(10);
        EXPECT_EQ(clicks(), expected) << c.key;
    }
}

TEST_F(WinsysTest, ListKeepsTheOrderOfAddingAndSelectsOnlyWhenAsked)
{
    for (const char* name : {"Zeta reader", "Alpha reader", "Mu reader"})
        ListAddString(dialog, IDC_READER_LIST, name);
    EXPECT_EQ(ListGetCount(dialog, IDC_READER_LIST), 3);
    EXPECT_EQ(ListGetCurSel(dialog, IDC_READER_LIST), -1);
    char text[100];
    EXPECT_EQ(ListGetText(dialog, IDC_READER_LIST, 0, text, sizeof text), 11);
    EXPECT_STREQ(text, "Zeta reader");
    EXPECT_EQ(ListGetText(dialog, IDC_READER_LIST, 1, text, 6), 5);
    EXPECT_STREQ(text, "Alpha");
    EXPECT_EQ(ListGetText(dialog, IDC_READER_LIST, 3, text, sizeof text), -1);

    ListSetCurSel(dialog, IDC_READER_LIST, 2);
    EXPECT_EQ(ListGetCurSel(dialog, IDC_READER_LIST), 2);
    ListSetCurSel(dialog, IDC_READER_LIST, -1);
    EXPECT_EQ(ListGetCurSel(dialog, IDC_READER_LIST), -1);
    EXPECT_TRUE(messages.empty());

    auto* list = static_cast<QListWidget*>(Widget(IDC_READER_LIST));
    QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(ListGetCurSel(dialog, IDC_READER_LIST), 1);
    EXPECT_EQ(Commands(), std::vector<WPARAM> {MAKEWPARAM(IDC_READER_LIST, LBN_SELCHANGE)});
    messages.clear();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(Commands().back(), MAKEWPARAM(IDC_READER_LIST, LBN_DBLCLK));

    messages.clear();
    ListResetContent(dialog, IDC_READER_LIST);
    EXPECT_EQ(ListGetCount(dialog, IDC_READER_LIST), 0);
    EXPECT_EQ(ListGetCurSel(dialog, IDC_READER_LIST), -1);
    EXPECT_TRUE(messages.empty());
}

// Opens the system menu with Alt+Space and chooses the item with `text`
// (nothing when it is empty); returns the menu's item texts.
QStringList ChooseFromSystemMenu(QWidget* window, const QString& text)
{
    QStringList items;
    WhenOpen(Popup, [&items, text](QWidget* popup) {
        auto* menu = static_cast<QMenu*>(popup);
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
            if (!action->isSeparator() && action->text().startsWith(text) && !text.isEmpty())
                chosen = action;
        }
        if (chosen) {
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            QTest::keyClick(menu, Qt::Key_Escape);
        }
    });
    QTest::keyClick(window, Qt::Key_Space, Qt::AltModifier);
    return items;
}

TEST_F(WinsysTest, SystemMenuSendsItsItemsAsSystemCommands)
{
    Activate();
    HMENU menu = GetSystemMenu(dialog);
    AppendMenuSeparator(menu);
    AppendMenuItem(menu, IDM_ABOUT, "Information");

    QStringList items = ChooseFromSystemMenu(Window(), QStringLiteral("Information"));
    EXPECT_EQ(items.join('|').toStdString(), "Mi&nimize|&Close\tAlt+F4|-|Information");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_SYSCOMMAND);
    EXPECT_EQ(messages[0].wParam, WPARAM(IDM_ABOUT));

    messages.clear();
    ChooseFromSystemMenu(Window(), QString());
    EXPECT_TRUE(messages.empty()) << "closing the menu chooses nothing";
}

TEST_F(WinsysTest, CloseFromTheSystemMenuRunsTheDefaultCloseUnlessHandled)
{
    Activate();
    ChooseFromSystemMenu(Window(), QStringLiteral("&Close"));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, WM_SYSCOMMAND);
    EXPECT_EQ(messages[0].wParam, SC_CLOSE);
    EXPECT_EQ(messages[1].message, WM_CLOSE);
    EXPECT_TRUE(Window()->isVisible()) << "only the procedure ends the dialog";

    messages.clear();
    sysCommandResult = TRUE;
    SendDialogMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(CountOf(WM_CLOSE), 0);

    messages.clear();
    DefWindowProc(dialog, WM_SYSCOMMAND, IDM_ABOUT, 0);
    DefWindowProc(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(Window()->isMinimized());
}

TEST_F(WinsysTest, WindowCloseAndAltF4ArriveAsOneCloseMessage)
{
    Activate();
    EXPECT_FALSE(Window()->close());
    EXPECT_EQ(CountOf(WM_CLOSE), 1);
    EXPECT_TRUE(Window()->isVisible());
    messages.clear();
    QTest::keyClick(Widget(IDC_ESTABLISH), Qt::Key_F4, Qt::AltModifier);
    EXPECT_EQ(CountOf(WM_CLOSE), 1);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(WinsysTest, ContextMenuOfTheBackgroundIsTheSystemMenu)
{
    QStringList items;
    WhenOpen(Popup, [&items](QWidget* menu) {
        items << menu->objectName();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), Window()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(Widget(IDC_GROUP_LOG), &event);
    EXPECT_EQ(items, QStringList {"SystemMenu"});

    // The Menu key asks the focused control; only edit fields and the list
    // have menus of their own.
    for (int id : {IDC_ESTABLISH, IDC_LOOP, IDC_STRING_DATA}) {
        WhenOpen(Popup, [&items](QWidget* menu) {
            items << menu->objectName();
            menu->close();
        });
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1), Widget(id)->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(Widget(id), &key);
    }
    for (int wait = 0; wait < 100 && items.size() < 4; ++wait)
        QTest::qWait(10);
    EXPECT_EQ(items.join(' ').toStdString(), "SystemMenu SystemMenu SystemMenu qt_edit_menu");
}

TEST_F(WinsysTest, PowerEventsArriveAsPowerBroadcasts)
{
    ASSERT_TRUE(QMetaObject::invokeMethod(Window(), "prepareForSleep", Q_ARG(bool, true)));
    ASSERT_TRUE(QMetaObject::invokeMethod(Window(), "prepareForSleep", Q_ARG(bool, false)));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, WM_POWERBROADCAST);
    EXPECT_EQ(messages[0].wParam, PBT_APMSUSPEND);
    EXPECT_EQ(messages[1].wParam, PBT_APMRESUMESUSPEND);
}

TEST_F(WinsysTest, PopupMenuOpensUpwardAndSendsTheChosenItem)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuItem(menu, IDM_LED_OFF, "Switch LED Off");
    AppendMenuItem(menu, IDM_LED_ON, "Switch LED On");
    AppendMenuItem(menu, IDM_FIRMWARE_REV, "Get Firmware Revision");

    QRect screen = Window()->screen()->availableGeometry();
    QPoint corner = screen.center();
    QRect geometry;
    WhenOpen(Popup, [&geometry](QWidget* widget) {
        auto* popup = static_cast<QMenu*>(widget);
        geometry = popup->geometry();
        popup->setActiveAction(popup->actions().at(2));
        QTest::keyClick(popup, Qt::Key_Return);
    });
    TrackPopupMenuUpward(menu, dialog, corner.x(), corner.y());
    EXPECT_EQ(geometry.left(), corner.x());
    EXPECT_EQ(geometry.bottom() + 1, corner.y());
    EXPECT_EQ(Commands(), std::vector<WPARAM> {MAKEWPARAM(IDM_FIRMWARE_REV, 0)});

    messages.clear();
    WhenOpen(Popup, [](QWidget* popup) { QTest::keyClick(popup, Qt::Key_Escape); });
    TrackPopupMenuUpward(menu, dialog, corner.x(), corner.y());
    EXPECT_TRUE(messages.empty());
}

TEST_F(WinsysTest, ScreenRectOfAControlIsItsGlobalGeometry)
{
    RECT rect {};
    GetDlgItemScreenRect(dialog, IDC_VENDOR_MENU, &rect);
    QWidget* button = Widget(IDC_VENDOR_MENU);
    QPoint topLeft = button->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(rect.left, topLeft.x());
    EXPECT_EQ(rect.top, topLeft.y());
    EXPECT_EQ(rect.right - rect.left, button->width());
    EXPECT_EQ(rect.bottom - rect.top, button->height());
}

// Counts the paint events of one widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST_F(WinsysTest, RepaintPaintsAControlOnlyWhenItsTextChangedSinceItsLastPaint)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window()));
    QWidget* field = Widget(IDC_LOOP_PROGRESS);
    PaintCounter counter;
    field->installEventFilter(&counter);

    const struct {
        const char* text;  // nullptr: repaint without setting a text
        int paints;        // paints counted after the repaint
    } steps[] = {{"5", 1}, {"5", 1}, {nullptr, 1}, {"10", 2}, {nullptr, 2}, {"", 3}};
    for (const auto& step : steps) {
        if (step.text)
            SetDlgItemText(dialog, IDC_LOOP_PROGRESS, step.text);
        RepaintDlgItem(dialog, IDC_LOOP_PROGRESS);
        EXPECT_EQ(counter.paints, step.paints) << (step.text ? step.text : "(none)");
    }
    field->removeEventFilter(&counter);
}

TEST_F(WinsysTest, ProgramIconBecomesTheWindowIcon)
{
    SetDialogIcon(dialog, IDI_MAIN);
    EXPECT_FALSE(Window()->windowIcon().isNull());
    EXPECT_FALSE(Window()->windowIcon().pixmap(32, 32).isNull());
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST(WinsysTemplates, ControlsAreListedInTemplateOrderWithUniqueIdentifiers)
{
    for (int templateId : {IDD_MAIN, IDD_ABOUT}) {
        const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
        ASSERT_NE(dialogTemplate, nullptr);
        for (int i = 0; i < dialogTemplate->controlCount; ++i) {
            const ControlTemplate& control = dialogTemplate->controls[i];
            EXPECT_EQ(control.order, i + 1) << control.name;
            for (int j = 0; j < i; ++j)
                EXPECT_NE(dialogTemplate->controls[j].id, control.id) << control.name;
            EXPECT_EQ(control.caption[0] == '\0', control.accessibleName != nullptr) << control.name;
        }
    }
    EXPECT_EQ(FindDialogTemplate(IDD_MAIN)->controlCount, 134);
    EXPECT_EQ(FindDialogTemplate(IDD_ABOUT)->controlCount, 6);
}

TEST(WinsysMessageBox, ErrorMessageBoxShowsTextCaptionAndOk)
{
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenOpen([] { return QApplication::activeModalWidget(); },
             [&](QWidget* widget) {
                 auto* box = qobject_cast<QMessageBox*>(widget);
                 if (!box)
                     return;
                 text = box->text();
                 title = box->windowTitle();
                 icon = box->icon();
                 box->button(QMessageBox::Ok)->click();
             });
    ShowErrorMessageBox("Application error 0x00000057 in main window dialog!", "Quarnel Test Program");
    EXPECT_EQ(text, QStringLiteral("Application error 0x00000057 in main window dialog!"));
    EXPECT_EQ(title, QStringLiteral("Quarnel Test Program"));
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(WinsysDialogBox, UnknownTemplateCreatesNoDialog)
{
    messages.clear();
    EXPECT_EQ(DialogBoxParam(999, nullptr, RecordingProc, 0), -1);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(CreateDialogParam(999, nullptr, RecordingProc, 0), nullptr);
    EXPECT_TRUE(messages.empty());
}

TEST(WinsysDialogBox, ModalRunReturnsTheEndValueAfterDestroy)
{
    messages.clear();
    initDialogResult = TRUE;
    WhenOpen(MainWindowShown, [](QWidget* window) {
        QTest::mouseClick(window->findChild<QWidget*>(QStringLiteral("IDC_QUIT")), Qt::LeftButton);
    });
    EXPECT_EQ(DialogBoxParam(IDD_MAIN, nullptr, EndingProc, 5), INT_PTR(IDC_QUIT));
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front().message, WM_INITDIALOG);
    EXPECT_EQ(messages.front().lParam, 5);
    EXPECT_EQ(messages.back().message, WM_DESTROY);
    EXPECT_EQ(CountOf(WM_DESTROY), 1);
}

TEST(WinsysDialogBox, CloseEndsTheRunThroughTheProcedure)
{
    messages.clear();
    WhenOpen(MainWindowShown, [](QWidget* window) { window->close(); });
    EXPECT_EQ(DialogBoxParam(IDD_MAIN, nullptr, EndingProc, 0), 77);
    EXPECT_EQ(CountOf(WM_CLOSE), 1);
    EXPECT_EQ(messages.back().message, WM_DESTROY);
}

INT_PTR EndAtOnce(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordingProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG)
        EndDialog(dialog, 9);
    return FALSE;
}

TEST(WinsysDialogBox, EndDuringInitDialogReturnsWithoutShowing)
{
    messages.clear();
    EXPECT_EQ(DialogBoxParam(IDD_MAIN, nullptr, EndAtOnce, 0), 9);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].message, WM_DESTROY);
}

INT_PTR AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordingProc(dialog, message, wParam, lParam);
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_ABOUT_OK) {
        EndDialog(dialog, INT_PTR(wParam));
        return TRUE;
    }
    return FALSE;
}

TEST_F(WinsysTest, AboutBoxSitsOnTheOwnersClientAreaAndClosesOnlyByOk)
{
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_K}) {
        messages.clear();
        QPoint origin;
        QString title;
        QStringList texts;
        bool openAfterEscape = false;
        Activate();
        WhenOpen(AboutBoxShown, [&, key](QWidget* about) {
            origin = about->pos();
            title = about->windowTitle();
            for (auto* label : about->findChildren<QLabel*>())
                texts << label->objectName() + "=" + label->text();
            QTest::keyClick(about, Qt::Key_Escape);
            openAfterEscape = about->isVisible();
            QTest::keyClick(about, key, key == Qt::Key_K ? Qt::AltModifier : Qt::NoModifier);
        });
        INT_PTR result = DialogBoxParam(IDD_ABOUT, dialog, AboutProc, 0);
        EXPECT_EQ(result, INT_PTR(MAKEWPARAM(IDC_ABOUT_OK, BN_CLICKED))) << key;
        EXPECT_EQ(title, QStringLiteral("About . . ."));
        EXPECT_EQ(origin, Window()->mapToGlobal(QPoint(0, 0)));
        EXPECT_TRUE(openAfterEscape);
        EXPECT_TRUE(texts.contains("IDC_ABOUT_TITLE=Quarnel Test Program"));
        EXPECT_TRUE(texts.contains("IDC_ABOUT_VERSION=x x x"));
        EXPECT_EQ(messages.front().message, WM_INITDIALOG);
        EXPECT_EQ(messages.back().message, WM_DESTROY);
    }
}

// Answers the next file dialog with `file` (cancels it when empty) and
// keeps the filters it showed in `filters`.
void AnswerFileDialog(const QString& file, QStringList* filters)
{
    WhenOpen(FileDialogShown, [file, filters](QWidget* widget) {
        auto* fileDialog = static_cast<QFileDialog*>(widget);
        *filters = fileDialog->nameFilters();
        if (file.isEmpty()) {
            static_cast<QDialog*>(fileDialog)->reject();
            return;
        }
        // Typed as a user would: selectFile() leaves a focused name field alone.
        fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(file);
        static_cast<QDialog*>(fileDialog)->accept();
    });
}

TEST_F(WinsysTest, FileDialogReturnsTheChosenPath)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QString file = folder.filePath(QStringLiteral("card data"));
    QFile(file).open(QIODevice::WriteOnly);
    QByteArray expected = QFile::encodeName(file);

    QStringList filters;
    const struct {
        const char* pattern;
        const char* filterName;
        int capacity;    // 0: the whole buffer
        QString answer;  // empty: cancel
        int result;
        unsigned error;
        const char* filter;
    } cases[] = {
        {"*.*", "All Files", 0, file, 1, 0, "All Files (*)"},
        {"*.*", "All Files", int(expected.size()) + 1, file, 1, 0, "All Files (*)"},
        {"*.*", "All Files", int(expected.size()), file, 0, FNERR_BUFFERTOOSMALL, "All Files (*)"},
        {"*.bin", "Card Data", 0, QString(), 0, 0, "Card Data (*.bin)"},
    };
    for (const auto& c : cases) {
        char path[300];
        snprintf(path, sizeof path, "%s", c.pattern);
        AnswerFileDialog(c.answer, &filters);
        EXPECT_EQ(GetOpenFileName(dialog, c.filterName, path, c.capacity ? c.capacity : int(sizeof path)), c.result);
        EXPECT_EQ(CommDlgExtendedError(), c.error);
        EXPECT_EQ(filters, QStringList {c.filter});
        EXPECT_STREQ(path, c.result ? expected.constData() : c.pattern);
    }
}

}  // namespace
