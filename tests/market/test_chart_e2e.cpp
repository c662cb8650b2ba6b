// End to end against the test broker's market: after U1's login a watch
// row's "Intraday Chart" makes the broker serve that security's trades, the
// bars show, pushed quotes move the live bar and a new bar opens after its
// end; "Eod Chart" downloads the history once and reads it from the day cache
// after; a saved trend study appears in the "Charts" pane and reopens there.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "market/CEodChartView.h"
#include "market/CWorkspaceBar.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"
#include "frame/controls/CMyGridCtrl.h"

#include "ui/ui_thread.h"

#include <QComboBox>
#include <QTreeView>
#include <QTreeWidgetItem>

namespace {

class ChartEndToEnd : public startuptest::StartupFixture {};

// Closes the chart's document window (the view itself when it has none).
void closeChart(CEodChartView* view)
{
    (view->parentWidget() ? view->parentWidget() : view)->close();
}

TEST_F(ChartEndToEnd, WatchRowChartsLiveBarsCacheAndStudies)
{
    clock.setMillis(ChartLocalEpoch(2026, 12, 8, 11, 0, 0) * 1000);
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));
    ASSERT_NE(CWorkspaceBar::instance(), nullptr);

    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* watch = CVortanexView::openViews()[0];
    const int security = watch->list().rows[0].securityIndex;
    const int wtoken = SecurityTable::current()->row(security).wtoken;
    QTreeView* tree = watch->grid()->tree();
    tree->setCurrentIndex(tree->model()->index(0, 0));

    // Intraday: the broker is asked for the security's trades; bars show.
    watch->OnIntraDayChart();
    ASSERT_EQ(CEodChartView::openViews().size(), 1u);
    CEodChartView* chart = CEodChartView::openViews()[0];
    const auto asked = broker->waitForRequest(
        [&](const tb::RecordedRequest& r) {
            return r.path == "/qtrade/feeds.exe" && (r.query == "ctoken=" + std::to_string(wtoken) + "|0" ||
                                                     r.query == "ctoken=" + std::to_string(wtoken) + "%7C0");
        },
        10000);
    ASSERT_TRUE(asked);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return chart->ready() && chart->control().recordCount() > 0; }, 10000));
    chart->intervalBox()->setCurrentIndex(1); // 1 minute bars
    const int bars = chart->control().recordCount();
    ASSERT_GT(bars, 0);

    // Pushed quotes move the live bar.
    const double close = chart->liveBar().close;
    const size_t queued = chart->tickQueue().size();
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [&] {
            clock.advanceSeconds(1);
            broker->marketStep();
            ui::UiThread::pumpUntil([] { return false; }, 150);
            return chart->tickQueue().size() > queued && chart->liveBar().close != close;
        },
        10000));
    // A new bar after the live bar's end.
    clock.setMillis((chart->liveBarEnd() + 1) * 1000);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return chart->control().recordCount() > bars; }, 5000));

    // A trend study: saved, listed under "Intraday", reopened from the pane.
    CEodChartView::services().askStudyName = [](QWidget*, const std::string&, std::string& name) {
        name = "trend1";
        return true;
    };
    chart->OnSaveTrendAnalysis();
    CWorkspaceBar* bar = CWorkspaceBar::instance();
    const StudyInfo* study = bar->find(2, "trend1");
    ASSERT_NE(study, nullptr);
    EXPECT_EQ(study->item->parent(), bar->root(2));
    closeChart(chart);
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return CEodChartView::openViews().empty(); }, 5000));
    bar->OpenStudy(study->item);
    ASSERT_EQ(CEodChartView::openViews().size(), 1u);
    CEodChartView* reopened = CEodChartView::openViews()[0];
    EXPECT_EQ(reopened->security(), security);
    EXPECT_EQ(reopened->interval(), 60);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return reopened->ready(); }, 10000));
    closeChart(reopened);
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return CEodChartView::openViews().empty(); }, 5000));

    // End of day: one download, then the day cache.
    const std::string path = "/charts/" + std::to_string(wtoken) + ".lzo";
    const auto gets = [&] {
        int n = 0;
        for (const auto& r : broker->requests())
            n += r.path == path;
        return n;
    };
    watch->OnEodChart();
    ASSERT_EQ(CEodChartView::openViews().size(), 1u);
    CEodChartView* eod = CEodChartView::openViews()[0];
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return eod->ready() && eod->control().recordCount() > 0; }, 10000));
    EXPECT_EQ(gets(), 1);
    closeChart(eod);
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return CEodChartView::openViews().empty(); }, 5000));
    watch->OnEodChart();
    ASSERT_EQ(CEodChartView::openViews().size(), 1u);
    eod = CEodChartView::openViews()[0];
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return eod->ready() && eod->control().recordCount() > 0; }, 10000));
    EXPECT_EQ(gets(), 1);
    CEodChartView::resetServices();
}

} // namespace
