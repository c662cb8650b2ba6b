// Renders a sample chart to a PNG on the offscreen platform, for a person to
// look at: 120 daily candles with their volume, a 20-day average, an RSI
// panel, Darvas boxes, a trend line and Fibonacci retracements placed with
// the mouse, the symbol and the watermark.
//
//   render_chart_sample OUTPUT.png [--semilog]
#include "market/QcpChartControl.h"

#include <QApplication>
#include <QMouseEvent>

#include <qcustomplot.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void drag(QcpChartControl& chart, QPoint from, QPoint to)
{
    QWidget* w = chart.plot();
    auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, held, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_chart_sample OUTPUT.png [--semilog]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QcpChartControl chart;
    chart.resize(1100, 700);
    // As the chart view draws an end-of-day chart.
    chart.clearAll();
    chart.setScaleAlignment(2);
    chart.setDrawFlag(true);
    chart.setThreeD(true);
    chart.setUpColour(0x00C000);
    chart.setDownColour(0x2020E0);
    chart.setBackColour(0);
    chart.setForeColour(0xFFFFFF);
    chart.setDrawingColour(0xFFFFFF);
    chart.setSymbol("SBIN~NN");
    const int main = chart.addPanel();
    for (const char* s : {"SBIN~NN.open", "SBIN~NN.high", "SBIN~NN.low", "SBIN~NN.close"})
        chart.addSeries(s, kStyleCandles, main);
    const int vol = chart.addPanel();
    chart.addSeries("SBIN~NN.vol", kStyleHistogram, vol);
    chart.setSeriesColour("SBIN~NN.vol", 0xC80000);
    chart.setSeriesWidth("SBIN~NN.vol", 3);
    chart.setPanelSize(vol, chart.panelSize(vol) + 50);
    chart.setVolumeUnit("M");
    if (argc > 2 && std::strcmp(argv[2], "--semilog") == 0)
        chart.setScaleType(1);

    double close = 600;
    for (int i = 0; i < 120; ++i) {
        const double date = chart.chartDate(2024, 1, 1 + i + 2 * (i / 5), 16, 30, 0); // weekdays only
        const double open = close;
        close = open * (1 + 0.018 * std::sin(i * 0.45) + 0.006 * std::cos(i * 1.7) + 0.002);
        chart.appendValue("SBIN~NN.open", date, open);
        chart.appendValue("SBIN~NN.high", date, std::max(open, close) * (1.004 + 0.003 * (i % 3)));
        chart.appendValue("SBIN~NN.low", date, std::min(open, close) * (0.996 - 0.003 * (i % 2)));
        chart.appendValue("SBIN~NN.close", date, close);
        chart.appendValue("SBIN~NN.vol", date, 1.2 + 0.8 * std::fabs(std::sin(i * 0.3)) + (i % 7) * 0.1);
    }
    chart.addIndicator(0, "Simple Moving Average", main, false);
    const int rsi = chart.addPanel();
    chart.addIndicator(4, "Relative Strength Index", rsi, false);
    chart.setDarvasPercent(0.01);
    chart.setDarvasBoxes(true);
    chart.addText(main, "Vortanex", "ZQVText", 250, true, 150, 1);
    chart.setFirstVisible(31);
    chart.setLastVisible(120);
    chart.redraw();

    const auto& rec = chart.records();
    const int closeColumn = chart.seriesList()[3].column;
    chart.startTrendLine("1");
    drag(chart, chart.pixelOf(main, rec.date(40), rec.value(closeColumn, 40)),
         chart.pixelOf(main, rec.date(100), rec.value(closeColumn, 100)));
    chart.setDrawingColour(0x00D7FF);
    chart.startDrawing(kToolFibRetracements, "2");
    drag(chart, chart.pixelOf(main, rec.date(70), rec.value(closeColumn, 70)),
         chart.pixelOf(main, rec.date(95), rec.value(closeColumn, 95)));
    chart.saveBitmap(argv[1]);
    std::printf("%s\n", argv[1]);
    return 0;
}
