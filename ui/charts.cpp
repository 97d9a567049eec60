// The Chart controls over Qt Charts: a histogram, a time series and a plot
// of series on linear axes, each built anew from plain arrays when the
// program sets it.
#include <algorithm>
#include <cmath>
#include <tuple>

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QValueAxis>

#include "ui/dialog_window.h"
#include "ui/winsys.h"

namespace {

// Where a bar without runs ends on the count axis: a logarithmic axis has no 0.
constexpr double NO_RUNS = 0.5;

QChartView* ViewOf(HWND dialog, int id)
{
    return dialog ? qobject_cast<QChartView*>(DialogOf(dialog)->Item(id)) : nullptr;
}

QChart* ChartOf(HWND dialog, int id)
{
    QChartView* view = ViewOf(dialog, id);
    return view ? view->chart() : nullptr;
}

// The chart's empty text shows while it holds no series.
void ShowEmptyText(HWND dialog, int id)
{
    QChartView* view = ViewOf(dialog, id);
    auto* label = view ? view->findChild<QLabel*>(QStringLiteral("emptyText")) : nullptr;
    if (label)
        label->setVisible(!label->text().isEmpty() && view->chart()->series().isEmpty());
}

void ClearChart(QChart* chart)
{
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

void AddAxis(QChart* chart, QAbstractAxis* axis, Qt::Alignment alignment, const QString& title)
{
    axis->setTitleText(title);
    axis->setTitleFont(chart->titleFont());
    axis->setLabelsFont(chart->titleFont());
    chart->addAxis(axis, alignment);
    chart->series().first()->attachAxis(axis);
}

// A logarithmic axis over the whole decades around low..high (both above 0),
// so that it always shows at least two labels.
QLogValueAxis* DecadeAxis(double low, double high)
{
    auto* axis = new QLogValueAxis;
    axis->setBase(10);
    axis->setLabelFormat(QStringLiteral("%g"));
    axis->setMinorTickCount(-1);
    double first = std::floor(std::log10(low));
    double last = std::max(std::ceil(std::log10(high)), first + 1);
    axis->setRange(std::pow(10.0, first), std::pow(10.0, last));
    return axis;
}

QString Microseconds()
{
    return QStringLiteral(u"\u00B5s");
}

}  // namespace

void SetHistogram(HWND dialog, int id, const double* upperEdgesUs, const int32_t* counts, int bins)
{
    QChart* chart = ChartOf(dialog, id);
    if (!chart)
        return;
    ClearChart(chart);
    ShowEmptyText(dialog, id);
    if (!upperEdgesUs || !counts || bins < 2)
        return;
    // Each bin as a flat step from its lower to its upper edge. The area
    // owns its lines: they go when the chart removes it.
    auto* area = new QAreaSeries;
    auto* steps = new QLineSeries(area);
    auto* floor = new QLineSeries(area);
    int32_t most = 1;
    for (int i = 1; i < bins; ++i) {
        double height = counts[i] > 0 ? double(counts[i]) : NO_RUNS;
        steps->append(upperEdgesUs[i - 1], height);
        steps->append(upperEdgesUs[i], height);
        most = std::max(most, counts[i]);
    }
    floor->append(upperEdgesUs[0], NO_RUNS);
    floor->append(upperEdgesUs[bins - 1], NO_RUNS);
    area->setUpperSeries(steps);
    area->setLowerSeries(floor);
    chart->addSeries(area);
    ShowEmptyText(dialog, id);

    AddAxis(chart, DecadeAxis(upperEdgesUs[0], upperEdgesUs[bins - 1]), Qt::AlignBottom, Microseconds());
    QLogValueAxis* runs = DecadeAxis(1, most);
    runs->setMin(NO_RUNS);
    AddAxis(chart, runs, Qt::AlignLeft, QStringLiteral("runs"));
}

void SetTimeSeries(HWND dialog, int id, const int64_t* ns, int32_t count)
{
    QChart* chart = ChartOf(dialog, id);
    if (!chart)
        return;
    ClearChart(chart);
    ShowEmptyText(dialog, id);
    if (!ns || count < 1)
        return;
    QList<QPointF> points;
    points.reserve(count);
    // A logarithmic axis takes no 0: a time below 1 ns shows as 1 ns.
    double low = 0, high = 0;
    for (int32_t run = 0; run < count; ++run) {
        double us = double(std::max<int64_t>(ns[run], 1)) / 1000.0;
        low = run == 0 ? us : std::min(low, us);
        high = run == 0 ? us : std::max(high, us);
        points.append(QPointF(run + 1, us));
    }
    auto* times = new QLineSeries;
    times->replace(points);
    chart->addSeries(times);
    ShowEmptyText(dialog, id);

    auto* runs = new QValueAxis;
    runs->setLabelFormat(QStringLiteral("%.0f"));
    runs->setRange(1, std::max(count, 2));
    runs->applyNiceNumbers();
    AddAxis(chart, runs, Qt::AlignBottom, QStringLiteral("run"));
    AddAxis(chart, DecadeAxis(low, high), Qt::AlignLeft, Microseconds());
}

void SetChartEmptyText(HWND dialog, int id, const char* text)
{
    QChartView* view = ViewOf(dialog, id);
    if (!view)
        return;
    auto* label = view->findChild<QLabel*>(QStringLiteral("emptyText"));
    if (!label) {
        label = new QLabel(view);
        label->setObjectName(QStringLiteral("emptyText"));
        label->setAlignment(Qt::AlignCenter);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setGeometry(view->rect());
    }
    label->setText(QString::fromLatin1(text ? text : ""));
    ShowEmptyText(dialog, id);
}

void SetChartTitle(HWND dialog, int id, const char* title)
{
    if (QChart* chart = ChartOf(dialog, id))
        chart->setTitle(QString::fromLatin1(title ? title : ""));
}

void SetPlot(HWND dialog, int id, const char* xTitle, const char* yTitle, const PlotSeries* series, int count)
{
    QChart* chart = ChartOf(dialog, id);
    if (!chart)
        return;
    ClearChart(chart);
    ShowEmptyText(dialog, id);
    double xLow = 0, xHigh = 0, yLow = 0, yHigh = 0;
    bool any = false;
    for (int s = 0; s < count && series; ++s) {
        const PlotSeries& one = series[s];
        if (!one.x || !one.y || one.count < 1)
            continue;
        QList<QPointF> points;
        points.reserve(one.count);
        for (int32_t i = 0; i < one.count; ++i) {
            xLow = any ? std::min(xLow, one.x[i]) : one.x[i];
            xHigh = any ? std::max(xHigh, one.x[i]) : one.x[i];
            yLow = any ? std::min(yLow, one.y[i]) : one.y[i];
            yHigh = any ? std::max(yHigh, one.y[i]) : one.y[i];
            any = true;
            points.append(QPointF(one.x[i], one.y[i]));
        }
        QXYSeries* xy = nullptr;
        if (one.style == PLOT_DOTS) {
            auto* dots = new QScatterSeries;
            dots->setMarkerSize(5);
            dots->setBorderColor(Qt::transparent);
            xy = dots;
        } else {
            xy = new QLineSeries;
        }
        xy->replace(points);
        chart->addSeries(xy);
    }
    ShowEmptyText(dialog, id);
    if (!any)
        return;
    // A range of one value still spans something.
    if (xHigh <= xLow)
        xHigh = xLow + 1;
    if (yHigh <= yLow)
        yHigh = yLow + 1;
    auto* xAxis = new QValueAxis;
    auto* yAxis = new QValueAxis;
    xAxis->setRange(xLow, xHigh);
    yAxis->setRange(std::min(yLow, 0.0), yHigh);
    xAxis->applyNiceNumbers();
    yAxis->applyNiceNumbers();
    xAxis->setLabelFormat(QStringLiteral("%g"));
    yAxis->setLabelFormat(QStringLiteral("%g"));
    for (auto [axis, alignment, title] : {std::tuple {static_cast<QAbstractAxis*>(xAxis), Qt::AlignBottom, xTitle},
                                          std::tuple {static_cast<QAbstractAxis*>(yAxis), Qt::AlignLeft, yTitle}}) {
        axis->setTitleText(QString::fromLatin1(title ? title : ""));
        axis->setTitleFont(chart->titleFont());
        axis->setLabelsFont(chart->titleFont());
        chart->addAxis(axis, alignment);
        for (QAbstractSeries* one : chart->series())
            one->attachAxis(axis);
    }
}
