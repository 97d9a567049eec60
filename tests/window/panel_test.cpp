// The insight panel: the logarithmic bins and the CSV file (cores, no
// window), then the panel in the window: shown and hidden without moving
// the fixed layout, its charts fed from the loop's record, Save Samples,
// its Card and Reader page against the simulated reader, and its Qualify
// page running plans on the simulated card.
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
#include <QElapsedTimer>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QScatterSeries>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>

#include "compose_support.h"
#include "core/output/histogram.h"
#include "core/output/samples_csv.h"
#include "core/transmit/transmit.h"
#include "ui/templates.h"
#include "window/card_page.h"
#include "window/panel.h"
#include "window/qualify_page.h"

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

// The Qualify page against the simulated card: a plan is run by the page's
// worker and judged as the command line judges it.
class PanelQualifyTest : public CardPageTest {
protected:
    // Opens the page (F5), connects reader 0 and chooses a plan of `text`.
    void Prepare(const std::string& text, bool connect = true)
    {
        QTest::keyClick(Window(), Qt::Key_F5);
        ASSERT_TRUE(Widget(IDC_VERDICTS)->isVisibleTo(Window()));
        if (connect)
            Connect(0);
        std::string path = WriteFile("plan.txt", std::vector<BYTE>(text.begin(), text.end()));
        SetText(IDC_PLAN_PATH, path);
        Command(IDC_CLEAR_LOG);
    }

    std::string Cell(int table, int row, int column)
    {
        char text[256];
        TableGetText(window, table, row, column, text, sizeof text);
        return text;
    }

    // A click on row `row` of the verdict table, as a user selects it.
    void ClickRow(int row)
    {
        auto* table = static_cast<QTableWidget*>(Widget(IDC_VERDICTS));
        QRect cell = table->visualRect(table->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    }

    QList<QAbstractSeries*> ChartSeries()
    {
        return static_cast<QChartView*>(Widget(IDC_QUALIFY_CHART))->chart()->series();
    }

    static bool WaitForRunEnd(int ms = 60000)
    {
        return QTest::qWaitFor([] { return !QualifyRunning(); }, ms);
    }
};

const char SHORT_PLAN[] = "suite stability apdu=FFCA000000 runs=50 expect=9000\n"
                          "limit failures = 0\n"
                          "limit median_us < 1000000\n"
                          "suite sweep le header=FFB00000 from=1 to=16 runs=2\n"
                          "limit failed_lengths = 0\n"
                          "suite power cycles=3\n"
                          "limit max_ms < 0.000001\n";

std::vector<std::string> FileLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream text(FileText(path));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

// A short plan runs suite by suite: while it runs nothing else reaches the
// card, then the table, the log, the selected suite's limits and chart and
// the saved files hold what it measured; a plan refused afterwards leaves
// that run as it was.
TEST_F(PanelQualifyTest, ShortPlanFillsTheTableTheLogAndTheFiles)
{
    REQUIRE_SIMULATED_READER();
    Prepare(SHORT_PLAN);
    for (int id : {IDC_PAGE_LOOP, IDC_PAGE_CARD, IDC_PAGE_CONTROL, IDC_PAGE_QUALIFY})
        EXPECT_EQ(Checked(id), id == IDC_PAGE_QUALIFY) << id;
    Click(IDC_RUN_PLAN);
    ASSERT_TRUE(QualifyRunning());
    for (int id : {IDC_TRANSMIT, IDC_DISCONNECT, IDC_COLD_RESET, IDC_RUN_PLAN, IDC_OPEN_PLAN, IDC_SAVE_JSON}) {
        EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_EQ(Command(id), FALSE) << id;
    }
    EXPECT_TRUE(Enabled(IDC_STOP_PLAN));
    ASSERT_TRUE(WaitForRunEnd());

    const struct {
        const char* id;
        const char* kind;
        const char* verdict;
        const char* measured;  // how the key value starts
        const char* limits;
        size_t points;  // of the chart's first series
    } rows[] = {
        {"stability-1", "stability", "pass", "median_us ", "2 pass, 0 fail", 50},
        {"sweep-2", "sweep", "pass", "per_byte_us ", "1 pass, 0 fail", 32},
        {"power-3", "power", "fail", "median_ms ", "0 pass, 1 fail", 3},
    };
    ASSERT_EQ(TableGetCount(window, IDC_VERDICTS), 3);
    // The last row stays selected as the run goes on.
    EXPECT_EQ(TableGetCurSel(window, IDC_VERDICTS), 2);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(rows[row].id);
        EXPECT_EQ(Cell(IDC_VERDICTS, row, 0), rows[row].id);
        EXPECT_EQ(Cell(IDC_VERDICTS, row, 1), rows[row].kind);
        EXPECT_EQ(Cell(IDC_VERDICTS, row, 2), rows[row].verdict);
        EXPECT_EQ(Cell(IDC_VERDICTS, row, 3).rfind(rows[row].measured, 0), 0u) << Cell(IDC_VERDICTS, row, 3);
        EXPECT_EQ(Cell(IDC_VERDICTS, row, 4), rows[row].limits);
        ClickRow(row);
        EXPECT_EQ(TableGetCount(window, IDC_LIMIT_DETAILS), row == 0 ? 2 : 1);
        QList<QAbstractSeries*> series = ChartSeries();
        ASSERT_EQ(series.size(), row == 1 ? 2 : 1);
        EXPECT_EQ(size_t(static_cast<QXYSeries*>(series[0])->count()), rows[row].points);
    }
    // The sweep: its times as dots, and its fitted line across its lengths.
    ClickRow(1);
    EXPECT_NE(qobject_cast<QScatterSeries*>(ChartSeries()[0]), nullptr);
    QList<QPointF> line = static_cast<QLineSeries*>(ChartSeries()[1])->points();
    ASSERT_EQ(line.size(), 2);
    EXPECT_EQ(line[0].x(), 1);
    EXPECT_EQ(line[1].x(), 16);
    // The power suite's one limit, measured, against its bound.
    ClickRow(2);
    EXPECT_EQ(Cell(IDC_LIMIT_DETAILS, 0, 0), "max_ms");
    EXPECT_EQ(Cell(IDC_LIMIT_DETAILS, 0, 1), "< 0.000");
    EXPECT_NE(Cell(IDC_LIMIT_DETAILS, 0, 2), "none");
    EXPECT_EQ(Cell(IDC_LIMIT_DETAILS, 0, 3).rfind('-', 0), 0u) << "a failed limit's margin is negative";
    EXPECT_EQ(Cell(IDC_LIMIT_DETAILS, 0, 4), "fail");

    std::vector<std::string> entries = LogEntries();
    auto at = [&](const std::string& start) {
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].rfind(start, 0) == 0)
                return int(i);
        return -1;
    };
    EXPECT_EQ(at("Qualify: " + scratch + "/plan.txt, 3 suites on " + SimReaderName(0) + "."), 0);
    EXPECT_EQ(at("Environment:"), 1);
    EXPECT_GT(at("stability-1 (stability, line 1): pass, 50 of 50 exchanges"), at("  Date: "));
    EXPECT_GT(at("power-3 (power, line 6): fail, 3 of 3 cycles"), at("sweep-2 (sweep, line 4): pass, 32 of 32"));
    EXPECT_EQ(at("Verdicts: 2 pass, 1 fail, 0 inconclusive"), int(entries.size()) - 2);
    EXPECT_EQ(entries.back(), QUALIFY_CAVEAT);
    EXPECT_EQ(Text(IDC_QUALIFY_STATUS), "Verdicts: 2 pass, 1 fail, 0 inconclusive");
    for (int id : {IDC_TRANSMIT, IDC_DISCONNECT, IDC_COLD_RESET, IDC_RUN_PLAN, IDC_SAVE_JSON, IDC_SAVE_JUNIT})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(IDC_STOP_PLAN));
    EXPECT_FALSE(Enabled(IDC_CONNECT));

    // The files hold the suites as --json and --junit write them.
    auto checkFiles = [&](const std::string& name) {
        AnswerFileDialog(scratch + "/" + name + ".jsonl");
        Click(IDC_SAVE_JSON);
        EXPECT_EQ(LastLogEntry(), "3 suites saved to " + scratch + "/" + name + ".jsonl.");
        std::vector<std::string> json = FileLines(scratch + "/" + name + ".jsonl");
        ASSERT_EQ(json.size(), 4u);
        EXPECT_NE(json[0].find("\"type\":\"environment\""), std::string::npos) << json[0];
        for (int row = 0; row < 3; ++row) {
            EXPECT_NE(json[size_t(row) + 1].find(std::string("\"id\":\"") + rows[row].id + "\""), std::string::npos);
            EXPECT_NE(json[size_t(row) + 1].find(std::string("\"verdict\":\"") + rows[row].verdict + "\""),
                      std::string::npos);
        }
        AnswerFileDialog(scratch + "/" + name + ".xml");
        Click(IDC_SAVE_JUNIT);
        EXPECT_EQ(LastLogEntry(), "3 suites saved to " + scratch + "/" + name + ".xml.");
        std::string xml = FileText(scratch + "/" + name + ".xml");
        EXPECT_NE(xml.find("<testcase classname=\"qualify.sweep\" name=\"sweep-2\""), std::string::npos) << xml;
        EXPECT_EQ(xml.find("<failure"), xml.rfind("<failure")) << "one suite failed";
        EXPECT_NE(xml.find("<failure"), std::string::npos);
    };
    checkFiles("run");
    AnswerFileDialog(scratch + "/plan.txt/run.xml");
    Click(IDC_SAVE_JUNIT);
    EXPECT_EQ(LastLogEntry(), "Cannot save " + scratch + "/plan.txt/run.xml: Not a directory.");

    WriteFile("plan.txt", {'s', 'u', 'i', 't', 'e', ' ', 'x', '\n'});
    Click(IDC_RUN_PLAN);
    EXPECT_FALSE(QualifyRunning());
    EXPECT_EQ(TableGetCount(window, IDC_VERDICTS), 3);
    checkFiles("again");
}

// A plan that does not read, no plan, or no card: the log and the page say
// why, and nothing reaches the card.
TEST_F(PanelQualifyTest, RefusedRunsSayWhyAndSendNothing)
{
    REQUIRE_SIMULATED_READER();
    const struct {
        const char* what;
        std::string plan;  // the file's text
        bool connect;
        std::string path;  // "": the file written; else what the field holds
        std::string said;  // after the plan's path, or whole when it starts with "Qualify:"
    } rows[] = {
        {"bad line", "suite stability apdu=00B0000010\nsuite tapp\n", true, "",
         ":2: unknown suite \"tapp\" (stability, sweep, power, tap or removal)"},
        {"no such file", SHORT_PLAN, true, "/nonexistent/plan.txt", ": No such file or directory"},
        {"empty field", SHORT_PLAN, true, "-", "Qualify: no plan file chosen (Open Plan...); nothing run."},
        {"no card", SHORT_PLAN, false, "", "Qualify: no card connected; connect one, then Run. Nothing run."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        Prepare(row.plan, row.connect);
        if (!row.path.empty())
            SetText(IDC_PLAN_PATH, row.path == "-" ? "" : row.path);
        std::string said = row.said.rfind("Qualify:", 0) == 0 ? row.said : Text(IDC_PLAN_PATH) + row.said;
        FakePcsc before = fakePcsc;
        Click(IDC_RUN_PLAN);
        EXPECT_FALSE(QualifyRunning());
        EXPECT_EQ(LogEntries(), std::vector<std::string> {said});
        EXPECT_EQ(Text(IDC_QUALIFY_STATUS), said);
        EXPECT_EQ(memcmp(&fakePcsc, &before, sizeof fakePcsc), 0) << "no PC/SC call";
        EXPECT_EQ(transmitSpy.calls, 0);
        EXPECT_TRUE(Enabled(IDC_RUN_PLAN));
        EXPECT_FALSE(Enabled(IDC_SAVE_JSON));
    }
}

// Stop, Escape, closing the window or a resume from suspend end a long plan
// within a bounded wait: the suite under way is stopped and reported, no
// later one runs, and the worker has ended before the window's thread
// releases the context or reconnects the card.
bool qualifyEndedBeforeCall;

LONG ReleaseAfterQualify(SCARDCONTEXT context)
{
    qualifyEndedBeforeCall = !QualifyRunning();
    return pcscLibrary.ReleaseContext(context);
}

LONG ReconnectAfterQualify(SCARDHANDLE card, DWORD share, DWORD protocols, DWORD initialization, LPDWORD protocol)
{
    qualifyEndedBeforeCall = !QualifyRunning();
    return pcscLibrary.Reconnect(card, share, protocols, initialization, protocol);
}

TEST_F(PanelQualifyTest, StopEndsALongPlanWithinAShortWait)
{
    REQUIRE_SIMULATED_READER();
    const struct {
        const char* what;
        std::function<void()> stop;
        bool callsAfter;  // the window's thread then releases the context or reconnects
        bool closes;
    } rows[] = {
        {"Stop", [&] { Click(IDC_STOP_PLAN); }, false, false},
        {"Escape", [&] { QTest::keyClick(Window(), Qt::Key_Escape); }, false, false},
        {"close box", [&] { SendDialogMessage(window, WM_CLOSE, 0, 0); }, true, true},
        {"resume", [&] { SendDialogMessage(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0); }, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        qualifyEndedBeforeCall = false;
        ASSERT_TRUE(SimSetDelayMicros(0, 20000));
        Prepare("suite stability apdu=FFCA000000 runs=5000\nsuite power cycles=3\n");
        pcsc.ReleaseContext = ReleaseAfterQualify;
        pcsc.Reconnect = ReconnectAfterQualify;
        Click(IDC_RUN_PLAN);
        // Stopped once the environment is in: the suite is under way.
        ASSERT_TRUE(QTest::qWaitFor([] { return strstr(tester.logText, "Environment:") != nullptr; }, 10000));
        ASSERT_TRUE(QualifyRunning());
        QElapsedTimer waited;
        waited.start();
        row.stop();
        ASSERT_TRUE(WaitForRunEnd(2000));
        EXPECT_LT(waited.elapsed(), 1000);
        EXPECT_EQ(qualifyEndedBeforeCall, row.callsAfter);
        if (row.closes)
            continue;
        ASSERT_EQ(TableGetCount(window, IDC_VERDICTS), 1);
        EXPECT_EQ(Cell(IDC_VERDICTS, 0, 2), "inconclusive");
        EXPECT_NE(Log().find("  Note: stopped after "), std::string::npos);
        EXPECT_NE(Log().find("Qualify stopped: 1 of 2 suites run."), std::string::npos);
        EXPECT_EQ(Text(IDC_QUALIFY_STATUS), "Verdicts: 0 pass, 0 fail, 1 inconclusive; stopped, 1 of 2 suites run");
        EXPECT_TRUE(Enabled(IDC_TRANSMIT));
    }
}

// The power cycles may leave the card with another ATR or without a
// connection: the window takes the card back as the run left it.
LONG RefuseConnect(SCARDCONTEXT, LPCSTR, DWORD, DWORD, LPSCARDHANDLE card, LPDWORD)
{
    *card = 0;
    return SCARD_E_NO_SMARTCARD;
}

TEST_F(PanelQualifyTest, PowerCyclesLeaveTheWindowTheCardAsTheyLeftIt)
{
    REQUIRE_SIMULATED_READER();
    const struct {
        const char* what;
        const char* plan;
        std::function<void()> before;
        bool connected;
    } rows[] = {
        {"cold resets swap the ATR", "suite power cycles=1\n", [] { SimSetAtrAfterColdReset(0, true); }, true},
        {"no connect after the unpower",
         "suite power cycles=1 mode=reconnect\nsuite stability apdu=FFCA000000 runs=2\n",
         [] { pcsc.Connect = RefuseConnect; }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Prepare(row.plan);
        std::string atr = Text(IDC_ATR);
        auto connect = pcsc.Connect;
        row.before();
        Click(IDC_RUN_PLAN);
        ASSERT_TRUE(WaitForRunEnd());
        pcsc.Connect = connect;
        EXPECT_EQ(tester.hCard != 0, row.connected);
        EXPECT_EQ(Enabled(IDC_DISCONNECT), row.connected);
        EXPECT_EQ(Enabled(IDC_CONNECT), !row.connected);
        if (row.connected) {
            EXPECT_NE(Text(IDC_ATR), atr);
        } else {
            EXPECT_EQ(Text(IDC_ATR), "");
            EXPECT_EQ(Cell(IDC_VERDICTS, 1, 2), "inconclusive") << "the suite after finds no card";
            EXPECT_NE(Log().find("The card did not come back from a power cycle"), std::string::npos);
        }
        Command(IDC_RELEASE);
        SimReset(0);
        SimWaitForCard(0, true);
    }
}

// A tap suite asks for the operator's hand through the window's thread: the
// prompts reach the log as the worker makes them, the taps their chart, and
// the card the suite let go leaves the window disconnected.
TEST_F(PanelQualifyTest, TapPromptsReachTheLogAndTheTapsTheirChart)
{
    REQUIRE_SIMULATED_READER();
    Prepare("suite tap taps=1 timeout_ms=20000\nlimit missed_taps = 0\n");
    Click(IDC_RUN_PLAN);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return Log().find("Take the card off the reader.") != std::string::npos; }, 10000));
    ASSERT_TRUE(SimTap(0, 1, 1500, 1000));
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_NE(Log().find("Tap the card (1 of 1)."), std::string::npos);
    EXPECT_EQ(Cell(IDC_VERDICTS, 0, 2), "pass");
    ASSERT_EQ(ChartSeries().size(), 2);
    for (QAbstractSeries* series : ChartSeries())
        EXPECT_EQ(static_cast<QXYSeries*>(series)->count(), 1);
    EXPECT_EQ(tester.hCard, SCARDHANDLE(0));
    EXPECT_TRUE(Enabled(IDC_CONNECT));
    Command(IDC_RELEASE);
    SimReset(0);
    SimWaitForCard(0, true);
}

}  // namespace
