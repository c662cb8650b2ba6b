// The chart control on the offscreen platform (build it in Release):
//   load    10,000 daily bars in five series (50,000 appends) and the first
//           replot;
//   append  one new bar appended, the visible window moved to the last 90
//           records and replotted;
//   forming the last bar's high, low and close changed and replotted.
// The same run times the bare library doing the same work (10,000 single
// appends and one replot; one point added, the range moved and a replot;
// the last point replaced and a replot) as the machine's limit, and prints
// both. The library is set up to draw what the control draws and nothing
// more (see LibraryChart). Goals: load under 100 ms; the live paths' median
// under 2 ms and never over 16 ms (one 60 Hz frame); our layers at most 3x
// the library on the live paths. Every figure is the median of three runs.
// Prints every goal with its limit and verdict; exits non-zero on a miss.
//
//   bench_chart_control [--bars N] [--steps N] [--png DIR]
//   (--png: the first run's control and library drawn to control.png and
//   library.png, to see that both draw the same)
#include "app/CVortanexQtApp.h"
#include "bench_verdict.h"

#include "market/QcpChartControl.h"

#include <QApplication>

#include <qcustomplot.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Bar {
    double date, open, high, low, close, volume;
};

std::vector<Bar> makeBars(int n)
{
    std::vector<Bar> bars;
    double close = 500;
    for (int i = 0; i < n; ++i) {
        const double open = close;
        close = open * (1 + 0.01 * std::sin(i * 0.37));
        bars.push_back({36000.6875 + i, open, std::max(open, close) * 1.005, std::min(open, close) * 0.995, close,
                        1e5 + 1e4 * (i % 9)});
    }
    return bars;
}

struct Figures {
    double load = 0;
    std::vector<double> append, forming;
};

// Our control, driven as the chart view drives it.
Figures runControl(const std::vector<Bar>& bars, int steps, const char* png)
{
    Figures f;
    QcpChartControl chart;
    chart.resize(1000, 650);
    chart.show();
    const int loaded = int(bars.size()) - steps;
    const auto start = Clock::now();
    chart.clearAll();
    const int main = chart.addPanel();
    for (const char* s : {"S.open", "S.high", "S.low", "S.close"})
        chart.addSeries(s, kStyleCandles, main);
    const int vol = chart.addPanel();
    chart.addSeries("S.vol", kStyleHistogram, vol);
    for (int i = 0; i < loaded; ++i) {
        const Bar& b = bars[size_t(i)];
        chart.appendValue("S.open", b.date, b.open);
        chart.appendValue("S.high", b.date, b.high);
        chart.appendValue("S.low", b.date, b.low);
        chart.appendValue("S.close", b.date, b.close);
        chart.appendValue("S.vol", b.date, b.volume);
    }
    // As the view does after a load: the last 90 records, then a redraw.
    chart.setFirstVisible(loaded - 89);
    chart.setLastVisible(loaded);
    chart.redraw();
    f.load = msSince(start);
    for (int i = loaded; i < int(bars.size()); ++i) {
        const Bar& b = bars[size_t(i)];
        auto t = Clock::now();
        chart.appendValue("S.open", b.date, b.open);
        chart.appendValue("S.high", b.date, b.high);
        chart.appendValue("S.low", b.date, b.low);
        chart.appendValue("S.close", b.date, b.close);
        chart.appendValue("S.vol", b.date, b.volume);
        chart.setFirstVisible(i + 1 - 89);
        chart.setLastVisible(i + 1);
        chart.redraw();
        f.append.push_back(msSince(t));
        t = Clock::now();
        chart.appendValue("S.high", b.date, b.high * 1.001);
        chart.appendValue("S.low", b.date, b.low * 0.999);
        chart.appendValue("S.close", b.date, b.close * 1.0005);
        chart.redraw();
        f.forming.push_back(msSince(t));
    }
    if (png)
        chart.grab().save(QString::fromUtf8(png) + "/control.png");
    return f;
}

// The bare library drawing what our control draws, with nothing more: two
// stacked panels in a margin group on a black plot, the values on the right
// axis, the dates' axis labelled on the lower panel only, no sub-ticks, the
// dotted grid of both axes, solid candles 0.55 wide and volume bars 0.4
// wide (the control's default look). What the library offers beyond that
// (the left axes, sub-ticks, antialiased grid by default) is switched off as
// the control switches it off; the control's own extras (its overlays, the
// date and price labels) are not copied: they are what is measured.
struct LibraryChart {
    QWidget window;
    QCustomPlot* plot = nullptr;
    QCPAxisRect* panel[2] = {nullptr, nullptr};
    QCPFinancial* fin = nullptr;
    QCPBars* vol = nullptr;

    LibraryChart()
    {
        window.resize(1000, 650);
        plot = new QCustomPlot(&window);
        plot->setGeometry(window.rect());
        plot->setInteractions(QCP::Interactions());
        plot->plotLayout()->clear();
        plot->plotLayout()->setRowSpacing(0);
        plot->setBackground(Qt::black);
        auto* margins = new QCPMarginGroup(plot);
        const QColor fore(255, 255, 255);
        const QPen gridPen(QColor(0x40, 0x40, 0x40), 0, Qt::DotLine);
        for (int p = 0; p < 2; ++p) {
            auto* rect = new QCPAxisRect(plot, true);
            plot->plotLayout()->addElement(p, 0, rect);
            rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
            rect->setMinimumMargins(QMargins(4, 4, 4, 4));
            rect->setBackground(Qt::NoBrush);
            for (QCPAxis* axis : rect->axes()) {
                axis->setBasePen(QPen(fore));
                axis->setTickPen(QPen(fore));
                axis->setSubTickPen(QPen(fore));
                axis->setTickLabelColor(fore);
                axis->setLabelColor(fore);
                axis->grid()->setPen(gridPen);
                axis->grid()->setZeroLinePen(gridPen);
            }
            rect->axis(QCPAxis::atLeft)->setVisible(false);
            rect->axis(QCPAxis::atTop)->setVisible(false);
            QCPAxis* key = rect->axis(QCPAxis::atBottom);
            QCPAxis* value = rect->axis(QCPAxis::atRight);
            value->setVisible(true);
            key->grid()->setVisible(true);
            value->grid()->setVisible(true);
            key->setTickLabels(p == 1);
            key->setSubTicks(false);
            value->setSubTicks(false);
            panel[p] = rect;
        }
        plot->plotLayout()->setRowStretchFactor(0, 3);
        plot->plotLayout()->setRowStretchFactor(1, 1);
        fin = new QCPFinancial(panel[0]->axis(QCPAxis::atBottom), panel[0]->axis(QCPAxis::atRight));
        fin->setChartStyle(QCPFinancial::csCandlestick);
        fin->setWidth(0.55);
        fin->setTwoColored(true);
        fin->setBrushPositive(QColor(0, 192, 0));
        fin->setBrushNegative(QColor(224, 0, 0));
        fin->setPenPositive(QPen(QColor(0, 192, 0), 1));
        fin->setPenNegative(QPen(QColor(224, 0, 0), 1));
        vol = new QCPBars(panel[1]->axis(QCPAxis::atBottom), panel[1]->axis(QCPAxis::atRight));
        vol->setPen(QPen(QColor(0, 192, 0)));
        vol->setBrush(QColor(0, 192, 0));
        vol->setWidth(0.4);
        window.show();
    }
    // The last 90 records and their value ranges, as the control shows them.
    void moveTo(int last)
    {
        const QCPRange keys(last - 89.5, last + 0.5);
        bool found = false;
        panel[0]->axis(QCPAxis::atBottom)->setRange(keys);
        panel[1]->axis(QCPAxis::atBottom)->setRange(keys);
        const QCPRange price = fin->getValueRange(found, QCP::sdBoth, keys);
        const double pad = (price.upper - price.lower) * 0.05;
        panel[0]->axis(QCPAxis::atRight)->setRange(price.lower - pad, price.upper + pad);
        const QCPRange volume = vol->getValueRange(found, QCP::sdBoth, keys);
        panel[1]->axis(QCPAxis::atRight)->setRange(0, volume.upper * 1.05);
    }
};

Figures runLibrary(const std::vector<Bar>& bars, int steps, const char* png)
{
    Figures f;
    LibraryChart chart;
    const int loaded = int(bars.size()) - steps;
    const auto start = Clock::now();
    for (int i = 0; i < loaded; ++i) {
        const Bar& b = bars[size_t(i)];
        chart.fin->data()->add(QCPFinancialData(i + 1, b.open, b.high, b.low, b.close));
        chart.vol->data()->add(QCPBarsData(i + 1, b.volume));
    }
    chart.moveTo(loaded);
    chart.plot->replot(QCustomPlot::rpImmediateRefresh);
    f.load = msSince(start);
    for (int i = loaded; i < int(bars.size()); ++i) {
        const Bar& b = bars[size_t(i)];
        auto t = Clock::now();
        chart.fin->data()->add(QCPFinancialData(i + 1, b.open, b.high, b.low, b.close));
        chart.vol->data()->add(QCPBarsData(i + 1, b.volume));
        chart.moveTo(i + 1);
        chart.plot->replot(QCustomPlot::rpImmediateRefresh);
        f.append.push_back(msSince(t));
        t = Clock::now();
        chart.fin->data()->removeAfter(i + 0.5);
        chart.fin->data()->add(QCPFinancialData(i + 1, b.open, b.high * 1.001, b.low * 0.999, b.close * 1.0005));
        chart.moveTo(i + 1);
        chart.plot->replot(QCustomPlot::rpImmediateRefresh);
        f.forming.push_back(msSince(t));
    }
    if (png)
        chart.window.grab().save(QString::fromUtf8(png) + "/library.png");
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    int barCount = 10000, steps = 200;
    const char* png = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--bars") == 0)
            barCount = std::max(100, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--steps") == 0)
            steps = std::max(10, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--png") == 0)
            png = argv[i + 1];
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LimitStylePictureCache(); // as the program's application object does
    const auto bars = makeBars(barCount + steps);

    std::vector<double> load, loadLib, appendMed, appendLib, appendMax, formMed, formLib, formMax;
    for (int run = 0; run < 3; ++run) {
        const Figures ours = runControl(bars, steps, run == 0 ? png : nullptr);
        const Figures lib = runLibrary(bars, steps, run == 0 ? png : nullptr);
        load.push_back(ours.load);
        loadLib.push_back(lib.load);
        appendMed.push_back(median(ours.append));
        appendLib.push_back(median(lib.append));
        appendMax.push_back(*std::max_element(ours.append.begin(), ours.append.end()));
        formMed.push_back(median(ours.forming));
        formLib.push_back(median(lib.forming));
        formMax.push_back(*std::max_element(ours.forming.begin(), ours.forming.end()));
    }
    std::printf("bench_chart_control: %d bars (%d appends), %d live steps, median of 3 runs\n", barCount,
                barCount * 5, steps);
    std::printf("  load and first replot: ours %.2f ms, the bare library %.2f ms\n", median(load), median(loadLib));
    benchverdict::Verdict verdict("bench_chart_control");
    verdict.atMost("load and first replot", median(load), 100, "ms", true);
    verdict.atMost("append bar, move, replot, median", median(appendMed), 2, "ms", true);
    verdict.atMost("forming bar, replot, median", median(formMed), 2, "ms", true);
    verdict.atMost("slowest append step", median(appendMax), 16, "ms", true);
    verdict.atMost("slowest forming step", median(formMax), 16, "ms", true);
    verdict.ratioAtMost("append bar, move, replot, over the library", median(appendMed), median(appendLib), 3.0, "ms",
                        "the bare library, same drawing");
    verdict.ratioAtMost("forming bar, replot, over the library", median(formMed), median(formLib), 3.0, "ms",
                        "the bare library, same drawing");
    return verdict.finish();
}
