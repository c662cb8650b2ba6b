// End to end against the test broker's market: a user builds a watch list
// ("WD=101"), fills it through the add-scrip dialog, removes and moves rows,
// saves it ("WD=107"), renames ("WD=103") and deletes it ("WD=102"); the
// broker's subscription follows every step. Ctrl+S's scrip search adds to
// the current watch, and the company page names the scrip.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CScrip.h"
#include "watch/CScripSearch.h"
#include "watch/CVortanexView.h"
#include "watch/CWatch.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"

#include "ui/ui_thread.h"

#include "OrderDesk.h"
#include "RequestDecoder.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTest>
#include <QTreeView>

#include <set>

namespace test_watch_lists_e2e {

namespace {

class WatchListsEndToEnd : public startuptest::StartupFixture {
protected:
    // The feed tokens the broker holds for the user.
    std::set<int> brokerTokens() const
    {
        std::set<int> out;
        for (const tb::FeedClientInfo& c : broker->feedClients())
            out.insert(c.tokens.begin(), c.tokens.end());
        return out;
    }
    bool brokerHas(int wtoken, bool present) const
    {
        return ui::UiThread::pumpUntil([&] { return brokerTokens().count(wtoken) == (present ? 1u : 0u); }, 8000);
    }
    static void selectPositions(CVortanexView* v, const std::vector<int>& positions)
    {
        v->grid()->tree()->selectionModel()->clearSelection();
        bool first = true;
        for (int p : positions) {
            v->grid()->selectRow(v->gridRowOf(p), !first);
            first = false;
        }
    }
    static int positionOf(CVortanexView* v, int security)
    {
        for (size_t i = 0; i < v->list().rows.size(); ++i)
            if (v->list().rows[i].securityIndex == security && WatchRowCounts(v->list().rows[i]))
                return static_cast<int>(i);
        return -1;
    }
    std::vector<tb::RecordedRequest> withKey(const std::string& key) const
    {
        std::vector<tb::RecordedRequest> out;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.decoded.text.rfind(key, 0) == 0)
                out.push_back(r);
        return out;
    }
};

TEST_F(WatchListsEndToEnd, AListIsBuiltSavedRenamedAndDeleted)
{
    writeConfig(false, /*feedsType=*/3);
    scriptLogin("U1", "Test@123");
    ProgramFeed feed;
    CVortanexApp::Options o;
    o.feed = &feed;
    o.paths = paths;
    o.shell = &shell;
    o.lockFolder = root / "locks";
    o.showMaximized = false;
    o.logSyncPerLine = false;
    CVortanexApp app;
    app.setOptions(o);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));
    prompter.answerWhen("Watch List Saved Successfully", ui::Ok);
    prompter.answerWhen("Do you want to remove selected scrips.", ui::Yes);

    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* view = CVortanexView::openViews()[0];
    const int firstList = view->watchIndex();

    // Three NSE equities the new list does not hold.
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    std::vector<int> picks;
    for (int i = 0; i < table->count() && picks.size() < 3; ++i) {
        const SecurityRecord& s = table->row(i);
        if (s.market_exchange == "NN" && s.inst_type == "EQ" && positionOf(view, i) < 0)
            picks.push_back(i);
    }
    ASSERT_EQ(picks.size(), 3u);

    // A name the broker refuses adds no list.
    broker->setReply("WD=101", "101|1|Watch list name not allowed", 1);
    const int listsBefore = WatchlistTable::instance().count();
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        d.type(CWatch::kName, "Bad");
        d.click(1);
    });
    prompter.answerWhen("Watch list name not allowed", ui::Ok);
    view->OnPopupWatchlistAddwatchlist();
    EXPECT_EQ(WatchlistTable::instance().count(), listsBefore);
    EXPECT_EQ(view->watchIndex(), firstList);
    EXPECT_EQ(prompter.asks().back().text, "Watch list name not allowed");
    broker->clearRequests();

    // "Abc": WD=101, the id from the reply; the view shows it.
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        d.type(CWatch::kName, "Abc");
        d.click(1);
    });
    view->OnPopupWatchlistAddwatchlist();
    ASSERT_EQ(withKey("WD=101").size(), 1u);
    const int abc = view->watchIndex();
    ASSERT_NE(abc, firstList);
    EXPECT_STREQ(view->list().name, "Abc");
    const int abcId = WatchlistTable::instance().record(abc).id;
    EXPECT_GT(abcId, 0);

    // Three scrips through the add-scrip dialog, one at a time.
    for (int security : picks) {
        modalHost.script("CScrip", [&, security](ui::FormDriver& d) {
            auto& dialog = static_cast<CScrip&>(d.form());
            d.type(CScrip::kName, std::string(table->row(security).symbol.view()));
            d.check(CScrip::kFuture, false);
            d.check(CScrip::kOption, false);
            d.click(CScrip::kSearch);
            const auto rows = dialog.resultSecurities();
            const auto at = std::find(rows.begin(), rows.end(), security);
            ASSERT_NE(at, rows.end());
            dialog.selectResults({int(at - rows.begin())});
            d.click(1);
        });
        view->OnPopupAddscrip();
        EXPECT_GE(positionOf(view, security), 0);
        EXPECT_TRUE(brokerHas(table->row(security).wtoken, true));
    }

    // Remove the second: the broker stops sending it.
    selectPositions(view, {positionOf(view, picks[1])});
    view->OnPopupRemovescript();
    EXPECT_LT(positionOf(view, picks[1]), 0);
    EXPECT_TRUE(brokerHas(table->row(picks[1]).wtoken, false));

    // Save: exactly the grid's rows and states.
    view->OnPopupWatchlistSavewatchlist();
    auto saves = withKey("WD=107");
    ASSERT_EQ(saves.size(), 1u);
    const auto token = [&](int s) { return std::to_string(table->row(s).token); };
    EXPECT_NE(saves[0].decoded.text.find("|Abc|2^" + token(picks[0]) + "|NSE|1~" + token(picks[2]) + "|NSE|1~|4"),
              std::string::npos)
        << saves[0].decoded.text;
    EXPECT_EQ(WatchlistTable::instance().record(abc).id, abcId);

    // Cut the third into the first list (shown in the same window) and paste it there.
    selectPositions(view, {positionOf(view, picks[2])});
    view->OnMenuCutScrip();
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        d.pick(CWatch::kCategory, 0);
        const auto lists = d.form().comboItems(CWatch::kList);
        for (size_t i = 0; i < lists.size(); ++i)
            if (lists[i].rfind("Watchlist", 0) == 0)
                d.pick(CWatch::kList, int(i));
        d.click(1);
    });
    view->OnPopupWatchlistViewwatchlist();
    ASSERT_EQ(view->watchIndex(), firstList);
    view->OnMenuPasteScrip();
    EXPECT_GE(positionOf(view, picks[2]), 0);
    EXPECT_TRUE(brokerHas(table->row(picks[2]).wtoken, true));

    // Rename Abc to Xyz, then open it in a second window and delete it: the window closes.
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        const auto items = d.form().comboItems(CWatch::kCategory);
        d.pick(CWatch::kCategory, int(std::find(items.begin(), items.end(), "Abc") - items.begin()));
        d.type(CWatch::kName, "Xyz");
        d.click(1);
    });
    view->OnPopupWatchlistRenamewatchlist();
    ASSERT_EQ(withKey("WD=103").size(), 1u);
    EXPECT_NE(withKey("WD=103")[0].decoded.text.find("|" + std::to_string(abcId) + "|Abc|Xyz|4"), std::string::npos);
    EXPECT_STREQ(WatchlistTable::instance().record(abc).name, "Xyz");

    g_WatchOpenRequest.watchIndex = abc;
    WatchCommands::OnOpenWatchlist();
    ASSERT_EQ(CVortanexView::openViews().size(), 2u);
    modalHost.script("CWatch", [](ui::FormDriver& d) {
        const auto items = d.form().comboItems(CWatch::kCategory);
        d.pick(CWatch::kCategory, int(std::find(items.begin(), items.end(), "Xyz") - items.begin()));
        d.click(1);
    });
    view->OnPopupWatchlistRemovewatchlist();
    ASSERT_EQ(withKey("WD=102").size(), 1u);
    EXPECT_TRUE(ui::UiThread::pumpUntil([] { return CVortanexView::openViews().size() == 1; }, 5000));
    EXPECT_EQ(WatchlistTable::instance().record(abc).inUse, 0);
    // The deleted list's own security is no longer sent.
    EXPECT_TRUE(brokerHas(table->row(picks[0]).wtoken, false));

    // Ctrl+S: the scrip search adds to the current watch.
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    int extra = -1;
    for (int i = 0; i < table->count() && extra < 0; ++i) {
        const SecurityRecord& s = table->row(i);
        if (s.market_exchange == "NN" && s.inst_type == "EQ" && positionOf(view, i) < 0 && i != picks[0])
            extra = i;
    }
    ASSERT_GE(extra, 0);
    frame->Commands().invoke(1163);
    CScripSearch* search = CScripSearch::modeless();
    ASSERT_NE(search, nullptr);
    search->setText(CScripSearch::kSymbol, std::string(table->row(extra).symbol.view()));
    search->setComboIndex(CScripSearch::kExchange, 0);
    search->setComboItems(CScripSearch::kSeries, {"EQ"});
    search->setComboIndex(CScripSearch::kSeries, 0);
    search->OnEnter();
    EXPECT_GE(positionOf(view, extra), 0);
    EXPECT_TRUE(brokerHas(table->row(extra).wtoken, true));
    search->OnCancel();

    // After an order of the client fills at the broker, "My Positions" shows
    // its security (from "RiskData=412").
    int bought = -1;
    for (int i = table->count() - 1; i >= 0 && bought < 0; --i)
        if (table->row(i).market_exchange == "NN" && table->row(i).inst_type == "EQ")
            bought = i;
    ASSERT_GE(bought, 0);
    broker->orderDesk().setMatching(true);
    broker->orderDesk().reply(
        tb::splitRequest("NoOfOrders=1&OrderData1=101|CID01|N|00:00:00:00|" + token(bought)
                         + "|NN|B|10|0.00|U1|ABC12|ABC12|00-00-0000|0|0.00|0|GFD|C|3|N||0|4|VX_1&AClient=N&OrdReqNo=0"),
        "U1");
    int positionsList = -1;
    for (int i = 0; i < WatchlistTable::instance().count(); ++i)
        if (std::string_view(WatchlistTable::instance().record(i).name) == "My Positions")
            positionsList = i;
    ASSERT_GE(positionsList, 0);
    WatchCommands::OnSelWatchList(WatchlistTable::instance().record(positionsList).panePage, positionsList);
    CVortanexView* positionsView = nullptr;
    for (CVortanexView* v : CVortanexView::openViews())
        if (v->watchIndex() == positionsList)
            positionsView = v;
    ASSERT_NE(positionsView, nullptr);
    EXPECT_EQ(withKey("RiskData=412").size(), 1u);
    EXPECT_GE(positionOf(positionsView, bought), 0);
    EXPECT_TRUE(brokerHas(table->row(bought).wtoken, true));

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    frame->close();
    app.ExitInstance();
}

} // namespace

} // namespace test_watch_lists_e2e
