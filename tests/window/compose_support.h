// Support for the data-entry, dump, composer and transmit tests, on top of
// window_fixture.h:
//   - a spy on the `pcsc` table's Transmit that keeps every request it sees
//     and forwards to libpcsclite;
//   - ProgressObserver, which notes every write of the progress field and
//     its text at every paint of it;
//   - AnswerFileDialog, which answers the next file picker from a timer;
//   - ScratchFolder, a folder for the files a test writes;
//   - ComposeTest, the fixture with the spy installed and a scratch folder;
//     its TransmitAndWait waits for a loop's worker to end.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include "ui/widget_lookup.h"
#include "window/commands.h"
#include "window_fixture.h"

struct TransmitSpy {
    int calls;
    const SCARD_IO_REQUEST* lastPci;
    std::vector<std::vector<BYTE>> requests;  // every request, in order
    std::vector<LONG> statuses;
};

inline TransmitSpy transmitSpy;

inline LONG SpyTransmit(SCARDHANDLE card, const SCARD_IO_REQUEST* sendPci, LPCBYTE sendBuffer, DWORD sendLength,
                        SCARD_IO_REQUEST* recvPci, LPBYTE recvBuffer, LPDWORD recvLength)
{
    transmitSpy.calls++;
    transmitSpy.lastPci = sendPci;
    if (transmitSpy.requests.size() < 64)
        transmitSpy.requests.emplace_back(sendBuffer, sendBuffer + sendLength);
    LONG status = pcscLibrary.Transmit(card, sendPci, sendBuffer, sendLength, recvPci, recvBuffer, recvLength);
    transmitSpy.statuses.push_back(status);
    return status;
}

// Every write of the progress field (its text at each notification the
// write sends) and every paint of it (its text then), in order.
class ProgressObserver : public QObject {
public:
    explicit ProgressObserver(HWND window)
        : field(static_cast<QLineEdit*>(DialogItemWidget(window, IDC_LOOP_PROGRESS)))
    {
        field->installEventFilter(this);
        messageObserver = RecordWrite;
        current = this;
    }
    ~ProgressObserver() override
    {
        field->removeEventFilter(this);
        messageObserver = nullptr;
        current = nullptr;
    }

    std::vector<std::string> written;
    std::vector<std::string> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == field && event->type() == QEvent::Paint)
            painted.push_back(field->text().toStdString());
        return false;
    }

private:
    static void RecordWrite(UINT message, WPARAM wParam)
    {
        if (message == WM_COMMAND && LOWORD(wParam) == IDC_LOOP_PROGRESS)
            current->written.push_back(current->field->text().toStdString());
    }

    static inline ProgressObserver* current;
    QLineEdit* field;
};

// Answers the next file picker: chooses `path`, or cancels when it is empty.
// `afterAnswer` runs once the picker has been answered, before it returns.
inline void AnswerFileDialog(const std::string& path, std::function<void()> afterAnswer = {})
{
    auto answer = std::make_shared<std::function<void()>>();
    *answer = [path, afterAnswer, answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            QTimer::singleShot(10, *answer);
            return;
        }
        if (path.empty()) {
            dialog->reject();
        } else {
            dialog->selectFile(QString::fromStdString(path));
            // A refused choice shows a message box and leaves the picker open:
            // close both, so the test fails instead of waiting.
            QTimer::singleShot(200, dialog, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    box->reject();
            });
            static_cast<QDialog*>(dialog)->accept();  // the picker's own accept checks the choice
            if (dialog->isVisible())
                dialog->reject();
        }
        if (afterAnswer)
            afterAnswer();
        *answer = nullptr;  // breaks the cycle through the capture
    };
    QTimer::singleShot(0, *answer);
}

inline std::string HexDump(const std::vector<BYTE>& bytes)
{
    std::string text;
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        snprintf(pair, sizeof pair, "%02X ", bytes[i]);
        text += pair;
        if ((i + 1) % 64 == 0)
            text += "\r\n";
        else if ((i + 1) % 8 == 0)
            text += "  ";
    }
    return text;
}

// A folder of its own for the files a test writes; gone after the test.
class ScratchFolder {
public:
    std::string path;

    bool Create()
    {
        char folder[] = "/tmp/qtu-compose-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            return false;
        path = folder;
        return true;
    }

    bool Remove() { return system(("rm -rf '" + path + "'").c_str()) == 0; }

    std::string WriteFile(const std::string& name, const std::vector<BYTE>& bytes)
    {
        std::string file = path + "/" + name;
        FILE* stream = fopen(file.c_str(), "wb");
        EXPECT_NE(stream, nullptr);
        if (stream != nullptr) {
            if (!bytes.empty())
                fwrite(bytes.data(), 1, bytes.size(), stream);
            fclose(stream);
        }
        return file;
    }
};

class ComposeTest : public MainWindowTest {
protected:
    ScratchFolder folder;
    std::string scratch;

    void SetUp() override
    {
        MainWindowTest::SetUp();
        // A window repaints only once it is on screen, as it is by the time a user acts.
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window()));
        transmitSpy = {};
        pcsc.Transmit = SpyTransmit;
        ASSERT_TRUE(folder.Create());
        scratch = folder.path;
    }

    void TearDown() override
    {
        MainWindowTest::TearDown();
        ASSERT_TRUE(folder.Remove());
    }

    std::string WriteFile(const std::string& name, const std::vector<BYTE>& bytes)
    {
        return folder.WriteFile(name, bytes);
    }

    // Presses Select and Load File and answers the picker with `path`.
    void LoadFile(const std::string& path, std::function<void()> afterAnswer = {})
    {
        AnswerFileDialog(path, std::move(afterAnswer));
        Command(IDC_LOAD_FILE);
    }

    // The program writes the text, as set-up and the composer do.
    void SetText(int id, const std::string& text) { SetDlgItemText(window, id, text.c_str()); }

    // Presses Transmit; a loop's result is shown once its worker has ended.
    void TransmitAndWait()
    {
        Command(IDC_TRANSMIT);
        ASSERT_TRUE(QTest::qWaitFor([] { return !LoopRunning(); }, 60000)) << "the loop did not end";
    }

    // A click on an automatic check box toggles it, then notifies.
    void SetLoop(bool on, int count)
    {
        if (Checked(IDC_LOOP) != on)
            Click(IDC_LOOP);
        if (on)
            SetText(IDC_LOOP_COUNT, std::to_string(count));
    }

    // The log as one text: entries may hold CR LF breaks of their own.
    static std::string Log() { return tester.logText; }
    static bool LogEndsWith(const std::string& tail)
    {
        std::string log = Log();
        return log.size() >= tail.size() && log.compare(log.size() - tail.size(), tail.size(), tail) == 0;
    }
};

inline std::vector<BYTE> Pattern(size_t count)
{
    std::vector<BYTE> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = BYTE(i * 7 + 1);
    return bytes;
}
