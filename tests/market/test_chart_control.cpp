// The chart control: one contract run against the QCustomPlot control and
// the recording control, then the drawing control's own work on the
// offscreen platform: mouse placement of drawing tools, right clicks, zoom,
// study files, print, bitmaps and what the rendered chart shows.
#include "market/QcpChartControl.h"
#include "market/RecordingChartControl.h"
#include "frame/PrintSetup.h"

#include "testkit/headless.h"

#include "pf/files.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinter>
#include <QWheelEvent>

#include <qcustomplot.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the chart told its view, in order.
struct EventLog {
    std::vector<std::string> lines;
    int windowChanges = 0;
    int countChanges = 0;
    std::vector<std::vector<int>> tracks;
    std::vector<std::pair<std::string, int>> offered;
    ChartEvents events()
    {
        ChartEvents e;
        e.windowChanged = [this] { ++windowChanges; };
        e.mouseTrack = [this](int buttons, int x, int y) { tracks.push_back({buttons, x, y}); };
        e.recordCountChanged = [this] { ++countChanges; };
        e.indicatorOffered = [this](const std::string& name, int type) { offered.push_back({name, type}); };
        e.objectMenu = [this](int type, const std::string& name, int, int) {
            lines.push_back("6 " + std::to_string(type) + " " + name);
        };
        e.drawingFinished = [this](int type, const std::string& name) {
            lines.push_back("29 " + std::to_string(type) + " " + name);
        };
        e.keyUp = [this](short key, short, short) { lines.push_back("24 " + std::to_string(key)); };
        return e;
    }
};

// A daily chart: candles on panel 0, volume bars on panel 1.
void fillChart(IChartControl& c, int bars, double start = 100)
{
    c.clearAll();
    c.setSymbol("SBIN~NN");
    const int main = c.addPanel();
    c.addSeries("S.open", kStyleCandles, main);
    c.addSeries("S.high", kStyleCandles, main);
    c.addSeries("S.low", kStyleCandles, main);
    c.addSeries("S.close", kStyleCandles, main);
    const int vol = c.addPanel();
    c.addSeries("S.vol", kStyleHistogram, vol);
    c.setSeriesColour("S.vol", 0xC80000);
    c.setPanelSize(vol, c.panelSize(vol) + 50);
    double close = start;
    for (int i = 0; i < bars; ++i) {
        const double date = c.chartDate(2024, 1, 1 + i, 16, 30, 0);
        const double open = close;
        close = open * (1 + 0.02 * std::sin(i * 0.7));
        c.appendValue("S.open", date, open);
        c.appendValue("S.high", date, std::max(open, close) * 1.01);
        c.appendValue("S.low", date, std::min(open, close) * 0.99);
        c.appendValue("S.close", date, close);
        c.appendValue("S.vol", date, 1000 + 300 * (i % 5));
    }
    c.addText(main, "Vortanex", "ZQVText", 250, true, 150, 1);
}

// --- The contract, against both implementations --------------------------------

class ChartContract : public testkit::Headless, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        if (GetParam() == "Qcp") {
            auto q = std::make_unique<QcpChartControl>();
            q->resize(800, 600);
            qcp = q.get();
            chart = std::move(q);
        } else {
            auto r = std::make_unique<RecordingChartControl>();
            recording = r.get();
            chart = std::move(r);
        }
        chart->setEvents(log.events());
    }
    void TearDown() override
    {
        chart.reset();
        Headless::TearDown();
    }
    std::string file(const char* name) const { return (root / name).string(); }

    // Places a drawing tool the way a user would on this implementation.
    void place(int tool, const std::string& name, ChartPoint a, ChartPoint b)
    {
        if (tool == kToolTrendLine)
            chart->startTrendLine(name);
        else
            chart->startDrawing(tool, name);
        if (recording) {
            ASSERT_TRUE(recording->place(a, b));
            return;
        }
        const QPoint pa = qcp->pixelOf(0, a.date, a.value), pb = qcp->pixelOf(0, b.date, b.value);
        QWidget* w = qcp->plot();
        auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
            QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(w, &e);
        };
        send(QEvent::MouseButtonPress, pa, Qt::LeftButton);
        send(QEvent::MouseMove, (pa + pb) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, pb, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, pb, Qt::NoButton);
    }

    EventLog log;
    std::unique_ptr<IChartControl> chart;
    QcpChartControl* qcp = nullptr;
    RecordingChartControl* recording = nullptr;
};

TEST_P(ChartContract, PanelsCountFromZeroAndSeriesStylesAreChecked)
{
    EXPECT_EQ(chart->addPanel(), 0);
    EXPECT_EQ(chart->addPanel(), 1);
    EXPECT_EQ(chart->addPanel(), 2);
    EXPECT_GE(chart->addSeries("S.close", kStyleLine, 0), 0);
    EXPECT_EQ(chart->addSeries("T.close", 504, 0), -1);    // not a series style
    EXPECT_EQ(chart->addSeries("T.close", kStyleLine, 3), -1); // no such panel
    EXPECT_EQ(chart->addSeries("S.close", kStyleLine, 1), -1); // name in use
    for (int style : {500, 501, 502, 503, 506})
        EXPECT_GE(chart->addSeries("X" + std::to_string(style), style, 1), 0) << style;
    // The volume panel's size is read and written back larger.
    const int size = chart->panelSize(1);
    chart->setPanelSize(1, size + 50);
    EXPECT_EQ(chart->panelSize(1), size + 50);
}

TEST_P(ChartContract, IndicatorsCountPerTypeAndADuplicateKeyRaises)
{
    fillChart(*chart, 40);
    EXPECT_TRUE(chart->addIndicator(8, "MACD", 0, false));
    EXPECT_TRUE(chart->addIndicator(8, "MACD 2", 0, true));
    EXPECT_TRUE(chart->addIndicator(0, "Simple Moving Average", 0, false));
    EXPECT_EQ(chart->indicatorCount(8), 2);
    EXPECT_EQ(chart->indicatorCount(0), 1);
    EXPECT_EQ(chart->indicatorCount(4), 0);
    EXPECT_THROW(chart->addIndicator(8, "MACD", 0, false), ChartError);
    EXPECT_THROW(chart->addIndicator(0, "S.close", 0, false), ChartError); // a series' name
    EXPECT_EQ(chart->indicatorCount(8), 2);
    EXPECT_FALSE(chart->addIndicator(99, "Unknown", 0, false));
    EXPECT_FALSE(chart->addIndicator(0, "Nowhere", 7, false));
    // Deleting by key frees it.
    chart->deleteSeries("MACD 2");
    EXPECT_EQ(chart->indicatorCount(8), 1);
    EXPECT_NO_THROW(chart->addIndicator(8, "MACD 2", 1, false));
    chart->redraw();
}

TEST_P(ChartContract, ChartDateRoundTripsThroughItsText)
{
    const double d = chart->chartDate(2024, 3, 15, 9, 15, 59);
    int day, month, year, hour, minute, second;
    ASSERT_EQ(std::sscanf(chart->dateText(d).c_str(), "%d/%d/%d %d:%d:%d", &day, &month, &year, &hour, &minute,
                          &second),
              6);
    EXPECT_EQ(chart->chartDate(year, month, day, hour, minute, second), d);
    EXPECT_LT(d, chart->chartDate(2024, 3, 15, 9, 16, 0));
}

TEST_P(ChartContract, ValuesSharingADateFormOneRecord)
{
    chart->addPanel();
    for (const char* s : {"S.open", "S.high", "S.low", "S.close"})
        chart->addSeries(s, kStyleCandles, 0);
    const double d = chart->chartDate(2024, 1, 5, 16, 30, 0);
    for (const char* s : {"S.open", "S.high", "S.low", "S.close"})
        chart->appendValue(s, d, 10);
    EXPECT_EQ(chart->recordCount(), 1);
    EXPECT_EQ(log.countChanges, 1);
    chart->appendValue("S.close", chart->chartDate(2024, 1, 4, 16, 30, 0), 9); // earlier: inserted
    chart->appendValue("S.close", chart->chartDate(2024, 1, 6, 16, 30, 0), 11);
    chart->appendValue("Unknown", chart->chartDate(2024, 1, 7, 16, 30, 0), 11); // ignored
    EXPECT_EQ(chart->recordCount(), 3);
    EXPECT_EQ(log.countChanges, 3);
}

TEST_P(ChartContract, TheVisibleWindowIsOneBasedAndItsChangesAreReported)
{
    fillChart(*chart, 100);
    EXPECT_EQ(chart->firstVisible(), 1);
    EXPECT_EQ(chart->visibleCount(), 100);
    const int before = log.windowChanges;
    chart->setFirstVisible(11);
    chart->setLastVisible(100);
    EXPECT_EQ(log.windowChanges, before + 1);
    EXPECT_EQ(chart->firstVisible(), 11);
    EXPECT_EQ(chart->visibleCount(), 90);
    chart->setLastVisible(50);
    EXPECT_EQ(chart->visibleCount(), 40);
    EXPECT_EQ(log.windowChanges, before + 2);
    chart->zoomIn(10);
    EXPECT_EQ(chart->firstVisible(), 21);
    EXPECT_EQ(chart->visibleCount(), 30);
    chart->zoomOut(10);
    chart->zoomOut(10);
    EXPECT_EQ(chart->firstVisible(), 1);
    EXPECT_EQ(chart->visibleCount(), 50);
    chart->resetZoom();
    EXPECT_EQ(chart->visibleCount(), 100);
    // Out-of-range requests are clamped, never past the records.
    chart->setFirstVisible(500);
    EXPECT_EQ(chart->firstVisible(), 100);
    chart->setFirstVisible(-5);
    EXPECT_EQ(chart->firstVisible(), 1);
    // A window at the newest record follows new records.
    chart->setFirstVisible(61);
    chart->setLastVisible(100);
    chart->appendValue("S.close", chart->chartDate(2024, 6, 1, 16, 30, 0), 100);
    EXPECT_EQ(chart->lastVisible(), 101);
    EXPECT_EQ(chart->visibleCount(), 40);
}

TEST_P(ChartContract, ClearAllEmptiesTheChartAndReportsTheCount)
{
    fillChart(*chart, 20);
    const int changes = log.countChanges;
    chart->clearAll();
    EXPECT_EQ(chart->recordCount(), 0);
    EXPECT_EQ(chart->visibleCount(), 0);
    EXPECT_EQ(log.countChanges, changes + 1);
    EXPECT_EQ(chart->addPanel(), 0); // panels number from 0 again
    // Clearing the series keeps drawn objects for the rebuilt chart.
    fillChart(*chart, 20);
    place(kToolTrendLine, "1", {chart->chartDate(2024, 1, 3, 16, 30, 0), 101},
          {chart->chartDate(2024, 1, 15, 16, 30, 0), 103});
    chart->clearSeries();
    EXPECT_EQ(chart->recordCount(), 0);
    EXPECT_EQ(chart->addPanel(), 0);
    ASSERT_TRUE(chart->writeObjects(file("kept.scgx")) == 0);
    EXPECT_NE(pf::files::readAll(file("kept.scgx"))->find("\"name\": \"1\""), std::string::npos);
}

TEST_P(ChartContract, StudyObjectsSurviveAClearThroughTheirFile)
{
    fillChart(*chart, 30);
    const ChartPoint a{chart->chartDate(2024, 1, 5, 16, 30, 0), 101.5};
    const ChartPoint b{chart->chartDate(2024, 1, 20, 16, 30, 0), 104.0};
    place(kToolTrendLine, "1", a, b);
    place(kToolRectangle, "2", a, b);
    ASSERT_EQ(log.lines, (std::vector<std::string>{"29 505 1", "29 601 2"}));
    EXPECT_EQ(chart->drawingState(), 0);
    ASSERT_EQ(chart->writeObjects(file("t-1-501-0.scgx")), 0);
    chart->clearAll();
    fillChart(*chart, 30);
    ASSERT_EQ(chart->readObjects(file("t-1-501-0.scgx")), 0);
    ASSERT_EQ(chart->writeObjects(file("again.scgx")), 0);
    EXPECT_EQ(pf::files::readAll(file("t-1-501-0.scgx")), pf::files::readAll(file("again.scgx")));
}

TEST_P(ChartContract, IndicatorsAndPanelsSurviveThroughTheirFile)
{
    fillChart(*chart, 30);
    const int third = chart->addPanel();
    chart->addIndicator(4, "Relative Strength Index", third, false);
    chart->addIndicator(0, "Simple Moving Average", 0, false);
    ASSERT_EQ(chart->writeIndicators(file("t-1-501-0.scox")), 0);
    fillChart(*chart, 30); // two panels, no indicators
    ASSERT_EQ(chart->readIndicators(file("t-1-501-0.scox")), 0);
    EXPECT_EQ(chart->indicatorCount(4), 1);
    EXPECT_EQ(chart->indicatorCount(0), 1);
    EXPECT_EQ(chart->addPanel(), 3); // the file's third panel came back
    // Reading it again adds nothing twice and raises nothing.
    EXPECT_EQ(chart->readIndicators(file("t-1-501-0.scox")), 0);
    EXPECT_EQ(chart->indicatorCount(4), 1);
}

TEST_P(ChartContract, AFullChartRoundTripsWithItsData)
{
    fillChart(*chart, 25);
    chart->setScaleType(1);
    chart->addIndicator(1, "Exponential Moving Average", 0, false);
    place(kToolFibRetracements, "3", {chart->chartDate(2024, 1, 2, 16, 30, 0), 99},
          {chart->chartDate(2024, 1, 12, 16, 30, 0), 104});
    ASSERT_EQ(chart->writeChart(file("full.scgx")), 0);
    chart->clearAll();
    ASSERT_EQ(chart->readChart(file("full.scgx")), 0);
    EXPECT_EQ(chart->recordCount(), 25);
    EXPECT_EQ(chart->scaleType(), 1);
    EXPECT_EQ(chart->symbol(), "SBIN~NN");
    EXPECT_EQ(chart->indicatorCount(1), 1);
    ASSERT_EQ(chart->writeChart(file("full2.scgx")), 0);
    EXPECT_EQ(pf::files::readAll(file("full.scgx")), pf::files::readAll(file("full2.scgx")));
    chart->redraw();
}

TEST_P(ChartContract, ADamagedOrForeignFileFailsAndChangesNothing)
{
    fillChart(*chart, 12);
    place(kToolEllipse, "1", {chart->chartDate(2024, 1, 2, 16, 30, 0), 99},
          {chart->chartDate(2024, 1, 8, 16, 30, 0), 104});
    ASSERT_EQ(chart->writeChart(file("good.scgx")), 0);
    ASSERT_EQ(chart->writeObjects(file("before.scgx")), 0);
    std::string good = *pf::files::readAll(file("good.scgx"));
    struct Bad {
        const char* name;
        std::string text;
    };
    std::string future = good;
    future.replace(future.find("\"version\": 1"), 12, "\"version\": 7");
    std::string wrongKind = good;
    wrongKind.replace(wrongKind.find("\"content\": \"chart\""), 18, "\"content\": \"study\"");
    std::string badSeries = good;
    badSeries.replace(badSeries.find("\"style\": 501"), 12, "\"style\": 504");
    const Bad bad[] = {{"truncated", good.substr(0, good.size() / 2)},
                       {"future version", future},
                       {"other content", wrongKind},
                       {"bad style", badSeries},
                       {"not json", "scgx\x01\x02"},
                       {"empty", ""}};
    for (const Bad& b : bad) {
        ASSERT_TRUE(pf::files::writeAll(file("bad.scgx"), b.text));
        const int count = chart->recordCount();
        EXPECT_EQ(chart->readChart(file("bad.scgx")), -1) << b.name;
        EXPECT_EQ(chart->readObjects(file("bad.scgx")), -1) << b.name;
        EXPECT_EQ(chart->readIndicators(file("bad.scgx")), -1) << b.name;
        EXPECT_EQ(chart->recordCount(), count) << b.name;
    }
    EXPECT_EQ(chart->readChart(file("missing.scgx")), -1);
    ASSERT_EQ(chart->writeObjects(file("after.scgx")), 0);
    EXPECT_EQ(pf::files::readAll(file("before.scgx")), pf::files::readAll(file("after.scgx")));
    // A file that cannot be written reports it.
    EXPECT_EQ(chart->writeObjects((root / "no-such-folder" / "x.scgx").string()), -1);
}

TEST_P(ChartContract, OffersItsIndicatorsInTypeOrderWhenTheViewConnects)
{
    ASSERT_EQ(log.offered.size(), 23u);
    for (size_t i = 0; i < log.offered.size(); ++i)
        EXPECT_EQ(log.offered[i].second, int(i));
    EXPECT_EQ(log.offered[0].first, "Simple Moving Average");
    EXPECT_EQ(log.offered[11].first, "Williams %R");
}

TEST_P(ChartContract, SettingsAreKeptAndReported)
{
    chart->setScaleType(1);
    EXPECT_EQ(chart->scaleType(), 1);
    chart->setScaleType(7);
    EXPECT_EQ(chart->scaleType(), 2);
    chart->setScaleAlignment(1);
    EXPECT_EQ(chart->scaleAlignment(), 1);
    chart->setCandleWidth(10);
    EXPECT_EQ(chart->candleWidth(), 10);
    chart->setThreeD(true);
    EXPECT_TRUE(chart->threeD());
    chart->setSeparators(true);
    EXPECT_TRUE(chart->separators());
    chart->setXGrid(false);
    chart->setYGrid(false);
    EXPECT_FALSE(chart->xGrid());
    EXPECT_FALSE(chart->yGrid());
    chart->setDarvasPercent(0.01);
    chart->setDarvasBoxes(true);
    EXPECT_TRUE(chart->darvasBoxes());
    chart->setIntradayFlag(true); // stored, reported, no effect
    EXPECT_TRUE(chart->intradayFlag());
    fillChart(*chart, 30);
    chart->redraw();
}

TEST_P(ChartContract, ACallFromAnotherThreadIsRefused)
{
    fillChart(*chart, 10);
    std::thread feed([&] { chart->appendValue("S.close", chart->chartDate(2025, 1, 1, 0, 0, 0), 1); });
    feed.join();
    EXPECT_EQ(chart->recordCount(), 10);
}

INSTANTIATE_TEST_SUITE_P(Both, ChartContract, ::testing::Values("Qcp", "Recording"),
                         [](const auto& info) { return info.param; });

// --- The recording control ----------------------------------------------------

TEST(RecordingChartControl, RecordsEveryCallWithItsNumberAndArguments)
{
    RecordingChartControl c;
    c.addPanel();
    c.addSeries("S.close", kStyleLine, 0);
    c.appendValue("S.close", 45000.5, 12.5);
    c.recordCount();
    c.print();
    c.saveBitmap("/tmp/x.bmp");
    ASSERT_EQ(c.calls().size(), 6u);
    EXPECT_EQ(c.calls()[0].id, 74);
    EXPECT_EQ(c.calls()[2].id, 99);
    EXPECT_EQ(std::get<std::string>(c.calls()[2].args[0]), "S.close");
    EXPECT_EQ(std::get<double>(c.calls()[2].args[2]), 12.5);
    EXPECT_EQ(c.calls()[3].kind, ChartCall::Get);
    EXPECT_EQ(c.printCount(), 1);
    EXPECT_EQ(c.savedBitmaps(), std::vector<std::string>{"/tmp/x.bmp"});
    EXPECT_EQ(c.callsOf(101).size(), 1u);
    // Scripted events reach the view.
    EventLog log;
    c.setEvents(log.events());
    c.fireObjectMenu(505, "1", 10, 20);
    c.fireKeyUp(93);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"6 505 1", "24 93"}));
}

// --- The drawing control ------------------------------------------------------

class QcpChart : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        chart = std::make_unique<QcpChartControl>();
        chart->resize(900, 600);
        chart->setEvents(log.events());
        fillChart(*chart, 60);
        chart->redraw();
    }
    void TearDown() override
    {
        chart.reset();
        Headless::TearDown();
    }
    QWidget* plotWidget() { return chart->plot(); }
    void mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e(type, QPointF(p), QPointF(plotWidget()->mapToGlobal(p)), button, held, Qt::NoModifier);
        QApplication::sendEvent(plotWidget(), &e);
    }
    void drag(QPoint from, QPoint to)
    {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void rightClick(QPoint p)
    {
        mouse(QEvent::MouseButtonPress, p, Qt::RightButton, Qt::RightButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::RightButton, Qt::NoButton);
    }
    void key(int k)
    {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(plotWidget(), &press);
        QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier);
        QApplication::sendEvent(plotWidget(), &release);
    }
    double day(int d) { return chart->chartDate(2024, 1, d, 16, 30, 0); }
    QImage image()
    {
        chart->redraw();
        return chart->plot()->toPixmap().toImage();
    }
    // Pixels of roughly this colour inside the rectangle.
    static int count(const QImage& img, QRect r, QColor want, int tolerance = 40)
    {
        int n = 0;
        r = r.intersected(img.rect());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
                        std::abs(c.blue() - want.blue()) <=
                    tolerance)
                    ++n;
            }
        return n;
    }

    EventLog log;
    std::unique_ptr<QcpChartControl> chart;
};

TEST_F(QcpChart, ATrendLinePlacedByDragIsReportedRightClickedAndDeleted)
{
    chart->setDrawingColour(0x00FFFF); // yellow
    chart->startTrendLine("1");
    EXPECT_EQ(chart->drawingState(), 1);
    const QPoint a = chart->pixelOf(0, day(10), 102), b = chart->pixelOf(0, day(40), 106);
    drag(a, b);
    EXPECT_EQ(chart->drawingState(), 0);
    ASSERT_EQ(log.lines, std::vector<std::string>{"29 505 1"});
    ASSERT_EQ(chart->objectList().size(), 1u);
    EXPECT_NEAR(chart->objectList()[0].a.date, day(10), 0.05);
    EXPECT_NEAR(chart->objectList()[0].b.value, 106, 0.2);
    EXPECT_GT(count(image(), QRect(a, b).normalized(), QColor(255, 255, 0)), 20);

    rightClick((a + b) / 2);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[1], "6 505 1");

    chart->deleteObject(505, "1");
    EXPECT_TRUE(chart->objectList().empty());
    rightClick((a + b) / 2); // nothing there now but the chart itself
    for (size_t i = 2; i < log.lines.size(); ++i)
        EXPECT_NE(log.lines[i], "6 505 1");
}

TEST_F(QcpChart, EscapeCancelsAPlacementAndAClickWithoutDragWaits)
{
    chart->startDrawing(kToolGannFan, "1");
    const QPoint a = chart->pixelOf(0, day(10), 102);
    mouse(QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, a, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(chart->drawingState(), 1); // still waiting for a drag
    mouse(QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, a + QPoint(80, -40), Qt::NoButton, Qt::LeftButton);
    key(Qt::Key_Escape);
    mouse(QEvent::MouseButtonRelease, a + QPoint(80, -40), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(chart->drawingState(), 0);
    EXPECT_TRUE(chart->objectList().empty());
    EXPECT_TRUE(log.lines.empty() || log.lines.back().rfind("29", 0) != 0);
}

TEST_F(QcpChart, AllThirteenToolsRoundTripThroughAStudyFile)
{
    const int tools[] = {kToolTrendLine,     kToolEllipse,         kToolRectangle,     kToolSpeedLines,
                         kToolGannFan,       kToolFibArcs,         kToolFibFan,        kToolFibRetracements,
                         kToolFibTimeZones,  kToolTironeLevels,    kToolQuadrantLines, kToolRaffRegression,
                         kToolErrorChannels};
    int n = 0;
    for (int tool : tools) {
        ++n;
        const std::string name = std::to_string(n);
        if (tool == kToolTrendLine)
            chart->startTrendLine(name);
        else
            chart->startDrawing(tool, name);
        drag(chart->pixelOf(0, day(5 + n), 100 + n % 4), chart->pixelOf(0, day(20 + 2 * n), 104 - n % 3));
        ASSERT_EQ(log.lines.back().substr(log.lines.back().rfind(' ') + 1), name);
    }
    ASSERT_EQ(chart->objectList().size(), 13u);
    const auto before = chart->objectList();
    const QImage drawn = image();
    const std::string path = (root / "trend1-500112-501-300.scgx").string();
    ASSERT_EQ(chart->writeObjects(path), 0);
    chart->clearAll();
    fillChart(*chart, 60);
    EXPECT_TRUE(chart->objectList().empty());
    ASSERT_EQ(chart->readObjects(path), 0);
    ASSERT_EQ(chart->objectList().size(), 13u);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(chart->objectList()[i].tool, before[i].tool);
        EXPECT_EQ(chart->objectList()[i].name, before[i].name);
        EXPECT_EQ(chart->objectList()[i].a.date, before[i].a.date);
        EXPECT_EQ(chart->objectList()[i].b.value, before[i].b.value);
    }
    EXPECT_EQ(image(), drawn); // the same picture on the same data
    // Right clicks name shapes 601 and the other tools 604.
    rightClick(chart->pixelOf(0, (day(7) + day(24)) / 2, 102)); // inside nothing but the data
    chart->deleteObject(604, "2");                               // wrong type: the ellipse stays
    EXPECT_EQ(chart->objectList().size(), 13u);
    chart->deleteObject(601, "2");
    EXPECT_EQ(chart->objectList().size(), 12u);
}

TEST_F(QcpChart, ObjectsAnchoredByDateLandOnFreshData)
{
    chart->startTrendLine("1");
    drag(chart->pixelOf(0, day(20), 101), chart->pixelOf(0, day(30), 103));
    const std::string path = (root / "s.scgx").string();
    ASSERT_EQ(chart->writeObjects(path), 0);
    // The next day's download starts ten days earlier: the line keeps its dates.
    chart->clearAll();
    chart->addPanel();
    chart->addSeries("S.close", kStyleLine, 0);
    for (int d = -10; d < 60; ++d)
        chart->appendValue("S.close", day(1) + d, 100 + d % 7);
    chart->readObjects(path);
    chart->redraw();
    const QPoint p = chart->pixelOf(0, chart->objectList()[0].a.date, 101);
    EXPECT_NEAR(chart->plot()->axisRect(0)->axis(QCPAxis::atBottom)->pixelToCoord(p.x()), 30.0, 0.3);
}

TEST_F(QcpChart, RightClicksReportSeriesByStyleAndIndicators)
{
    chart->addIndicator(0, "Simple Moving Average", 0, false);
    chart->redraw();
    // A candle's body, a volume bar and the average's line.
    const int r = 30;
    const double date = day(r);
    const QPoint onCandle = chart->pixelOf(0, date, chart->records().value(chart->seriesList()[3].column, r - 1));
    rightClick(onCandle);
    const QPoint onBar = chart->pixelOf(1, date, 200);
    rightClick(onBar);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], "6 501 S.close");
    EXPECT_EQ(log.lines[1], "6 503 S.vol");
    // The moving average at bar 40, computed the same way the control does.
    double sum = 0;
    for (int i = 30; i < 40; ++i)
        sum += chart->records().value(chart->seriesList()[3].column, i);
    rightClick(chart->pixelOf(0, day(40), sum / 10));
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[2], "6 497 Simple Moving Average");
    // The watermark is a text object: a click on it between two candles.
    chart->setFirstVisible(1);
    chart->setLastVisible(5);
    chart->redraw();
    rightClick(QPoint(chart->pixelOf(0, day(2) + 0.5, 0).x(), chart->panelRect(0).center().y()));
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[3], "6 504 ZQVText");
}

TEST_F(QcpChart, WheelDragAndRubberBandMoveTheWindow)
{
    const QPoint mid = chart->panelRect(0).center();
    const int changes = log.windowChanges;
    QWheelEvent wheel(QPointF(mid), QPointF(plotWidget()->mapToGlobal(mid)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plotWidget(), &wheel);
    EXPECT_GT(chart->firstVisible(), 1);
    EXPECT_EQ(chart->lastVisible(), 60);
    EXPECT_GT(log.windowChanges, changes);
    // Dragging right shows earlier records.
    const int first = chart->firstVisible();
    drag(mid, mid + QPoint(200, 0));
    EXPECT_LT(chart->firstVisible(), first);
    EXPECT_LT(chart->lastVisible(), 60);
    // The rubber band picks records 10 to 20.
    chart->resetZoom();
    chart->redraw();
    chart->rubberBandZoom();
    drag(chart->pixelOf(0, day(10), 100), chart->pixelOf(0, day(20), 100));
    EXPECT_EQ(chart->firstVisible(), 10);
    EXPECT_EQ(chart->lastVisible(), 20);
}

TEST_F(QcpChart, KeyUpAndMouseMovesAreReported)
{
    key(Qt::Key_Menu);
    key(Qt::Key_A);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"24 93", "24 65"}));
    mouse(QEvent::MouseMove, QPoint(120, 80), Qt::NoButton, Qt::NoButton);
    mouse(QEvent::MouseMove, QPoint(130, 90), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(log.tracks, (std::vector<std::vector<int>>{{0, 120, 80}, {1, 130, 90}}));
}

TEST_F(QcpChart, SemiLogScaleLabelsPowersPlainly)
{
    chart->clearAll();
    chart->addPanel();
    chart->addSeries("S.close", kStyleLine, 0);
    for (int i = 0; i < 100; ++i)
        chart->appendValue("S.close", day(1) + i, 2 * std::pow(10.0, i / 25.0)); // 2 .. about 16,000
    chart->setScaleType(1);
    const auto labels = chart->valueLabels(0);
    const std::vector<std::string> powers = {"10", "100", "1000", "10000"};
    for (const auto& p : powers)
        EXPECT_NE(std::find(labels.begin(), labels.end(), p), labels.end()) << p;
    for (const auto& l : labels)
        EXPECT_EQ(l.find_first_of("eE"), std::string::npos) << l;
    EXPECT_EQ(chart->plot()->axisRect(0)->axis(QCPAxis::atRight)->scaleType(), QCPAxis::stLogarithmic);
    chart->setScaleType(2);
    chart->redraw();
    EXPECT_EQ(chart->plot()->axisRect(0)->axis(QCPAxis::atRight)->scaleType(), QCPAxis::stLinear);
}

// Prices of 100 and more keep their decimals on the price axis: a rise of a
// few paise is labelled "817.50", "817.60", never a rounded "818"; a
// currency pair shows four decimals. Other panels (volume) stay plain.
TEST_F(QcpChart, ThePriceAxisLabelsWithTheInstrumentsDecimals)
{
    chart->clearAll();
    chart->addPanel();
    chart->addPanel();
    chart->addSeries("S.close", kStyleLine, 0);
    chart->addSeries("S.vol", kStyleHistogram, 1);
    for (int i = 0; i < 20; ++i) {
        chart->appendValue("S.close", day(1) + i, 817.5 + 0.05 * i);
        chart->appendValue("S.vol", day(1) + i, 1000 + 100 * i);
    }
    const auto decimalsOf = [](const std::string& label) {
        const size_t dot = label.find('.');
        return dot == std::string::npos ? 0 : int(label.size() - dot - 1);
    };
    for (const int decimals : {2, 4}) {
        chart->setPriceDecimals(decimals);
        const auto labels = chart->valueLabels(0);
        ASSERT_FALSE(labels.empty());
        for (const auto& l : labels) {
            EXPECT_EQ(decimalsOf(l), decimals) << l;
            EXPECT_EQ(l.rfind("81", 0), 0u) << l;
        }
    }
    for (const auto& l : chart->valueLabels(1))
        EXPECT_EQ(l.find('.'), std::string::npos) << "volumes stay plain: " << l;
}

TEST_F(QcpChart, TheRenderedChartShowsItsPartsWithAlignedPanels)
{
    chart->setUpColour(0x00C000);   // green
    chart->setDownColour(0x0000E0); // red
    chart->setDrawingColour(0xFFFFFF);
    chart->startTrendLine("1");
    drag(chart->pixelOf(0, day(5), 99), chart->pixelOf(0, day(50), 110));
    const QImage img = image();
    const QRect price = chart->panelRect(0), volume = chart->panelRect(1);
    EXPECT_EQ(price.left(), volume.left());
    EXPECT_EQ(price.right(), volume.right());
    EXPECT_LT(price.bottom(), volume.top());
    EXPECT_GT(price.height(), volume.height());
    EXPECT_GT(count(img, price, QColor(0, 192, 0)), 50);   // rising candles
    EXPECT_GT(count(img, price, QColor(224, 0, 0)), 50);   // falling candles
    EXPECT_GT(count(img, volume, QColor(0, 0, 200)), 200); // volume bars
    EXPECT_GT(count(img, price, QColor(255, 255, 255), 10), 40); // trend line and symbol
    // The watermark: the middle of the price panel changes without it.
    const QRect middle(price.center() - QPoint(60, 15), QSize(120, 30));
    chart->deleteObject(kHitText, "ZQVText");
    EXPECT_NE(img.copy(middle), image().copy(middle));
    // Right alignment puts the value labels right of the plot.
    EXPECT_TRUE(chart->plot()->axisRect(0)->axis(QCPAxis::atRight)->visible());
    chart->setScaleAlignment(1);
    chart->redraw();
    EXPECT_TRUE(chart->plot()->axisRect(0)->axis(QCPAxis::atLeft)->visible());
    EXPECT_FALSE(chart->plot()->axisRect(0)->axis(QCPAxis::atRight)->visible());
}

TEST_F(QcpChart, BitmapsAreWrittenByTheirExtension)
{
    const std::string png = (root / "chart.png").string(), bmp = (root / "chart.bmp").string();
    chart->saveBitmap(png);
    chart->saveBitmap(bmp);
    EXPECT_EQ(pf::files::readAll(png)->substr(1, 3), "PNG");
    EXPECT_EQ(pf::files::readAll(bmp)->substr(0, 2), "BM");
    chart->saveBitmap((root / "no-folder" / "x.png").string()); // logged, nothing thrown
}

TEST_F(QcpChart, PrintGoesThroughTheDialogAndACancelPrintsNothing)
{
    const std::string pdf = (root / "chart.pdf").string();
    int asked = 0;
    chart->setPrintDialog([&](QPrinter& printer) {
        ++asked;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return asked == 1;
    });
    chart->print();
    ASSERT_TRUE(pf::files::exists(pdf));
    EXPECT_GT(pf::files::size(pdf), 1000);
    std::filesystem::remove(pdf);
    chart->print();
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(pf::files::exists(pdf));
    // The application's dialog reaches every control made after it is installed.
    int appAsked = 0;
    QcpChartControl::setDefaultPrintDialog([&](QPrinter&) { return ++appAsked < 0; });
    QcpChartControl other;
    other.print();
    QcpChartControl::setDefaultPrintDialog({});
    EXPECT_EQ(appAsked, 1);
}

TEST_F(QcpChart, WithoutAnInstalledDialogThePrintQuestionGoesThroughThePrompter)
{
    const std::string pdf = (root / "prompted.pdf").string();
    QcpChartControl control;
    control.resize(600, 400);
    ui::PrintChoice choice;
    choice.outputFile = pdf;
    choice.page.landscape = true;
    prompter.queuePrint(choice);
    control.print();
    EXPECT_EQ(prompter.printQuestions(), 1);
    ASSERT_TRUE(pf::files::exists(pdf));
    std::filesystem::remove(pdf);
    prompter.queuePrint(std::nullopt); // cancelled
    control.print();
    EXPECT_EQ(prompter.printQuestions(), 2);
    EXPECT_FALSE(pf::files::exists(pdf));
}

// The chart prints on the page chosen for it, which stays the page of the
// later prints, as many copies as asked; a range from a later page than its
// one prints nothing.
TEST_F(QcpChart, ThePrintTakesTheChosenPageTheCopiesAndTheRange)
{
    const auto pdfInfo = [](const std::string& pdf) {
        std::string out;
        if (FILE* pipe = ::popen(("pdfinfo '" + pdf + "' 2>/dev/null").c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                out.append(buffer, n);
            ::pclose(pipe);
        }
        return out;
    };
    const std::string pdf = (root / "chart-a5.pdf").string();
    QcpChartControl control;
    control.resize(600, 400);
    ui::PrintChoice choice;
    choice.outputFile = pdf;
    choice.copies = 2;
    choice.page.paper = "A5";
    choice.page.landscape = true;
    prompter.queuePrint(choice);
    control.print();
    const std::string info = pdfInfo(pdf);
    EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
    EXPECT_NE(info.find("595 x 420 pts"), std::string::npos) << info; // A5 across: 210 x 148 mm
    EXPECT_EQ(CurrentPageSetup(), choice.page);

    std::filesystem::remove(pdf);
    choice.copies = 1;
    choice.fromPage = choice.toPage = 2;
    prompter.queuePrint(choice);
    control.print();
    EXPECT_FALSE(pf::files::exists(pdf));
    SetCurrentPageSetup(ui::PageSetup{});
}

TEST_F(QcpChart, DarvasBoxesThreeDAndSeparatorsDraw)
{
    const QImage plain = image();
    chart->setDarvasPercent(0.01);
    chart->setDarvasBoxes(true);
    chart->setThreeD(true);
    chart->setSeparators(true);
    chart->setSeparatorColour(0x00FF00);
    chart->setGradientTop(0x400000);
    chart->setGradientBottom(0x000000);
    chart->setCandleWidth(10);
    const QImage styled = image();
    EXPECT_NE(plain, styled);
    const QRect volume = chart->panelRect(1);
    EXPECT_GT(count(styled, QRect(volume.left(), volume.top() - 2, volume.width(), 4), QColor(0, 255, 0)),
              volume.width() / 2); // the separator over the volume panel
}

} // namespace
