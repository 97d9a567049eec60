// The insight panel: the logarithmic bins and the CSV file (cores, no
// window), then the panel in the window: shown and hidden without moving
// the fixed layout, its charts fed from the loop's record, Save Samples,
// and its Card and Reader page against the simulated reader.
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QAccessible>
#include <QAreaSeries>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>

#include "compose_support.h"
#include "core/output/histogram.h"
#include "core/output/samples_csv.h"
#include "core/transmit/transmit.h"
#include "ui/templates.h"
#include "window/card_page.h"
#include "window/panel.h"

namespace {

TEST(LoopHistogram, BinsFollowTheLogGridAndHoldEveryTime)
{
    const double step = std::pow(10.0, 1.0 / 20);
    struct Case {
        const char* what;
        std::vector<int64_t> ns;
        int32_t capacity;
        double firstEdgeUs;             // upper edge of bin 0, where bin 1 starts
        std::vector<int32_t> nonEmpty;  // the bins holding times, after bin 0
        std::vector<int32_t> counts;    // their counts
        int32_t bins;
    } cases[] = {
        {"one time on an edge", {10000, 10000, 10000}, 100, 10.0, {1}, {3}, 2},
        {"just below an edge, and on it", {9999, 10000}, 100, 10.0 / step, {1, 2}, {1, 1}, 3},
        {"a bulk and an outlier", {10000, 5000000, 10000, 10500}, 100, 10.0, {1, 54}, {3, 1}, 55},
        {"below 1 ns counts as 1 ns", {0, -5, 1}, 100, 0.001, {1}, {3}, 2},
        {"beyond the capacity into the last bin", {10000, 1000000000, 12000}, 4, 10.0, {1, 2, 3}, {1, 1, 1}, 4},
        {"no times", {}, 100, 0, {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        double edges[101];
        int32_t counts[101];
        std::fill(counts, counts + 101, -1);
        int32_t bins = BinLogScaled(c.ns.data(), int32_t(c.ns.size()), edges, counts, c.capacity);
        ASSERT_EQ(bins, c.bins);
        EXPECT_EQ(counts[bins], -1) << "nothing beyond the bins";
        if (bins == 0)
            continue;
        EXPECT_NEAR(edges[0], c.firstEdgeUs, c.firstEdgeUs * 1e-9);
        EXPECT_EQ(counts[0], 0);
        for (int32_t bin = 1; bin < bins; ++bin)
            EXPECT_NEAR(edges[bin] / edges[bin - 1], step, 1e-9) << bin;
        std::vector<int32_t> nonEmpty, held;
        for (int32_t bin = 1; bin < bins; ++bin)
            if (counts[bin] != 0) {
                nonEmpty.push_back(bin);
                held.push_back(counts[bin]);
            }
        EXPECT_EQ(nonEmpty, c.nonEmpty);
        EXPECT_EQ(held, c.counts);
    }
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The file is whole or untouched: a write that fails part way (here at a
// file size limit) leaves the old file and no temporary one.
TEST(SamplesCsv, WrittenWholeOrNotAtAll)
{
    char folder[] = "/tmp/qtu-csv-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string target = std::string(folder) + "/samples.csv";
    static int64_t ns[LOOP_COUNT_MAX];
    static LONG status[LOOP_COUNT_MAX];
    static uint16_t sw[LOOP_COUNT_MAX];
    ns[0] = 10350, ns[1] = 250000, ns[2] = 9999999999;
    status[1] = LONG(SCARD_E_NOT_TRANSACTED);
    sw[0] = 0x9000, sw[2] = 0x6A82;
    const std::string three = "run,ns,pcsc,sw\n1,10350,0x00000000,90 00\n2,250000,0x80100016,\n"
                              "3,9999999999,0x00000000,6A 82\n";
    struct Case {
        const char* what;
        std::string path;
        int32_t runs;
        rlim_t sizeLimit;  // RLIM_INFINITY: none
        int error;
        std::string content;  // of the target afterwards
    } cases[] = {
        {"three runs", target, 3, RLIM_INFINITY, 0, three},
        {"a write fails part way", target, LOOP_COUNT_MAX, 4096, EFBIG, three},
        {"no such folder", std::string(folder) + "/gone/samples.csv", 3, RLIM_INFINITY, ENOENT, three},
    };
    mode_t mask = umask(022);
    signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limited = {c.sizeLimit, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        int error = WriteSamplesCsv(c.path.c_str(), ns, status, sw, c.runs);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(error, c.error) << strerror(error);
        EXPECT_EQ(FileText(target), c.content);
        struct stat info { };
        stat(target.c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0644u);
        std::string listing = "ls -A '" + std::string(folder) + "' | grep -vx samples.csv";
        EXPECT_NE(system(listing.c_str()), 0) << "a temporary file was left";
    }
    signal(SIGXFSZ, SIG_DFL);
    umask(mask);
    EXPECT_EQ(system(("rm -rf '" + std::string(folder) + "'").c_str()), 0);
}

using PanelTest = ComposeTest;

const int panelControls[] = {IDC_GROUP_INSIGHT, IDC_EXPECTED_SW_LABEL, IDC_EXPECTED_SW, IDC_SAVE_SAMPLES,
                             IDC_HISTOGRAM,     IDC_TIME_SERIES,       IDC_LOOP_SUMMARY};

TEST_F(PanelTest, ButtonF2AndMenuToggleItWithTheFixedLayoutInPlace)
{
    HMENU menu = GetSystemMenu(window);
    char text[64];
    GetMenuString(menu, GetMenuItemCount(menu) - 3, text, sizeof text);
    EXPECT_STREQ(text, "Insight Panel\tF2");
    EXPECT_EQ(GetMenuItemID(menu, GetMenuItemCount(menu) - 3), UINT(IDM_INSIGHT));

    Window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window()));
    // At the screen's top left corner the window has no reason to move.
    Window()->move(Window()->screen()->availableGeometry().topLeft());
    QPoint origin = Window()->pos();
    QSize narrow = Window()->size();
    const DialogTemplate* main = FindDialogTemplate(IDD_MAIN);
    std::vector<QRect> fixed;
    for (int i = 0; i < main->controlCount && main->controls[i].x < main->width; ++i)
        fixed.push_back(Widget(main->controls[i].id)->geometry());

    enum Trigger { Button, F2, Menu };
    const struct {
        Trigger trigger;
        bool shown;
    } steps[] = {{Button, true}, {F2, false}, {F2, true}, {Menu, false}, {Menu, true}, {Button, false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "trigger " << step.trigger << (step.shown ? " shows" : " hides"));
        // A focus inside the panel goes to its button when the panel hides.
        QWidget* focused = Widget(step.shown ? IDC_LOOP : IDC_EXPECTED_SW);
        focused->setFocus();
        if (step.trigger == Button)
            Click(IDC_INSIGHT);
        else if (step.trigger == F2)
            QTest::keyClick(focused, Qt::Key_F2);
        else
            SendDialogMessage(window, WM_SYSCOMMAND, IDM_INSIGHT, 0);
        EXPECT_EQ(IsDialogPanelShown(window), step.shown);
        EXPECT_EQ(Text(IDC_INSIGHT), step.shown ? "Insi&ght <<" : "Insi&ght >>");
        if (!step.shown) {
            EXPECT_EQ(QApplication::focusWidget(), Widget(IDC_INSIGHT));
        }
        for (int id : panelControls)
            EXPECT_EQ(Widget(id)->isVisibleTo(Window()), step.shown) << id;
        EXPECT_EQ(Window()->pos(), origin);
        EXPECT_EQ(Window()->height(), narrow.height());
        EXPECT_EQ(Window()->width() > Widget(IDC_GROUP_INSIGHT)->geometry().right(), step.shown);
        EXPECT_EQ(Window()->width() == narrow.width(), !step.shown);
        for (size_t i = 0; i < fixed.size(); ++i)
            EXPECT_EQ(Widget(main->controls[i].id)->geometry(), fixed[i]) << main->controls[i].name;
    }
}

// Opened at the screen's right edge, the panel would run off it:
// the window moves back inside the available area (or to its left edge when
// wider than it), keeps its size and its fixed layout, and stays where it
// went when the panel closes.
TEST_F(PanelTest, OpeningMovesTheWindowInsideTheScreen)
{
    QRect area = Window()->screen()->availableGeometry();
    QSize narrow = Window()->size();
    QRect establish = Widget(IDC_ESTABLISH)->geometry();
    Window()->move(area.right() + 1 - Window()->frameGeometry().width(), area.top());
    QRect before = Window()->frameGeometry();
    ASSERT_EQ(before.right(), area.right());

    Click(IDC_INSIGHT);
    ASSERT_TRUE(IsDialogPanelShown(window));
    QRect frame = Window()->frameGeometry();
    EXPECT_GT(frame.width(), before.width());
    EXPECT_TRUE(frame.right() <= area.right() || frame.left() == area.left()) << frame.left() << " " << frame.right();
    EXPECT_GE(frame.left(), area.left());
    EXPECT_EQ(frame.top(), before.top());
    EXPECT_EQ(Widget(IDC_ESTABLISH)->geometry(), establish);

    QPoint moved = Window()->pos();
    Click(IDC_INSIGHT);
    EXPECT_EQ(Window()->size(), narrow);
    EXPECT_EQ(Window()->pos(), moved);
}

// Fills the record as a loop of `made` runs out of `planned` leaves it;
// what lies beyond the runs made is stale and must not show.
void FillRecord(int32_t planned, const std::vector<int64_t>& ticks)
{
    LoopRecord& record = tester.loop.record;
    record.runsPlanned = planned;
    record.runsMade = int32_t(ticks.size());
    for (int32_t run = 0; run < planned; ++run) {
        record.ticks[run] = run < int32_t(ticks.size()) ? ticks[size_t(run)] : 777000000;
        record.status[run] = SCARD_S_SUCCESS;
        record.sw[run] = 0x9000;
    }
}

TEST_F(PanelTest, ChartsShowTheRunsMade)
{
    auto chart = [this](int id) { return static_cast<QChartView*>(Widget(id))->chart(); };
    // Before any loop the charts say so rather than stand blank.
    auto saysEmpty = [this](int id) {
        auto* label = Widget(id)->findChild<QLabel*>(QStringLiteral("emptyText"));
        return label && label->isVisibleTo(Widget(id)) && label->text() == "No loop yet";
    };
    EXPECT_TRUE(saysEmpty(IDC_HISTOGRAM));
    EXPECT_TRUE(saysEmpty(IDC_TIME_SERIES));
    FillRecord(6, {10000, 10000, 12000, 5000000});
    ShowLoopCharts();
    EXPECT_FALSE(saysEmpty(IDC_HISTOGRAM));
    EXPECT_FALSE(saysEmpty(IDC_TIME_SERIES));
    ASSERT_EQ(chart(IDC_HISTOGRAM)->series().size(), 1);
    auto* area = static_cast<QAreaSeries*>(chart(IDC_HISTOGRAM)->series().first());
    double runs = 0;
    for (const QPointF& point : area->upperSeries()->points())
        runs += point.y() >= 1 ? point.y() / 2 : 0;  // each bin is two points
    EXPECT_EQ(runs, 4);
    EXPECT_LE(area->upperSeries()->points().back().x(), 6000.0);

    ASSERT_EQ(chart(IDC_TIME_SERIES)->series().size(), 1);
    QList<QPointF> times = static_cast<QLineSeries*>(chart(IDC_TIME_SERIES)->series().first())->points();
    ASSERT_EQ(times.size(), 4);
    EXPECT_EQ(times.front(), QPointF(1, 10.0));
    EXPECT_EQ(times.back(), QPointF(4, 5000.0));
    EXPECT_TRUE(Enabled(IDC_SAVE_SAMPLES));

    FillRecord(6, {});
    ShowLoopCharts();
    EXPECT_TRUE(chart(IDC_HISTOGRAM)->series().isEmpty());
    EXPECT_TRUE(chart(IDC_TIME_SERIES)->series().isEmpty());
    EXPECT_TRUE(saysEmpty(IDC_HISTOGRAM));
    EXPECT_FALSE(Enabled(IDC_SAVE_SAMPLES));
}

TEST_F(PanelTest, SaveSamplesWritesTheRunsMadeOrSaysWhyNot)
{
    FillRecord(5, {10000, 11000, 12000});
    ShowLoopCharts();
    WriteFile("plain", {});
    const struct {
        std::string typed;
        std::string file;  // "": none is written
        std::string logged;
    } cases[] = {
        {scratch + "/run", scratch + "/run.csv", "3 runs saved to " + scratch + "/run.csv."},
        {scratch + "/plain/run.csv", "", "Cannot save " + scratch + "/plain/run.csv: Not a directory."},
    };
    for (const auto& c : cases) {
        AnswerFileDialog(c.typed);
        Click(IDC_SAVE_SAMPLES);
        EXPECT_EQ(LastLogEntry(), c.logged);
        if (!c.file.empty()) {
            EXPECT_EQ(FileText(c.file),
                      "run,ns,pcsc,sw\n1,10000,0x00000000,90 00\n2,11000,0x00000000,90 00\n"
                      "3,12000,0x00000000,90 00\n");
        }
    }
}

class CardPageTest : public PanelTest {
protected:
    void TearDown() override
    {
        PanelTest::TearDown();
        SimReset(0);
        SimWaitForCard(0, true);
    }

    std::vector<std::string> Events()
    {
        std::vector<std::string> lines;
        char line[512];
        for (int i = 0; i < ListGetCount(window, IDC_CARD_EVENTS); ++i) {
            ListGetText(window, IDC_CARD_EVENTS, i, line, sizeof line);
            lines.push_back(line);
        }
        return lines;
    }

    // The index of the first listed event at or after `from` that holds
    // every part, -1 when none comes (the wait guards against a hang only).
    int WaitForEvent(const std::vector<std::string>& parts, size_t from = 0)
    {
        int found = -1;
        (void)QTest::qWaitFor(
            [&] {
                std::vector<std::string> lines = Events();
                for (size_t i = from; i < lines.size() && found < 0; ++i) {
                    bool all = true;
                    for (const std::string& part : parts)
                        all = all && lines[i].find(part) != std::string::npos;
                    if (all)
                        found = int(i);
                }
                return found >= 0;
            },
            20000);
        return found;
    }

    // The watcher's thread runs: from the start until the stop has joined it.
    static bool Watching() { return tester.cardPage.watcher.thread.joinable(); }

    void SelectReader(int reader)
    {
        char entry[SELECTED_READER_SIZE];
        for (int i = 0; i < ListGetCount(window, IDC_READER_LIST); i++) {
            ListGetText(window, IDC_READER_LIST, i, entry, sizeof entry);
            if (SimReaderName(reader) == entry)
                ListSetCurSel(window, IDC_READER_LIST, i);
        }
    }
};

// What the card page shows follows the reader: a failed call by name, the
// card's ATR decoded, a 6A 82 answer by meaning, the card's removal and
// return in order with its ATR, the connected reader marked when its card
// left; and the watcher goes with the context and with the window.
TEST_F(CardPageTest, FollowsTheReaderAndStopsWithTheContext)
{
    REQUIRE_SIMULATED_READER();
    const std::string reader = SimReaderName(0);
    const std::string atr = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";
    QTest::keyClick(Window(), Qt::Key_F3);
    EXPECT_TRUE(IsDialogPanelShown(window));
    EXPECT_TRUE(Widget(IDC_CARD_EVENTS)->isVisibleTo(Window()));
    EXPECT_FALSE(Widget(IDC_HISTOGRAM)->isVisibleTo(Window()));
    // The open page's button is checked, to the eye and to a screen reader;
    // a click on the open page's button leaves it so.
    const struct {
        int clicked;  // 0: none, the F3 above
        bool card;
    } pages[] = {{0, true}, {IDC_PAGE_LOOP, false}, {IDC_PAGE_LOOP, false}, {IDC_PAGE_CARD, true}};
    for (const auto& page : pages) {
        if (page.clicked)
            Click(page.clicked);
        for (int id : {IDC_PAGE_LOOP, IDC_PAGE_CARD}) {
            bool open = (id == IDC_PAGE_CARD) == page.card;
            EXPECT_EQ(IsDlgButtonChecked(window, id), open) << page.clicked << " " << id;
            QAccessibleInterface* button = QAccessible::queryAccessibleInterface(Widget(id));
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->role(), QAccessible::RadioButton);
            EXPECT_EQ(bool(button->state().checked), open) << page.clicked << " " << id;
        }
        EXPECT_EQ(Widget(IDC_CARD_EVENTS_LABEL)->isVisibleTo(Window()), page.card);
    }

    Command(IDC_ESTABLISH);
    EXPECT_TRUE(Watching());
    Command(IDC_LIST_READERS);
    SelectReader(1);
    Command(IDC_CONNECT);
    const std::string noCard = "0x8010000C SCARD_E_NO_SMARTCARD: No smart card inserted.";
    EXPECT_EQ(Text(IDC_WIN_STATUS), "0x8010000C");
    EXPECT_EQ(Widget(IDC_WIN_STATUS)->toolTip().toStdString(), noCard);
    EXPECT_EQ(Widget(IDC_WIN_STATUS)->accessibleDescription().toStdString(), noCard);
    EXPECT_EQ(Text(IDC_LAST_RESULT), "Last call: " + noCard + "\r\n");

    SelectReader(0);
    Command(IDC_CONNECT);
    EXPECT_EQ(Text(IDC_ATR_DECODED).rfind("TS = 3B", 0), 0u) << Text(IDC_ATR_DECODED);
    Command(IDC_MODE_HEX);
    SetText(IDC_HEX_DATA, "00 A4 04 00 05 F0 01 02 03 04");
    Command(IDC_TRANSMIT);
    EXPECT_NE(Text(IDC_LAST_RESULT).find("\r\nLast response: 6A 82: File or application not found"), std::string::npos)
        << Text(IDC_LAST_RESULT);

    SimSetCard(0, false);
    int removed = WaitForEvent({"Card removed", reader});
    ASSERT_GE(removed, 0);
    EXPECT_TRUE(IsDlgItemMarked(window, IDC_CONNECTED_READER));
    EXPECT_EQ(Text(IDC_CONNECTED_READER), reader);
    EXPECT_EQ(Widget(IDC_CONNECTED_READER)->toolTip(), "The card has left this reader.");
    // The 6A 82 belonged to the call before: a failed call clears it.
    Command(IDC_TRANSMIT);
    EXPECT_NE(Text(IDC_WIN_STATUS), "0x00000000");
    EXPECT_EQ(Text(IDC_LAST_RESULT).find("Last response"), std::string::npos) << Text(IDC_LAST_RESULT);
    SimSetCard(0, true);
    EXPECT_GT(WaitForEvent({reader, atr}, size_t(removed) + 1), removed) << ::testing::PrintToString(Events());
    EXPECT_EQ(
        Text(IDC_TAP_MEASURE).rfind("Arrivals: 1  Removals: 1\r\nChanges not seen: 0\r\n(taps shorter than pcscd's", 0),
        0u)
        << Text(IDC_TAP_MEASURE);
    // The counters and their note are read whole, inside the card page's box.
    auto* taps = static_cast<QPlainTextEdit*>(Widget(IDC_TAP_MEASURE));
    EXPECT_EQ(taps->verticalScrollBar()->maximum(), 0) << Text(IDC_TAP_MEASURE);
    EXPECT_EQ(taps->horizontalScrollBar()->maximum(), 0);
    EXPECT_TRUE(Widget(IDC_GROUP_CARD)->geometry().contains(taps->geometry()));
    EXPECT_NE(taps->toolTip().indexOf("reads 0.0 ms"), -1) << taps->toolTip().toStdString();
    Click(IDC_CLEAR_EVENTS);
    EXPECT_EQ(ListGetCount(window, IDC_CARD_EVENTS), 0);

    Command(IDC_RELEASE);
    EXPECT_FALSE(Watching());
    EXPECT_FALSE(IsDlgItemMarked(window, IDC_CONNECTED_READER));
    Command(IDC_ESTABLISH);
    EXPECT_TRUE(Watching());
    DestroyDialog(window);
    window = nullptr;
    EXPECT_FALSE(Watching());
}

// The Reader Control page's controls reach the cores: F4 opens it with its
// button checked; each row sets controls, acts on the simulated card and is
// judged by what the window shows.
TEST_F(CardPageTest, ReaderControlPageDrivesTheConnectionAndTheReader)
{
    REQUIRE_SIMULATED_READER();
    QTest::keyClick(Window(), Qt::Key_F4);
    EXPECT_TRUE(IsDialogPanelShown(window));
    for (int id : {IDC_PAGE_LOOP, IDC_PAGE_CARD, IDC_PAGE_CONTROL})
        EXPECT_EQ(Checked(id), id == IDC_PAGE_CONTROL) << id;
    EXPECT_TRUE(Widget(IDC_SEND_CONTROL)->isVisibleTo(Window()));
    EXPECT_FALSE(Widget(IDC_CARD_EVENTS)->isVisibleTo(Window()));
    EXPECT_FALSE(Enabled(IDC_COLD_RESET));

    const struct {
        const char* name;
        std::function<void()> before;  // controls set (and sim settings) before Connect
        std::function<void()> act;     // once connected
        const char* logged;            // in the log's entries after `act`
        std::function<void()> check;   // more of what the window shows; may be null
    } rows[] = {
        {"shared connect", [&] { Click(IDC_SHARE_SHARED); }, [] {}, "SCardConnect: OK",
         [&] {
             SCARDCONTEXT other;
             ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &other), SCARD_S_SUCCESS);
             SCARDHANDLE card;
             DWORD protocol;
             EXPECT_EQ(
                 SCardConnect(other, SimReaderName(0).c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T1, &card, &protocol),
                 SCARD_S_SUCCESS);
             SCardReleaseContext(other);
             Click(IDC_SHARE_EXCLUSIVE);
         }},
        {"cold reset swaps the ATR", [] { SimSetAtrAfterColdReset(0, true); },
         [&] {
             std::string before = Text(IDC_ATR);
             Click(IDC_COLD_RESET);
             EXPECT_NE(Text(IDC_ATR), before);
         },
         "ATR changed.", nullptr},
        {"class FF and GENERAL AUTHENTICATE",
         [&] {
             Click(IDC_CLASS_FF);
             Click(IDC_GENERAL_AUTH);
         },
         [&] {
             Command(IDC_TYPE_STORAGE);
             Command(IDC_CMD_AUTH);
             Command(IDC_TRANSMIT);
         },
         "SCardTransmit: Input:",
         [&] {
             EXPECT_EQ(tester.sendBuffer[0], 0xFF);
             EXPECT_EQ(tester.sendBuffer[1], 0x86);
             Click(IDC_CLASS_00);
             EXPECT_FALSE(Checked(IDC_GENERAL_AUTH));
             EXPECT_FALSE(Enabled(IDC_GENERAL_AUTH));
         }},
        {"features", [] {}, [&] { Click(IDC_FEATURES); }, "FEATURE_CCID_ESC_COMMAND", nullptr},
        {"bad control code", [] {},
         [&] {
             SetText(IDC_CONTROL_CODE, "SCARD_CTL_CODE(x)");
             SetText(IDC_CONTROL_HEX, "01");
             size_t entries = LogEntries().size();
             Click(IDC_SEND_CONTROL);
             EXPECT_EQ(LogEntries().size(), entries + 1);
         },
         "Control code \"SCARD_CTL_CODE(x)\":", nullptr},
        {"odd control hex", [] {},
         [&] {
             SetText(IDC_CONTROL_CODE, "SCARD_CTL_CODE(3400)");
             SetText(IDC_CONTROL_HEX, "0");
             size_t entries = LogEntries().size();
             Click(IDC_SEND_CONTROL);
             EXPECT_EQ(LogEntries().size(), entries + 1);
         },
         "Control bytes: odd number of hex digits; nothing sent.", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.before();
        Connect(0);
        EXPECT_TRUE(Enabled(IDC_COLD_RESET));
        row.act();
        bool found = false;
        for (const std::string& entry : LogEntries())
            found = found || entry.find(row.logged) != std::string::npos;
        EXPECT_TRUE(found) << row.logged << "\n" << tester.logText;
        if (row.check)
            row.check();
        Command(IDC_RELEASE);
        Command(IDC_CLEAR_LOG);
        SimReset(0);
        SimWaitForCard(0, true);
    }
}

}  // namespace
