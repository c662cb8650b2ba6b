// End to end against the test broker's market: after U1's login the indices
// bar shows four indices that follow the index broadcasts; a watch row's
// depth window makes the broker send that security's depth, which fills the
// ladder, and its F1 opens the order form at the best ask with the other
// exchange's twin; "Scrip Movement" lists the trades of the watched
// securities; "Scrip Details" shows the broker's WD=112 values.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/OrderFormService.h"
#include "frame/controls/CMyGridCtrl.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CEodChartView.h"
#include "market/CIndexView.h"
#include "market/CIndicesDlg.h"
#include "market/CMDepthView.h"
#include "market/CScripLastTick.h"
#include "market/COptionCalc.h"
#include "market/CScriptDetails.h"
#include "market/ChartSeries.h"
#include "frame/WatchOrderCommands.h"
#include "watch/AppWindowCommands.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"
#include "watch/base/WatchlistTable.h"

#include "ui/form_driver.h"
#include "ui/ui_thread.h"

#include <QTest>
#include <QToolButton>

#include <algorithm>

namespace test_market_e2e {

namespace {

class MarketEndToEnd : public startuptest::StartupFixture {};

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

TEST_F(MarketEndToEnd, IndicesDepthTradesAndDetailsAgainstTheBroker)
{
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, 10000));
    ASSERT_TRUE(broker->waitForFeedClient("U1", 5000));
    RecordingOrderForms forms;
    SetOrderFormService(&forms);
    SetTradingAllowed(true);

    // The bar: four indices, subscribed, following the broadcasts.
    CIndicesDlg* bar = CIndicesDlg::instance();
    ASSERT_NE(bar, nullptr);
    const std::vector<IndexRecord> indices = IndexTable::instance().entries();
    std::vector<int> indexTokens;
    for (int b = 1; b <= 4; ++b) {
        ASSERT_GE(bar->buttonIndex(b), 0) << b;
        indexTokens.push_back(indices[static_cast<size_t>(bar->buttonIndex(b))].feedCode);
    }
    const auto hasTokens = [&](const std::vector<int>& want, bool depth) {
        for (const tb::FeedClientInfo& c : broker->feedClients()) {
            const std::vector<int>& got = depth ? c.depthTokens : c.tokens;
            if (std::all_of(want.begin(), want.end(),
                            [&](int t) { return std::find(got.begin(), got.end(), t) != got.end(); }))
                return true;
        }
        return false;
    };
    std::vector<int> subscribedIndices;
    for (const IndexRecord& r : indices)
        for (int b = 1; b <= 4; ++b)
            if (bar->buttonIndex(b) == r.number && r.securityIndex >= 0)
                subscribedIndices.push_back(SecurityTable::current()->row(r.securityIndex).wtoken);
    ASSERT_FALSE(subscribedIndices.empty());
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return hasTokens(subscribedIndices, false); }, 5000));
    const QString before = bar->button(1)->text();
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [&] {
            broker->marketStep();
            ui::UiThread::pumpUntil([] { return false; }, 120);
            return bar->button(1)->text() != before && !bar->button(1)->text().isEmpty();
        },
        10000));
    const IndexRecord shown = IndexTable::instance().entries()[static_cast<size_t>(bar->buttonIndex(1))];
    EXPECT_NE(bar->button(1)->text().toStdString().find(std::string(shown.name)), std::string::npos);

    // A watch row's depth window: the broker is asked for its depth and the ladder fills.
    WatchCommands::OnFileNew();
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* view = CVortanexView::openViews()[0];
    const int security = view->list().rows[0].securityIndex;
    const auto table = SecurityTable::current();
    const SecurityRecord& rec = table->row(security);
    ASSERT_TRUE(watchOpeners().depth);
    watchOpeners().depth(view, security);
    ASSERT_EQ(CMDepthView::openViews().size(), 1u);
    CMDepthView* depth = CMDepthView::openViews()[0];
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return hasTokens({rec.wtoken}, true); }, 5000));
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [&] {
            broker->marketStep();
            ui::UiThread::pumpUntil([] { return false; }, 150);
            return !depth->cellText(0, 4).empty();
        },
        10000));
    EXPECT_GT(depth->askPrice(0), 0);

    EXPECT_NE(depth->text(CMDepthView::kLastPrice), "0.00");

    // F1: the order form at the best ask, with the BSE twin for the NSE equity.
    const int twin = Search_Symbol(rec.symbol.view(), "BN", rec.inst_type.view());
    // (The broker's BSE equities carry series "A": an NSE row finds no twin of the same series.)
    QTest::keyClick(depth, Qt::Key_F1);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return !forms.opened.empty(); }, 10000));
    EXPECT_EQ(forms.types[0], 1);
    EXPECT_EQ(forms.opened[0].index, security);
    EXPECT_EQ(forms.opened[0].side, 'B');
    EXPECT_DOUBLE_EQ(forms.opened[0].price, depth->askPrice(0));
    EXPECT_EQ(forms.opened[0].companionIndex, twin > 0 ? twin : -1);

    // Scrip Movement: the trades of the watched securities.
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(1117));
    CScripLastTick* trades = CScripLastTick::instance();
    ASSERT_NE(trades, nullptr);
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [&] {
            broker->marketStep();
            ui::UiThread::pumpUntil([] { return false; }, 150);
            return trades->list()->model().rowTotal() >= 3;
        },
        10000));

    // Scrip Details: the WD=112 values.
    bool checked = false;
    modalHost.script("CScriptDetails", [&](ui::FormDriver& d) {
        auto& details = static_cast<CScriptDetails&>(d.form());
        ui::UiThread::pumpUntil([&] { return details.loaded(); }, 10000);
        EXPECT_TRUE(details.loaded());
        EXPECT_EQ(details.cellText(0, 0), "LTP");
        EXPECT_FALSE(details.cellText(0, 1).empty());
        EXPECT_EQ(details.cellText(14, 0), "Remarks");
        EXPECT_EQ(details.cellText(14, 1), "Normal market trading"); // the first line of the wrapped remark
        checked = true;
        d.form().finish(2);
    });
    ASSERT_TRUE(watchOpeners().details);
    watchOpeners().details(security);
    EXPECT_TRUE(checked);
    EXPECT_EQ(requestsWith("WD=112"), 1);

    // The index view: every index subscribed, values following the broadcasts;
    // closed, the subscription falls back to the bar's four.
    ASSERT_TRUE(AppWindowCommands::Run(32886));
    CIndexView* indexView = CIndexView::instance();
    ASSERT_NE(indexView, nullptr);
    std::vector<int> everyIndex;
    for (const IndexRecord& r : indices)
        if (r.securityIndex >= 0)
            everyIndex.push_back(SecurityTable::current()->row(r.securityIndex).wtoken);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return hasTokens(everyIndex, false); }, 5000));
    const int row = indexView->rowOf(indices.back().number);
    const QString first = indexView->grid()->model().text(row, 3);
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [&] {
            broker->marketStep();
            ui::UiThread::pumpUntil([] { return false; }, 150);
            return indexView->grid()->model().text(row, 3) != first;
        },
        10000));
    indexView->parentWidget()->close();
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return CIndexView::instance() == nullptr; }, 5000));
    EXPECT_EQ(FeedSubscriptions::instance().indexTokenCount(), static_cast<int>(subscribedIndices.size()));

    // The option calculator runs modally; the bar's command hides and shows it.
    modalHost.script("COptionCalc", [](ui::FormDriver& d) {
        d.type(COptionCalc::kPrice, "100").type(COptionCalc::kStrike, "100").type(COptionCalc::kDays, "29");
        d.type(COptionCalc::kRate, "10").type(COptionCalc::kVolatility, "20").click(COptionCalc::kCalculate);
        EXPECT_EQ(d.form().text(COptionCalc::kResult), "2.71");
        d.form().finish(2);
    });
    AppWindowCommands::Run(32887);
    EXPECT_EQ(modalHost.runs().back(), "COptionCalc");
    ASSERT_FALSE(bar->isHidden());
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(32914));
    EXPECT_TRUE(bar->isHidden());
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(32914));
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(CIndicesDlg::instance(), bar);

    depth->OnCancel();
    trades->OnCancel();
    SetOrderFormService(nullptr);
    prompter.answerWhen("Do you want to Quit from this Application", 6);
    app.mainFrame()->close();
    app.ExitInstance();
}

// The index view's menu on NIFTY 50: "Intraday Chart" opens the index's
// chart, which the broker's index history fills; "Derivative Chain" opens the
// chain of the index's underlying, built from the security table: every
// NIFTY future and option of NSE and nothing else. There is one chain
// window: asked again, the open one is named and comes forward.
TEST_F(MarketEndToEnd, IndexViewOpensTheIndexChartAndItsDerivativeChain)
{
    clock.setMillis(ChartLocalEpoch(2026, 12, 8, 11, 0, 0) * 1000); // market hours: the day's bars exist
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ASSERT_TRUE(AppWindowCommands::Run(32886));
    CIndexView* indexView = CIndexView::instance();
    ASSERT_NE(indexView, nullptr);
    int nifty = -1;
    for (const IndexRecord& r : IndexTable::instance().entries())
        if (std::string_view(r.name) == "NIFTY") // the index's name is its security's symbol
            nifty = r.number;
    ASSERT_GE(nifty, 0);
    indexView->selectIndex(nifty);

    prompter.queueMenuCommand(CIndexView::ID_INDEX_INTRADAY_CHART);
    indexView->OnContextMenu(10, 10);
    ASSERT_EQ(CEodChartView::openViews().size(), 1u);
    CEodChartView* chart = CEodChartView::openViews()[0];
    EXPECT_EQ(chart->kind(), kChartIndex);
    EXPECT_FALSE(boxShown("Intraday Chart is not available in this version."));
    const auto asked = broker->waitForRequest(
        [](const tb::RecordedRequest& r) {
            // NIFTY 50's broadcast id is its watch token, 51999; "|1" marks an index.
            return r.path == "/qtrade/feeds.exe" && (r.query == "ctoken=51999|1" || r.query == "ctoken=51999%7C1");
        },
        10000);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return chart->ready() && chart->control().recordCount() > 0; }, 10000));

    prompter.queueMenuCommand(CIndexView::ID_INDEX_DERIVATIVE_CHAIN);
    indexView->OnContextMenu(10, 10);
    EXPECT_FALSE(boxShown("Derivative Chain is not available in this version."));
    ASSERT_EQ(CVortanexView::openViews().size(), 1u);
    CVortanexView* chain = CVortanexView::openViews()[0];
    EXPECT_EQ(chain->windowTitle().toStdString(), "Derv Chain-NIFTY");
    const auto table = SecurityTable::current();
    int expected = 0;
    for (int i = 0; i < table->count(); ++i) {
        const SecurityRecord& s = table->row(i);
        if (s.symbol.view() == "NIFTY" && s.market_exchange.view() == "NN" && s.inst_type.view() != "IN")
            ++expected;
    }
    ASSERT_GE(expected, 3) << "the broker lists three NIFTY futures at least";
    const WatchlistRecord& list = chain->list();
    EXPECT_EQ(CountWatchRows(list), expected);
    int futures = 0;
    for (const WatchRowEntry& row : list.rows) {
        if (row.securityIndex < 0)
            continue;
        const SecurityRecord& s = table->row(row.securityIndex);
        EXPECT_EQ(s.symbol.view(), "NIFTY");
        EXPECT_EQ(s.market_exchange.view(), "NN");
        EXPECT_TRUE(s.inst_type.view() == "FI" || s.inst_type.view() == "OI") << s.inst_type.view();
        futures += s.inst_type.view() == "FI";
    }
    EXPECT_EQ(futures, 3) << "one future for each of the three expiries";

    prompter.queueMenuCommand(CIndexView::ID_INDEX_DERIVATIVE_CHAIN);
    indexView->OnContextMenu(10, 10);
    EXPECT_TRUE(boxShown("You are allowed to open only one Derivative Chain"));
    EXPECT_EQ(CVortanexView::openViews().size(), 1u);

    prompter.answerWhen("Do you want to Quit from this Application", 6);
    app.mainFrame()->close();
    app.ExitInstance();
}

} // namespace

} // namespace test_market_e2e
