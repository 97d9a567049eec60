// The fixture for every test that needs the real main window.
//
// Derive your test from MainWindowTest (TEST_F(MainWindowTest, ...) or your own
// subclass). Each test gets a fresh window, built the way the program builds it:
//   - `tester` is made anew first (as it is at load), then ticksPerMs is set
//     as the program entry sets it;
//   - the PC/SC table is spied (tests/fake_pcsc.h): calls go to the private
//     pcscd with the simulated reader unless a test scripts a failure; the
//     card page's watcher is not spied (its failures are scripted in
//     tests/core);
//   - the window is created modeless with CreateDialogParam(IDD_MAIN, nullptr,
//     MainDialogProc, 0) through a transparent wrapper that records every
//     message the procedure receives (see `messages`), so a test can check
//     which handlers ran and in what order;
//   - after the test the window is destroyed (WM_DESTROY releases a held
//     context), contexts the test left open are released, and the PC/SC table
//     points at libpcsclite again.
// Tests that change the simulated reader (tests/sim_control.h) restore it.
//
// Helpers: Command(id[, code]) sends WM_COMMAND as a control would; Window()
// and Widget(id) are the real widgets; Click(id) clicks one; Text, Enabled,
// Checked read a control; LogEntries() splits the log at its CR LF
// separators; Connect(reader) walks Establish Context, List Devices and
// Connect to one of the simulated readers.
#pragma once

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "core/clock/counter.h"
#include "fake_pcsc.h"
#include "sim_control.h"
#include "ui/ids.h"
#include "ui/widget_lookup.h"
#include "ui/winsys.h"
#include "window/dispatch.h"
#include "window/tester_state.h"
#include "window/window_output.h"

struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    size_t logLength;  // of tester.logText when the message arrived
};

inline RecordedMessage recordedMessages[4096];
inline int recordedMessageCount;
// When set, sees every message before the procedure does (a test that needs
// a control's state at each message sets it).
inline void (*messageObserver)(UINT message, WPARAM wParam);

inline INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (messageObserver)
        messageObserver(message, wParam);
    if (recordedMessageCount < 4096)
        recordedMessages[recordedMessageCount++] = {message, wParam, lParam, strlen(tester.logText)};
    return MainDialogProc(dialog, message, wParam, lParam);
}

class MainWindowTest : public ::testing::Test {
protected:
    HWND window = nullptr;

    void SetUp() override
    {
        // The last test's window is gone, and with it the loop's worker and
        // the watcher's thread.
        tester.~TesterState();
        new (&tester) TesterState {};
        int64_t frequency = QueryPerformanceFrequency();
        tester.ticksPerMs = frequency > 0 ? frequency / 1000 : 1;
        InstallPcscSpies();
        fakePcsc.unspiedContext = &tester.cardPage.watcher.context;
        recordedMessageCount = 0;
        messageObserver = nullptr;
        window = CreateDialogParam(IDD_MAIN, nullptr, RecordingDialogProc, 0);
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override
    {
        if (window != nullptr)
            DestroyDialog(window);
        window = nullptr;
        RemovePcscSpies();
    }

    INT_PTR Command(int id, unsigned code = BN_CLICKED) { return SendCommand(window, MAKEWPARAM(id, code)); }

    std::string Text(int id)
    {
        static char buffer[BUFFER_SIZE + 1];
        unsigned length = GetDlgItemText(window, id, buffer, sizeof buffer);
        return std::string(buffer, length);
    }

    bool Enabled(int id) { return IsDlgItemEnabled(window, id); }
    bool Checked(int id) { return IsDlgButtonChecked(window, id); }

    QWidget* Window() { return DialogWidget(window); }
    QWidget* Widget(int id) { return DialogItemWidget(window, id); }

    void Click(int id)
    {
        QWidget* widget = Widget(id);
        ASSERT_NE(widget, nullptr) << "no widget for control " << id;
        QTest::mouseClick(widget, Qt::LeftButton);
    }

    // The log's entries, split at the CR LF separators.
    static std::vector<std::string> LogEntries()
    {
        std::vector<std::string> entries;
        std::string log = tester.logText;
        if (log.empty())
            return entries;
        size_t start = 0;
        for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
            entries.push_back(log.substr(start, end - start));
        entries.push_back(log.substr(start));
        return entries;
    }

    static std::string LastLogEntry()
    {
        std::vector<std::string> entries = LogEntries();
        return entries.empty() ? std::string() : entries.back();
    }

    // Position in `recordedMessages` of the first WM_COMMAND from control `id`
    // at or after `from`; -1 when there is none.
    static int CommandIndex(int id, int from = 0)
    {
        for (int i = from; i < recordedMessageCount; i++)
            if (recordedMessages[i].message == WM_COMMAND && LOWORD(recordedMessages[i].wParam) == unsigned(id))
                return i;
        return -1;
    }

    static bool HaveSimulatedReader() { return !SimReaderName(0).empty() && !SimReaderName(1).empty(); }

    // Establish Context, List Devices, select the simulated reader `reader`
    // and Connect; the buttons then show the Card connected state.
    void Connect(int reader)
    {
        Command(IDC_ESTABLISH);
        Command(IDC_LIST_READERS);
        std::string name = SimReaderName(reader);
        char entry[SELECTED_READER_SIZE];
        for (int i = 0; i < ListGetCount(window, IDC_READER_LIST); i++) {
            ListGetText(window, IDC_READER_LIST, i, entry, sizeof entry);
            if (name == entry)
                ListSetCurSel(window, IDC_READER_LIST, i);
        }
        Command(IDC_CONNECT);
    }
};

// Skips a test outside scripts/with-sim-pcscd.
#define REQUIRE_SIMULATED_READER()                                                                                     \
    do {                                                                                                               \
        if (!HaveSimulatedReader())                                                                                    \
            GTEST_SKIP() << "needs the simulated reader (scripts/with-sim-pcscd)";                                     \
    } while (0)
