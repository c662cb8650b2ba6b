// End to end against a test broker that holds a reply back for two seconds:
// the market watch's own exchanges (a stored list's first rows "WD=104", the
// MIS Options list "WD=121" and its refresh, a BSE chain "WD=117", the
// holdings list, the other exchange's quote "action=L" behind Buy) run off
// the UI thread while the window shows busy. Each test looks at the window
// from a UI-thread timer while the broker still holds the reply: a request
// made on the UI thread would leave no beat in that time (and the guard fails
// the test besides).
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/OrderFormService.h"
#include "frame/controls/CMyGridCtrl.h"
#include "frame/WatchOrderCommands.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"

#include "testkit/ui_heartbeat.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QTest>
#include <QTreeView>

#include <string_view>

namespace test_watch_freeze_e2e {

namespace {

constexpr int kDelayMs = 2000;
constexpr const char* kWatchPath = "/qtrade/Glenvarro.exe";

class RecordingOrderForms final : public OrderFormService {
public:
    bool getInstance(int formType, QWidget*, const OrderFormParams& params) override
    {
        types.push_back(formType);
        opened.push_back(params);
        return true;
    }
    void showForm() override {}
    std::vector<int> types;
    std::vector<OrderFormParams> opened;
};

class WatchFreezeE2E : public startuptest::StartupFixture {
protected:
    void TearDown() override
    {
        SetOrderFormService(nullptr);
        StartupFixture::TearDown();
    }
    void holdNext(const std::string& path, int times = 1) const
    {
        tb::HttpFault f;
        f.delayMs = kDelayMs;
        f.times = times;
        broker->armFault(path, f);
    }
    static int listNamed(std::string_view name)
    {
        WatchlistTable& t = WatchlistTable::instance();
        for (int i = 0; i < t.count(); ++i)
            if (std::string_view(t.record(i).name) == name)
                return i;
        return -1;
    }
    static CVortanexView* viewOf(int list)
    {
        for (CVortanexView* v : CVortanexView::openViews())
            if (v->watchIndex() == list)
                return v;
        return nullptr;
    }
    static CVortanexView* newestView()
    {
        const auto views = CVortanexView::openViews();
        return views.empty() ? nullptr : views.back();
    }
    bool started(CVortanexApp& app, ProgramFeed& feed)
    {
        if (!startLoggedIn(app, feed))
            return false;
        return ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000);
    }
};

TEST_F(WatchFreezeE2E, BuyOnARowWithABseTwinFetchesTheTwinsQuoteWhileTheWatchShowsBusy)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(started(app, feed));
    RecordingOrderForms forms;
    SetOrderFormService(&forms);
    SetTradingAllowed(true);

    WatchCommands::OnFileNew();
    CVortanexView* view = newestView();
    ASSERT_NE(view, nullptr);
    // ITC trades on BSE in series "EQ" too (token 602314, watch token 1204628).
    int itc = -1;
    for (size_t p = 0; p < view->list().rows.size(); ++p)
        if (view->list().rows[p].token == 4627)
            itc = static_cast<int>(p);
    ASSERT_GE(itc, 0);
    const int twin = Search_Token(602314, "BN");
    ASSERT_GE(twin, 0);
    QTreeView* tree = view->grid()->tree();
    view->grid()->selectRow(view->gridRowOf(itc));
    broker->clearRequests();
    holdNext("/qtrade/feeds.exe");

    bool busyWhileHeld = false;
    int beatsWhileHeld = 0;
    testkit::UiHeartbeat heartbeat([&] {
        if (requestsWith("action=L") == 1 && forms.opened.empty()) {
            ++beatsWhileHeld;
            busyWhileHeld = !view->isEnabled() && QApplication::overrideCursor() != nullptr;
        }
    });
    QTest::keyClick(tree, Qt::Key_F1);
    EXPECT_TRUE(forms.opened.empty()); // the form waits for the twin's quote
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return forms.opened.size() == 1; }, 15000));
    EXPECT_GT(beatsWhileHeld, 0);
    EXPECT_TRUE(busyWhileHeld);
    EXPECT_TRUE(view->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(forms.opened[0].side, 'B');
    EXPECT_EQ(forms.opened[0].index, view->list().rows[size_t(itc)].securityIndex);
    EXPECT_EQ(forms.opened[0].companionIndex, twin);
    const auto quote = broker->waitForKey("action=L", 1000);
    ASSERT_TRUE(quote);
    EXPECT_NE(quote->decoded.text.find("token=1204628"), std::string::npos) << quote->decoded.text;

    closeAndExit(app);
}

TEST_F(WatchFreezeE2E, AStoredListsFirstOpeningWaitsForItsRowsWithoutBlocking)
{
    // The user's own list "Mine" is stored at the broker; its rows come with
    // its first opening ("WD=104").
    broker->setReply("WD=100", "100|0|OK^11|Mine", 1);
    broker->setReply("WD=104", "154|0|OK^1410|SBIN|NN~2314|ITC|NN", 1);
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(started(app, feed));
    const int list = listNamed("Mine");
    ASSERT_GE(list, 0);
    WatchlistTable& t = WatchlistTable::instance();
    ASSERT_TRUE(t.record(list).rows.empty());
    broker->clearRequests();
    holdNext(kWatchPath);
    int beatsWhileHeld = 0;
    bool busyWhileHeld = false;
    testkit::UiHeartbeat heartbeat([&] {
        CVortanexView* v = viewOf(list);
        if (requestsWith("WD=104") == 1 && v && v->grid()->model().rowTotal() == 0) {
            ++beatsWhileHeld;
            busyWhileHeld = !v->isEnabled();
        }
    });
    WatchCommands::OnSelWatchList(t.record(list).panePage, list);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return viewOf(list) && viewOf(list)->grid()->model().rowTotal() == 2; },
                                        15000));
    EXPECT_EQ(requestsWith("WD=104"), 1);
    EXPECT_GT(beatsWhileHeld, 0);
    EXPECT_TRUE(busyWhileHeld);
    EXPECT_TRUE(viewOf(list)->isEnabled());

    closeAndExit(app);
}

TEST_F(WatchFreezeE2E, TheMisOptionsListAndItsRefreshWaitWithoutBlocking)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(started(app, feed));
    broker->clearRequests();
    holdNext(kWatchPath);
    int beatsWhileHeld = 0;
    testkit::UiHeartbeat heartbeat([&] {
        CVortanexView* v = newestView();
        if (requestsWith("WD=121") == 1 && v && v->grid()->model().rowTotal() == 0 && !v->isEnabled())
            ++beatsWhileHeld;
    });
    // The options list of the MIS Options segment, as the category page opens it.
    g_WatchOpenRequest.openType = 8;
    g_WatchOpenRequest.watchIndex = -1;
    WatchCommands::OpenWatchlistView("MIS Options");
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return newestView() && newestView()->grid()->model().rowTotal() > 0; },
                                        15000));
    CVortanexView* view = newestView();
    EXPECT_EQ(view->title(), "MIS Options");
    EXPECT_GT(beatsWhileHeld, 0);

    // The refresh asks again, also off the UI thread.
    holdNext(kWatchPath);
    int refreshBeats = 0;
    testkit::UiHeartbeat refresh([&] {
        if (requestsWith("WD=121") == 2 && !view->isEnabled())
            ++refreshBeats;
    });
    WatchCommands::MyUpdate(8);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return requestsWith("WD=121") == 2 && view->isEnabled(); }, 15000));
    EXPECT_GT(refreshBeats, 0);
    EXPECT_GT(view->grid()->model().rowTotal(), 0);

    closeAndExit(app);
}

TEST_F(WatchFreezeE2E, ABseChainWaitsForTheServerWithoutBlocking)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(started(app, feed));
    const int sbin = Search_Token(500112, "BN");
    ASSERT_GE(sbin, 0);
    broker->clearRequests();
    holdNext(kWatchPath);
    int beatsWhileHeld = 0;
    testkit::UiHeartbeat heartbeat([&] {
        CVortanexView* v = newestView();
        if (requestsWith("WD=117") == 1 && v && !v->isEnabled())
            ++beatsWhileHeld;
    });
    g_WatchOpenRequest.chainKind = 2;
    g_WatchOpenRequest.chainBase = sbin;
    WatchCommands::OnNewChain(2);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return newestView() && newestView()->isEnabled()
                                                     && requestsWith("WD=117") == 1; },
                                        15000));
    EXPECT_GT(beatsWhileHeld, 0);
    EXPECT_EQ(newestView()->title(), "Derv Chain-SBIN");

    closeAndExit(app);
}

TEST_F(WatchFreezeE2E, TheHoldingsListShowsBusyAndASecondRiskListWaitsItsTurn)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(started(app, feed));
    const int holdings = listNamed("My Investments");
    const int positions = listNamed("My Positions");
    ASSERT_GE(holdings, 0);
    ASSERT_GE(positions, 0);
    broker->clearRequests();
    holdNext("/qtrade/qrms.exe");
    bool busyWhileHeld = false;
    bool secondAsked = false;
    testkit::UiHeartbeat heartbeat([&] {
        CVortanexView* v = viewOf(holdings);
        if (!v || requestsWith("RiskData=413") != 1 || v->isEnabled())
            return;
        busyWhileHeld = true;
        if (!secondAsked) {
            // Another window asks for the positions meanwhile: refused.
            secondAsked = true;
            WatchlistTable& t = WatchlistTable::instance();
            WatchCommands::OnSelWatchList(t.record(positions).panePage, positions);
        }
    });
    WatchlistTable& t = WatchlistTable::instance();
    WatchCommands::OnSelWatchList(t.record(holdings).panePage, holdings);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return viewOf(holdings) && viewOf(holdings)->isEnabled(); }, 15000));
    EXPECT_TRUE(busyWhileHeld);
    EXPECT_TRUE(secondAsked);
    EXPECT_EQ(requestsWith("RiskData=412"), 0);

    closeAndExit(app);
}

} // namespace

} // namespace test_watch_freeze_e2e
