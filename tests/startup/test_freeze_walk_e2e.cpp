// The terminal against a broker that holds every reply back two seconds,
// walked the way a user goes through a morning: log in, the saved workspace
// of two stored lists reopens, a list is opened, F1 on a row, a basket, the
// order book's refresh, a report dialog, a market-dialog mode, an intraday
// chart; then every window that downloads is closed while its download is
// out, the feed of each type is disconnected and connected again, an export
// to the spreadsheet whose book then hangs, and the exit with an order, a
// basket and a conversion in flight, which ends within five seconds. A 20 ms
// UI-thread timer runs throughout: a network wait on the UI thread shows as a
// gap of about two seconds, while the UI thread's own work stays far below
// one; so every step's longest gap must stay under a second. Results are
// waited for with generous deadlines.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/FeedState.h"
#include "server/OrderSecurity.h"
#include "server/RiskArrays.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "RiskDesk.h"
#include "app/ProgramFeed.h"
#include "app/base/ConfigFile.h"
#include "frame/OrderFormOpener.h"
#include "frame/OrderFormService.h"
#include "frame/PositionServices.h"
#include "market/CSpecialReports.h"
#include "orders/CDlgConvertPosition.h"
#include "orders/CTradeView.h"
#include "orders/CTsloOrderView.h"
#include "orders/OrderFormIds.h"
#include "positions/CNetPosition.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/controls/CAnnouNewsReportCtrl.h"
#include "frame/Workspace.h"
#include "frame/controls/CMyGridCtrl.h"
#include "frame/controls/CMyListCtrl.h"
#include "frame/controls/CMyReportCtrl.h"
#include "market/CEodChartView.h"
#include "market/CHistoryDepth.h"
#include "market/CMarketTurnOver.h"
#include "market/ChartSeries.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderViewEx.h"
#include "frame/WatchOrderCommands.h"
#include "watch/AppWindowCommands.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"
#include "watch/excel/CExportExcel.h"
#include "watch/excel/ExcelLink.h"
#include "watch/excel/RecordingSheetLink.h"

#include "pf/profile_store.h"
#include "testkit/ui_heartbeat.h"
#include "ui/commands.h"
#include "ui/form_driver.h"
#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QPointer>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QTreeView>

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

namespace startuptest {
namespace test_freeze_walk_e2e {

namespace {

constexpr int kDelayMs = 2000;
// A UI stall a user feels; a network wait on the UI thread is about kDelayMs.
constexpr qint64 kStallBoundMs = 1000;
constexpr int kResultMs = 60000;
constexpr int kExportToExcel = 33315;

// One heartbeat per step of the walk, so a stall is named by its step.
class StepStalls {
public:
    void step(std::string name)
    {
        finish();
        m_name = std::move(name);
        m_beat = std::make_unique<testkit::UiHeartbeat>();
    }
    void finish()
    {
        if (m_beat)
            m_gaps.emplace_back(m_name, m_beat->longestGapMs());
        m_beat.reset();
    }
    const std::vector<std::pair<std::string, qint64>>& gaps() const { return m_gaps; }

private:
    std::string m_name;
    std::unique_ptr<testkit::UiHeartbeat> m_beat;
    std::vector<std::pair<std::string, qint64>> m_gaps;
};

class FreezeWalkE2E : public StartupFixture {
protected:
    void TearDown() override
    {
        CVortanexView::services().chooseWatchlist = {};
        if (CMSExcel::programInstalled())
            CMSExcel::letGoProgram();
        StartupFixture::TearDown();
    }
    static int listNamed(std::string_view name)
    {
        WatchlistTable& t = WatchlistTable::instance();
        for (int i = 0; i < t.count(); ++i)
            if (std::string_view(t.record(i).name) == name)
                return i;
        return -1;
    }
    static int listWithId(int id)
    {
        for (int i = 0; i < WatchlistTable::instance().count(); ++i)
            if (WatchlistTable::instance().record(i).id == id)
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
    static int rowsOf(int list)
    {
        CVortanexView* v = viewOf(list);
        return v ? v->grid()->model().rowTotal() : -1;
    }
    static int positionOfSymbol(CVortanexView* view, std::string_view symbol)
    {
        const auto table = SecurityTable::current();
        for (size_t p = 0; table && p < view->list().rows.size(); ++p) {
            const int index = view->list().rows[p].securityIndex;
            if (index >= 0 && table->row(index).symbol.view() == symbol)
                return static_cast<int>(p);
        }
        return -1;
    }
    // The saved workspace: the two stored lists side by side as tabs.
    void saveWorkspaceOf(const std::vector<std::string>& lists) const
    {
        WorkspaceState state;
        for (const std::string& name : lists) {
            WorkspaceDocument d;
            d.kind = "Watchlist";
            d.list = name;
            state.documents.push_back(d);
        }
        state.active = 0;
        pf::ProfileStore stored(paths.config() / "Vortanex.profile.ini");
        ASSERT_TRUE(stored.setText(Workspace::kSection, Workspace::kValue, FormatWorkspace(state)));
    }
};

TEST_F(FreezeWalkE2E, EveryStepWithEveryReplyDelayedKeepsTheUiThreadBeating)
{
    // Market hours of a trading day: the intraday chart has bars.
    clock.setMillis(ChartLocalEpoch(2026, 12, 8, 11, 0, 0) * 1000);
    // Two lists of the user's own, stored at the broker: their rows come with
    // their first opening ("WD=104").
    broker->setReply("WD=100", "100|0|OK^11|Mine~12|Yours", 1);
    broker->setReply("WD=104", "154|0|OK^1410|SBIN|NN~2314|ITC|NN", 2);
    saveWorkspaceOf({"Mine", "Yours"});
    auto book = std::make_shared<RecordingSheetLink>();
    CMSExcel::installProgram([book]() -> std::unique_ptr<SheetLink> { return std::make_unique<RecordingSheetLinkRef>(book); },
                             [](std::function<void()> task) {
                                 QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
                             });
    broker->delayEveryReply(kDelayMs);
    StepStalls stalls;
    testkit::UiHeartbeat whole;

    // Log in; the workspace's two lists reopen and wait for their rows.
    stalls.step("log in and restore the workspace");
    ProgramFeed feed;
    CVortanexApp app;
    ASSERT_TRUE(startLoggedIn(app, feed));
    const int mine = listNamed("Mine");
    const int yours = listNamed("Yours");
    ASSERT_GE(mine, 0);
    ASSERT_GE(yours, 0);
    ASSERT_NE(viewOf(mine), nullptr);
    ASSERT_NE(viewOf(yours), nullptr);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return rowsOf(mine) == 2 && rowsOf(yours) == 2; }, kResultMs));
    EXPECT_TRUE(viewOf(mine)->isEnabled());
    EXPECT_TRUE(viewOf(yours)->isEnabled());
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, kResultMs));

    // Open a list of the broker's categories from the menu.
    stalls.step("open a list");
    const int bank = listWithId(-502);
    ASSERT_GE(bank, 0);
    CVortanexView::services().chooseWatchlist = [bank](int) { return bank; };
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_FILE_OPEN));
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return rowsOf(bank) > 0 && viewOf(bank)->isEnabled(); }, kResultMs));

    // F1 on ITC, which trades on BSE in the same series: the form opens once
    // the twin's quote is in.
    stalls.step("F1 on a row");
    SetTradingAllowed(true);
    CVortanexView* view = viewOf(mine);
    const int itc = positionOfSymbol(view, "ITC");
    ASSERT_GE(itc, 0);
    view->grid()->selectRow(view->gridRowOf(itc));
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(view->grid()->tree(), &f1);
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return CDlgOrderFormExp::Instance() != nullptr; }, kResultMs));
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return view->isEnabled(); }, kResultMs));
    CDlgOrderFormExp::DestroyInstance();

    // A basket of the list's two rows, sent.
    stalls.step("a basket");
    ASSERT_TRUE(watchOpeners().basket);
    watchOpeners().basket("ABC12", {{view->list().rows[0].securityIndex, 0}, {view->list().rows[1].securityIndex, 0}});
    CBasketOrder* basket = g_pBasketOrder;
    ASSERT_NE(basket, nullptr);
    for (int k = 0; k < 2; ++k) {
        basket->row(k).quantity->setText("1");
        basket->row(k).price->setText("0");
    }
    broker->clearRequests();
    basket->okButton()->click();
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return !basket->isSending(); }, kResultMs));
    int sent = 0;
    for (const tb::RecordedRequest& r : broker->requests())
        sent += r.decoded.text.rfind("OrdReqNo=", 0) == 0;
    EXPECT_EQ(sent, 1);
    basket->close();

    // The order book, then its refresh.
    stalls.step("the order book's refresh");
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_REPORTS_ORDERS));
    COrderViewEx* orders = g_pOrderViewEx;
    ASSERT_NE(orders, nullptr);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return !orders->isBusy() && orders->grid()->model().rowTotal() == 2; },
                                        kResultMs));
    broker->clearRequests();
    orders->OnOrderRefresh();
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return !orders->isBusy() && !broker->requests().empty(); }, kResultMs));
    EXPECT_EQ(orders->grid()->model().rowTotal(), 2);

    // The gainers report for NSE.
    stalls.step("a report dialog");
    int reportRows = -1;
    modalHost.script("CHistoryDepth", [&](ui::FormDriver& d) {
        auto& dlg = static_cast<CHistoryDepth&>(d.form());
        dlg.setComboIndex(CHistoryDepth::kExchange, 1);
        dlg.OnSelchangeExch();
        if (ui::UiThread::pumpUntil([&] { return dlg.replies() == 1; }, kResultMs))
            reportRows = dlg.list()->model().rowTotal();
        d.form().finish(2);
    });
    ASSERT_TRUE(AppWindowCommands::Run(32884));
    EXPECT_GT(reportRows, 0);

    // The market dialog's announcements.
    stalls.step("a market-dialog mode");
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(1403));
    CMarketTurnOver* news = CMarketTurnOver::instance(9);
    ASSERT_NE(news, nullptr);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return news->newsGrid() && news->newsGrid()->model().rowTotal() > 0; },
                                        kResultMs));
    news->close();

    // An intraday chart of a row.
    stalls.step("an intraday chart");
    view->grid()->selectRow(view->gridRowOf(0));
    view->OnIntraDayChart();
    ASSERT_EQ(CEodChartView::openViews().size(), 1u);
    CEodChartView* chart = CEodChartView::openViews()[0];
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return chart->ready() && chart->control().recordCount() > 0; },
                                        kResultMs));

    // Every window that downloads, closed while its download is out (a
    // question about the download answered Yes).
    const auto closeWhileOut = [&](const std::string& name, const std::string& key, const std::function<QWidget*()>& open) {
        stalls.step("close " + name + " while it downloads");
        broker->clearRequests();
        QWidget* window = open();
        ASSERT_NE(window, nullptr) << name;
        if (!key.empty()) {
            ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return broker->waitForKey(key, 0).has_value(); }, kResultMs))
                << name;
        }
        QPointer<QWidget> gone(window);
        auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        EXPECT_TRUE(sub ? sub->close() : window->close()) << name;
        EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return gone.isNull() || !gone->isVisible(); }, kResultMs)) << name;
        ui::UiThread::pumpUntil([] { return false; }, 200); // the UI goes on after the close
    };
    closeWhileOut("the order book", "ReportData=600", [&]() -> QWidget* {
        orders->OnOrderRefresh();
        return orders;
    });
    closeWhileOut("the trade book", "ReportData=610", [&]() -> QWidget* {
        app.mainFrame()->Commands().invoke(32878);
        return g_pTradeView;
    });
    closeWhileOut("the trailing book", "ReportData=640", [&]() -> QWidget* {
        app.mainFrame()->Commands().invoke(33314);
        return CTsloOrderView::Instance();
    });
    closeWhileOut("the risk window", "", [&]() -> QWidget* {
        app.mainFrame()->Commands().invoke(33214);
        return CNetPosition::Instance();
    });
    closeWhileOut("a market-dialog mode", "", [&]() -> QWidget* {
        app.mainFrame()->Commands().invoke(1403);
        return CMarketTurnOver::instance(9);
    });
    closeWhileOut("a chart", "", [&]() -> QWidget* {
        view->grid()->selectRow(view->gridRowOf(1));
        view->OnIntraDayChart();
        for (CEodChartView* c : CEodChartView::openViews())
            if (c != chart)
                return c;
        return nullptr;
    });
    // The report and special-report dialogs are modal: closed as soon as
    // they have asked.
    stalls.step("close a report dialog while it downloads");
    broker->clearRequests();
    modalHost.script("CHistoryDepth", [&](ui::FormDriver& d) {
        auto& dlg = static_cast<CHistoryDepth&>(d.form());
        dlg.setComboIndex(CHistoryDepth::kExchange, 1);
        dlg.OnSelchangeExch();
        EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return !broker->requests().empty(); }, kResultMs));
        d.form().finish(2);
    });
    ASSERT_TRUE(AppWindowCommands::Run(32885));
    ui::UiThread::pumpUntil([] { return false; }, 200);
    stalls.step("close a special report while it downloads");
    broker->clearRequests();
    modalHost.script("CSpecialReports", [&](ui::FormDriver& d) {
        d.form().show(); // the fetch starts when the dialog is shown
        EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return !broker->requests().empty(); }, kResultMs));
        d.form().finish(2);
    });
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(1124));
    ui::UiThread::pumpUntil([] { return false; }, 200);

    // The feed of each type disconnected and connected again; the TCP feed,
    // the walk's own, last.
    for (const int type : {1, 2, 4, 3}) {
        stalls.step("disconnect and connect the feed of type " + std::to_string(type));
        const int before = feed.connectionCount();
        ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_DISCONNECT));
        g_Config.Feeds_Type = type;
        ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_CONNECT));
        EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return feed.connectionCount() > before; }, kResultMs)) << type;
        ui::UiThread::pumpUntil([] { return false; }, 300); // its first exchange is out
    }
    ASSERT_TRUE(ui::UiThread::pumpUntil([] { return FeedState::instance().slot() >= 0; }, kResultMs));

    // Export the list to the spreadsheet; then its book hangs in the middle of
    // a write while the user switches the other linked list and closes it.
    stalls.step("an export to the spreadsheet");
    modalHost.script("CExportExcel", [](ui::FormDriver& d) { d.click(CExportExcel::kNewExcel); });
    prompter.answerWhen("Watchlist added successfully", ui::Ok);
    view->OnCommand(kExportToExcel);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return CMSExcel::program().linkedCount() == 1 && book->callCount("cells") > 0; },
                                        kResultMs));
    stalls.step("a hung spreadsheet");
    CVortanexView* other = viewOf(yours);
    const int writesBefore = book->callCount("cells");
    book->writeDelay = std::chrono::seconds(6);
    other->OnCommand(kExportToExcel);
    ASSERT_TRUE(ui::UiThread::pumpUntil([&] { return book->callCount("cells") > writesBefore; }, kResultMs))
        << "a write is under way";
    other->SelectWatchlist(bank, 1);
    other->parentWidget()->close();
    ui::UiThread::pumpUntil([] { return false; }, 300);

    // An order, a basket and a conversion sent, and the exit at once.
    stalls.step("send an order, a basket and a conversion");
    const int first = view->list().rows[0].securityIndex;
    const int second = view->list().rows[1].securityIndex;
    const int token = OrderSecurityAt(first).token;
    PositionRecord position;
    position.token = token;
    position.exchange = OrderSecurityAt(first).exchange;
    position.product_code = 5;
    position.net_qty = -5;
    position.sec_index = first;
    ActiveClientRiskArrays().positions = {position};
    std::vector<std::string> held(tb::RiskDesk::kPositionFields, "0");
    held[0] = std::to_string(token);
    held[1] = position.exchange;
    held[6] = "-5";
    held[10] = "5";
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) { b.positions = {held}; });
    ASSERT_TRUE(InstalledConvertPositionService()->ShowConvertPositionForm(nullptr, "ABC12", first, "NSE", -5, 'S', 0, 1));
    ASSERT_TRUE(ui::UiThread::pumpUntil(
        [] { return g_pDlgConvertPosition && g_pDlgConvertPosition->isVisible() && WaitConvertPositionWork(0); },
        kResultMs));
    watchOpeners().basket("ABC12", {{first, 0}, {second, 0}});
    basket = g_pBasketOrder;
    ASSERT_NE(basket, nullptr);
    for (int k = 0; k < 2; ++k) {
        basket->row(k).quantity->setText("1");
        basket->row(k).price->setText("0");
    }
    OrderFormParams order;
    order.index = first;
    order.side = 'B';
    OpenOrderForm(order, nullptr, 1);
    CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(ui::UiThread::pumpUntil([form] { return form->IsInitialised(); }, kResultMs));
    ui::FormDriver(*form).type(orderform::kQuantity, "1").click(orderform::kOk);
    basket->okButton()->click();
    g_pDlgConvertPosition->convertButton()->click();
    EXPECT_TRUE(form->IsRequestInProcess());
    EXPECT_TRUE(basket->isSending());
    EXPECT_TRUE(g_pDlgConvertPosition->busy);

    stalls.step("exit with an order, a basket and a conversion in flight");
    const auto exitStart = std::chrono::steady_clock::now();
    closeAndExit(app);
    EXPECT_LT(std::chrono::steady_clock::now() - exitStart, std::chrono::seconds(5));
    stalls.finish();
    const qint64 wholeGap = whole.longestGapMs();
    ActiveClientRiskArrays().positions.clear();

    for (const auto& [step, gap] : stalls.gaps())
        EXPECT_LT(gap, kStallBoundMs) << step;
    EXPECT_LT(wholeGap, kStallBoundMs);

    // The exit lets the hung book go within five seconds.
    const auto start = std::chrono::steady_clock::now();
    CMSExcel::letGoProgram();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
} // namespace startuptest

} // namespace test_freeze_walk_e2e
