// The chart view on the offscreen platform: its logic on the recording chart
// control with downloads scripted, the openers on the drawing control, and
// the downloads and day cache against the test broker over loopback.
#include "broker_test_support.h"
#include "feed_test_support.h"

#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/ProgramPaths.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/RibbonLayout.h"
#include "market/CEodChartView.h"
#include "market/CWorkspaceBar.h"
#include "market/ChartLiveFeed.h"
#include "market/QcpChartControl.h"
#include "market/RecordingChartControl.h"
#include "testkit/headless.h"

#include "pf/files.h"
#include "pf/lzo.h"
#include "ui/document_view.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTreeWidgetItem>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

using feedtest::publishTable;

SecurityRecord security(const char* symbol, const char* exch, int token, int wtoken)
{
    SecurityRecord r;
    r.token = token;
    r.wtoken = wtoken;
    r.symbol.assign(symbol);
    r.market_exchange.assign(exch);
    r.inst_type.assign("EQ");
    r.setDisplayKey(std::string(symbol) + "~EQ");
    r.market_lot = 1;
    return r;
}

std::string eodText(int records, int year = 2024)
{
    std::string text;
    int made = 0;
    for (int m = 1; made < records; ++m)
        for (int d = 1; d <= 28 && made < records; ++d, ++made) {
            char rec[96];
            std::snprintf(rec, sizeof rec, "%d/%d/%d|%d|%d|%d|%d|1000000~", d, (m - 1) % 12 + 1, year + (m - 1) / 12,
                          100 + made, 105 + made, 95 + made, 101 + made);
            text += rec;
        }
    return text;
}

std::string intradayText(int64_t from, int trades, int step = 60)
{
    std::string text = "0|OK~";
    for (int i = 0; i < trades; ++i)
        text += std::to_string(100 + i % 7) + "|10|" + std::to_string(from + int64_t(i) * step) + "~";
    return text;
}

class ChartView : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        feedtest::resetFeedGlobals();
        SetProgramPaths(paths);
        SecurityRows rows;
        rows.push_back(security("INFY", "NN", 1594, 3187));
        rows.push_back(security("TCS", "NN", 11536, 23071));
        rows.push_back(security("SBIN", "BN", 500112, 500112));
        rows.push_back(security("WIPRO", "NN", 3787, 7575));
        m_table = publishTable(0, std::move(rows));
        IndexRecord nifty;
        std::strcpy(nifty.name, "Nifty 50");
        std::strcpy(nifty.exchange, "NN");
        nifty.feedCode = 26000;
        nifty.securityIndex = -1;
        IndexTable::instance().assign({nifty}, 100);
        FeedState::instance().setRunning(1);
        // 8 December 2026, 10:30 in Kolkata.
        clock.setMillis(ChartLocalEpoch(2026, 12, 8, 10, 30, 0) * 1000);
        CEodChartView::Services& s = CEodChartView::services();
        s.now = [this] { return clock.nowSeconds(); };
        s.feedConnected = [this] { return m_feedUp; };
        s.download = [this](ChartDataRequest r, bool useCache, std::function<void(ChartDownloadResult)> done) {
            requests.push_back(r);
            (void)useCache;
            pending.push_back(std::move(done));
        };
        s.pickCompareSecurity = [this](QWidget*) { return m_compare; };
        s.askStudyName = [this](QWidget*, const std::string&, std::string& name) {
            name = m_studyName;
            return !name.empty();
        };
        s.status = [this](const std::string& text) { m_status.push_back(text); };
        s.studyRoot = [this] { return m_studyRoot.empty() ? paths.data() / "Study" / "U1" : m_studyRoot; };
    }
    void TearDown() override
    {
        for (CEodChartView* v : CEodChartView::openViews())
            delete v;
        CEodChartView::resetServices();
        SetChartToolInstalled(true);
        IndexTable::instance().reset();
        FeedSubscriptions::instance().reset();
        FeedState::instance().reset();
        SecurityTable::publish(nullptr);
        Headless::TearDown();
    }
    int sec(const char* key) const { return m_table->searchScripKey(key, key[0] == 'S' ? "BN" : "NN"); }
    // A view on the recording control, opened on a security.
    CEodChartView* open(int security, int kind)
    {
        auto control = std::make_unique<RecordingChartControl>();
        m_rec = control.get();
        auto* v = new CEodChartView(std::move(control));
        v->OnInitialUpdate(security, kind);
        return v;
    }
    void deliver(const std::string& text)
    {
        ASSERT_FALSE(pending.empty());
        auto done = std::move(pending.front());
        pending.erase(pending.begin());
        ChartDownloadResult r;
        r.text = text;
        r.status = 200;
        done(r);
    }
    int64_t at(int h, int m, int s = 0) const { return ChartLocalEpoch(2026, 12, 8, h, m, s); }

    std::shared_ptr<SecurityTable> m_table;
    RecordingChartControl* m_rec = nullptr;
    std::vector<ChartDataRequest> requests;
    std::vector<std::function<void(ChartDownloadResult)>> pending;
    bool m_feedUp = true;
    int m_compare = -1;
    std::string m_studyName;
    std::filesystem::path m_studyRoot;
    std::vector<std::string> m_status;
};

TEST_F(ChartView, OpenersLimitThreeChartsAndBringTheSameChartForward)
{
    const int infy = sec("INFY~EQ");
    const int tcs = sec("TCS~EQ");
    // The drawing control, offscreen.
    CEodChartView* eod = OpenChartView(infy, kChartEod, nullptr);
    ASSERT_TRUE(eod);
    EXPECT_TRUE(dynamic_cast<QcpChartControl*>(&eod->control()));
    EXPECT_EQ(eod->caption(), "EOD-CHART [INFY~EQ~NN]");
    EXPECT_EQ(OpenChartView(infy, kChartEod, nullptr), eod);
    CEodChartView* intraday = OpenChartView(infy, kChartIntraday, nullptr);
    ASSERT_TRUE(intraday);
    EXPECT_NE(intraday, eod);
    CEodChartView* index = OpenChartView(0, kChartIndex, nullptr);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->caption(), "INDEX-INTRADAY-CHART[Nifty 50~NN]");
    EXPECT_EQ(OpenChartView(tcs, kChartEod, nullptr), nullptr);
    ASSERT_FALSE(prompter.asks().empty());
    EXPECT_EQ(prompter.asks().back().text, "You are allowed to open only 3 Charts.");
    // The requests asked for: the security host's file, the trade host's
    // security and index histories.
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/charts/3187.lzo");
    EXPECT_EQ(requests[1].query, "ctoken=3187|0");
    EXPECT_EQ(requests[2].query, "ctoken=26000|1");
    // Closing one makes room; a closed view drops its late history.
    eod->close();
    EXPECT_EQ(ChartFeedLink::openCharts(), 2);
    EXPECT_TRUE(OpenChartView(tcs, kChartEod, nullptr));
    deliver(eodText(10)); // the closed chart's: dropped, nothing breaks
    SetChartToolInstalled(false);
    intraday->close();
    EXPECT_EQ(OpenChartView(tcs, kChartIntraday, nullptr), nullptr);
    EXPECT_NE(prompter.asks().back().text.find("Charting Tool is not proper installed"), std::string::npos);
}

TEST_F(ChartView, IntervalsSetStyleBarLengthAndRefold)
{
    clock.setMillis(at(9, 59, 45) * 1000);
    CEodChartView* v = open(sec("INFY~EQ"), kChartIntraday);
    EXPECT_EQ(v->style(), 502);
    EXPECT_EQ(v->interval(), 1);
    EXPECT_EQ(v->barLength(), 1);
    EXPECT_EQ(v->intervalBox()->itemText(0).toStdString(), "TickByTick");
    deliver(intradayText(at(9, 0, 30), 60)); // to 09:59:30
    EXPECT_EQ(m_rec->recordCount(), 60);     // tick by tick: a point a trade
    EXPECT_FALSE(v->liveTimerRunning());
    v->intervalBox()->setCurrentIndex(1);
    EXPECT_EQ(v->style(), 501);
    EXPECT_EQ(v->interval(), 60);
    EXPECT_EQ(v->barLength(), 60);
    EXPECT_EQ(m_rec->recordCount(), 60);
    v->intervalBox()->setCurrentIndex(2);
    EXPECT_EQ(m_rec->recordCount(), 12);
    // The first bar opens at 09:00 and is stamped at its end.
    EXPECT_EQ(ChartDateText(m_rec->records().date(0)), "08/12/2026 09:05:00");
    v->zoomBox()->setCurrentIndex(1); // the last 10 minutes
    EXPECT_EQ(v->span(), 10);
    EXPECT_LT(m_rec->recordCount(), 12);
}

TEST_F(ChartView, EndOfDayChartShowsTheLastNinetyRecords)
{
    const struct {
        int records, first, last;
    } cases[] = {{60, 1, 60}, {500, 410, 500}};
    for (const auto& c : cases) {
        CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
        EXPECT_FALSE(v->ready());
        deliver(eodText(c.records));
        EXPECT_TRUE(v->ready());
        EXPECT_EQ(m_rec->recordCount(), c.records);
        EXPECT_EQ(m_rec->firstVisible(), c.first);
        EXPECT_EQ(m_rec->lastVisible(), c.last);
        EXPECT_EQ(m_rec->panelSizes().size(), 2u); // price and volume
        EXPECT_EQ(m_rec->settings().volumeUnit, "M");
        v->intervalBox()->setCurrentIndex(2); // monthly
        EXPECT_LT(m_rec->recordCount(), c.records);
        delete v;
    }
    // An index chart of 500 bars shows the last 200.
    CEodChartView* idx = open(0, kChartIndex);
    idx->intervalBox()->setCurrentIndex(1);
    deliver(intradayText(at(9, 0, 30), 500));
    EXPECT_EQ(m_rec->recordCount(), 500);
    EXPECT_EQ(m_rec->firstVisible(), 300);
    // A history that brings nothing leaves an empty chart with its panels.
    CEodChartView* empty = open(sec("TCS~EQ"), kChartIntraday);
    deliver("1|No data~");
    EXPECT_EQ(m_rec->recordCount(), 0);
    EXPECT_FALSE(m_rec->panelSizes().empty());
    EXPECT_TRUE(empty->ready());
}

TEST_F(ChartView, LiveTradesMoveTheLiveBarAndOpenTheNext)
{
    const int infy = sec("INFY~EQ");
    clock.setMillis(at(10, 29) * 1000);
    CEodChartView* v = open(infy, kChartIntraday);
    v->intervalBox()->setCurrentIndex(2); // 5 minutes
    deliver(intradayText(at(9, 0, 30), 89)); // to 10:28:30
    const int bars = m_rec->recordCount();
    EXPECT_EQ(v->liveBarEnd(), at(10, 30));
    EXPECT_TRUE(v->liveTimerRunning());
    const size_t queued = v->tickQueue().size();
    // Another subscribed security's trade adds nothing.
    v->UpdateRTFeed({ChartTrade::Security, sec("TCS~EQ"), 500, 10, at(10, 29)});
    EXPECT_EQ(v->tickQueue().size(), queued);
    v->UpdateRTFeed({ChartTrade::Security, infy, 150, 7, at(10, 29, 10)});
    EXPECT_EQ(v->tickQueue().size(), queued + 1);
    EXPECT_DOUBLE_EQ(v->liveBar().close, 150);
    EXPECT_DOUBLE_EQ(v->liveBar().high, 150);
    EXPECT_EQ(m_rec->recordCount(), bars);
    // A trade after the bar's end opens the next bar.
    v->UpdateRTFeed({ChartTrade::Security, infy, 140, 3, at(10, 30, 5)});
    EXPECT_EQ(m_rec->recordCount(), bars + 1);
    EXPECT_DOUBLE_EQ(v->liveBar().open, 140);
    EXPECT_DOUBLE_EQ(v->liveBar().volume, 3);
    // The timer closes the bar at its end while the feed runs ...
    clock.setMillis(at(10, 35, 1) * 1000);
    v->AppendLiveBar();
    EXPECT_EQ(m_rec->recordCount(), bars + 2);
    // ... and stops, adding nothing, when the feed is down at the end.
    m_feedUp = false;
    clock.setMillis(at(10, 40, 1) * 1000);
    v->AppendLiveBar();
    EXPECT_EQ(m_rec->recordCount(), bars + 2);
    EXPECT_FALSE(v->liveTimerRunning());
}

TEST_F(ChartView, AnIndexChartTakesItsOwnBroadcastsOnly)
{
    clock.setMillis(at(10, 29) * 1000);
    CEodChartView* v = open(0, kChartIndex);
    v->intervalBox()->setCurrentIndex(1); // 1 minute
    deliver(intradayText(at(9, 0, 30), 88)); // to 10:27:30
    EXPECT_EQ(m_rec->panelSizes().size(), 1u); // no volume panel on index charts
    const size_t queued = v->tickQueue().size();
    v->UpdateRTFeed({ChartTrade::Security, sec("INFY~EQ"), 1500, 1, at(10, 28, 40)});
    v->UpdateRTFeed({ChartTrade::Index, 99999, 1500, 0, at(10, 28, 40)});
    EXPECT_EQ(v->tickQueue().size(), queued);
    v->UpdateRTFeed({ChartTrade::Index, 26000, 26100.5, 0, at(10, 28, 45)});
    EXPECT_EQ(v->tickQueue().size(), queued + 1);
    EXPECT_DOUBLE_EQ(v->liveBar().close, 26100.5);
    // The feed side: the index table's row of the chart's feed code.
    std::vector<IndexRecord> indices = IndexTable::instance().entries();
    indices[0].values[0] = 2610200;
    indices[0].stamp = at(10, 28, 50);
    IndexTable::instance().assign(indices, 100);
    v->liveFeed()->indexUpdated(26000);
    v->liveFeed()->indexUpdated(26000); // the same broadcast again adds nothing
    v->DrainFeed();
    EXPECT_EQ(v->tickQueue().size(), queued + 2);
    EXPECT_DOUBLE_EQ(v->liveBar().close, 26102);
}

TEST_F(ChartView, ASecurityReDownloadFindsTheChartsSecurityAgainOrClosesIt)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartIntraday);
    const int slot = v->slot();
    // A new master with INFY at another place.
    SecurityRows rows{security("ACC", "NN", 22, 43), security("INFY", "NN", 1594, 3187)};
    m_table = publishTable(0, std::move(rows));
    v->DrainFeed();
    EXPECT_EQ(v->security(), 1);
    EXPECT_EQ(FeedSubscriptions::instance().window(slot).index, 1);
    EXPECT_FALSE(v->closing());
    // A master without it: the chart closes and says why.
    m_table = publishTable(0, {security("ACC", "NN", 22, 43)});
    v->DrainFeed();
    EXPECT_TRUE(v->closing());
    EXPECT_EQ(prompter.asks().back().text, "The security of this chart is no longer available.");
    EXPECT_FALSE(FeedSubscriptions::instance().window(slot).in_use);
}

// The interval and zoom boxes get their entries after the window is shown,
// and still show each entry whole ("TickByTick", "Half Yearly").
TEST_F(ChartView, TheIntervalAndZoomBoxesShowTheirWholeEntries)
{
    for (int kind : {kChartIntraday, kChartEod}) {
        auto control = std::make_unique<RecordingChartControl>();
        m_rec = control.get();
        auto* v = new CEodChartView(std::move(control));
        v->resize(1200, 500);
        v->show();
        QApplication::processEvents();
        v->OnInitialUpdate(sec("INFY~EQ"), kind);
        QApplication::processEvents();
        if (kind == kChartEod) {
            EXPECT_EQ(v->intervalBox()->itemText(3).toStdString(), "Quarterly");
        }
        for (QComboBox* box : {v->intervalBox(), v->zoomBox()}) {
            ASSERT_GT(box->count(), 0);
            // The field the current entry is drawn in, inside the frame and
            // left of the arrow.
            QStyleOptionComboBox option;
            option.initFrom(box);
            option.editable = false;
            const int field =
                box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width();
            for (int i = 0; i < box->count(); ++i)
                EXPECT_GE(field, box->fontMetrics().horizontalAdvance(box->itemText(i))) << box->itemText(i).toStdString();
        }
        delete v;
    }
}

TEST_F(ChartView, AnIndexChartAddsItsTokenOnceAndRemovesItOnce)
{
    std::vector<IndexRecord> indices = IndexTable::instance().entries();
    indices[0].securityIndex = sec("INFY~EQ");
    IndexTable::instance().assign(indices, 100);
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    CEodChartView* v = open(0, kChartIndex);
    EXPECT_EQ(subs.chartIndexTokenList(), "3187,");
    EXPECT_EQ(subs.chartIndexTokenCount(), 1);
    EXPECT_FALSE(v->findChild<QWidget*>("1205")->isVisibleTo(v)); // no compare on index charts
    delete v;
    EXPECT_EQ(subs.chartIndexTokenCount(), 0);
    EXPECT_EQ(subs.chartIndexTokenList(), "");
}

TEST_F(ChartView, IndicatorsRefusedOnHistogramsAndCountedByType)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(120));
    const int macd = v->indicatorBox()->findText("MACD");
    ASSERT_GE(macd, 0);
    v->indicatorBox()->setCurrentIndex(macd);
    v->OnAddIndicator();
    v->OnAddIndicator();
    ASSERT_EQ(v->indicators().size(), 2u);
    EXPECT_EQ(v->indicators()[1].key, "MACD 2");
    EXPECT_EQ(m_rec->indicatorCount(macd), 2);
    v->OnCommand(32900); // histogram: the OHLC indicators cannot be replayed
    EXPECT_EQ(v->style(), 503);
    EXPECT_EQ(m_rec->indicatorCount(macd), 0);
    EXPECT_EQ(v->indicatorBox()->currentIndex(), 0); // a redraw selects the first entry
    v->indicatorBox()->setCurrentIndex(macd);
    v->OnAddIndicator();
    ASSERT_FALSE(prompter.asks().empty());
    EXPECT_EQ(prompter.asks().back().text, "MACD can be Added in an OHLC type chart only");
    EXPECT_EQ(v->indicators().size(), 2u);
    v->OnCommand(32899); // candles again: both come back
    EXPECT_EQ(m_rec->indicatorCount(macd), 2);
}

TEST_F(ChartView, ComparedSeriesAreLimitedAndCompactedOnDelete)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(40));
    const char* keys[] = {"TCS~EQ", "SBIN~EQ", "WIPRO~EQ"};
    for (const char* key : keys) {
        m_compare = sec(key);
        prompter.queueColour(std::nullopt); // cancelled: the default colour
        v->OnCompareSecurity();
        deliver(eodText(40));
    }
    ASSERT_EQ(v->comparedCount(), 3);
    EXPECT_EQ(v->comparedSlot(0).colour, CEodChartView::kCompareColour);
    EXPECT_EQ(requests.back().path, "/charts/7575.lzo");
    v->OnCompareSecurity();
    EXPECT_EQ(prompter.asks().back().text, "Only 3 securities can be compared at a time");
    v->setSelection(kHitLineSeries, "TCS~EQ~NN");
    v->OnDeleteSeries();
    ASSERT_EQ(v->comparedCount(), 2);
    EXPECT_EQ(v->comparedSlot(0).name, "SBIN~EQ~BN");
    EXPECT_EQ(v->comparedSlot(1).name, "WIPRO~EQ~NN");
    EXPECT_EQ(v->comparedSlot(2).security, -1);
    // A series that is not compared leaves the slots alone.
    v->setSelection(kHitLineSeries, "INFY~EQ~NN.vol");
    v->OnDeleteSeries();
    EXPECT_EQ(v->comparedCount(), 2);
}

TEST_F(ChartView, DrawingToolsNumberTheirObjects)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(30));
    prompter.queueColour(ui::Rgb{0x0000FF});
    v->OnCommand(33178);
    ASSERT_TRUE(m_rec->place({m_rec->records().date(2), 100}, {m_rec->records().date(9), 110}));
    v->OnCommand(32898); // a style change keeps the drawing
    EXPECT_EQ(m_rec->objectList().size(), 1u);
    EXPECT_EQ(v->style(), 502);
    prompter.queueColour(std::nullopt); // cancelled: no number used
    v->OnCommand(33179);
    prompter.queueColour(ui::Rgb{0x00FF00});
    v->OnCommand(33180);
    EXPECT_EQ(v->objectCounter(), 2);
    // Each picker opened on the white fore colour, never black on the black chart.
    const auto initials = prompter.colourInitials();
    ASSERT_EQ(initials.size(), 3u);
    for (const ui::Rgb& initial : initials)
        EXPECT_EQ(initial.bgr, 0xFFFFFFu);
    const auto trend = m_rec->callsOf(91);
    ASSERT_EQ(trend.size(), 1u);
    EXPECT_EQ(std::get<std::string>(trend[0].args[0]), "1");
    const auto tools = m_rec->callsOf(134);
    ASSERT_EQ(tools.size(), 1u);
    EXPECT_EQ(std::get<int>(tools[0].args[0]), int(kToolRectangle));
    EXPECT_EQ(std::get<std::string>(tools[0].args[1]), "2");
    v->OnCommand(33199);
    EXPECT_EQ(m_rec->candleWidth(), 10);
    EXPECT_TRUE(v->commandChecked(33199));
    v->OnCommand(32917);
    EXPECT_EQ(m_rec->scaleType(), 1);
    prompter.queueSavePath((root / "chart.bmp").string());
    v->OnCommand(33177);
    prompter.queueSavePath(std::nullopt); // cancelled: nothing written
    v->OnCommand(33177);
    ASSERT_EQ(m_rec->savedBitmaps().size(), 1u);
    EXPECT_EQ(m_rec->savedBitmaps()[0], (root / "chart.bmp").string());
    v->OnCommand(57607);
    EXPECT_EQ(m_rec->printCount(), 1);
}

TEST_F(ChartView, StudiesAreListedRenamedDeletedAndNeverReportedSavedOnFailure)
{
    CWorkspaceBar bar;
    const auto root = paths.data() / "Study" / "U1";
    bar.FillStudyTree(root);
    CEodChartView* v = open(sec("SBIN~EQ"), kChartIntraday);
    v->intervalBox()->setCurrentIndex(2);
    deliver(intradayText(at(9, 0, 30), 30));
    v->OnCommand(32899);
    m_studyName = "trend1";
    v->OnSaveTrendAnalysis();
    const auto folder = root / "2";
    EXPECT_TRUE(pf::files::exists(folder / "trend1-500112-501-300.scgx"));
    EXPECT_TRUE(pf::files::exists(folder / "trend1-500112-501-300.scox"));
    ASSERT_FALSE(m_status.empty());
    EXPECT_EQ(m_status.back(), "Chart Analysis saved successfully");
    const StudyInfo* trend = bar.find(2, "trend1");
    ASSERT_TRUE(trend);
    EXPECT_EQ(trend->item->parent(), bar.root(2));
    EXPECT_EQ(trend->token, 500112);
    // Overwrite asks; No keeps everything.
    prompter.queueAnswer(7);
    v->OnSaveTrendAnalysis();
    EXPECT_EQ(prompter.asks().back().text, "The given template name already exists. Do you want to overwrite it?");
    EXPECT_EQ(m_status.size(), 1u);
    // The same name as a full chart of another kind is another study.
    CEodChartView* eod = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(30));
    eod->OnSaveFullChart();
    EXPECT_TRUE(pf::files::exists(root / "1" / "trend1.scgx"));
    EXPECT_TRUE(pf::files::exists(folder / "trend1-500112-501-300.scgx"));
    // After the next login: the full chart is kind 4, the trend study keeps its parts.
    bar.FillStudyTree(root);
    ASSERT_TRUE(bar.find(1, "trend1"));
    EXPECT_EQ(bar.find(1, "trend1")->kind, kChartSaved);
    ASSERT_TRUE(bar.find(2, "trend1"));
    EXPECT_EQ(bar.find(2, "trend1")->interval, 300);
    // Rename keeps the suffix and refuses a name in use.
    m_studyName = "trend2";
    prompter.queueAnswer(6);
    ASSERT_TRUE(bar.RenameStudy(bar.find(2, "trend1")->item));
    EXPECT_TRUE(pf::files::exists(folder / "trend2-500112-501-300.scgx"));
    EXPECT_TRUE(pf::files::exists(folder / "trend2-500112-501-300.scox"));
    EXPECT_FALSE(pf::files::exists(folder / "trend1-500112-501-300.scgx"));
    // A full chart opens with its data and no download.
    const size_t asked = requests.size();
    bar.OpenStudy(bar.find(1, "trend1")->item);
    CEodChartView* saved = CEodChartView::openViews().back();
    EXPECT_EQ(saved->kind(), kChartSaved);
    EXPECT_EQ(saved->caption(), "Saved Chart [trend1]");
    EXPECT_EQ(saved->control().recordCount(), 30);
    EXPECT_EQ(requests.size(), asked);
    delete saved;
    // Delete removes both files of a trend study, the one of a full chart.
    prompter.queueAnswer(6);
    ASSERT_TRUE(bar.DeleteStudy(bar.find(2, "trend2")->item));
    EXPECT_FALSE(pf::files::exists(folder / "trend2-500112-501-300.scox"));
    EXPECT_FALSE(bar.find(2, "trend2"));
    prompter.queueAnswer(6);
    ASSERT_TRUE(bar.DeleteStudy(bar.find(1, "trend1")->item));
    EXPECT_FALSE(pf::files::exists(root / "1" / "trend1.scgx"));
    // A folder that cannot be made: an error, never "saved".
    pf::files::writeAll(paths.data() / "blocked", "x");
    m_studyRoot = paths.data() / "blocked";
    v->OnSaveFullChart();
    EXPECT_EQ(m_status.size(), 2u);
    EXPECT_EQ(prompter.asks().back().text, "Chart Analysis could not be saved.");
}

TEST_F(ChartView, AStudyOfASecurityGoneFromTheMasterIsRefused)
{
    const auto folder = paths.data() / "Study" / "U1" / "2";
    std::filesystem::create_directories(folder);
    pf::files::writeAll(folder / "old-424242-501-300.scgx", "{}");
    CWorkspaceBar bar;
    bar.FillStudyTree(paths.data() / "Study" / "U1");
    ASSERT_TRUE(bar.find(2, "old"));
    bar.OpenStudy(bar.find(2, "old")->item);
    EXPECT_EQ(prompter.asks().back().text, "The Security No Longer Exists");
    EXPECT_TRUE(CEodChartView::openViews().empty());
}

TEST_F(ChartView, ClosingWhileNotReadyAsks)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    QPointer<CEodChartView> alive(v);
    v->setAttribute(Qt::WA_DeleteOnClose);
    v->show();
    prompter.queueAnswer(7); // No
    v->close();
    EXPECT_FALSE(v->closing());
    EXPECT_NE(prompter.asks().back().text.find("Chart data is currently being downloaded"), std::string::npos);
    const int slot = v->slot();
    ASSERT_GE(slot, 0);
    prompter.queueAnswer(6); // Yes
    v->close();
    pumpUntil([&] { return alive.isNull(); }, 2000);
    EXPECT_FALSE(FeedSubscriptions::instance().window(slot).in_use);
    deliver(eodText(5)); // the late history goes nowhere
}

// The scroll bar under the chart: its position is the first visible record,
// its page the visible count; steps move the window and never past either end.
TEST_F(ChartView, ScrollStepsMoveTheWindowByARecordOrAPage)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(500));
    QScrollBar* bar = v->scrollBar();
    ASSERT_EQ(m_rec->firstVisible(), 410);
    const int n = m_rec->visibleCount();
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 500 - n + 1);
    EXPECT_EQ(bar->pageStep(), n);
    EXPECT_EQ(bar->value(), 410);

    // Leftward the first record goes first, rightward the last (the window
    // never shrinks on the way).
    auto order = [&] {
        std::vector<int> ids;
        for (const ChartCall& c : m_rec->calls())
            if (c.kind == ChartCall::Put && (c.id == 47 || c.id == 48))
                ids.push_back(c.id);
        return ids;
    };
    const struct {
        QAbstractSlider::SliderAction action;
        int first, last;
        bool pastEnd;
        std::vector<int> puts;
    } steps[] = {
        {QAbstractSlider::SliderPageStepSub, 410 - n, 409, false, {47, 48}},
        {QAbstractSlider::SliderSingleStepAdd, 411 - n, 410, false, {48, 47}},
        {QAbstractSlider::SliderPageStepAdd, 410, 500, true, {48, 47}}, // past the end: pinned
        {QAbstractSlider::SliderSingleStepAdd, 410, 500, true, {48, 47}},
        {QAbstractSlider::SliderSingleStepSub, 409, 499, false, {47, 48}},
        {QAbstractSlider::SliderPageStepSub, 409 - n, 499 - n, false, {47, 48}},
        {QAbstractSlider::SliderPageStepSub, 409 - 2 * n, 499 - 2 * n, false, {47, 48}},
        {QAbstractSlider::SliderPageStepSub, 409 - 3 * n, 499 - 3 * n, false, {47, 48}},
        {QAbstractSlider::SliderPageStepSub, 409 - 4 * n, 499 - 4 * n, false, {47, 48}},
        {QAbstractSlider::SliderPageStepSub, 1, n, false, {47, 48}}, // not below the first record
        {QAbstractSlider::SliderSingleStepSub, 1, n, false, {}},     // unchanged: nothing sent
    };
    for (size_t k = 0; k < std::size(steps); ++k) {
        m_rec->clearCalls();
        bar->triggerAction(steps[k].action);
        EXPECT_EQ(m_rec->firstVisible(), steps[k].first) << k;
        EXPECT_EQ(m_rec->lastVisible(), steps[k].last) << k;
        EXPECT_EQ(m_rec->visibleCount(), n) << k;
        EXPECT_EQ(v->pastEnd(), steps[k].pastEnd) << k;
        EXPECT_EQ(bar->value(), steps[k].first) << k;
        EXPECT_EQ(order(), steps[k].puts) << k;
    }
    // Dragging the thumb takes the window along.
    bar->setSliderPosition(200);
    EXPECT_EQ(m_rec->firstVisible(), 200);
    EXPECT_EQ(m_rec->lastVisible(), 200 + n - 1);
    EXPECT_EQ(bar->value(), 200);
    delete v;

    // Every record on screen: a step right pins the window and resets the zoom.
    CEodChartView* all = open(sec("TCS~EQ"), kChartEod);
    deliver(eodText(60));
    ASSERT_EQ(m_rec->visibleCount(), 60);
    EXPECT_EQ(all->scrollBar()->maximum(), 1);
    m_rec->clearCalls();
    all->scrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(m_rec->firstVisible(), 1);
    EXPECT_EQ(m_rec->lastVisible(), 60);
    EXPECT_FALSE(m_rec->callsOf(75).empty());
    // An empty chart ignores the bar.
    CEodChartView* empty = open(sec("WIPRO~EQ"), kChartIntraday);
    deliver("1|No data~");
    empty->scrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(m_rec->recordCount(), 0);
    EXPECT_FALSE(empty->pastEnd());
}

// On the drawing control too the bar's page is the visible count once the
// history is drawn.
TEST_F(ChartView, TheScrollBarFollowsTheFirstDrawingOfTheDrawingControl)
{
    CEodChartView* v = OpenChartView(sec("INFY~EQ"), kChartEod, nullptr);
    ASSERT_TRUE(v);
    deliver(eodText(500));
    IChartControl& c = v->control();
    EXPECT_EQ(c.firstVisible(), 410);
    EXPECT_EQ(v->scrollBar()->pageStep(), c.visibleCount());
    EXPECT_EQ(v->scrollBar()->maximum(), 500 - c.visibleCount() + 1);
    EXPECT_EQ(v->scrollBar()->value(), 410);
}

// The context-menu key on the chart shows the main window's menu at the
// chart's middle; the chosen command runs as the frame's.
TEST_F(ChartView, TheContextMenuKeyShowsTheMainMenu)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(30));
    m_rec->fireKeyUp(93);
    EXPECT_TRUE(prompter.menus().empty()) << "no main window: no menu";

    CMainFrame::Services services;
    auto frame = std::make_unique<CMainFrame>(services);
    frame->OnCreate();
    ASSERT_EQ(CMainFrame::Instance(), frame.get());
    int about = 0;
    frame->Commands().add(ID_APP_ABOUT, [&] { ++about; });
    m_rec->fireKeyUp(65); // another key: nothing
    EXPECT_TRUE(prompter.menus().empty());
    prompter.queueMenuCommand(ID_APP_ABOUT);
    m_rec->fireKeyUp(93);
    ASSERT_EQ(prompter.menus().size(), 1u);
    const ui::MenuSpec menu = prompter.menus()[0];
    ASSERT_EQ(menu.items.size(), RibbonMainMenu().size());
    EXPECT_EQ(menu.items.front().text, "New");
    EXPECT_EQ(menu.items.back().text, "Exit");
    EXPECT_EQ(menu.items[6].id, 0) << "the separators stay";
    EXPECT_EQ(about, 1);
    delete v;
}

// The chart is its document's view: the document's pre-close frees it once.
TEST_F(ChartView, TheDocumentsPreCloseFreesTheChartOnce)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartIntraday);
    ui::DocumentView* doc = v;
    EXPECT_EQ(doc->viewClassName(), "CEodChartView");
    EXPECT_FALSE(doc->isClosed());
    const int slot = v->slot();
    ASSERT_GE(slot, 0);
    doc->closeFromFrame();
    EXPECT_TRUE(doc->isClosed());
    EXPECT_FALSE(FeedSubscriptions::instance().window(slot).in_use);
    EXPECT_TRUE(v->ready());
    doc->closeFromFrame(); // a second time: nothing more
    deliver(intradayText(at(9, 0, 30), 10)); // its late history is dropped
    EXPECT_EQ(m_rec->recordCount(), 0);
    delete v;
}

// --- against the test broker ---------------------------------------------------

class ChartBroker : public ChartView {
protected:
    void SetUp() override
    {
        ChartView::SetUp();
        CEodChartView::resetServices();
        CEodChartView::services().now = [this] { return clock.nowSeconds(); };
        broker = brokertest::startLoopbackBroker(200);
        ASSERT_TRUE(broker);
        brokertest::pointConfigAt(*broker);
        CopyFixedText(g_Config.Security_Host, "127.0.0.1");
        // Securities of the broker's universe, by their watch tokens.
        SecurityRows rows;
        for (const tb::Security& s : broker->universe().securities()) {
            if (s.inst != "EQ" || rows.size() >= 3)
                continue;
            rows.push_back(security(s.symbol.c_str(), s.exchange.c_str(), s.token, s.wtoken));
            wtokens.push_back(s.wtoken);
        }
        m_table = publishTable(0, std::move(rows));
    }
    void TearDown() override
    {
        brokertest::stopLoopbackBroker(broker);
        ChartView::TearDown();
    }
    int gets(const std::string& path) const
    {
        int n = 0;
        for (const auto& r : broker->requests())
            n += r.path == path;
        return n;
    }
    CEodChartView* openReal(int security, int kind)
    {
        auto control = std::make_unique<RecordingChartControl>();
        m_rec = control.get();
        auto* v = new CEodChartView(std::move(control));
        v->OnInitialUpdate(security, kind);
        EXPECT_TRUE(pumpUntil([&] { return v->ready(); }, 10000));
        return v;
    }
    std::filesystem::path cacheFile(int wtoken) const
    {
        const pf::LocalTime t = clock.localNow();
        return paths.logs() / EodCacheFileName(wtoken, t.year, t.month, t.day);
    }

    std::unique_ptr<tb::TestBroker> broker;
    std::vector<int> wtokens;
};

TEST_F(ChartBroker, EndOfDayHistoryIsCachedForTheDay)
{
    ASSERT_FALSE(wtokens.empty());
    const std::string path = "/charts/" + std::to_string(wtokens[0]) + ".lzo";
    broker->chartHistory(wtokens[0], 300);
    delete openReal(0, kChartEod);
    EXPECT_EQ(gets(path), 1);
    EXPECT_TRUE(pf::files::exists(cacheFile(wtokens[0])));
    CEodChartView* again = openReal(0, kChartEod);
    EXPECT_EQ(gets(path), 1);
    EXPECT_EQ(m_rec->recordCount(), 300);
    delete again;
    // A damaged cache is deleted and fetched again.
    pf::files::writeAll(cacheFile(wtokens[0]), "not lzo");
    delete openReal(0, kChartEod);
    EXPECT_EQ(gets(path), 2);
    // The next day has no cache yet.
    clock.advanceSeconds(86400);
    CEodChartView* next = openReal(0, kChartEod);
    EXPECT_EQ(gets(path), 3);
    EXPECT_EQ(m_rec->recordCount(), 300);
    delete next;
}

TEST_F(ChartBroker, UnknownTokenGivesAnEmptyChartAndNoCache)
{
    // A security the broker does not know.
    SecurityRows rows{security("GHOST", "NN", 1, 99999991)};
    m_table = publishTable(0, std::move(rows));
    CEodChartView* v = openReal(0, kChartEod);
    EXPECT_EQ(gets("/charts/99999991.lzo"), 1);
    EXPECT_EQ(m_rec->recordCount(), 0);
    EXPECT_FALSE(pf::files::exists(cacheFile(99999991)));
    delete v;
}

// A history download cut short shows an empty chart and says so.
TEST_F(ChartBroker, AHistoryCutShortSaysTheDataCouldNotBeLoaded)
{
    ASSERT_FALSE(wtokens.empty());
    const std::string path = "/charts/" + std::to_string(wtokens[0]) + ".lzo";
    broker->chartHistory(wtokens[0], 300);
    tb::HttpFault cut;
    cut.cutAfter = 10;
    broker->armFault(path, cut);
    CEodChartView* v = openReal(0, kChartEod);
    EXPECT_EQ(m_rec->recordCount(), 0);
    EXPECT_FALSE(pf::files::exists(cacheFile(wtokens[0])));
    int told = 0;
    for (const testkit::AskRecord& a : prompter.asks())
        told += a.text == "The chart data could not be loaded. Please try again.";
    EXPECT_EQ(told, 1);
    delete v;
}

TEST_F(ChartBroker, IntradayHistoryAsksForTheSecuritysTradesAndDrawsBars)
{
    ASSERT_FALSE(wtokens.empty());
    clock.setMillis(at(11, 0) * 1000);
    CEodChartView* v = openReal(0, kChartIntraday);
    const auto got = broker->requests();
    bool asked = false;
    for (const auto& r : got)
        asked = asked || (r.path == "/qtrade/feeds.exe" && (r.query == "ctoken=" + std::to_string(wtokens[0]) + "|0" ||
                                                            r.query == "ctoken=" + std::to_string(wtokens[0]) + "%7C0"));
    EXPECT_TRUE(asked);
    EXPECT_GT(m_rec->recordCount(), 0);
    // A status other than 0 in the header gives no bars.
    const std::string refusal = "1|Error~100|1|5~";
    const auto packed = pf::lzo::compress(reinterpret_cast<const unsigned char*>(refusal.data()), refusal.size());
    broker->setReply("/qtrade/feeds.exe", std::string(packed.begin(), packed.end()));
    CEodChartView* refused = openReal(1, kChartIntraday);
    EXPECT_EQ(m_rec->recordCount(), 0);
    delete refused;
    delete v;
}

} // namespace

namespace {

TEST_F(ChartView, ZoomOutThenInLeavesNoZoomForTheNextRedraw)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(200));
    v->OnCommand(33202);
    v->OnCommand(33201);
    EXPECT_EQ(v->zoomLevel(), 0);
    m_rec->clearCalls();
    v->DrawChartBase(false);
    EXPECT_TRUE(m_rec->callsOf(68).empty()) << "a redraw zoomed in again";
    EXPECT_TRUE(m_rec->callsOf(69).empty());
    // Two ins and one out: one zoom in at every redraw.
    v->OnCommand(33201);
    v->OnCommand(33201);
    v->OnCommand(33202);
    m_rec->clearCalls();
    v->DrawChartBase(false);
    EXPECT_EQ(m_rec->callsOf(68).size(), 1u);
    EXPECT_TRUE(m_rec->callsOf(69).empty());
}

TEST_F(ChartView, UpAndDownColoursAreTheUsersSettings)
{
    const uint32_t up = g_AppSettings.up_back_colour, down = g_AppSettings.down_back_colour;
    g_AppSettings.up_back_colour = 0x00123456;
    g_AppSettings.down_back_colour = 0x00654321;
    open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(30));
    EXPECT_EQ(m_rec->settings().up, 0x123456);
    EXPECT_EQ(m_rec->settings().down, 0x654321);
    open(sec("TCS~EQ"), kChartIntraday);
    deliver(intradayText(at(9, 0, 30), 20));
    EXPECT_EQ(m_rec->settings().up, 0x123456);
    EXPECT_EQ(m_rec->settings().down, 0x654321);
    g_AppSettings.up_back_colour = up;
    g_AppSettings.down_back_colour = down;
}

TEST_F(ChartView, ASecondCompareWaitsForTheFirstToDownload)
{
    CEodChartView* v = open(sec("INFY~EQ"), kChartEod);
    deliver(eodText(60));
    auto* button = v->findChild<QPushButton*>("1205");
    ASSERT_TRUE(button);
    m_compare = sec("TCS~EQ");
    v->OnCompareSecurity();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_NE(button->toolTip().toStdString().find("TCS~EQ~NN"), std::string::npos);
    // The second is refused with the reason while the first downloads.
    m_compare = sec("WIPRO~EQ");
    v->OnCompareSecurity();
    EXPECT_EQ(pending.size(), 1u);
    EXPECT_EQ(prompter.asks().back().text, "Please wait: TCS~EQ~NN is still being downloaded for comparison.");
    deliver(eodText(60));
    EXPECT_EQ(v->comparedCount(), 1);
    EXPECT_EQ(v->comparedSlot(0).name, "TCS~EQ~NN");
    EXPECT_TRUE(button->isEnabled());
    // Then the second lands in the next slot; both stay.
    v->OnCompareSecurity();
    deliver(eodText(60));
    ASSERT_EQ(v->comparedCount(), 2);
    EXPECT_EQ(v->comparedSlot(0).name, "TCS~EQ~NN");
    EXPECT_EQ(v->comparedSlot(1).name, "WIPRO~EQ~NN");
}

TEST_F(ChartView, LiveTradesBeforeTheHistoryFollowItAndTradesOutsideTheDayAreRefused)
{
    const int infy = sec("INFY~EQ");
    clock.setMillis(at(10, 29) * 1000);
    CEodChartView* v = open(infy, kChartIntraday);
    v->intervalBox()->setCurrentIndex(2); // 5 minutes
    // Two trades while the history downloads: one the history also holds
    // (10:28:30), one after its end.
    v->UpdateRTFeed({ChartTrade::Security, infy, 150, 7, at(10, 28, 30)});
    v->UpdateRTFeed({ChartTrade::Security, infy, 160, 4, at(10, 28, 50)});
    deliver(intradayText(at(9, 0, 30), 89)); // 89 trades, 09:00:30 to 10:28:30
    ASSERT_EQ(v->tickQueue().size(), 90u);
    EXPECT_DOUBLE_EQ(v->tickQueue().back().close, 160);
    EXPECT_DOUBLE_EQ(v->liveBar().close, 160);
    // The 10:25-10:30 bar: trades 10:25:30 .. 10:28:30 (4 of 10) and 4 live.
    EXPECT_DOUBLE_EQ(v->liveBar().volume, 44);

    // A live trade a year old or in the future makes nothing.
    const size_t queued = v->tickQueue().size();
    const int records = m_rec->recordCount();
    v->UpdateRTFeed({ChartTrade::Security, infy, 170, 1, at(10, 29) - 365 * 86400});
    v->UpdateRTFeed({ChartTrade::Security, infy, 170, 1, at(10, 29) + 2 * 86400});
    EXPECT_EQ(v->tickQueue().size(), queued);
    EXPECT_EQ(m_rec->recordCount(), records);
}

TEST_F(ChartView, AHistoryWithATradeOfAnotherDayMakesTheDaysBarsOnly)
{
    clock.setMillis(at(10, 29) * 1000);
    CEodChartView* v = open(sec("INFY~EQ"), kChartIntraday);
    v->intervalBox()->setCurrentIndex(1); // 1 minute
    // A stray trade of the evening before: folded, it made a bar for every
    // minute of the night.
    const std::string text = "0|OK~100|1|" + std::to_string(at(10, 0) - 11 * 3600) + "~101|1|" +
                             std::to_string(at(10, 0)) + "~102|1|" + std::to_string(at(10, 5)) + "~";
    deliver(text);
    ASSERT_EQ(v->tickQueue().size(), 2u);
    // The day's trades at 10:00 and 10:05 in one-minute bars, rolled on to
    // the bar of now (10:29): 10:01 to 10:30.
    EXPECT_EQ(m_rec->recordCount(), 30);
    EXPECT_EQ(ChartDateText(m_rec->records().date(0)), "08/12/2026 10:01:00");
}

} // namespace
