// The saved workspace across two runs against the test broker: the windows
// open at the close come back at the next start, in their tab order, before
// the feed connects; a list that is gone meanwhile is skipped.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "app/base/FixedText.h"
#include "app/WorkspaceWiring.h"
#include "frame/CMainFrame.h"
#include "frame/COutputBar.h"
#include "frame/MessageFiles.h"
#include "frame/FrameIds.h"
#include "frame/TerminalLock.h"
#include "frame/Workspace.h"
#include "frame/controls/CMyGridCtrl.h"
#include "market/CEodChartView.h"
#include "market/CIndexView.h"
#include "market/CMDepthView.h"
#include "market/ChartSeries.h"
#include "market/LinearGauge.h"
#include "market/MarketHooks.h"
#include "orders/COrderViewEx.h"
#include "orders/CTsloOrderView.h"
#include "positions/CNetPosition.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"
#include "frame/controls/CMyGridCtrl.h"

#include "pf/profile_store.h"
#include "testkit/ui_heartbeat.h"
#include "ui/commands.h"
#include "ui/document_area.h"
#include "ui/form.h"
#include "ui/ui_thread.h"

#include <QComboBox>
#include <QTabWidget>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace startuptest {
namespace {

class WorkspaceE2E : public StartupFixture {
protected:
    void TearDown() override
    {
        CVortanexView::services().chooseWatchlist = {};
        StartupFixture::TearDown();
    }
    static int listWithId(int id)
    {
        for (int i = 0; i < WatchlistTable::instance().count(); ++i)
            if (WatchlistTable::instance().record(i).id == id)
                return i;
        return -1;
    }
    // A security's display name in this run's master.
    static std::string nameOf(int security)
    {
        return std::string(SecurityTable::current()->row(security).displayKey().view());
    }
    // Whether a line of the message bar's general tab holds text.
    static bool barSays(CVortanexApp& app, const QString& text)
    {
        COutputBar& bar = *app.mainFrame()->OutputBar();
        for (int row = 0; row < bar.RowCount(MsgGeneral); ++row)
            if (bar.RowText(MsgGeneral, row, 1).contains(text))
                return true;
        return false;
    }
    // Opens the category list with this id through File Open.
    void openList(CVortanexApp& app, int id)
    {
        const int index = listWithId(id);
        ASSERT_GE(index, 0);
        const int before = WatchCommands::openCount();
        CVortanexView::services().chooseWatchlist = [index](int) { return index; };
        ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_FILE_OPEN));
        ASSERT_TRUE(pumpUntil([before] { return WatchCommands::openCount() == before + 1; }));
    }
    // The documents' titles in tab order.
    static std::vector<std::string> titles(CVortanexApp& app)
    {
        std::vector<std::string> out;
        for (QWidget* v : app.mainFrame()->Documents()->documents())
            out.push_back(v->windowTitle().toStdString());
        return out;
    }
};

TEST_F(WorkspaceE2E, WindowsOpenAtTheCloseComeBackAtTheNextStart)
{
    writeConfig();
    std::vector<std::string> before;
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        ui::Commands& commands = app.mainFrame()->Commands();
        // Two of the broker's category lists, the order book, and a new list
        // that is never saved to the server (gone at the next start).
        const int bank = listWithId(-502);
        ASSERT_GE(bank, 0);
        int other = -1;
        for (int i = 0; i < WatchlistTable::instance().count() && other < 0; ++i) {
            const WatchlistRecord r = WatchlistTable::instance().record(i);
            if (i != bank && r.id <= -500 && r.id > -10000)
                other = i;
        }
        ASSERT_GE(other, 0);
        int next = bank;
        CVortanexView::services().chooseWatchlist = [&](int) { return next; };
        ASSERT_TRUE(commands.invoke(ID_FILE_OPEN));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));
        ASSERT_TRUE(commands.invoke(ID_REPORTS_ORDERS));
        ASSERT_NE(g_pOrderViewEx, nullptr);
        next = other;
        ASSERT_TRUE(commands.invoke(ID_FILE_OPEN));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 2; }));
        ASSERT_TRUE(commands.invoke(ID_FILE_NEW));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 3; }));
        before = titles(app);
        ASSERT_EQ(before.size(), 4u);
        closeAndExit(app);
    }
    ResetRunGlobals();
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        // The unsaved list is skipped; the others are back in their order.
        std::vector<std::string> expected(before.begin(), before.begin() + 3);
        EXPECT_EQ(titles(app), expected);
        EXPECT_NE(g_pOrderViewEx, nullptr);
        std::ifstream in(userLog("U1"));
        std::stringstream log;
        log << in.rdbuf();
        EXPECT_NE(log.str().find("could not be reopened; skipped"), std::string::npos);
        EXPECT_NE(log.str().find("Workspace restored: 3 window(s), 1 skipped"), std::string::npos);
        closeAndExit(app);
    }
}

// Two users of one program folder, three runs: each user's windows come
// back to that user only. A record of the older shared form goes to the first
// user who has none (U1 here) and to nobody after.
TEST_F(WorkspaceE2E, EachUserGetsOnlyTheirOwnWindowsBack)
{
    writeConfig();
    broker->addUser("U2", "Test@456");
    {
        WorkspaceState shared;
        WorkspaceDocument orders;
        orders.kind = "Orders";
        shared.documents.push_back(orders);
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::kValue, FormatWorkspace(shared)));
    }
    int other = -1;
    std::vector<std::string> first;
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        EXPECT_NE(g_pOrderViewEx, nullptr) << "the shared record is U1's now";
        for (int i = 0; i < WatchlistTable::instance().count() && other == -1; ++i) {
            const WatchlistRecord r = WatchlistTable::instance().record(i);
            if (r.id != -502 && r.id <= -500 && r.id > -10000)
                other = r.id;
        }
        ASSERT_NE(other, -1);
        openList(app, -502);
        first = titles(app);
        ASSERT_EQ(first.size(), 2u);
        closeAndExit(app);
    }
    ResetRunGlobals();
    std::vector<std::string> second;
    {
        scriptLogin("U2", "Test@456");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(titles(app).empty()) << titles(app).front();
        EXPECT_EQ(g_pOrderViewEx, nullptr);
        openList(app, other);
        second = titles(app);
        ASSERT_EQ(second.size(), 1u);
        closeAndExit(app);
    }
    ResetRunGlobals();
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(titles(app), first);
        closeAndExit(app);
    }
    const pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
    EXPECT_FALSE(stored.contains(Workspace::kSection, Workspace::kValue)) << "the shared record was dropped";
    EXPECT_NE(stored.getText(Workspace::kSection, Workspace::valueFor("U2")).find("|Watchlist|"), std::string::npos);
}

// A terminal starting while another terminal of the same user reopens its
// windows finds that terminal's marker in the file: it belongs to a process
// that still runs, so this start reopens its windows as usual and leaves the
// other's marker alone. A marker of a process that has ended is a start that
// died: the windows are not reopened that once, and the user is told.
TEST_F(WorkspaceE2E, AnotherTerminalsRestoreUnderWayIsNoStartThatDied)
{
    writeConfig();
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    const std::string busy = Workspace::markerFor("U1", long(getppid()));
    const std::string dead = Workspace::markerFor("U1", long(ended));
    struct Case {
        std::string marker;
        bool reopened;
    } cases[] = {{busy, true}, {dead, false}};
    for (const Case& c : cases) {
        {
            WorkspaceState state;
            WorkspaceDocument orders;
            orders.kind = "Orders";
            state.documents.push_back(orders);
            pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
            ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::valueFor("U1"), FormatWorkspace(state)));
            ASSERT_TRUE(stored.setInt(Workspace::kSection, c.marker, 1));
        }
        ResetRunGlobals();
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(g_pOrderViewEx != nullptr, c.reopened) << c.marker;
        const bool told = pumpUntil([&] { return barSays(app, "The last start stopped while reopening"); }, c.reopened ? 500 : 10000);
        EXPECT_EQ(told, !c.reopened) << c.marker;
        const pf::ProfileStore now(paths.config() / "Vortanex.profile.ini");
        EXPECT_EQ(now.contains(Workspace::kSection, c.marker), c.marker == busy) << c.marker;
        closeAndExit(app);
    }
}

// Two of the user's own lists, stored at the broker, were open at the close:
// at the next start each asks for its rows ("WD=104", held back two seconds
// by the broker) while its window shows busy, and the UI thread goes on
// beating meanwhile; the rows arrive and the windows come back to life in
// their tab order.
TEST_F(WorkspaceE2E, TwoStoredListsRestoredAtTheStartWaitForTheirRowsWithoutBlocking)
{
    writeConfig();
    broker->setReply("WD=100", "100|0|OK^11|Mine~12|Yours", 1);
    broker->setReply("WD=104", "154|0|OK^1410|SBIN|NN~2314|ITC|NN", 2);
    {
        WorkspaceState state;
        for (const char* name : {"Mine", "Yours"}) {
            WorkspaceDocument d;
            d.kind = "Watchlist";
            d.list = name;
            state.documents.push_back(d);
        }
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::kValue, FormatWorkspace(state)));
    }
    tb::HttpFault hold;
    hold.delayMs = 2000;
    hold.times = 2;
    broker->armKeyFault("WD=104", hold);
    const auto rowsAsked = [this] {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            n += r.key() == "WD=104";
        return n;
    };
    // Beats while a restored list's window is busy without its rows.
    int beatsWhileHeld = 0;
    testkit::UiHeartbeat heartbeat([&] {
        for (CVortanexView* v : CVortanexView::openViews())
            if (rowsAsked() > 0 && !v->isEnabled() && v->grid()->model().rowTotal() == 0) {
                ++beatsWhileHeld;
                return;
            }
    });
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(titles(app), (std::vector<std::string>{"Watchlist - Mine", "Watchlist - Yours"}));
    const auto loaded = [] {
        const auto views = CVortanexView::openViews();
        return views.size() == 2u && std::all_of(views.begin(), views.end(), [](CVortanexView* v) {
                   return v->isEnabled() && v->grid()->model().rowTotal() == 2;
               });
    };
    ASSERT_TRUE(pumpUntil(loaded, 30000));
    EXPECT_EQ(rowsAsked(), 2);
    EXPECT_GT(beatsWhileHeld, 0);
    EXPECT_LT(heartbeat.longestGapMs(), 1000);
    closeAndExit(app);
}

// Every kind of window comes back with its state: the TSLO book (F7), the
// risk window on the tab it showed, the index view, a chart with its security,
// interval and added indicator, and the depth windows. A depth window whose
// security is gone from the master is named on the message bar; the rest
// still open.
TEST_F(WorkspaceE2E, EveryWindowKindComesBackWithItsState)
{
    writeConfig();
    std::string chartName;
    int chartInterval = 0;
    std::string indicator;
    std::string keptDepth, goneDepth;
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        ui::Commands& commands = app.mainFrame()->Commands();
        openList(app, -502);
        CVortanexView* watch = CVortanexView::openViews().at(0);
        ASSERT_GE(watch->list().rows.size(), 2u);
        QTreeView* tree = watch->grid()->tree();

        // A chart of the first row, on 30-day bars, with an indicator added.
        tree->setCurrentIndex(tree->model()->index(0, 0));
        watch->OnEodChart();
        ASSERT_EQ(CEodChartView::openViews().size(), 1u);
        CEodChartView* chart = CEodChartView::openViews()[0];
        ASSERT_TRUE(pumpUntil([&] { return chart->ready() && chart->control().recordCount() > 0; }, 10000));
        chart->intervalBox()->setCurrentIndex(2);
        ASSERT_EQ(chart->interval(), 30);
        QComboBox* box = chart->indicatorBox();
        for (int i = 0; i < box->count() && indicator.empty(); ++i)
            if (!IsOhlcOnlyIndicator(box->itemText(i).toStdString())) {
                box->setCurrentIndex(i);
                indicator = box->itemText(i).toStdString();
            }
        ASSERT_FALSE(indicator.empty());
        chart->OnAddIndicator();
        ASSERT_EQ(chart->indicators().size(), 1u);
        chartName = nameOf(chart->security());
        chartInterval = chart->interval();

        // Depth windows of the first two rows.
        for (int row = 0; row < 2; ++row) {
            tree->setCurrentIndex(tree->model()->index(row, 0));
            watch->OnPopupMarketDepth();
        }
        ASSERT_EQ(CMDepthView::openViews().size(), 2u);
        keptDepth = nameOf(CMDepthView::openViews()[0]->security());
        goneDepth = nameOf(CMDepthView::openViews()[1]->security());

        ASSERT_TRUE(commands.invoke(33314)); // TSLO Orders (F7)
        ASSERT_NE(CTsloOrderView::Instance(), nullptr);
        ASSERT_TRUE(commands.invoke(33216)); // Open Positions
        ASSERT_NE(CNetPosition::Instance(), nullptr);
        ASSERT_EQ(CNetPosition::Instance()->tabs()->currentIndex(), 2);
        ASSERT_TRUE(commands.invoke(32886)); // Indices Watchlist
        ASSERT_NE(CIndexView::instance(), nullptr);
        closeAndExit(app);
    }
    // The broker's master loses the second depth window's security: its token
    // in the saved record names nothing any more.
    {
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        std::string record = stored.getText(Workspace::kSection, Workspace::valueFor("U1"));
        const size_t second = record.find("win=", record.find("win=") + 1);
        ASSERT_NE(second, std::string::npos) << record;
        // "win=0|x|y|w|h|max|Market Depth|exchange|token|name": the token is field 9.
        size_t at = second;
        for (int bar = 0; bar < 8; ++bar)
            at = record.find('|', at) + 1;
        record.replace(at, record.find('|', at) - at, "987654321");
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::valueFor("U1"), record));
    }
    ResetRunGlobals();
    const size_t boxesBefore = boxTexts().size();
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(CVortanexView::openViews().size(), 1u);
        EXPECT_NE(CTsloOrderView::Instance(), nullptr);
        ASSERT_NE(CNetPosition::Instance(), nullptr);
        EXPECT_EQ(CNetPosition::Instance()->tabs()->currentIndex(), 2);
        EXPECT_NE(CIndexView::instance(), nullptr);

        ASSERT_EQ(CEodChartView::openViews().size(), 1u);
        CEodChartView* chart = CEodChartView::openViews()[0];
        EXPECT_EQ(chart->kind(), kChartEod);
        EXPECT_EQ(nameOf(chart->security()), chartName);
        EXPECT_EQ(chart->interval(), chartInterval);
        EXPECT_EQ(chart->intervalBox()->currentIndex(), 2);
        ASSERT_TRUE(pumpUntil([&] { return chart->ready() && chart->control().recordCount() > 0; }, 10000));
        ASSERT_EQ(chart->indicators().size(), 1u);
        EXPECT_EQ(chart->indicators()[0].key, indicator);

        ASSERT_EQ(CMDepthView::openViews().size(), 1u);
        EXPECT_EQ(nameOf(CMDepthView::openViews()[0]->security()), keptDepth);
        const QString named = QString::fromStdString("The saved window Market Depth of " + goneDepth);
        EXPECT_TRUE(pumpUntil([&] { return barSays(app, named); }, 10000));
        EXPECT_EQ(boxTexts().size(), boxesBefore) << boxTexts().back();
        closeAndExit(app);
    }
}

// A new master gave the token of a saved depth window and chart to another
// contract: neither comes back on the contract that holds the token now;
// both are named on the message bar with the security they were saved for.
TEST_F(WorkspaceE2E, ADepthOrChartWindowDoesNotComeBackOnAnotherSecurityWithItsToken)
{
    writeConfig();
    std::string saved;
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        openList(app, -502);
        CVortanexView* watch = CVortanexView::openViews().at(0);
        QTreeView* tree = watch->grid()->tree();
        tree->setCurrentIndex(tree->model()->index(0, 0));
        watch->OnEodChart();
        ASSERT_EQ(CEodChartView::openViews().size(), 1u);
        watch->OnPopupMarketDepth();
        ASSERT_EQ(CMDepthView::openViews().size(), 1u);
        saved = nameOf(CMDepthView::openViews()[0]->security());
        ASSERT_EQ(nameOf(CEodChartView::openViews()[0]->security()), saved);
        closeAndExit(app);
    }
    {
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        std::string record = stored.getText(Workspace::kSection, Workspace::valueFor("U1"));
        const std::string now = QUrl::toPercentEncoding(QString::fromStdString(saved)).toStdString();
        // The name is a whole field: '|' before it, '|' or the line's end after.
        int renamed = 0;
        for (size_t at = record.find("|" + now); at != std::string::npos; at = record.find("|" + now, at + 1)) {
            const char after = at + 1 + now.size() < record.size() ? record[at + 1 + now.size()] : '\n';
            if (after != '|' && after != '\n')
                continue;
            record.replace(at + 1, now.size(), "NIFTY~FI~27NOV25");
            ++renamed;
        }
        ASSERT_EQ(renamed, 2) << record;
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::valueFor("U1"), record));
    }
    ResetRunGlobals();
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(CVortanexView::openViews().size(), 1u);
        EXPECT_TRUE(CMDepthView::openViews().empty());
        EXPECT_TRUE(CEodChartView::openViews().empty());
        EXPECT_TRUE(pumpUntil([&] { return barSays(app, "The saved window Market Depth of NIFTY~FI~27NOV25"); }, 10000));
        EXPECT_TRUE(pumpUntil([&] { return barSays(app, "The saved window Chart of NIFTY~FI~27NOV25"); }, 10000));
        closeAndExit(app);
    }
}

// A depth window comes back at the next start without the list it was
// opened from (a new list is not kept): with its five levels it shows the
// day's values of its security, not zeros, as it did when it was opened.
TEST_F(WorkspaceE2E, ARestoredDepthWindowShowsTheDaysValuesWithItsLevels)
{
    std::string name;
    int wtoken = 0;
    {
        ProgramFeed feed;
        CVortanexApp app;
        ASSERT_TRUE(startLoggedIn(app, feed));
        ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_FILE_NEW));
        ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));
        CVortanexView* watch = CVortanexView::openViews().at(0);
        ASSERT_FALSE(watch->list().rows.empty());
        QTreeView* tree = watch->grid()->tree();
        tree->setCurrentIndex(tree->model()->index(0, 0));
        watch->OnPopupMarketDepth();
        ASSERT_EQ(CMDepthView::openViews().size(), 1u);
        const int security = CMDepthView::openViews()[0]->security();
        name = nameOf(security);
        wtoken = SecurityTable::current()->row(security).wtoken;
        closeAndExit(app);
    }
    ResetRunGlobals();
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ASSERT_TRUE(CVortanexView::openViews().empty()) << "the new list is not kept";
    ASSERT_EQ(CMDepthView::openViews().size(), 1u);
    CMDepthView* depth = CMDepthView::openViews()[0];
    ASSERT_EQ(nameOf(depth->security()), name);
    ASSERT_TRUE(pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    // The broker's market moves; the window follows it.
    const auto money = [](int64_t paise) { return QString::asprintf("%0.2f", double(paise) / 100).toStdString(); };
    tb::Quote q;
    const bool shown = pumpUntil(
        [&] {
            broker->marketStep();
            pumpUntil([] { return false; }, 200);
            q = broker->quote(wtoken);
            return !depth->cellText(0, 1).empty() && depth->text(CMDepthView::kLastPrice) == money(q.last);
        },
        10000);
    EXPECT_FALSE(depth->cellText(0, 1).empty()) << "the levels";
    EXPECT_TRUE(shown) << "LTP " << depth->text(CMDepthView::kLastPrice) << ", the broker's " << money(q.last);
    EXPECT_EQ(depth->text(CMDepthView::kOpen), money(q.open));
    EXPECT_EQ(depth->text(CMDepthView::kClose), money(q.close));
    EXPECT_EQ(depth->text(CMDepthView::kWeightedAverage), money(q.avg));
    EXPECT_NE(depth->text(CMDepthView::kLastTradeDate), "00-00-00");
    const LinearGauge* circuit = depth->gauge(CMDepthView::kCircuitGauge);
    ASSERT_NE(circuit, nullptr);
    EXPECT_DOUBLE_EQ(circuit->start(), double(q.lowerBand) / 100);
    EXPECT_DOUBLE_EQ(circuit->finish(), double(q.upperBand) / 100);
    closeAndExit(app);
}

// An index's derivative chain is a list of the session under a passing name
// ("Watchlist1"): it comes back as the chain of the same index, not as a
// list of that name.
TEST_F(WorkspaceE2E, AnIndexsDerivativeChainComesBackAsItsChain)
{
    writeConfig();
    const auto chainView = []() -> CVortanexView* {
        for (CVortanexView* v : CVortanexView::openViews())
            if (v->list().type == 2)
                return v;
        return nullptr;
    };
    int index = -1;
    std::vector<std::string> before;
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        for (size_t i = 0; i < indices.size() && index < 0; ++i)
            if (FixedTextView(indices[i].exchange) == "NN")
                index = int(i);
        ASSERT_GE(index, 0);
        OpenIndexChain(index);
        ASSERT_TRUE(pumpUntil([&] { return chainView() != nullptr; }));
        ASSERT_EQ(chainView()->list().chainKind, 1);
        before = titles(app);
        closeAndExit(app);
    }
    ResetRunGlobals();
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        ASSERT_TRUE(pumpUntil([&] { return chainView() != nullptr; }));
        EXPECT_EQ(chainView()->list().chainKind, 1);
        EXPECT_EQ(chainView()->list().chainSecurity, index);
        EXPECT_EQ(titles(app), before);
        closeAndExit(app);
    }
}

// With the polling feed (Feeds_Type 1) one market watch is served: the first
// saved list comes back, the second is named on the message bar, and no box
// stops the start.
TEST_F(WorkspaceE2E, WithThePollingFeedOneWatchComesBackWithoutABox)
{
    writeConfig();
    std::vector<std::string> before;
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        openList(app, -502);
        int other = -1;
        for (int i = 0; i < WatchlistTable::instance().count() && other == -1; ++i) {
            const WatchlistRecord r = WatchlistTable::instance().record(i);
            if (r.id != -502 && r.id <= -500 && r.id > -10000)
                other = r.id;
        }
        ASSERT_NE(other, -1);
        openList(app, other);
        before = titles(app);
        ASSERT_EQ(before.size(), 2u);
        closeAndExit(app);
    }
    ResetRunGlobals();
    // The transport is the configuration's, which the user's own file (written
    // at the close) repeats.
    writeConfig(false, /*feedsType=*/1);
    {
        const std::filesystem::path userFile = paths.data() / "U1.bin";
        std::string text = fileText(userFile);
        const size_t at = text.find("Feeds_Type 0");
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, 12, "Feeds_Type 1");
        std::ofstream(userFile, std::ios::binary | std::ios::trunc) << text;
    }
    const size_t boxesBefore = boxTexts().size();
    {
        scriptLogin("U1", "Test@123");
        CVortanexApp app;
        app.setOptions(appOptions());
        ASSERT_TRUE(app.InitInstance());
        EXPECT_EQ(titles(app), std::vector<std::string>{before[0]});
        EXPECT_TRUE(pumpUntil([&] { return barSays(app, "The saved window Watchlist"); }, 10000));
        EXPECT_FALSE(boxShown("To open existing Watchlist, Right Click on Watchlist and select View Watchlist"));
        EXPECT_EQ(boxTexts().size(), boxesBefore) << boxTexts().back();
        closeAndExit(app);
    }
}

// The end of the desktop session saves the workspace too. A close before the
// start-up reopened the windows (the downloads still running) saves nothing,
// so the stored workspace is not wiped by an empty one.
TEST_F(WorkspaceE2E, SessionEndSavesButACloseBeforeTheReopeningDoesNot)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    const int bank = listWithId(-502);
    ASSERT_GE(bank, 0);
    CVortanexView::services().chooseWatchlist = [bank](int) { return bank; };
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_FILE_OPEN));
    ASSERT_TRUE(pumpUntil([] { return WatchCommands::openCount() == 1; }));

    // As at start-up before the reopening step.
    InstallWorkspace(*app.mainFrame());
    SaveAppWorkspace(*app.mainFrame(), app.profile());
    EXPECT_FALSE(app.profile().contains(Workspace::kSection, Workspace::valueFor("U1")));
    RestoreAppWorkspace(*app.mainFrame(), app.profile());

    const std::filesystem::path profilePath = app.profile().path();
    app.terminalLock()->OnEndSession(true);
    app.ExitInstance();
    const std::string saved = pf::ProfileStore(profilePath).getText(Workspace::kSection, Workspace::valueFor("U1"));
    EXPECT_NE(saved.find("|Watchlist|"), std::string::npos) << saved;
}

// A profile saved by an older version whose pane layout is damaged (it made
// QMainWindow::restoreState write out of bounds, so every start crashed right
// after login): the terminal starts, the windows come back, the panes do
// not, and the message bar says so.
TEST_F(WorkspaceE2E, ADamagedSavedLayoutIsRefusedAndTheUserIsTold)
{
    writeConfig();
    {
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::kValue,
                                   "Vortanex workspace 1\nstacking=0\ndoc=0|0|0|0|0|0|Orders|\n"
                                   "docks=AAAA/wAAAAH9AAAAAQAQAAAAAAAAAAAAAPwCAAAAAA==\nend\n"));
    }
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    EXPECT_NE(g_pOrderViewEx, nullptr);
    COutputBar& bar = *app.mainFrame()->OutputBar();
    const auto told = [&bar] {
        for (int row = 0; row < bar.RowCount(MsgGeneral); ++row)
            if (bar.RowText(MsgGeneral, row, 1).contains("pane layout could not be checked"))
                return true;
        return false;
    };
    EXPECT_TRUE(pumpUntil(told, 10000));
    closeAndExit(app);
    // The close saved a record whose layout carries its length and checksum.
    const std::string saved =
        pf::ProfileStore(paths.config() / "Vortanex.profile.ini").getText(Workspace::kSection, Workspace::valueFor("U1"));
    EXPECT_EQ(saved.rfind("Vortanex workspace 2\n", 0), 0u) << saved;
}

} // namespace
} // namespace startuptest
