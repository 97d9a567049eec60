// The dialog procedure: the loop-count guard, the results of the dispatch
// table, notifications, closing, the system menu and the resume from suspend.
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QUrl>

#include "ui/templates.h"
#include "window/help.h"
#include "window/tester_state.h"
#include "window_fixture.h"

using DispatchTest = MainWindowTest;

// Stands in for the desktop's handler of file URLs.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QUrl opened;

public slots:
    void open(const QUrl& url) { opened = url; }
};

TEST_F(DispatchTest, LoopCountBelowOneIsRaisedBeforeEveryMessage)
{
    struct Message {
        UINT message;
        WPARAM wParam;
    } messages[] = {
        {WM_COMMAND, 0xFFFF}, {WM_COMMAND, IDOK}, {WM_SYSCOMMAND, 0x1234}, {WM_POWERBROADCAST, PBT_APMSUSPEND},
        {0x0400, 0},
    };
    for (const Message& m : messages) {
        for (int32_t count : {0, -1, INT32_MIN}) {
            tester.loopCount = count;
            SendDialogMessage(window, m.message, m.wParam, 0);
            EXPECT_EQ(tester.loopCount, 1) << m.message << " " << count;
        }
        tester.loopCount = 5;
        SendDialogMessage(window, m.message, m.wParam, 0);
        EXPECT_EQ(tester.loopCount, 5);
    }
    // The handler already sees the raised count: no division by zero.
    tester.loopEnabled = 1;
    tester.loopCount = 0;
    Command(IDC_CLEAR_LOG);
    EXPECT_EQ(Text(IDC_ELAPSED), " 0.00 ms");
}

TEST_F(DispatchTest, UnhandledCommandsReturnFalseAndDoNothing)
{
    LogAppend("kept");
    unsigned ids[] = {IDOK,   IDCANCEL,          IDC_READER_LIST, IDC_LOG,       IDC_WIN_STATUS, IDC_ELAPSED, IDC_P1,
                      IDC_P3, IDC_LOOP_PROGRESS, IDC_VENDOR_P1,   IDC_GROUP_LOG, IDC_ATR_LABEL,  IDM_ABOUT,   0xFFFF};
    for (unsigned id : ids) {
        for (unsigned code : {BN_CLICKED, LBN_DBLCLK, EN_CHANGE}) {
            EXPECT_EQ(Command(int(id), code), FALSE) << id;
            EXPECT_TRUE(Window()->isVisible()) << id;
        }
    }
    EXPECT_STREQ(tester.logText, "kept");
    EXPECT_EQ(fakePcsc.establish.calls + fakePcsc.connect.calls, 0);
}

// Commands that open a modal dialog or menu (Help, Load File, Vendor I/O) and
// Quit are covered elsewhere.
TEST_F(DispatchTest, HandledCommandsReturnTheirResult)
{
    struct Case {
        int id;
        INT_PTR result;
    } cases[] = {
        {IDC_ESTABLISH, TRUE},    {IDC_LIST_READERS, TRUE}, {IDC_CONNECT, TRUE},         {IDC_DISCONNECT, TRUE},
        {IDC_ATTRIBUTES, FALSE},  {IDC_RELEASE, TRUE},      {IDC_CLEAR_LOG, TRUE},       {IDC_STRING_DATA, TRUE},
        {IDC_LOOP, TRUE},         {IDC_LOOP_COUNT, TRUE},   {IDC_CMD_READ, TRUE},        {IDC_CMD_UPDATE, TRUE},
        {IDC_CMD_AUTH, TRUE},     {IDC_CMD_LOADKEYS, TRUE}, {IDC_CMD_GETUID, TRUE},      {IDC_TRANSMIT, TRUE},
        {IDC_MODE_HEX, TRUE},     {IDC_MODE_FILE, TRUE},    {IDC_MODE_STRING, TRUE},     {IDC_TYPE_STORAGE, TRUE},
        {IDC_TYPE_DIRECT, TRUE},  {IDC_HEX_DATA, TRUE},     {IDC_BREAK_ON_ERROR, FALSE}, {IDC_TYPE_VENDOR, TRUE},
        {IDM_LED_OFF, TRUE},      {IDM_LED_ON, TRUE},       {IDM_LED_FLASH, TRUE},       {IDM_RF_RESET, TRUE},
        {IDM_FIRMWARE_REV, TRUE},
    };
    Script(fakePcsc.establish, SCARD_E_NO_SERVICE);
    Script(fakePcsc.listReaders, SCARD_E_NO_READERS_AVAILABLE);
    Script(fakePcsc.disconnect, SCARD_E_INVALID_HANDLE);
    Script(fakePcsc.release, SCARD_E_INVALID_HANDLE);
    for (const Case& c : cases)
        EXPECT_EQ(Command(c.id), c.result) << c.id;
}

// The notification code is never looked at.
TEST_F(DispatchTest, AnyNotificationCodeRunsTheHandler)
{
    unsigned codes[] = {BN_CLICKED, EN_SETFOCUS, EN_KILLFOCUS, EN_CHANGE, EN_UPDATE, 0xFFFF};
    for (unsigned code : codes) {
        LogAppend("entry");
        Command(IDC_CLEAR_LOG, code);
        EXPECT_STREQ(tester.logText, "") << code;

        tester.stringLen = 0;
        Command(IDC_STRING_DATA, code);
        EXPECT_EQ(tester.stringLen, 16u) << code;
        tester.hexLen = 0;
        Command(IDC_HEX_DATA, code);
        EXPECT_EQ(tester.hexLen, 21u) << code;
        tester.loopCount = 7;
        Command(IDC_LOOP_COUNT, code);
        EXPECT_EQ(tester.loopCount, 100) << code;
    }
}

// However many closing messages arrive, a held context is released once,
// and a connected card is not disconnected first.
TEST_F(DispatchTest, ClosingReleasesAHeldContextOnce)
{
    REQUIRE_SIMULATED_READER();
    struct Close {
        UINT message;
        WPARAM wParam;
    };
    struct Case {
        const char* what;
        bool connect;
        std::vector<Close> messages;
    } cases[] = {
        {"quit", false, {{WM_COMMAND, IDC_QUIT}, {WM_DESTROY, 0}}},
        {"quit with a card", true, {{WM_COMMAND, IDC_QUIT}, {WM_COMMAND, IDC_QUIT}, {WM_DESTROY, 0}}},
        {"close box", true, {{WM_CLOSE, 0}, {WM_CLOSE, 0}, {WM_DESTROY, 0}}},
        {"system menu close", false, {{WM_SYSCOMMAND, SC_CLOSE}, {WM_DESTROY, 0}}},
        {"destroy", true, {{WM_DESTROY, 0}, {WM_DESTROY, 0}}},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        if (c.connect)
            Connect(0);
        else
            Command(IDC_ESTABLISH);
        SCARDCONTEXT context = tester.hContext;
        ASSERT_NE(context, 0u);
        for (const Close& m : c.messages)
            EXPECT_EQ(SendDialogMessage(window, m.message, m.wParam, 0), m.message == WM_SYSCOMMAND ? FALSE : TRUE);
        EXPECT_EQ(fakePcsc.release.calls, 1) << c.what;
        EXPECT_EQ(fakePcsc.releasedContext, context) << c.what;
        EXPECT_EQ(tester.hContext, 0u) << c.what;
        EXPECT_EQ(fakePcsc.disconnect.calls, 0) << c.what;
        EXPECT_EQ(LogEntries().size(), c.connect ? 3u : 1u) << "closing logs nothing";
    }
    TearDown();
    SetUp();
    SendDialogMessage(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(fakePcsc.release.calls, 0) << "no context, nothing to release";
}

TEST_F(DispatchTest, QuitEndsTheModalRunWithItsCommand)
{
    QTimer::singleShot(0, [] {
        SendCommand(tester.mainWindow, IDC_ESTABLISH);
        SendCommand(tester.mainWindow, MAKEWPARAM(IDC_QUIT, BN_CLICKED));
    });
    EXPECT_EQ(DialogBoxParam(IDD_MAIN, nullptr, RecordingDialogProc, 0), INT_PTR(IDC_QUIT));
    EXPECT_EQ(fakePcsc.release.calls, 1);
    EXPECT_EQ(tester.hContext, 0u);
}

TEST_F(DispatchTest, SystemMenuEndsWithInformationWhichOpensTheAboutBox)
{
    HMENU menu = GetSystemMenu(window);
    int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuItemID(menu, count - 2), 0u);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), UINT(IDM_ABOUT));
    char text[64];
    GetMenuString(menu, count - 1, text, sizeof text);
    EXPECT_STREQ(text, "Information");

    LogAppend("kept");
    bool aboutShown = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget != Window() && widget->isVisible() && widget->objectName() == "IDD_ABOUT") {
                aboutShown = true;
                QTest::mouseClick(widget->findChild<QWidget*>("IDC_ABOUT_OK"), Qt::LeftButton);
            }
    });
    EXPECT_EQ(SendDialogMessage(window, WM_SYSCOMMAND, IDM_ABOUT, 0), FALSE);
    EXPECT_TRUE(aboutShown);
    EXPECT_TRUE(Window()->isVisible());
    EXPECT_STREQ(tester.logText, "kept");
    EXPECT_EQ(SendDialogMessage(window, WM_SYSCOMMAND, SC_MINIMIZE, 0), FALSE);
}

// A resume reconnects whatever card handle is held, silently, offering the
// protocols Connect offers; every power notification is reported as processed.
TEST_F(DispatchTest, ResumeReconnectsTheCard)
{
    REQUIRE_SIMULATED_READER();
    constexpr DWORD NEGOTIATED = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
    struct Case {
        const char* what;
        bool connect;
        WPARAM event;
        LONG scripted;
        int reconnects;
        DWORD lastOffer;
    } cases[] = {
        {"resume with a card", true, PBT_APMRESUMESUSPEND, SCARD_S_SUCCESS, 1, NEGOTIATED},
        {"resume without a card", false, PBT_APMRESUMESUSPEND, SCARD_S_SUCCESS, 1, NEGOTIATED},
        {"resume with a card refusing T=0 and T=1", true, PBT_APMRESUMESUSPEND, SCARD_E_PROTO_MISMATCH, 2,
         SCARD_PROTOCOL_RAW},
        {"suspend", true, PBT_APMSUSPEND, SCARD_S_SUCCESS, 0, 0},
        {"other", true, 99, SCARD_S_SUCCESS, 0, 0},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        if (c.connect)
            Connect(0);
        if (c.scripted != SCARD_S_SUCCESS)
            Script(fakePcsc.reconnect, c.scripted);
        std::string log = tester.logText, status = Text(IDC_WIN_STATUS), elapsed = Text(IDC_ELAPSED);
        SCARDHANDLE card = tester.hCard;
        tester.activeProtocol = 0xDEAD;
        EXPECT_EQ(SendDialogMessage(window, WM_POWERBROADCAST, c.event, 0), TRUE) << c.what;
        EXPECT_EQ(fakePcsc.reconnect.calls, c.reconnects) << c.what;
        EXPECT_EQ(tester.logText, log) << c.what;
        EXPECT_EQ(Text(IDC_WIN_STATUS), status) << c.what;
        EXPECT_EQ(Text(IDC_ELAPSED), elapsed) << c.what;
        if (c.reconnects == 0)
            continue;
        EXPECT_EQ(fakePcsc.reconnectCard, card);
        EXPECT_EQ(fakePcsc.reconnectShare, DWORD(SCARD_SHARE_EXCLUSIVE));
        EXPECT_EQ(fakePcsc.reconnectProtocols, c.lastOffer) << c.what;
        EXPECT_EQ(fakePcsc.reconnectInit, DWORD(SCARD_RESET_CARD));
        if (c.connect && c.scripted == SCARD_S_SUCCESS) {
            EXPECT_EQ(tester.activeProtocol, DWORD(SCARD_PROTOCOL_T1)) << "the protocol negotiated again";
            Command(IDC_DISCONNECT);
            EXPECT_EQ(LastLogEntry(), "SCardDisconnect: SUCCESS!") << "the card is still usable";
        }
    }
}

// Help opens the page in the current folder, else the copy installed beside
// the program, else the one in the source tree; it says nothing when the
// page opens, and where the page is when no program can open it.
TEST_F(DispatchTest, HelpOpensTheFirstPageFoundSilently)
{
    namespace fs = std::filesystem;
    char folder[] = "/tmp/qtu-help-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    fs::path prefix = fs::path(folder) / "prefix", work = fs::path(folder) / "work";
    fs::path installed = prefix / "share/quarnel-test-utility/qrnlhelp.htm";
    fs::path source = QT_TESTCASE_SOURCEDIR "/../help/qrnlhelp.htm";
    fs::create_directories(installed.parent_path());
    fs::create_directories(work);
    fs::create_directories(prefix / "bin");
    fs::path oldCwd = fs::current_path();
    fs::current_path(work);
    const struct {
        bool inCurrentFolder, installed;
        fs::path opened;
    } cases[] = {
        {true, true, work / "qrnlhelp.htm"},
        {false, true, installed},
        {false, false, source},
    };
    for (const auto& c : cases) {
        if (c.inCurrentFolder)
            std::ofstream("qrnlhelp.htm") << "here";
        else
            fs::remove("qrnlhelp.htm");
        if (c.installed)
            std::ofstream(installed) << "installed";
        else
            fs::remove(installed);
        char page[4096];
        ASSERT_TRUE(FindHelpPage((prefix / "bin/quarnel-test-utility").c_str(), page, sizeof page));
        EXPECT_TRUE(fs::equivalent(page, c.opened)) << page;
    }

    // The test program has no installed copy beside it.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    LogAppend("kept");
    EXPECT_EQ(Command(IDHELP), TRUE);
    QDesktopServices::unsetUrlHandler("file");
    fs::current_path(oldCwd);
    fs::remove_all(folder);
    EXPECT_TRUE(fs::equivalent(catcher.opened.toLocalFile().toStdString(), source));
    EXPECT_STREQ(tester.logText, "kept");
    EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");

    // No xdg-open on the PATH: the desktop has nothing to open the page with.
    std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(Command(IDHELP), TRUE);
    setenv("PATH", oldPath.c_str(), 1);
    std::string line = LastLogEntry();
    EXPECT_EQ(line.rfind("Help: no program to open ", 0), 0u) << line;
    EXPECT_NE(line.find("qrnlhelp.htm; install xdg-utils."), std::string::npos) << line;
}

// The shipped page stands alone and names every button of the window.
TEST_F(DispatchTest, HelpPageCoversEveryButton)
{
    QFile page(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../help/qrnlhelp.htm"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    QString text = QString::fromLatin1(page.readAll());
    EXPECT_FALSE(text.contains("http:") || text.contains("https:") || text.contains("src="));
    const DialogTemplate* main = FindDialogTemplate(IDD_MAIN);
    for (int i = 0; i < main->controlCount; i++) {
        const ControlTemplate& control = main->controls[i];
        if (control.kind != ControlKind::PushButton)
            continue;
        EXPECT_TRUE(text.contains(QString::fromLatin1(control.caption).remove('&').remove(" ..."))) << control.caption;
    }
}

#include "dispatch_test.moc"
