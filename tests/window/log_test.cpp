// The log pane, Clear Log, Save Log and the Elapsed divisor of a timed call,
// through the real window.
#include <sys/mount.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include "core/output/log.h"
#include "core/output/result_text.h"
#include "core/transmit/transmit.h"
#include "window/window_output.h"
#include "window_fixture.h"

using LogTest = MainWindowTest;

// The pane gets only what each entry adds, and the whole log again when it
// restarts: either way it shows the log's text, line for line.
TEST_F(LogTest, PaneShowsTheLogAfterAppendsAndAfterARestart)
{
    auto* pane = static_cast<QPlainTextEdit*>(Widget(IDC_LOG));
    std::string nearlyFull(9960, 'n');
    for (const char* entry : {"first", "second\r\nline", "", nearlyFull.c_str(), "restarts the log", "after"}) {
        LogAppend(entry);
        std::string lines = tester.logText;
        for (size_t at; (at = lines.find("\r\n")) != std::string::npos;)
            lines.replace(at, 2, "\n");
        EXPECT_TRUE(pane->toPlainText().toStdString() == lines) << entry;
        EXPECT_EQ(Text(IDC_LOG), tester.logText);
    }
    EXPECT_STREQ(tester.logText, "restarts the log\r\nafter");
    // The log holds lines as the command line prints them: UTF-8 where
    // valid (the loop's micro sign), every other byte (a characters dump)
    // its Latin-1 character, also when a byte starts a sequence it does not
    // finish.
    LogAppend("Loop times (\xC2\xB5s)");
    LogAppend("caf\xE9 \xC3");
    EXPECT_EQ(pane->toPlainText(),
              QString::fromUtf8("restarts the log\nafter\nLoop times (\u00B5s)\ncaf\u00E9 \u00C3"));
}

// After each entry the pane shows the log's end, unless the reader has
// scrolled up: then the view stays on the lines being read.
TEST_F(LogTest, PaneFollowsTheEndUnlessScrolledUp)
{
    QScrollBar* bar = static_cast<QPlainTextEdit*>(Widget(IDC_LOG))->verticalScrollBar();
    for (int i = 0; i < 60; i++)
        LogAppend("entry");
    ASSERT_GT(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(5);
    LogAppend("while reading");
    EXPECT_EQ(bar->value(), 5);

    bar->setValue(bar->maximum());
    LogAppend("back at the end");
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(LogTest, ClearLogEmptiesThePaneAndShowsAnEmptyMeasurement)
{
    LogAppend("something");
    ShowStatus(SCARD_E_NO_SMARTCARD);
    EXPECT_EQ(Command(IDC_CLEAR_LOG), TRUE);
    EXPECT_STREQ(tester.logText, "");
    EXPECT_EQ(Text(IDC_LOG), "");
    EXPECT_EQ(Text(IDC_WIN_STATUS), "0x00000000");
    EXPECT_EQ(Text(IDC_ELAPSED), " 0.00 ms");
    LogAppend("after");
    EXPECT_STREQ(tester.logText, "after");
}

// Lasts at least 100 ms, then fails.
LONG SlowFailingEstablish(DWORD, LPCVOID, LPCVOID, LPSCARDCONTEXT)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return SCARD_E_NO_SERVICE;
}

// Only a loop divides its span by its runs: a connection call shows its
// whole time, whatever the loop count says. The call lasts at least 100 ms,
// which its time divided by 100 could reach only if the command took 10 s.
TEST_F(LogTest, ConnectionCallsAreNotDividedByTheLoopCount)
{
    pcsc.EstablishContext = SlowFailingEstablish;
    tester.loopEnabled = 1;
    tester.loopCount = 100;
    int64_t before = QueryPerformanceCounter();
    Command(IDC_ESTABLISH);
    double commandMs = double(QueryPerformanceCounter() - before) / double(tester.ticksPerMs);
    double shownMs = atof(Text(IDC_ELAPSED).c_str());
    EXPECT_GE(shownMs, 100.0) << Text(IDC_ELAPSED);
    EXPECT_LE(shownMs, commandMs + 0.005) << Text(IDC_ELAPSED) << " of a command of " << commandMs << " ms";
}

// Types `path` into the save dialog that opens next and accepts it.
void AnswerSaveDialog(const std::string& path)
{
    QTimer::singleShot(0, [path] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->objectName() == "SaveFileDialog") {
                widget->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(path));
                static_cast<QDialog*>(widget)->accept();
            }
        }
    });
}

// The file dialogs start in the documents folder, or home without one, not
// in the current folder: the desktop entry starts the program in its data
// folder, where nothing can be saved.
TEST_F(LogTest, FileDialogsStartInTheDocumentsFolder)
{
    QTemporaryDir home;
    std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
    const char* oldConfig = getenv("XDG_CONFIG_HOME");
    std::string oldConfigText = oldConfig ? oldConfig : "";
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit().constData(), 1);
    const struct {
        bool documents;
        int command;
        const char* dialog;
        const char* folder;
    } cases[] = {
        {false, IDC_SAVE_LOG, "SaveFileDialog", ""},           {false, IDC_LOAD_FILE, "OpenFileDialog", ""},
        {true, IDC_SAVE_LOG, "SaveFileDialog", "/Documents"},  {true, IDC_SAVE_SAMPLES, "SaveFileDialog", "/Documents"},
        {true, IDC_LOAD_FILE, "OpenFileDialog", "/Documents"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.command) + (c.documents ? " with Documents" : " without"));
        if (c.documents)
            QDir(home.path()).mkpath("Documents");
        QString seen;
        QTimer::singleShot(0, [&seen, &c] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->isVisible() && widget->objectName() == c.dialog) {
                    seen = static_cast<QFileDialog*>(widget)->directory().absolutePath();
                    static_cast<QDialog*>(widget)->reject();
                }
        });
        Command(c.command);
        EXPECT_EQ(seen.toStdString(), (home.path() + c.folder).toStdString());
    }
    setenv("HOME", oldHome.c_str(), 1);
    if (oldConfig)
        setenv("XDG_CONFIG_HOME", oldConfigText.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

// Save Log writes the log as the pane shows it, with Linux line ends, and the last loop's samples
// beside it, or nothing at all: a folder that refuses the files, and one
// that fills up half-way, leave no file and no part of one behind, and the
// log says why. The menu item and the panel's button both save.
TEST_F(LogTest, SaveLogWritesTheWholeLogOrNothing)
{
    const struct {
        const char* folder;
        int command;               // sent as WM_SYSCOMMAND for the menu item
        const char* mountOptions;  // a tmpfs of one page on the folder; null: none
        unsigned long mountFlags;
        const char* failure;  // null: saved
    } cases[] = {
        {"writable", IDM_SAVE_LOG, nullptr, 0, nullptr},
        {"read-only", IDC_SAVE_LOG, "size=4k", MS_RDONLY, "Read-only file system"},
        {"full", IDM_SAVE_LOG, "size=4k", 0, "No space left on device"},
    };
    // Longer than the one page of the full folder.
    for (int i = 0; i < 50; i++)
        LogAppend((std::to_string(i) + std::string(100, 'x')).c_str());
    LogAppend("last\r\nentry, caf\xE9 in Latin-1, Loop times (\xC2\xB5s)");
    // The file holds what the pane shows, in UTF-8.
    std::string expected = static_cast<QPlainTextEdit*>(Widget(IDC_LOG))->toPlainText().toStdString() + "\n";
    // Samples too many for the full folder's page.
    tester.loop.record.runsMade = LOOP_COUNT_MAX;

    QTemporaryDir top;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        std::string folder = top.filePath(c.folder).toStdString();
        std::filesystem::create_directory(folder);
        if (c.mountOptions && mount("tmpfs", folder.c_str(), "tmpfs", c.mountFlags, c.mountOptions) != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (scripts/with-sim-pcscd can): " << strerror(errno);
        std::string path = folder + "/saved.log";
        std::string samples = folder + "/saved.csv";
        std::string before = tester.logText;
        AnswerSaveDialog(path);
        if (c.command == IDM_SAVE_LOG)
            SendDialogMessage(window, WM_SYSCOMMAND, IDM_SAVE_LOG, 0);
        else
            Command(c.command);

        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        std::vector<std::string> entries = LogEntries();
        std::vector<std::string> reports(entries.end() - 2, entries.end());
        if (c.failure) {
            EXPECT_EQ(reports,
                      (std::vector<std::string> {"Cannot save " + path + ": " + c.failure + ".",
                                                 "Cannot save " + samples + ": " + c.failure + "."}));
            EXPECT_TRUE(names.empty()) << names.front();
        } else {
            EXPECT_EQ(reports,
                      (std::vector<std::string> {"Log saved to " + path + ".", "5000 runs saved to " + samples + "."}));
            EXPECT_EQ(names, (std::vector<std::string> {"saved.csv", "saved.log"}));
            std::ostringstream saved;
            saved << std::ifstream(path).rdbuf();
            EXPECT_EQ(saved.str(), expected);
        }
        if (c.mountOptions)
            umount(folder.c_str());
        strcpy(tester.logText, before.c_str());
    }
    tester.loop.record.runsMade = 0;
}
