// The insight panel: the logarithmic bins and the CSV file (cores, no
// window), then the panel in the window: shown and hidden without moving
// the fixed layout, its charts fed from the loop's record, Save Samples.
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QAreaSeries>
#include <QChartView>
#include <QLineSeries>

#include "app/panel.h"
#include "compose_support.h"
#include "output/histogram.h"
#include "output/samples_csv.h"
#include "transmit/transmit.h"
#include "ui/templates.h"

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

// Fills the record as a loop of `made` runs out of `planned` leaves it;
// what lies beyond the runs made is stale and must not show.
void FillRecord(int32_t planned, const std::vector<int64_t>& ns)
{
    loopRecord.runsPlanned = planned;
    loopRecord.runsMade = int32_t(ns.size());
    for (int32_t run = 0; run < planned; ++run) {
        loopRecord.ns[run] = run < int32_t(ns.size()) ? ns[size_t(run)] : 777000000;
        loopRecord.status[run] = SCARD_S_SUCCESS;
        loopRecord.sw[run] = 0x9000;
    }
}

TEST_F(PanelTest, ChartsShowTheRunsMade)
{
    auto chart = [this](int id) { return static_cast<QChartView*>(Widget(id))->chart(); };
    FillRecord(6, {10000, 10000, 12000, 5000000});
    ShowLoopCharts();
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

}  // namespace
