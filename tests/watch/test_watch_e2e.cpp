// End to end: logged in to the test broker's market, a new market watch opens
// in the main frame, subscribes its securities (the broker sees them), shows
// moving quotes, and a picture of it is written for a person to look at.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"
#include "watch/WatchlistTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"

#include "ui/ui_thread.h"

#include <QPixmap>

#include <fstream>

namespace {

class WatchEndToEnd : public startuptest::StartupFixture {};

TEST_F(WatchEndToEnd, ANewMarketWatchSubscribesAndShowsMovingQuotes)
{
    writeConfig(false, /*feedsType=*/3);
    scriptLogin("U1", "Test@123");
    ProgramFeed feed;
    CVortanexApp::Options o;
    o.paths = paths;
    o.shell = &shell;
    o.lockFolder = root / "locks";
    o.showMaximized = false;
    o.feed = &feed;
    CVortanexApp app;
    app.setOptions(o);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));

    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* view = CVortanexView::openViews()[0];
    const WatchlistRecord list = WatchlistTable::instance().record(view->watchIndex());
    EXPECT_EQ(view->grid()->model().rowTotal(), 7);
    EXPECT_EQ(view->title().toStdString(), std::string("Watchlist - ") + list.name);

    // The broker is told to send the seven securities.
    const auto subscribed = [&] {
        for (const tb::FeedClientInfo& c : broker->feedClients()) {
            int found = 0;
            for (int t : c.tokens)
                for (int want : {2819, 3047, 29843, 3897, 4091, 4627, 18989})
                    found += t == want;
            if (found == 7)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(ui::UiThread::pumpUntil(subscribed, 5000));

    // The market moves; the rows follow on the view's timer.
    const int lastColumn = [] {
        const auto kinds = WatchlistTable::instance().defaultKinds();
        return int(std::find(kinds.begin(), kinds.end(), kLastPrc) - kinds.begin()) + kFixedWatchColumns;
    }();
    std::vector<QString> before;
    for (int p = 0; p < 7; ++p)
        before.push_back(view->grid()->model().text(view->gridRowOf(p), lastColumn));
    int changed = 0;
    for (int step = 0; step < 20 && changed < 3; ++step) {
        broker->marketStep();
        ui::UiThread::pumpUntil([] { return false; }, 150);
        changed = 0;
        for (int p = 0; p < 7; ++p)
            changed += view->grid()->model().text(view->gridRowOf(p), lastColumn) != before[size_t(p)];
    }
    EXPECT_GE(changed, 3);
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    const int sbin = table->searchWToken(2819);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%0.2lf", table->row(sbin).quote().quote[kLastPrc] / 100);
    ui::UiThread::pumpUntil([] { return false; }, 150);
    EXPECT_EQ(view->grid()->model().text(view->gridRowOf(0), lastColumn).toStdString(), expected);

    // A picture of the market watch in the frame.
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    frame->resize(1280, 720);
    ui::UiThread::pumpUntil([] { return false; }, 200);
    const QPixmap shot = frame->grab();
    const auto png = std::filesystem::current_path() / "watch_market_watch.png";
    EXPECT_TRUE(shot.save(QString::fromStdString(png.string()), "PNG")) << png;

    // Closing the window drops its subscription.
    view->parentWidget()->close();
    EXPECT_TRUE(ui::UiThread::pumpUntil([] { return CVortanexView::openViews().empty(); }, 5000));
    EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return !subscribed(); }, 5000));

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    frame->close();
    app.ExitInstance();
}

} // namespace
