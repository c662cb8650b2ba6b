// The chart view on the drawing control, offscreen (build it in Release):
//   eod      an end-of-day text of 10,000 records parsed, folded and first
//            drawn (target under 250 ms);
//   fold     25,000 intraday trades folded into 60 s bars (under 150 ms);
//   tick     with 10,000 bars shown, one live trade: queued, the live bar
//            moved and replotted (median under 2 ms, never over 16 ms);
//   append   the live bar closed at its end and the next one opened at
//            10,000 bars (under 16 ms).
// Beside them the bare library doing the same drawing work (10,000 single
// appends and a replot; the last point replaced and a replot). Every figure
// is the median of three runs. Prints every goal with its limit and verdict;
// exits non-zero on a miss.
//
//   bench_chart [--bars N] [--ticks N]
#include "app/CVortanexQtApp.h"
#include "bench_verdict.h"

#include "server/SecurityTable.h"

#include "market/CEodChartView.h"
#include "market/ChartSeries.h"
#include "market/QcpChartControl.h"

#include <QApplication>

#include <qcustomplot.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_emptyFolds = 0; // folds that gave no bar: the run measured nothing

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

std::string eodText(int records)
{
    std::string text;
    double close = 500;
    int y = 1980, m = 1, d = 1;
    for (int i = 0; i < records; ++i) {
        char rec[128];
        const double open = close;
        close = open * (1 + 0.01 * ((i * 37) % 11 - 5) / 5.0);
        std::snprintf(rec, sizeof rec, "%d/%d/%d|%.2f|%.2f|%.2f|%.2f|%d~", d, m, y, open, std::max(open, close) * 1.005,
                      std::min(open, close) * 0.995, close, 100000 + i % 9 * 10000);
        text += rec;
        if (++d > 28) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
    return text;
}

int64_t g_now = 0;

void setUp()
{
    SecurityRows rows;
    SecurityRecord r;
    r.token = 1594;
    r.wtoken = 3187;
    r.symbol.assign("INFY");
    r.market_exchange.assign("NN");
    r.inst_type.assign("EQ");
    r.setDisplayKey("INFY~EQ");
    rows.push_back(r);
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(t);
    CEodChartView::Services& s = CEodChartView::services();
    s.now = [] { return g_now; };
    s.feedConnected = [] { return true; };
    s.download = [](ChartDataRequest, bool, std::function<void(ChartDownloadResult)>) {};
}

struct Figures {
    double eod = 0, fold = 0, append = 0;
    std::vector<double> ticks;
};

Figures runView(int bars, int ticks)
{
    Figures f;
    // End of day: parse, fold, first draw.
    {
        const std::string text = eodText(bars);
        auto* view = new CEodChartView;
        view->resize(1000, 700);
        view->show();
        view->OnInitialUpdate(0, kChartEod);
        QApplication::processEvents();
        const auto start = Clock::now();
        view->UpdateChartData(text); // ends with the view's replot
        f.eod = msSince(start);
        delete view;
    }
    // 25,000 trades folded at 60 s.
    {
        std::deque<chartfeed> queue;
        const int64_t nine = ChartLocalEpoch(2026, 12, 8, 9, 0, 0);
        for (int i = 0; i < 25000; ++i) {
            chartfeed t;
            t.stamp = double(nine + i);
            t.date = ChartDateOfEpoch(nine + i);
            t.close = 100 + i % 13;
            t.volume = 5;
            queue.push_back(t);
        }
        const auto start = Clock::now();
        const IntradayFold fold = FoldIntraday(queue, nine, 60, -1);
        f.fold = msSince(start);
        if (fold.bars.empty())
            g_emptyFolds += 1;
    }
    // Intraday with `bars` one-minute bars, then live trades.
    {
        const int64_t start0 = ChartLocalEpoch(2026, 12, 1, 9, 0, 0);
        std::string text = "0|OK~";
        for (int i = 0; i < bars; ++i)
            text += std::to_string(100 + i % 7) + "|10|" + std::to_string(start0 + int64_t(i) * 60 + 1) + "~";
        g_now = start0 + int64_t(bars - 1) * 60 + 30;
        auto* view = new CEodChartView;
        view->resize(1000, 700);
        view->show();
        view->OnInitialUpdate(0, kChartIntraday);
        view->OnSelchangeInterval(1); // 1 minute
        view->UpdateChartData(text);
        QApplication::processEvents();
        for (int i = 0; i < ticks; ++i) {
            const auto start = Clock::now();
            ChartTrade t{ChartTrade::Security, 0, 100.0 + (i % 5), 3, g_now};
            view->UpdateRTFeed(t); // the view replots (method 65)
            f.ticks.push_back(msSince(start));
        }
        g_now = view->liveBarEnd() + 1;
        const auto start = Clock::now();
        view->AppendLiveBar();
        f.append = msSince(start);
        delete view;
    }
    return f;
}

struct Bare {
    double load = 0;
    std::vector<double> live;
};

Bare runBare(int bars, int ticks)
{
    Bare b;
    QCustomPlot plot;
    plot.resize(1000, 700);
    plot.show();
    QCPFinancial* fin = new QCPFinancial(plot.xAxis, plot.yAxis);
    const auto start = Clock::now();
    for (int i = 0; i < bars; ++i)
        fin->addData(i, 100, 105, 95, 101);
    plot.rescaleAxes();
    plot.xAxis->setRange(bars - 90, bars); // the view shows the last 90
    plot.replot(QCustomPlot::rpImmediateRefresh);
    b.load = msSince(start);
    for (int i = 0; i < ticks; ++i) {
        const auto s = Clock::now();
        fin->data()->remove(bars - 1);
        fin->addData(bars - 1, 100, 106 + i % 3, 95, 102 + i % 3);
        plot.replot(QCustomPlot::rpImmediateRefresh);
        b.live.push_back(msSince(s));
    }
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    int bars = 10000, ticks = 200;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--bars"))
            bars = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--ticks"))
            ticks = std::atoi(argv[i + 1]);
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LimitStylePictureCache(); // as the program's application object does
    setUp();
    std::vector<double> eod, fold, tickMedian, tickMax, append, bareLoad, bareLive;
    for (int run = 0; run < 3; ++run) {
        const Figures f = runView(bars, ticks);
        eod.push_back(f.eod);
        fold.push_back(f.fold);
        tickMedian.push_back(median(f.ticks));
        tickMax.push_back(f.ticks.empty() ? 0 : *std::max_element(f.ticks.begin(), f.ticks.end()));
        append.push_back(f.append);
        const Bare b = runBare(bars, ticks);
        bareLoad.push_back(b.load);
        bareLive.push_back(median(b.live));
    }
    std::printf("bench_chart (%d bars, %d ticks; median of 3 runs, ms)\n", bars, ticks);
    std::printf("  the bare library: load %.2f ms, live step %.3f ms\n", median(bareLoad), median(bareLive));
    benchverdict::Verdict verdict("bench_chart");
    verdict.atMost("eod parse, fold and first draw", median(eod), 250, "ms", true);
    verdict.atMost("fold 25,000 trades at 60 s", median(fold), 150, "ms", true);
    verdict.atMost("live tick, median", median(tickMedian), 2, "ms", true);
    verdict.atMost("live tick, slowest", median(tickMax), 16, "ms", true);
    verdict.atMost("AppendLiveBar", median(append), 16, "ms", true);
    verdict.require("every fold gave bars", g_emptyFolds == 0, std::to_string(g_emptyFolds) + " empty folds");
    SecurityTable::publish(nullptr);
    return verdict.finish();
}
