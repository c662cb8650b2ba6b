// Through the program's own wiring (start-up, ProgramFeed, the market watch):
// with the polling feed or no feed at all, a list shows its prices as soon as
// it opens, from the snapshot the window asks for, and the status bar's
// "Feeds Date Time" pane shows the quotes' time, and the connection pane says
// whether a feed runs.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/controls/CMyGridCtrl.h"
#include "ui/status_panes.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"

#include "ui/ui_thread.h"

#include <algorithm>
#include <cstdio>

namespace test_watch_snapshot {

namespace {

class WatchSnapshot : public startuptest::StartupFixture, public ::testing::WithParamInterface<int> {};

TEST_P(WatchSnapshot, ANewListShowsItsPricesAndTheFeedTime)
{
    writeConfig(false, /*feedsType=*/GetParam());
    scriptLogin("U1", "Test@123");
    ProgramFeed feed;
    CVortanexApp::Options o = appOptions(&feed);
    CVortanexApp app;
    app.setOptions(o);
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);

    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* view = CVortanexView::openViews()[0];
    const int lastColumn = [] {
        const auto kinds = WatchlistTable::instance().defaultKinds();
        return int(std::find(kinds.begin(), kinds.end(), kLastPrc) - kinds.begin()) + kFixedWatchColumns;
    }();
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    const int sbin = table->searchWToken(2819);
    ASSERT_GE(sbin, 0);

    // The snapshot's quote reaches the table, then the row on the view's timer.
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return table->row(sbin).quote().last_update != 0; }, 10000));
    char expected[32];
    std::snprintf(expected, sizeof expected, "%0.2lf", table->row(sbin).quote().quote[kLastPrc] / 100);
    EXPECT_NE(std::string(expected), "0.00");
    EXPECT_TRUE(ui::UiThread::pumpUntil(
        [&] { return view->grid()->model().text(view->gridRowOf(0), lastColumn).toStdString() == expected; }, 5000))
        << view->grid()->model().text(view->gridRowOf(0), lastColumn).toStdString();
    int snapshots = 0;
    for (const tb::RecordedRequest& r : broker->requests())
        snapshots += r.request.keyword == "Token" && r.request.code().rfind("7,2819,", 0) == 0;
    EXPECT_GE(snapshots, 1) << "a snapshot names the list's seven rows";

    // The quotes' trade time in the status bar, "dd-mm-yyyy hh:mm:ss".
    EXPECT_TRUE(ui::UiThread::pumpUntil(
        [&] { return frame->StatusPanes()->text(ID_INDICATOR_FEEDTIME).size() == 19; }, 5000))
        << frame->StatusPanes()->text(ID_INDICATOR_FEEDTIME).toStdString();

    // The connection pane follows the feed that runs: the polling feed's
    // answered polls are a connection, no feed is none; Disconnect ends it.
    const auto connectPane = [&] { return frame->StatusPanes()->text(ID_INDICATOR_CONNECT).toStdString(); };
    if (GetParam() == 1) {
        EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return connectPane() == "Connected"; }, 5000)) << connectPane();
        EXPECT_TRUE(frame->Commands().invoke(ID_DISCONNECT));
        EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return connectPane() == "Disconnected"; }, 5000))
            << connectPane();
        // Polls still in flight when it stopped leave it so.
        ui::UiThread::pumpUntil([] { return false; }, 500);
        EXPECT_EQ(connectPane(), "Disconnected");
    } else {
        ui::UiThread::pumpUntil([] { return false; }, 500);
        EXPECT_EQ(connectPane(), "Disconnected");
    }

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    frame->close();
    app.ExitInstance();
}

INSTANTIATE_TEST_SUITE_P(FeedsType, WatchSnapshot, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "NoFeed" : "Polling"; });

} // namespace

} // namespace test_watch_snapshot
