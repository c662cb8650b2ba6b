// The risk report window end to end against the test broker: requests on the
// wire, the stored arrays, the grids, live prices from the tick box, and the
// commands' refusals.
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "testkit/headless.h"
#include "testkit/keep_look.h"

#include "../orders/OrderMaster.h"
#include "frame/FrameThemes.h"
#include "frame/OrderFormService.h"
#include "RiskDesk.h"
#include "TestBroker.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "orders/CBasketOrder.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/OrderFormIds.h"
#include "orders/OrderMessages.h"
#include "server/OrderSecurity.h"
#include "orders/PositionRecords.h"
#include "frame/controls/CFilterGridCtrl.h"
#include "positions/CNetPosition.h"
#include "positions/DlgPledgeUnpleged.h"
#include "ui/form_driver.h"
#include "positions/NetPositionFeed.h"
#include "positions/PositionMath.h"
#include "frame/PositionServices.h"
#include "server/RiskArrays.h"
#include "server/RequestServer.h"
#include "server/SecurityTable.h"
#include "ui/grid_header_items.h"
#include "ui/grid_layout_state.h"
#include "ui/grid_model.h"
#include "ui/grid_ranges.h"
#include "ui/grid_view.h"
#include "ui/theme_manager.h"
#include "ui/ui_thread.h"

#include "pf/http_session.h"
#include "pf/profile_store.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

// The order form as the risk commands reach it: every opening recorded.
class RecordingOrderForm final : public OrderFormService {
public:
    bool getInstance(int formType, QWidget*, const OrderFormParams& params) override
    {
        openings.emplace_back(formType, params);
        return true;
    }
    void showForm() override {}
    std::vector<std::pair<int, OrderFormParams>> openings;
};

class RiskWindowTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SetProgramPaths(paths);
        StartLog(paths);
        tb::BrokerOptions o;
        o.securities = 306; // the built-in 299 and the first seven NSE options
        o.keepAliveMs = 0;
        broker = std::make_unique<tb::TestBroker>(o);
        std::string error;
        ASSERT_TRUE(broker->start(&error)) << error;
        RootInternetSession().setConnectTo({broker->connectToMap()});
        g_Config = ConfigRecord{};
        CopyFixedText(g_Config.Trade_Host, "127.0.0.1");
        g_Config.Trade_Port = broker->httpPort();
        CopyFixedText(g_Config.Watch_Host, "127.0.0.1");

        ClearSessionRecord();
        pv_user_info = UserInfoRecord{};
        CopyFixedText(pv_user_info.user_id, "U1");
        CopyFixedText(pv_user_info.session_id, "SESS0001");
        pv_user_info.user_type = 'C';
        ParseSegmentList("0-Normal-A^1-Delivery-A^2-BNST-A^4-MTF-A^5-Stop Loss-A^7-DDS-A^12-MIS Options-A");
        g_Session = SessionValues{};
        g_Session.clients.resize(1);
        CopyFixedText(g_Session.clients[0].user_id, "0091");
        CopyFixedText(g_Session.clients[0].client_code, "ABC12");
        g_Session.clients[0].active = 1;
        g_Session.client_count = 1;
        pv_user_info.client_index = 0;
        std::string flags(128, '0');
        for (size_t i : {0, 1, 8, 10, 13, 52, 53, 59})
            flags[i] = '1';
        SetLoginFlags(flags);
        SetDefaultSettings();
        ordertest::PublishBrokerMaster(broker->universe());
        SetOrderMessageSink([this](int, char, const std::string& text) {
            std::lock_guard lock(barMutex);
            bar.push_back(text);
        });
    }

    void TearDown() override
    {
        delete view;
        view = nullptr;
        ui::UiThread::discardPending();
        SetOrderMessageSink({});
        SetBasketService(nullptr);
        SetConvertPositionService(nullptr);
        if (broker)
            broker->stop();
        broker.reset();
        RootInternetSession().setConnectTo({});
        ordertest::UnpublishMaster();
        ClearSessionRecord();
        CloseLog();
        g_Config = ConfigRecord{};
        Headless::TearDown();
    }

    void open(int windowType)
    {
        view = new CNetPosition();
        view->resize(1000, 600);
        view->OnInitialUpdate(windowType);
    }
    bool idle() { return pumpUntil([this] { return !view->isBusy(); }, 20000); }
    bool barHas(const std::string& part)
    {
        std::lock_guard lock(barMutex);
        for (const std::string& l : bar)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
    bool sawText(const std::string& part) const
    {
        for (const testkit::AskRecord& a : prompter.asks())
            if (a.text.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::vector<std::string> riskRequests()
    {
        std::vector<std::string> out;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.request.keyword == "RiskData")
                out.push_back(r.decoded.text);
        return out;
    }
    // Sets a security's last price (paise) and tick code, as a 101 would.
    void tick(int security, double lastPaise, short code)
    {
        SecurityTable::current()->row(security).updateQuote([&](QuoteData& q) {
            q.quote[4] = lastPaise;
            q.tick_code[4] = code;
        });
        view->feed()->quoteUpdated(security);
    }

    std::unique_ptr<tb::TestBroker> broker;
    CNetPosition* view = nullptr;
    std::mutex barMutex;
    std::vector<std::string> bar; // guarded by barMutex
};

TEST_F(RiskWindowTest, OpenPositionsArriveAndFollowTheFeed)
{
    open(13);
    ASSERT_TRUE(idle());
    EXPECT_EQ(view->shownReport(), CNetPosition::Open);
    const std::vector<std::string> sent = riskRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], "RiskData=412|0091|U1|ABC12|ABC12|4&AClient=N");
    EXPECT_TRUE(barHas("Downloading Positions for Client :ABC12"));
    EXPECT_TRUE(barHas("Positions Downloaded Successfully for Client :ABC12"));

    const ClientRiskArrays& arrays = ActiveClientRiskArrays();
    ASSERT_GE(arrays.positions.size(), 8u);
    ui::GridModel& m = view->grid(CNetPosition::Open)->model();
    ASSERT_GE(view->openRowCount(), 7);
    ASSERT_GE(view->openTotalRow(), 0);
    // A "P" record heads a group of the "S" and "R" rows after it; the next
    // "N" row is back at the top level.
    int group = -1;
    for (int row : m.childrenOf(ui::GridModel::kRoot))
        if (m.isGroup(row))
            group = row;
    ASSERT_GE(group, 0);
    EXPECT_EQ(m.text(group, 0), QStringLiteral("NIFTY CALENDAR SPREAD"));
    ASSERT_EQ(m.childrenOf(group).size(), 2u);
    EXPECT_EQ(m.text(m.childrenOf(group)[0], 19), QStringLiteral("Span"));
    EXPECT_EQ(m.text(m.childrenOf(group)[1], 19), QStringLiteral("Normal"));
    const int afterGroup = m.idAt(m.positionOf(group) + 1);
    EXPECT_EQ(m.text(afterGroup, 1), QStringLiteral("NSE-FX"));
    EXPECT_EQ(m.text(afterGroup, 18), QStringLiteral("-")); // multiplier 1
    // The window's securities are what the feed subscribes.
    const std::vector<int> feedSecurities = view->feed()->feedSecurities();
    const PositionRecord& first = arrays.positions[0];
    EXPECT_NE(std::find(feedSecurities.begin(), feedSecurities.end(), first.sec_index), feedSecurities.end());
    // The order form's square-off reads the same records.
    PositionRecord copy;
    ASSERT_TRUE(ReadPosition(0, copy));
    EXPECT_EQ(copy.token, first.token);

    // A rising tick: LTP, P&L and the total follow within a timer period.
    const int row = first.grid_row;
    ASSERT_GE(row, 0);
    const QString before = m.text(row, 12);
    const double L = first.avg_price * 1.1;
    tick(first.sec_index, L * 100, 10);
    ASSERT_TRUE(pumpUntil([&] { return m.text(row, 2) == QString::fromStdString(PositionMath::FormatPrice(L, false)); },
                          5000));
    const RiskSecurityFacts s = TableRiskSecurities().facts(first.sec_index);
    const double pl = PositionMath::OpenPositionPl(first, s, L);
    EXPECT_EQ(m.text(row, 12).toStdString(), PositionMath::FormatPrice(pl, false));
    EXPECT_NE(m.text(row, 12), before);
    EXPECT_EQ(m.backColour(row, 2).bgr, g_AppSettings.up_back_colour);
    // The total is the sum of a fresh computation over the shown rows.
    double total = 0;
    for (const PositionRecord& p : arrays.positions)
        if (p.grid_row >= 0 && p.margin_type != "P")
            total += PositionMath::OpenPositionPl(p, TableRiskSecurities().facts(p.sec_index),
                                                  PositionMath::LastRupees(TableRiskSecurities().facts(p.sec_index)));
    EXPECT_NEAR(view->openPlTotal(), total, 1e-6);
    EXPECT_EQ(m.text(view->openTotalRow(), 12).toStdString(), PositionMath::FormatPrice(total, false));

    // Ticks 30/40 and ticks while busy change nothing.
    tick(first.sec_index, L * 200, 30);
    view->OnTimer();
    EXPECT_EQ(m.text(row, 2).toStdString(), PositionMath::FormatPrice(L, false));

    // A rise, then before the timer a quote that changes only the bid: the
    // feed tells the window of the rise alone, and the rise is applied.
    const double L2 = L + 1;
    tick(first.sec_index, L2 * 100, 10);
    SecurityTable::current()->row(first.sec_index).updateQuote([&](QuoteData& q) {
        q.quote[0] += 5;       // the bid
        q.tick_code[4] = 30;   // the last price did not move in this quote
    });
    view->OnTimer();
    EXPECT_EQ(m.text(row, 2).toStdString(), PositionMath::FormatPrice(L2, false));
    EXPECT_EQ(m.text(row, 12).toStdString(), PositionMath::FormatPrice(PositionMath::OpenPositionPl(first, s, L2), false));
    EXPECT_EQ(m.backColour(row, 2).bgr, g_AppSettings.up_back_colour);
}

TEST_F(RiskWindowTest, TodaysPositionsKeepZeroRowsInTheSumsAndFollowTheFeed)
{
    open(12);
    ASSERT_TRUE(idle());
    EXPECT_EQ(view->shownReport(), CNetPosition::Todays);
    EXPECT_EQ(riskRequests().back(), "RiskData=415|0091|U1|ABC12|ABC12|4&AClient=N");
    const auto& todays = ActiveClientRiskArrays().todays_positions;
    ASSERT_EQ(todays.size(), 2u);
    EXPECT_GE(todays[0].grid_row, 0);
    EXPECT_EQ(todays[1].grid_row, -1); // all quantities 0: no row, but in the sums
    ui::GridModel& m = view->grid(CNetPosition::Todays)->model();
    ASSERT_GE(view->todaysTotalRow(), 0);
    EXPECT_EQ(m.rowTotal(), 2);

    const TodaysPositionRecord& r = todays[0];
    const int row = r.grid_row;
    const double L = r.ltp + 5;
    tick(r.sec_index, L * 100, 10);
    ASSERT_TRUE(pumpUntil([&] { return m.text(row, 3) == QString::fromStdString(PositionMath::FormatNumber("%.2lf", L)); },
                          5000));
    TodaysPositionRecord fresh = r;
    PositionMath::ApplyTodaysTick(fresh, TableRiskSecurities().facts(r.sec_index), L);
    EXPECT_DOUBLE_EQ(r.unrealised_pl, fresh.unrealised_pl);
    EXPECT_NEAR(view->todaysPlTotal(), todays[0].unrealised_pl + todays[1].unrealised_pl, 1e-9);

    // A fall, then a bid-only quote before the timer: the fall is applied.
    const double L2 = L - 2;
    tick(r.sec_index, L2 * 100, 20);
    SecurityTable::current()->row(r.sec_index).updateQuote([&](QuoteData& q) { q.tick_code[4] = 40; });
    view->OnTimer();
    EXPECT_EQ(m.text(row, 3).toStdString(), PositionMath::FormatNumber("%.2lf", L2));
    EXPECT_DOUBLE_EQ(r.ltp, L2);
}

// Every figure of the five tabs has its instrument's decimals, before and
// after a tick; totals two (no currency here), never a raw double.
TEST_F(RiskWindowTest, EveryTabShowsItsFiguresWithTheInstrumentsDecimals)
{
    for (int kind : {11, 14, 15, 12, 13}) { // limits, holdings, unbilled, today's, open (stays open)
        delete view;
        open(kind);
        ASSERT_TRUE(idle());
        const int tab = view->shownReport();
        EXPECT_GT(view->grid(tab)->model().rowTotal(), 0) << tab;
        EXPECT_EQ(testkit::wrongDecimals(*view->grid(tab)), std::vector<std::string>{}) << "tab " << tab;
    }
    const auto& open = ActiveClientRiskArrays().positions;
    ASSERT_FALSE(open.empty());
    tick(open[0].sec_index, (open[0].avg_price + 0.35) * 100, 10);
    view->OnTimer();
    EXPECT_EQ(testkit::wrongDecimals(*view->grid(CNetPosition::Open)), std::vector<std::string>{});
}

// In every theme each tab opens readable: the window's labels, every cell
// but those in the user's own rising and falling colours (the settings' tick
// pairs, and those colours as text on any row), and each column of every
// tab at least as wide as its header's text.
TEST_F(RiskWindowTest, EveryTabReadsInEveryThemeAndEveryHeaderFits)
{
    const auto colour = [](uint32_t bgr) { return ui::toQColor(ui::rgbOf(bgr)); };
    const AppSettings& s = g_AppSettings;
    const std::vector<testkit::ColourPair> users = {
        {colour(s.normal_text_colour), colour(s.normal_back_colour)},
        {colour(s.up_text_colour), colour(s.up_back_colour)},
        {colour(s.down_text_colour), colour(s.down_back_colour)},
        {colour(s.up_back_colour), QColor()}, // on white, black or the exchange segment's row colour
        {colour(s.down_back_colour), QColor()},
    };
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id)); // the whole program takes it, as the frame does
        for (int kind : {11, 14, 15, 12, 13}) { // limits, holdings, unbilled, today's, open
            delete view;
            open(kind);
            view->show();
            ASSERT_TRUE(idle());
            const int tab = view->shownReport();
            ASSERT_GT(view->grid(tab)->model().rowTotal(), 0) << tab;
            EXPECT_EQ(testkit::unreadableLabels(*view), std::vector<std::string>{}) << t.text << " tab " << tab;
            EXPECT_EQ(testkit::unreadableGridCells(*view->grid(tab), testkit::kMinContrast, users),
                      std::vector<std::string>{})
                << t.text << " tab " << tab;
            EXPECT_EQ(testkit::clippedHeaders(*view), std::vector<std::string>{}) << t.text << " tab " << tab;
        }
    }
}

TEST_F(RiskWindowTest, EveryTabFetchesItsReport)
{
    open(11);
    ASSERT_TRUE(idle());
    EXPECT_EQ(riskRequests().back(), "RiskData=411|0091|U1|ABC12|ABC12|4&AClient=N");
    EXPECT_EQ(view->limitsSegmentCount(), 5);
    EXPECT_GT(view->grid(CNetPosition::Limits)->model().rowTotal(), 5);
    EXPECT_TRUE(view->control(1563)->isVisibleTo(view)); // flag 59
    // "Get": the MIS figures through the limits fetch without the final 4.
    static_cast<QPushButton*>(view->control(1562))->click();
    ASSERT_TRUE(idle());
    EXPECT_EQ(riskRequests().back(), "RiskData=411|SESS0001|U1|ABC12|ABC12&AClient=N");
    EXPECT_EQ(static_cast<QLabel*>(view->control(1559))->text(), QStringLiteral("15:15:00"));
    EXPECT_EQ(static_cast<QLabel*>(view->control(1316))->text(), QStringLiteral("1250.50"));
    EXPECT_GT(view->grid(CNetPosition::Limits)->model().rowTotal(), 5); // the grid keeps its record
    for (int tab : {3, 4}) {
        view->tabs()->setCurrentIndex(tab);
        ASSERT_TRUE(idle());
    }
    const std::vector<std::string> sent = riskRequests();
    EXPECT_EQ(sent[sent.size() - 2], "RiskData=414|0091|U1|ABC12|ABC12|4&AClient=N");
    EXPECT_EQ(sent.back(), "RiskData=413|0091|U1|ABC12|ABC12|4&AClient=N");
    EXPECT_EQ(ActiveClientRiskArrays().unbilled_positions.size(), 3u);
    // Holdings: one summary row per security, details under it, a grand total.
    ui::GridModel& h = view->grid(CNetPosition::Holdings)->model();
    const std::vector<int>& top = h.childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(top.size(), 5u); // three securities... the NN/BN pair are two tokens, and the grand total
    const HoldingRowData* total = h.rowDataAs<HoldingRowData>(top.back());
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(total->token, kGrandTotalToken);
    EXPECT_EQ(h.childrenOf(top[0]).size(), 2u); // one security under two marks
    HoldingRecord copy;
    ASSERT_TRUE(ReadHolding(0, copy));
    EXPECT_EQ(copy.quantity, 100); // the stock balance the grid computed
    EXPECT_EQ(ActiveClientRiskRecords().holdings.size(), 5u);
}

TEST_F(RiskWindowTest, RefusalsEmptyTheGridAndReEnable)
{
    broker->refuseNextRisk(412, 1205, "Session expired");
    open(13);
    ASSERT_TRUE(idle());
    EXPECT_EQ(view->grid(CNetPosition::Open)->model().rowTotal(), 0);
    EXPECT_TRUE(view->refreshButton()->isEnabled());
    EXPECT_TRUE(view->tabs()->isEnabled());
    EXPECT_FALSE(sawText("Session expired")); // 1205 shows no box
    broker->armFault("/qtrade/qrms.exe", tb::HttpFault{0, 0, true});
    view->OnRefresh();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(sawText("Server Error. Please Try Again..."));
    broker->refuseNextRisk(412, 7, "Client blocked");
    view->OnRefresh();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(sawText("Client blocked"));
}

TEST_F(RiskWindowTest, DealerTypesACheckedClientCode)
{
    pv_user_info.user_type = 'D';
    open(13);
    EXPECT_FALSE(view->isBusy());
    EXPECT_FALSE(view->clientEdit()->isReadOnly());
    EXPECT_TRUE(riskRequests().empty());
    for (const char* bad : {"ABC1", "AB C1", "AB-12"}) {
        view->clientEdit()->setText(QString::fromLatin1(bad));
        view->OnRefresh();
        EXPECT_FALSE(view->isBusy()) << bad;
    }
    EXPECT_TRUE(sawText("Please enter proper Client for the Risk Report"));
    EXPECT_TRUE(riskRequests().empty());
    view->clientEdit()->setText(QStringLiteral("ABC12"));
    view->OnRefresh();
    ASSERT_TRUE(idle());
    EXPECT_EQ(riskRequests().back(), "RiskData=412|SESS0001|U1|ABC12|ABC12|4&AClient=N");
}

TEST_F(RiskWindowTest, SelectionCountsAndTabsAndCsv)
{
    open(13);
    ASSERT_TRUE(idle());
    EXPECT_THROW(view->SelectReportTab(5), std::invalid_argument);
    ui::GridView& g = *view->grid(CNetPosition::Open);
    QTreeView* tree = g.tree();
    tree->expandAll();
    auto select = [&](int position) {
        QModelIndex i = tree->model()->index(0, 0);
        for (int k = 0; k < position; ++k)
            i = tree->indexBelow(i);
        tree->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    select(0);
    select(1);
    select(3);
    select(4);
    const auto ranges = ui::selectedRanges(g);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ui::selectionCount(ranges), 3);
    EXPECT_EQ(ui::rowRangeText(g, ranges[0].firstRowId, 0, 2).count(QLatin1Char(';')), 2);

    // The basket form is not there yet: the command says so.
    view->OnPositionBasketOrder();
    EXPECT_TRUE(sawText("Basket Order is not available in this version."));

    const std::string path = (root / "open.csv").string();
    ASSERT_TRUE(view->SaveShownGridCsv(path));
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().rfind("Security,ME,LTP,", 0), 0u);
    EXPECT_EQ(text.str().find("NIFTY CALENDAR SPREAD"), std::string::npos); // the group row is left out
    EXPECT_FALSE(view->SaveShownGridCsv((root / "no-such-dir" / "x.csv").string()));
    EXPECT_TRUE(sawText("Unable to Save File"));
}

} // namespace

namespace {

TEST_F(RiskWindowTest, SquareOffAndOrdersOpenTheFormWithSideAndPrice)
{
    RecordingOrderForm form;
    SetOrderFormService(&form);
    open(13);
    ASSERT_TRUE(idle());
    const auto& positions = ActiveClientRiskArrays().positions;
    const PositionRecord& longOne = positions[0]; // bought: squared off by selling at the best bid
    ordertest::SetQuote(longOne.sec_index, 150000, 150100);
    ui::setCurrentRow(*view->grid(CNetPosition::Open), longOne.grid_row);
    view->OnPositionSquareoff();
    ASSERT_EQ(form.openings.size(), 1u);
    EXPECT_EQ(form.openings[0].first, 7);
    EXPECT_EQ(form.openings[0].second.index, 0);
    EXPECT_EQ(form.openings[0].second.side, 'S');
    EXPECT_DOUBLE_EQ(form.openings[0].second.price, 1500.00);

    // "Place Order" on a position opens a new order for its security, never
    // the holdings mode with a position's index.
    view->OnPositionPlaceOrder();
    ASSERT_EQ(form.openings.size(), 2u);
    EXPECT_EQ(form.openings[1].first, 1);
    EXPECT_EQ(form.openings[1].second.index, longOne.sec_index);
    EXPECT_DOUBLE_EQ(form.openings[1].second.price, 0);

    // A today's square-off: mode 14 by security, the product as the mark.
    view->SelectReportTab(1);
    ASSERT_TRUE(idle());
    const TodaysPositionRecord& t = ActiveClientRiskArrays().todays_positions[0];
    ordertest::SetQuote(t.sec_index, 0, 0);
    ui::setCurrentRow(*view->grid(CNetPosition::Todays), t.grid_row);
    view->OnMenuTodaysposPlaceOrder();
    ASSERT_EQ(form.openings.size(), 3u);
    EXPECT_EQ(form.openings[2].first, 14);
    EXPECT_EQ(form.openings[2].second.index, t.sec_index);
    EXPECT_EQ(form.openings[2].second.side, 'S');
    EXPECT_EQ(form.openings[2].second.orderMark, t.product_code);
    EXPECT_EQ(form.openings[2].second.clientCode, "ABC12");
    EXPECT_DOUBLE_EQ(form.openings[2].second.price, 0); // no bid yet
    SetOrderFormService(nullptr);
}

TEST_F(RiskWindowTest, ClosingDuringATickStormIsClean)
{
    open(13);
    ASSERT_TRUE(idle());
    std::vector<int> securities = view->feed()->feedSecurities();
    ASSERT_FALSE(securities.empty());
    std::shared_ptr<NetPositionFeed> feed = view->feed();
    std::atomic<bool> stop{false};
    std::thread storm([&] {
        for (int i = 0; !stop.load(); ++i)
            feed->quoteUpdated(securities[static_cast<size_t>(i) % securities.size()]);
    });
    pumpUntil([] { return false; }, 300);
    delete view;
    view = nullptr;
    EXPECT_EQ(CNetPosition::Instance(), nullptr);
    EXPECT_EQ(NetPositionFeedLink::openFeed(), nullptr);
    EXPECT_TRUE(feed->isClosing());
    stop = true;
    storm.join();
    EXPECT_EQ(feed->ticks().pending(), 0u);
}

} // namespace

namespace {

class PledgeTest : public RiskWindowTest {
protected:
    // Opens the holdings and selects the type-1 detail rows of the first two
    // securities (one on NN, one on BN).
    void selectTwoTypeOneHoldings()
    {
        open(15);
        ASSERT_TRUE(idle());
        ui::GridView& g = *view->grid(CNetPosition::Holdings);
        g.tree()->expandAll();
        const ui::GridModel& m = g.model();
        const std::vector<int>& top = m.childrenOf(ui::GridModel::kRoot);
        ASSERT_GE(top.size(), 2u);
        for (int summary : {top[0], top[1]}) {
            QModelIndex i = g.tree()->model()->index(0, 0);
            while (i.isValid() && i.data(ui::GridModel::RowIdRole).toInt() != m.childrenOf(summary)[0])
                i = g.tree()->indexBelow(i);
            ASSERT_TRUE(i.isValid());
            g.tree()->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    const PositionRecord& holding(size_t i) { return ActiveClientRiskArrays().holdings[i]; }
};

TEST_F(PledgeTest, MarksTwoHoldingsAndShowsTheAnswer)
{
    selectTwoTypeOneHoldings();
    std::vector<std::string> rows;
    modalHost.script("DlgPledgeUnpleged", [&](ui::FormDriver& d) {
        auto& dlg = static_cast<DlgPledgeUnpleged&>(d.form());
        EXPECT_EQ(dlg.windowTitle().toStdString(), "Mark to MTF");
        for (int k = 0; k < 5; ++k)
            rows.push_back(dlg.text(DlgPledgeUnpleged::kExchange + k) + "|" + dlg.text(DlgPledgeUnpleged::kQuantity + k));
        // One bad checked row blocks all.
        d.type(DlgPledgeUnpleged::kQuantity + 1, "61").click(DlgPledgeUnpleged::kOk);
        EXPECT_FALSE(dlg.isSending());
        d.type(DlgPledgeUnpleged::kQuantity + 1, "5").click(DlgPledgeUnpleged::kOk);
        EXPECT_TRUE(dlg.isSending());
        EXPECT_FALSE(dlg.isEnabled(DlgPledgeUnpleged::kOk));
        ui::UiThread::pumpUntil([&] { return !dlg.isSending(); }, 10000);
        EXPECT_TRUE(dlg.isEnabled(DlgPledgeUnpleged::kOk));
        dlg.finish(ui::Cancel);
    });
    view->ShowPledgeUnpledge(0);
    EXPECT_EQ(rows, (std::vector<std::string>{"NSE|100", "BSE|60", "|", "|", "|"}));
    EXPECT_TRUE(sawText("Qty Must be greater than Zero and less than or Equal to Stock Balance"));
    const std::string expected = "RiskData=419|0091|U1|ABC12|0|4|2~" + std::to_string(holding(0).token) + "|NN|100^"
        + std::to_string(holding(2).token) + "|BN|5~";
    ASSERT_EQ(riskRequests().back(), expected);
    EXPECT_TRUE(sawText("-Marked to margin funding"));
    // The broker flipped both; a refresh shows their new type.
    view->OnRefresh();
    ASSERT_TRUE(idle());
    EXPECT_EQ(holding(0).product_code, 9);
    EXPECT_EQ(holding(2).product_code, 9);
}

TEST_F(PledgeTest, RejectedAndCancelledWhileWaiting)
{
    selectTwoTypeOneHoldings();
    broker->refuseNextRisk(419, 1, "Rejected");
    modalHost.script("DlgPledgeUnpleged", [&](ui::FormDriver& d) {
        auto& dlg = static_cast<DlgPledgeUnpleged&>(d.form());
        d.click(DlgPledgeUnpleged::kOk);
        ui::UiThread::pumpUntil([&] { return !dlg.isSending(); }, 10000);
        dlg.finish(ui::Cancel);
    });
    view->ShowPledgeUnpledge(0);
    EXPECT_TRUE(sawText("Rejected"));

    // Cancel while a slow reply is on its way: the late answer is dropped.
    tb::HttpFault slow;
    slow.delayMs = 3000;
    broker->armFault("/qtrade/qrms.exe", slow);
    const size_t asked = prompter.askCount();
    modalHost.script("DlgPledgeUnpleged", [&](ui::FormDriver& d) {
        d.click(DlgPledgeUnpleged::kOk);
        static_cast<DlgPledgeUnpleged&>(d.form()).finish(ui::Cancel);
    });
    view->ShowPledgeUnpledge(0);
    pumpUntil([] { return false; }, 3500);
    EXPECT_EQ(prompter.askCount(), asked);
}

} // namespace

namespace {

TEST_F(RiskWindowTest, LimitsRowsAndSegmentCells)
{
    // An all-zero record: the rows that always show, with the funding group.
    broker->riskDesk().editBook("ABC12", [](tb::RiskBook& b) {
        b.limits.assign(58, "0");
        b.segments = 0;
    });
    open(11);
    ASSERT_TRUE(idle());
    ui::GridView& g = *view->grid(CNetPosition::Limits);
    const ui::GridModel& m = g.model();
    auto captions = [&](int parent) {
        std::vector<std::string> out;
        for (int row : m.childrenOf(parent))
            out.push_back(m.text(row, 0).toStdString());
        return out;
    };
    const std::vector<int>& top = m.childrenOf(ui::GridModel::kRoot);
    EXPECT_EQ(captions(ui::GridModel::kRoot),
              (std::vector<std::string>{"Total Margin", "Total Margin (MTF)", "Margin Utilised (Cash&FNO)",
                                        "Margin Utilised (MTF)", "Additional Option Brokerage",
                                        "Margin Available (Cash&FNO)", "Margin Available (MTF)"}));
    EXPECT_EQ(captions(top[0]), (std::vector<std::string>{"Available Cash Balance", "Option Premium Paid/Received",
                                                          "Total Margin"}));
    EXPECT_EQ(captions(top[1]), (std::vector<std::string>{"Available Cash Balance", "Total Margin"}));
    EXPECT_FALSE(m.value(top[0], 3).isValid()); // n = 0: no segment cells
    EXPECT_FALSE(g.setColumnHidden(0, true)); // the description column is locked
    EXPECT_FALSE(g.moveColumn(0, 5));

    // The six header items sit over their columns; hidden columns take theirs away.
    view->show();
    pumpUntil([] { return false; }, 100);
    ui::GridHeaderItems& items = *view->headerItems(CNetPosition::Limits);
    ASSERT_EQ(items.items().size(), 6u);
    EXPECT_EQ(items.itemRect(2).width(), g.columnWidth(3) + g.columnWidth(4)); // "NSE F&O - Equity"
    EXPECT_TRUE(items.itemRect(4).isEmpty()); // "NCDEX Commodity" over the hidden 7 and 8
    EXPECT_FALSE(items.AddHeaderItem(0, 3, 16, QStringLiteral("past the last column")));

    // n = 2: the group row skips segment 1, the cash row does not.
    broker->riskDesk().editBook("ABC12", [](tb::RiskBook& b) {
        b.segments = 2;
        b.limits[14] = "100";
        b.limits[16] = "40";
        b.limits[42] = "7";
        b.limits[48] = "11,22";
        b.limits[11] = "33,44";
        b.limits[39] = "5";
        b.limits[13] = "O";
    });
    view->OnRefresh();
    ASSERT_TRUE(idle());
    const int group = m.childrenOf(ui::GridModel::kRoot)[0];
    const int cash = m.childrenOf(group)[0];
    EXPECT_DOUBLE_EQ(m.value(group, 3).toDouble(), 11);
    EXPECT_DOUBLE_EQ(m.value(group, 4).toDouble(), 33);
    EXPECT_FALSE(m.value(group, 5).isValid());
    for (int c = 3; c <= 6; ++c)
        EXPECT_DOUBLE_EQ(m.value(cash, c).toDouble(), 7) << c;
    // A positive debtors amount shows last, white on red.
    const int debtors = m.childrenOf(ui::GridModel::kRoot).back();
    EXPECT_EQ(m.text(debtors, 0), QStringLiteral("Debtors Amt."));
    EXPECT_EQ(m.backColour(debtors, 0).bgr, 0x0000C8u);
    for (int c = 11; c <= 15; ++c)
        EXPECT_TRUE(g.isColumnHidden(c)) << c; // flag 'O'
    broker->riskDesk().editBook("ABC12", [](tb::RiskBook& b) { b.limits[13] = "N"; });
    view->OnRefresh();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(g.isColumnHidden(11)); // never shown again
}

TEST_F(RiskWindowTest, TotalMarginRowsShowTheirFigures)
{
    // The broker's book: total margin 750000 (field 14), the funding total
    // 90000 (field 30). Both groups' rows carry sub-rows and their own cells.
    open(11);
    ASSERT_TRUE(idle());
    view->show();
    pumpUntil([] { return false; }, 100);
    ui::GridView& g = *view->grid(CNetPosition::Limits);
    QTreeView& tree = *g.tree();
    QAbstractItemModel& shown = *tree.model();
    const QImage image = tree.viewport()->grab().toImage();
    int checked = 0;
    for (int r = 0; r < shown.rowCount(); ++r) {
        const QModelIndex caption = shown.index(r, 0);
        if (!caption.data().toString().startsWith(QStringLiteral("Total Margin")))
            continue;
        ++checked;
        EXPECT_GT(shown.rowCount(caption), 0) << r;
        const QModelIndex figure = shown.index(r, 2);
        const QString expected = r == 0 ? QStringLiteral("750000") : QStringLiteral("90000");
        EXPECT_TRUE(figure.data().toString().startsWith(expected)) << figure.data().toString().toStdString();
        // Drawn in its cell, not left blank under the row's caption.
        const QRect cell = tree.visualRect(figure).adjusted(1, 1, -1, -1);
        ASSERT_FALSE(cell.isEmpty()) << r;
        const QRgb back = image.pixel(cell.topLeft());
        bool inked = false;
        for (int y = cell.top(); y <= cell.bottom() && !inked; ++y)
            for (int x = cell.left(); x <= cell.right() && !inked; ++x)
                inked = image.pixel(x, y) != back;
        EXPECT_TRUE(inked) << "row " << r << " column 2 is blank";
    }
    EXPECT_EQ(checked, 2);
}

TEST_F(RiskWindowTest, HoldingsRunsShareOneBalance)
{
    // One security on NN and BN under the same holding type (one run), then
    // the same security under another type.
    const tb::Security* nn = nullptr;
    for (const tb::Security& s : broker->universe().securities())
        if (s.exchange == "NN" && s.inst == "EQ") {
            nn = &s;
            break;
        }
    ASSERT_NE(nn, nullptr);
    broker->riskDesk().editBook("ABC12", [nn](tb::RiskBook& b) {
        auto row = [nn](const std::string& exchange, int type, int prev, int hold, int net) {
            std::vector<std::string> f(29, "0");
            f[0] = std::to_string(nn->token); // the same token on both exchanges
            f[1] = exchange;
            f[6] = std::to_string(net);
            f[8] = std::to_string(prev);
            f[10] = std::to_string(type);
            f[12] = "50";
            f[13] = std::to_string(hold);
            f[16] = "10000";
            f[28] = "abc"; // not a number: the cost reads 0
            return f;
        };
        b.holdings = {row("NN", 1, 100, 10, 5), row("NN", 1, 0, 20, 3), row("NN", 4, 30, 0, 2)};
    });
    open(15);
    ASSERT_TRUE(idle());
    const auto& h = ActiveClientRiskArrays().holdings;
    ASSERT_EQ(h.size(), 3u);
    // M = 100 - 10 - 0 - 5, then + 20 - 0 - 3 for the second of the run.
    EXPECT_EQ(h[0].stock_balance, 102);
    EXPECT_EQ(h[1].stock_balance, 102);
    EXPECT_EQ(h[2].stock_balance, 30 - 0 - 0 + 2); // type 4 adds its net
    const ui::GridModel& m = view->grid(CNetPosition::Holdings)->model();
    const int summary = m.childrenOf(ui::GridModel::kRoot)[0];
    EXPECT_EQ(m.text(summary, 3), QStringLiteral("130")); // total stock once per run
    EXPECT_EQ(m.text(summary, 8), QStringLiteral("134"));  // stock balance once per run
    const std::vector<int>& details = m.childrenOf(summary);
    ASSERT_EQ(details.size(), 3u);
    EXPECT_NE(m.mergeAt(details[0], 4), nullptr); // same-type neighbours merge
    EXPECT_EQ(m.mergeAt(details[1], 9), m.mergeAt(details[0], 9));
    EXPECT_EQ(m.mergeAt(details[2], 4), nullptr);
    // Unrealised at a cost of 0: LTP x balance (no last price yet: 0).
    EXPECT_EQ(m.text(details[0], 16), QStringLiteral("0.00"));
}

TEST_F(RiskWindowTest, AnIndexValueTicksItsSecurity)
{
    open(13);
    ASSERT_TRUE(idle());
    const PositionRecord& first = ActiveClientRiskArrays().positions[0];
    SecurityTable::current()->row(first.sec_index).updateQuote([](QuoteData& q) { q.quote[4] = 123456; });
    NetPositionFeedLink::indexPrice(first.sec_index);
    ui::GridModel& m = view->grid(CNetPosition::Open)->model();
    ASSERT_TRUE(pumpUntil([&] { return m.text(first.grid_row, 2) == QStringLiteral("1234.56"); }, 5000));
}

} // namespace

namespace {

class RecordingBasket final : public BasketService {
public:
    void reset() override { events.push_back("reset"); legs.clear(); }
    void setClient(const std::string& code) override { client = code; }
    void setLeg(int index, const BasketLeg& leg) override
    {
        if (index >= static_cast<int>(legs.size()))
            legs.resize(static_cast<size_t>(index) + 1);
        legs[static_cast<size_t>(index)] = leg;
    }
    void refreshOrShow() override { events.push_back("show"); }
    void destroy() override { events.push_back("destroy"); }
    std::vector<std::string> events;
    std::vector<BasketLeg> legs;
    std::string client;
};

class RecordingConvert final : public ConvertPositionService {
public:
    bool ShowConvertPositionForm(QWidget*, const std::string& client, int sec, const std::string& exchange, int net,
                                 char side, int record, int source) override
    {
        calls.push_back({client, sec, exchange, net, side, record, source});
        return true;
    }
    struct Call {
        std::string client;
        int sec;
        std::string exchange;
        int net;
        char side;
        int record;
        int source;
    };
    std::vector<Call> calls;
};

// Selects the rows at these shown positions (top to bottom) of a grid.
void selectShown(ui::GridView& g, std::initializer_list<int> positions)
{
    QTreeView* tree = g.tree();
    tree->expandAll();
    tree->clearSelection();
    for (int position : positions) {
        QModelIndex i = tree->model()->index(0, 0);
        for (int k = 0; k < position && i.isValid(); ++k)
            i = tree->indexBelow(i);
        tree->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        tree->selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
    }
}

TEST_F(RiskWindowTest, BasketAndConvertGoThroughTheirServices)
{
    auto basket = std::make_shared<RecordingBasket>();
    auto convert = std::make_shared<RecordingConvert>();
    SetBasketService(basket);
    SetConvertPositionService(convert);
    open(13);
    ASSERT_TRUE(idle());
    const auto& positions = ActiveClientRiskArrays().positions;
    ui::GridView& open = *view->grid(CNetPosition::Open);
    // Rows: equity 0 (bought), Maxivane 5 (sold), MIS 12, then the group.
    selectShown(open, {0, 1, 2});
    view->OnPositionBasketOrder();
    EXPECT_EQ(basket->events, (std::vector<std::string>{"reset", "show"}));
    EXPECT_EQ(basket->client, "ABC12");
    ASSERT_EQ(basket->legs.size(), 2u); // the Maxivane position stays out
    EXPECT_EQ(basket->legs[0].sec_index, positions[0].sec_index);
    EXPECT_EQ(basket->legs[0].side, 'S');
    EXPECT_EQ(basket->legs[0].quantity, 10);
    EXPECT_EQ(basket->legs[1].product_code, 12);

    basket->events.clear();
    selectShown(open, {0, 1, 2, 3, 4, 5});
    view->OnPositionBasketOrder();
    EXPECT_TRUE(basket->events.empty()) << "six selected rows are refused";
    EXPECT_TRUE(sawText("You can select max of 5 orders"));

    // Convert: only a Maxivane position, with the open positions as source 1.
    selectShown(open, {0});
    view->OnPositionConverttodelivery();
    EXPECT_TRUE(sawText("Position other than Maxivane cannot be converted to Delivery."));
    selectShown(open, {1});
    view->OnPositionConverttodelivery();
    ASSERT_EQ(convert->calls.size(), 1u);
    EXPECT_EQ(convert->calls[0].client, "ABC12");
    EXPECT_EQ(convert->calls[0].exchange, "NSE");
    EXPECT_EQ(convert->calls[0].net, -5);
    EXPECT_EQ(convert->calls[0].side, 'S');
    EXPECT_EQ(convert->calls[0].record, 1);
    EXPECT_EQ(convert->calls[0].source, 1);

    // Today's basket: the legs are filled from the selected rows.
    view->SelectReportTab(1);
    ASSERT_TRUE(idle());
    selectShown(*view->grid(CNetPosition::Todays), {0});
    basket->events.clear();
    view->OnTodaysPositionBasketOrder();
    EXPECT_EQ(basket->events, (std::vector<std::string>{"reset", "show"}));
    ASSERT_EQ(basket->legs.size(), 1u);
    const TodaysPositionRecord& t = ActiveClientRiskArrays().todays_positions[0];
    EXPECT_EQ(basket->legs[0].sec_index, t.sec_index);
    EXPECT_EQ(basket->legs[0].quantity, std::abs(t.net_qty));
    EXPECT_EQ(basket->legs[0].side, 'S');
    SetConvertPositionService(nullptr);
}

TEST_F(RiskWindowTest, ACurrencyPositionsBasketLegCarriesItsUnitsSoTheFormShowsItsLots)
{
    auto basket = std::make_shared<RecordingBasket>();
    SetBasketService(basket);
    // The client holds 2 lots of a currency future, open and bought today.
    // The seeded book's USDINR future.
    const tb::Security* fx = nullptr;
    for (const tb::Security& s : broker->universe().securities())
        if (!fx && s.exchange == "CN" && s.inst == "FC" && s.symbol == "USDINR")
            fx = &s;
    ASSERT_NE(fx, nullptr);
    ASSERT_EQ(fx->multiplier, 1000);
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) {
        std::vector<std::string> today(tb::RiskDesk::kTodaysFields, "0");
        today[0] = std::to_string(fx->token);
        today[1] = "CN";
        today[2] = today[17] = today[18] = today[19] = "";
        today[3] = today[7] = "2"; // bought 2 lots, net 2
        today[4] = today[8] = std::to_string(2 * fx->price * 1000);
        today[21] = "1000";
        b.todays = {today};
    });
    open(13);
    ASSERT_TRUE(idle());
    const auto& positions = ActiveClientRiskArrays().positions;
    int record = -1;
    for (size_t i = 0; i < positions.size(); ++i)
        if (positions[i].token == fx->token && positions[i].exchange == "CN")
            record = static_cast<int>(i);
    ASSERT_GE(record, 0);
    ASSERT_EQ(positions[size_t(record)].net_qty, 2);
    ui::GridView& grid = *view->grid(CNetPosition::Open);
    int rowId = -1;
    for (int row : grid.model().preorder())
        if (const int* index = grid.model().rowDataAs<int>(row); index && *index == record)
            rowId = row;
    ASSERT_GE(rowId, 0);
    grid.tree()->clearSelection();
    grid.selectRow(rowId);
    view->OnPositionBasketOrder();
    ASSERT_EQ(basket->legs.size(), 1u);
    // 2 lots of 1000 units: the basket form shows Lot 2000 / 1000 = 2.
    EXPECT_EQ(basket->legs[0].quantity, 2000);

    view->SelectReportTab(1);
    ASSERT_TRUE(idle());
    ASSERT_EQ(ActiveClientRiskArrays().todays_positions.size(), 1u);
    selectShown(*view->grid(CNetPosition::Todays), {0});
    view->OnTodaysPositionBasketOrder();
    ASSERT_EQ(basket->legs.size(), 1u);
    EXPECT_EQ(basket->legs[0].quantity, 2000);
}

TEST_F(RiskWindowTest, HoldingsBasketTakesATotalRowForItsDetails)
{
    auto basket = std::make_shared<RecordingBasket>();
    SetBasketService(basket);
    open(15);
    ASSERT_TRUE(idle());
    // The first security's summary and both its detail rows: one leg from
    // the summary's stock balance.
    selectShown(*view->grid(CNetPosition::Holdings), {0, 1, 2});
    view->OnPositionBasketOrder();
    ASSERT_EQ(basket->legs.size(), 1u);
    EXPECT_EQ(basket->legs[0].quantity, 140);
    EXPECT_EQ(basket->legs[0].side, 'S');
    EXPECT_EQ(basket->legs[0].product_code, 0);
}

} // namespace

namespace {

TEST_F(RiskWindowTest, TypeAheadAndKeys)
{
    open(13);
    ASSERT_TRUE(idle());
    ui::GridView& g = *view->grid(CNetPosition::Open);
    const ui::GridModel& m = g.model();
    auto current = [&] { return m.text(ui::currentRowId(g), 0).left(2).toStdString(); };
    view->Select_Row_ByChar('A');
    EXPECT_EQ(current(), "AD");
    view->Select_Row_ByChar('M'); // within a second: "AM"
    EXPECT_EQ(current(), "AM");
    clock.advanceSeconds(2);
    view->Select_Row_ByChar('S'); // a new run: "S" alone, no such row: the current row stays
    EXPECT_EQ(current(), "AM");
    view->Select_Row_ByChar('A'); // "SA" finds nothing either
    clock.advanceSeconds(2);
    view->Select_Row_ByChar('A');
    EXPECT_EQ(current(), "AD");

    // Letters typed into the client edit stay there.
    QKeyEvent inEdit(QEvent::KeyPress, Qt::Key_S, Qt::ShiftModifier, QStringLiteral("S"));
    QApplication::sendEvent(view->clientEdit(), &inEdit);
    EXPECT_EQ(view->shownReport(), CNetPosition::Open);
    // Shift+S anywhere else shows the holdings tab, and the key goes no further.
    QKeyEvent inGrid(QEvent::KeyPress, Qt::Key_S, Qt::ShiftModifier, QStringLiteral("S"));
    QApplication::sendEvent(g.tree(), &inGrid);
    EXPECT_EQ(view->shownReport(), CNetPosition::Holdings);
    ASSERT_TRUE(idle());
    EXPECT_EQ(riskRequests().back(), "RiskData=413|0091|U1|ABC12|ABC12|4&AClient=N");

    // With the focus on Refresh or on the tab bar, where it lands after a
    // report, the window's keys still work.
    QWidget* refresh = view->control(1082);
    ASSERT_NE(refresh, nullptr);
    QKeyEvent shiftD(QEvent::KeyPress, Qt::Key_D, Qt::ShiftModifier, QStringLiteral("D"));
    QApplication::sendEvent(refresh, &shiftD);
    EXPECT_EQ(view->shownReport(), CNetPosition::Todays);
    ASSERT_TRUE(idle());
    EXPECT_EQ(riskRequests().back(), "RiskData=415|0091|U1|ABC12|ABC12|4&AClient=N");
    auto* tabs = qobject_cast<QTabWidget*>(view->control(1057));
    ASSERT_NE(tabs, nullptr);
    const size_t before = riskRequests().size();
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(tabs->tabBar(), &f5);
    ASSERT_TRUE(idle());
    EXPECT_EQ(riskRequests().size(), before + 1);
    EXPECT_EQ(riskRequests().back(), "RiskData=415|0091|U1|ABC12|ABC12|4&AClient=N");
}

} // namespace

namespace {

std::vector<std::string> menuTexts(const std::vector<CNetPosition::MenuEntry>& entries, bool enabledOnly = false)
{
    std::vector<std::string> out;
    for (const CNetPosition::MenuEntry& e : entries)
        if (!enabledOnly || e.enabled)
            out.push_back(e.text);
    return out;
}

TEST_F(RiskWindowTest, ContextMenus)
{
    open(14);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(view->contextMenuEntries().empty()); // unbilled: no menu

    view->SelectReportTab(4);
    ASSERT_TRUE(idle());
    ui::GridView& h = *view->grid(CNetPosition::Holdings);
    // One holding of type 1 (first detail row) and one of type 9 (fourth
    // summary's detail): neither pledge command.
    const ui::GridModel& m = h.model();
    const std::vector<int>& top = m.childrenOf(ui::GridModel::kRoot);
    h.tree()->expandAll();
    h.tree()->clearSelection();
    for (int row : {m.childrenOf(top[0])[0], m.childrenOf(top[2])[0]}) {
        QModelIndex i = h.tree()->model()->index(0, 0);
        while (i.isValid() && i.data(ui::GridModel::RowIdRole).toInt() != row)
            i = h.tree()->indexBelow(i);
        h.tree()->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::vector<std::string> enabled = menuTexts(view->contextMenuEntries(), true);
    EXPECT_EQ(std::count(enabled.begin(), enabled.end(), "Mark to MTF"), 0);
    EXPECT_EQ(std::count(enabled.begin(), enabled.end(), "Mark to Delivery"), 0);
    // The grand total in the selection: no menu.
    QModelIndex last = h.tree()->model()->index(h.tree()->model()->rowCount() - 1, 0);
    h.tree()->selectionModel()->select(last, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(view->contextMenuEntries().empty());

    // Open positions: square-off only for a row with a net quantity.
    view->SelectReportTab(2);
    ASSERT_TRUE(idle());
    ui::setCurrentRow(*view->grid(CNetPosition::Open), ActiveClientRiskArrays().positions[0].grid_row);
    enabled = menuTexts(view->contextMenuEntries(), true);
    EXPECT_EQ(std::count(enabled.begin(), enabled.end(), "&Square-Off"), 1);
    EXPECT_EQ(std::count(enabled.begin(), enabled.end(), "&Convert to Delivery"), 0);
}

} // namespace

namespace {

TEST_F(RiskWindowTest, EachGridKeepsItsOwnLayout)
{
    pf::ProfileStore store(root / "layout.ini");
    ui::GridLayoutState::setDefaultStore(&store);
    open(13);
    ASSERT_TRUE(idle());
    EXPECT_EQ(view->gridStateName(CNetPosition::Open), "U1_OpenPosGrid");
    EXPECT_EQ(view->gridStateName(CNetPosition::Todays), "U1_TodaysPositionGrid");
    ASSERT_TRUE(view->grid(CNetPosition::Open)->setColumnHidden(16, true));
    delete view; // the close saves every grid's layout under its own name
    view = nullptr;
    open(13);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(view->grid(CNetPosition::Open)->isColumnHidden(16));
    EXPECT_FALSE(view->grid(CNetPosition::Todays)->isColumnHidden(16)); // another name, another layout
    delete view;
    view = nullptr;
    ui::GridLayoutState::setDefaultStore(nullptr);
}

} // namespace

namespace {

// The row header of the open, unbilled and today's grids: a 30 px strip
// beside the rows whose clicks pick rows as the user expects.
TEST_F(RiskWindowTest, RowHeaderSelectsRowsBesideThem)
{
    open(13);
    ASSERT_TRUE(idle());
    view->show();
    for (int d : {CNetPosition::Open, CNetPosition::Unbilled, CNetPosition::Todays})
        EXPECT_EQ(view->grid(d)->rowHeaderWidth(), 30) << d;
    for (int d : {CNetPosition::Limits, CNetPosition::Holdings})
        EXPECT_EQ(view->grid(d)->rowHeader(), nullptr) << d;

    ui::GridView& g = *view->grid(CNetPosition::Open);
    QTreeView* tree = g.tree();
    tree->expandAll();
    QApplication::processEvents();
    QWidget* strip = g.rowHeader();
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->width(), 30);
    EXPECT_EQ(tree->geometry().left(), strip->geometry().right() + 1) << "the rows start right of the strip";

    // The strip's sections line up with the rows: the middle of a row's
    // rectangle names that row, the column header's height beside it none.
    std::vector<int> shown;
    std::vector<int> middles;
    for (QModelIndex i = tree->model()->index(0, 0); i.isValid() && shown.size() < 4; i = tree->indexBelow(i)) {
        shown.push_back(i.data(ui::GridModel::RowIdRole).toInt());
        const QRect r = tree->visualRect(i);
        middles.push_back(strip->mapFromGlobal(tree->viewport()->mapToGlobal(r.center())).y());
    }
    ASSERT_EQ(shown.size(), 4u);
    for (size_t k = 0; k < shown.size(); ++k)
        EXPECT_EQ(g.rowHeaderRowAt(middles[k]), shown[k]) << k;
    EXPECT_EQ(g.rowHeaderRowAt(1), -1) << "the corner beside the column header";
    tree->horizontalScrollBar()->setValue(tree->horizontalScrollBar()->maximum()); // sideways: the rows stay
    EXPECT_EQ(g.rowHeaderRowAt(middles[2]), shown[2]);
    tree->horizontalScrollBar()->setValue(0);
    EXPECT_EQ(g.rowHeaderRowAt(strip->height() - 1), -1) << "below the last row";

    // A click selects one row, Shift extends from the current one, Ctrl toggles.
    auto selected = [&] { return ui::selectedRowIds(g); };
    g.clickRowHeader(middles[1]);
    EXPECT_EQ(selected(), (std::vector<int>{shown[1]}));
    EXPECT_TRUE(tree->hasFocus() || !QApplication::activeWindow());
    g.clickRowHeader(middles[3], Qt::ShiftModifier);
    EXPECT_EQ(selected(), (std::vector<int>{shown[1], shown[2], shown[3]}));
    g.clickRowHeader(middles[2], Qt::ControlModifier);
    EXPECT_EQ(selected(), (std::vector<int>{shown[1], shown[3]}));
    g.clickRowHeader(middles[0], Qt::ShiftModifier); // upwards from the current (toggled) row
    EXPECT_EQ(selected(), (std::vector<int>{shown[0], shown[1], shown[2]}));
    g.clickRowHeader(1); // the corner: nothing changes
    EXPECT_EQ(selected().size(), 3u);

    // The mouse goes the same way.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(15, middles[3]), strip->mapToGlobal(QPointF(15, middles[3])),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(strip, &press);
    EXPECT_EQ(selected(), (std::vector<int>{shown[3]}));
    EXPECT_EQ(ui::currentRowId(g), shown[3]);
    // The strip paints (current row marked) without complaint.
    EXPECT_FALSE(strip->grab().isNull());
}

// The holdings' value filter: the header menu leaves its choice pending, the
// window takes it over with 336, and a refill keeps it.
TEST_F(RiskWindowTest, HoldingsFilterIsTakenOverByTheWindow)
{
    open(14);
    ASSERT_TRUE(idle());
    view->SelectReportTab(4);
    ASSERT_TRUE(idle());
    auto& h = static_cast<CFilterGridCtrl&>(*view->grid(CNetPosition::Holdings));
    const ui::GridModel& m = h.model();
    const std::vector<int> top = m.childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(top.size(), 5u);
    const QString first = m.text(top[0], 0);
    const QStringList values = h.HeaderMenuValues(0);
    ASSERT_EQ(values.size(), 4) << "four securities, no grand total";
    h.tree()->expandAll();
    h.selectRow(top[1]);

    // Untick every security but the first: one menu pick per value.
    for (const QString& v : values) {
        if (v == first)
            continue;
        const QStringList before = h.AppliedFilter().checkedValues;
        prompter.queueMenuCommand(2 + int(values.indexOf(v)));
        h.OnHeaderMenuButtonClick(0);
        EXPECT_EQ(h.AppliedFilter().checkedValues, before) << "nothing applied before the window takes it over";
        QApplication::processEvents(); // the posted 336
        EXPECT_FALSE(h.AppliedFilter().allValues);
        EXPECT_FALSE(h.AppliedFilter().checkedValues.contains(v));
    }
    EXPECT_EQ(h.AppliedFilter().column, 0);
    EXPECT_EQ(h.AppliedFilter().checkedValues, QStringList{first});
    EXPECT_TRUE(ui::selectedRowIds(h).empty()) << "the take-over clears the selection";
    auto expected = [&] {
        const std::vector<int> t = m.childrenOf(ui::GridModel::kRoot);
        std::vector<int> rows{t[0]};
        for (int c : m.childrenOf(t[0]))
            rows.push_back(c);
        rows.push_back(t.back()); // the grand total stays
        return rows;
    };
    EXPECT_EQ(h.shownRows(), expected());

    // A refresh refills the grid; the filter still holds.
    view->OnRefresh();
    ASSERT_TRUE(idle());
    EXPECT_EQ(m.childrenOf(ui::GridModel::kRoot).size(), 5u);
    EXPECT_EQ(h.shownRows(), expected());

    // "(Select All)" shows everything again.
    prompter.queueMenuCommand(1);
    h.OnHeaderMenuButtonClick(0);
    QApplication::processEvents();
    EXPECT_TRUE(h.AppliedFilter().allValues);
    EXPECT_EQ(h.shownRows().size(), size_t(m.rowTotal()));
}

} // namespace

namespace {

// The money table of positions: a row per instrument kind, each figure worked
// by hand from the rule and read where the user reads it (the grid's cells,
// the basket and square-off forms the window opens).
struct PositionMoneyRow {
    const char* kind;
    const char* exchange;
    const char* inst;
    const char* symbol; // nullptr: the first of the kind
    int lotOfTheMaster; // these three are checked, so the hand values hold
    int unitsOfTheMaster;
    int denominatorOfTheMaster;
    // The open position: net quantity (lots for a currency or a commodity,
    // units otherwise), net value and average price in rupees.
    int net;
    double netValue;
    double average;
    double L;  // the last price when the report arrives
    double L2; // the tick that follows
    const char* plAtL;
    const char* plAtL2;
    // The basket built from the position: quantity and Lot ("" when the leg
    // is entered by quantity); the square-off form shows the same two boxes.
    const char* basketQuantity;
    const char* basketLots;
    const char* squareOffQuantity;
    const char* squareOffLots;
};

// Open P&L: currency (L - A) x q x units x 1; commodity whole (units x lot x q
// / denominator) x (L - A); otherwise q x L - V, or (L - A) x q for a short
// whose V is below 0. A long position's basket leg sells its quantity: the
// net, times the market lot for a commodity and the units for a currency;
// the Lot box divides by the units (currency) or the market lot.
const PositionMoneyRow kPositionRows[] = {
    // 10 x 105 - 1000 = 50; 10 x 110 - 1000 = 100
    {"equity long", "NN", "EQ", nullptr, 1, 1, 0, 10, 1000.00, 100.00, 105, 110, "50.00", "100.00", "10", "", "10", ""},
    // (95 - 100) x -10 = 50; (90 - 100) x -10 = 100
    {"equity short", "NN", "EQ", nullptr, 1, 1, 0, -10, -1000.00, 100.00, 95, 90, "50.00", "100.00", "10", "", "10",
     ""},
    // 2 lots of 475: 950 x 201 - 190000 = 950; 950 x 199.5 - 190000 = -475
    {"equity future long", "NN", "FS", nullptr, 475, 1, 0, 950, 190000.00, 200.00, 201, 199.5, "950.00", "-475.00",
     "950", "2", "950", "2"},
    // 2 lots of 1000: (88.5 - 88) x 2 x 1000 = 1000; (88.25 - 88) x 2000 = 500
    {"currency long", "CN", "FC", "USDINR", 1, 1000, 0, 2, 176000.00, 88.00, 88.5, 88.25, "1000.0000", "500.0000",
     "2000", "2", "2000", "2"},
    // 3 lots of GOLD: 100 x 1 x 3 / 10 = 30 priced units; 30 x 450 = 13500;
    // 30 x 100 = 3000
    {"commodity long", "MC", "CF", "GOLD", 1, 100, 10, 3, 384000.00, 128000.00, 128450, 128100, "13500.00", "3000.00",
     "3", "3", "3", "3"},
    // 2 lots of the GOLD call: 100 x 1 x 2 / 10 = 20; 20 x 100 = 2000; 20 x 50 = 1000
    {"commodity option long", "MC", "CO", "GOLD", 1, 100, 10, 2, 5000.00, 2500.00, 2600, 2550, "2000.00", "1000.00",
     "2", "2", "2", "2"},
};

int positionSecurityOf(const PositionMoneyRow& row)
{
    const auto table = SecurityTable::current();
    for (int i = 0; table && i < table->count(); ++i) {
        const SecurityRecord& r = table->row(i);
        if (r.market_exchange == row.exchange && r.inst_type == row.inst
            && (!row.symbol || r.symbol.view() == row.symbol)) {
            const OrderSecurity s = OrderSecurityAt(i);
            EXPECT_EQ(s.marketLot, row.lotOfTheMaster) << row.kind;
            EXPECT_EQ(s.lotUnits, row.unitsOfTheMaster) << row.kind;
            EXPECT_EQ(s.denominator, row.denominatorOfTheMaster) << row.kind;
            return i;
        }
    }
    return -1;
}

std::string paiseText(double rupees) { return formatText("%.0lf", rupees * 100); }

// A 412 row of one open position (product 0, margin type "N").
std::vector<std::string> openPositionRow(const OrderSecurity& s, const PositionMoneyRow& row)
{
    std::vector<std::string> f(tb::RiskDesk::kPositionFields, "0");
    f[0] = std::to_string(s.token);
    f[1] = s.exchange;
    f[6] = std::to_string(row.net);
    f[7] = paiseText(row.netValue);
    f[17] = "1";
    f[25] = s.symbol;
    f[26] = f[27] = "";
    f[28] = formatText("%.4lf", row.average);
    f[29] = "1";
    f[31] = "N";
    return f;
}

void setLast(int security, double rupees, short code)
{
    SecurityTable::current()->row(security).updateQuote([&](QuoteData& q) {
        q.quote[0] = rupees * 100; // the bid a square-off sells at
        q.quote[2] = rupees * 100;
        q.quote[4] = rupees * 100;
        q.tick_code[4] = code;
    });
}

TEST_F(RiskWindowTest, MoneyTableOpenPositionsPlBasketAndSquareOff)
{
    InstallBasketForm();
    InstallOrderEntry();
    for (const PositionMoneyRow& row : kPositionRows) {
        SCOPED_TRACE(row.kind);
        const int sec = positionSecurityOf(row);
        ASSERT_GE(sec, 0);
        const OrderSecurity s = OrderSecurityAt(sec);
        broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) { b.positions = {openPositionRow(s, row)}; });
        setLast(sec, row.L, 10);
        open(13);
        ASSERT_TRUE(idle());
        const auto& positions = ActiveClientRiskArrays().positions;
        ASSERT_EQ(positions.size(), 1u);
        ui::GridModel& m = view->grid(CNetPosition::Open)->model();
        const int gridRow = positions[0].grid_row;
        ASSERT_GE(gridRow, 0);
        // The report's own figure at L, then a tick to L2.
        EXPECT_EQ(m.text(gridRow, 12).toStdString(), row.plAtL);
        setLast(sec, row.L2, row.L2 > row.L ? 10 : 20);
        view->feed()->quoteUpdated(sec);
        view->OnTimer();
        EXPECT_EQ(m.text(gridRow, 12).toStdString(), row.plAtL2);
        // The same figure when the report comes again at L2.
        view->OnRefresh();
        ASSERT_TRUE(idle());
        ASSERT_EQ(positions.size(), 1u);
        EXPECT_EQ(m.text(positions[0].grid_row, 12).toStdString(), row.plAtL2);

        // The basket built from the position.
        ui::GridView& grid = *view->grid(CNetPosition::Open);
        grid.tree()->clearSelection();
        grid.selectRow(positions[0].grid_row);
        ui::setCurrentRow(grid, positions[0].grid_row);
        view->OnPositionBasketOrder();
        CBasketOrder* basket = g_pBasketOrder;
        ASSERT_NE(basket, nullptr);
        EXPECT_EQ(basket->row(0).quantity->text().toStdString(), row.basketQuantity);
        EXPECT_EQ(basket->row(0).lots->text().toStdString(), row.basketLots);
        EXPECT_EQ(basket->row(0).action->currentText().toStdString(), row.net > 0 ? "SELL" : "BUY");
        basket->close();
        pumpUntil([] { return false; }, 50);

        // The square-off form of the same position.
        view->OnPositionSquareoff();
        CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(form->IsInitialised());
        EXPECT_EQ(form->Side(), row.net > 0 ? 'S' : 'B');
        EXPECT_EQ(form->text(orderform::kQuantity), row.squareOffQuantity);
        if (*row.squareOffLots) {
            EXPECT_EQ(form->text(orderform::kLots), row.squareOffLots);
        }
        form->OnCancel();
        delete view;
        view = nullptr;
    }
    UninstallOrderEntry();
    UninstallBasketForm();
}

// Today's P&L of a long position bought today: the buy average is value / Q
// / lot / multiplier (Q the lots times the whole units / denominator for a
// commodity), the P&L (L - average) x net x lot x (units / denominator for
// a commodity) x multiplier.
struct TodaysMoneyRow {
    const char* kind;
    const char* exchange;
    const char* inst;
    const char* symbol;
    int bought;       // lots for derivatives, currency and commodity
    double value;     // rupees
    double multiplier;
    double L;
    double L2;
    const char* plAtL;
    const char* plAtL2;
};

const TodaysMoneyRow kTodaysRows[] = {
    // average 1000 / 10 = 100: (105 - 100) x 10 = 50; (98 - 100) x 10 = -20
    {"equity", "NN", "EQ", nullptr, 10, 1000.00, 1, 105, 98, "50.00", "-20.00"},
    // average 190000 / 2 / 475 = 200: 1 x 2 x 475 = 950; -0.5 x 950 = -475
    {"equity future", "NN", "FS", nullptr, 2, 190000.00, 1, 201, 199.5, "950.00", "-475.00"},
    // average 176000 / 2 / 1 / 1000 = 88: 0.5 x 2 x 1000 = 1000; 0.25 x 2000 = 500
    // (a currency's four decimals)
    {"currency", "CN", "FC", "USDINR", 2, 176000.00, 1000, 88.5, 88.25, "1000.0000", "500.0000"},
    // Q = 100 / 10 x 3 = 30, average 3840000 / 30 = 128000:
    // 450 x 3 x 100 / 10 = 13500; 100 x 30 = 3000
    {"commodity", "MC", "CF", "GOLD", 3, 3840000.00, 1, 128450, 128100, "13500.00", "3000.00"},
};

TEST_F(RiskWindowTest, MoneyTableTodaysPl)
{
    for (const TodaysMoneyRow& row : kTodaysRows) {
        SCOPED_TRACE(row.kind);
        const auto table = SecurityTable::current();
        int sec = -1;
        for (int i = 0; table && i < table->count() && sec < 0; ++i)
            if (table->row(i).market_exchange == row.exchange && table->row(i).inst_type == row.inst
                && (!row.symbol || table->row(i).symbol.view() == row.symbol))
                sec = i;
        ASSERT_GE(sec, 0);
        const OrderSecurity s = OrderSecurityAt(sec);
        broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) {
            std::vector<std::string> f(tb::RiskDesk::kTodaysFields, "0");
            f[0] = std::to_string(s.token);
            f[1] = s.exchange;
            f[2] = f[17] = f[18] = f[19] = "";
            f[3] = f[7] = std::to_string(row.bought);
            f[4] = f[8] = paiseText(row.value);
            f[21] = formatText("%.0lf", row.multiplier);
            b.todays = {f};
        });
        setLast(sec, row.L, 10);
        open(12);
        ASSERT_TRUE(idle());
        const auto& todays = ActiveClientRiskArrays().todays_positions;
        ASSERT_EQ(todays.size(), 1u);
        ui::GridModel& m = view->grid(CNetPosition::Todays)->model();
        const int gridRow = todays[0].grid_row;
        ASSERT_GE(gridRow, 0);
        EXPECT_EQ(m.text(gridRow, 20).toStdString(), row.plAtL);
        setLast(sec, row.L2, row.L2 > row.L ? 10 : 20);
        view->feed()->quoteUpdated(sec);
        view->OnTimer();
        EXPECT_EQ(m.text(gridRow, 20).toStdString(), row.plAtL2);
        delete view;
        view = nullptr;
    }
}

} // namespace

namespace {

// The first equity of the master on NSE.
int firstNseEquity()
{
    const auto table = SecurityTable::current();
    for (int i = 0; table && i < table->count(); ++i)
        if (table->row(i).market_exchange == "NN" && table->row(i).inst_type == "EQ")
            return i;
    return -1;
}

} // namespace

// Two holdings of one stock under one type share one balance (100): the
// run's unrealised profit at cost 100.00 and LTP 110.00 is (110 - 100) x
// 100 = 1000.00, counted once in the summary and the grand total.
TEST_F(RiskWindowTest, HoldingsCountARunsUnrealisedProfitOnce)
{
    const int sec = firstNseEquity();
    ASSERT_GE(sec, 0);
    const OrderSecurity s = OrderSecurityAt(sec);
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) {
        auto row = [&](int prev) {
            std::vector<std::string> f(29, "0");
            f[0] = std::to_string(s.token);
            f[1] = "NN";
            f[8] = std::to_string(prev);
            f[10] = "1";
            f[28] = "100.00";
            return f;
        };
        b.holdings = {row(100), row(0)};
    });
    setLast(sec, 110, 10);
    open(15);
    ASSERT_TRUE(idle());
    const ui::GridModel& m = view->grid(CNetPosition::Holdings)->model();
    const std::vector<int>& top = m.childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(top.size(), 2u); // the security's summary and the grand total
    EXPECT_EQ(m.text(top[0], 8), QStringLiteral("100"));
    EXPECT_EQ(m.text(top[0], 16), QStringLiteral("1000.00"));
    EXPECT_EQ(m.text(top[1], 16), QStringLiteral("1000.00"));
}

namespace {

// The first security of the master with this exchange, instrument and symbol.
int securityOf(const char* exchange, const char* inst, const char* symbol = nullptr)
{
    const auto table = SecurityTable::current();
    for (int i = 0; table && i < table->count(); ++i)
        if (table->row(i).market_exchange == exchange && table->row(i).inst_type == inst
            && (!symbol || table->row(i).symbol.view() == symbol))
            return i;
    return -1;
}

// A 412 row: product, net quantity, net value and average in rupees.
std::vector<std::string> openRow(int security, int product, int net, double value, double average)
{
    const OrderSecurity s = OrderSecurityAt(security);
    std::vector<std::string> f(tb::RiskDesk::kPositionFields, "0");
    f[0] = std::to_string(s.token);
    f[1] = s.exchange;
    f[6] = std::to_string(net);
    f[7] = paiseText(value);
    f[10] = std::to_string(product);
    f[17] = "1";
    f[25] = s.symbol;
    f[26] = f[27] = "";
    f[28] = formatText("%.4lf", average);
    f[29] = "1";
    f[31] = "N";
    return f;
}

} // namespace

// A future's normal and MIS rows with an equity row between them: a tick of
// the future moves both. 1 lot of 475 bought at 200 each, tick to 202:
// 475 x 202 - 95000 = 950 per row; the equity (10 at 100, last 100) 0; the
// window's total 1900.00.
TEST_F(RiskWindowTest, EveryOpenRowOfASecurityFollowsItsTick)
{
    const int future = securityOf("NN", "FS");
    const int equity = firstNseEquity();
    ASSERT_GE(future, 0);
    ASSERT_GE(equity, 0);
    ASSERT_EQ(OrderSecurityAt(future).marketLot, 475);
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) {
        b.positions = {openRow(future, 0, 475, 95000, 200), openRow(equity, 0, 10, 1000, 100),
                       openRow(future, 12, 475, 95000, 200)};
    });
    setLast(future, 200, 10);
    setLast(equity, 100, 10);
    open(13);
    ASSERT_TRUE(idle());
    const auto& positions = ActiveClientRiskArrays().positions;
    ASSERT_EQ(positions.size(), 3u);
    ui::GridModel& m = view->grid(CNetPosition::Open)->model();
    setLast(future, 202, 10);
    view->feed()->quoteUpdated(future);
    view->OnTimer();
    for (size_t k : {size_t(0), size_t(2)}) {
        ASSERT_GE(positions[k].grid_row, 0);
        EXPECT_EQ(m.text(positions[k].grid_row, 2), QStringLiteral("202.00")) << k;
        EXPECT_EQ(m.text(positions[k].grid_row, 12), QStringLiteral("950.00")) << k;
    }
    EXPECT_EQ(m.text(view->openTotalRow(), 12), QStringLiteral("1900.00"));
}

// A client holding only currency: a tick's LTP and P&L reach the screen
// within the timer's period. 2 lots of USDINR (1000 units) at 88.0000, tick
// to 88.5000: (88.5 - 88) x 2 x 1000 = 1000.0000.
TEST_F(RiskWindowTest, ACurrencyPositionsTickIsPainted)
{
    const int usd = securityOf("CN", "FC", "USDINR");
    ASSERT_GE(usd, 0);
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) { b.positions = {openRow(usd, 0, 2, 176000, 88)}; });
    setLast(usd, 88, 10);
    open(13);
    ASSERT_TRUE(idle());
    const auto& positions = ActiveClientRiskArrays().positions;
    ASSERT_EQ(positions.size(), 1u);
    ui::GridModel& m = view->grid(CNetPosition::Open)->model();
    const int row = positions[0].grid_row;
    ASSERT_GE(row, 0);
    std::vector<int> painted; // columns of the row the screen was told of
    QObject::connect(&m, &QAbstractItemModel::dataChanged, view, [&](const QModelIndex& a, const QModelIndex& b) {
        for (int c = a.column(); c <= b.column(); ++c)
            painted.push_back(c);
    });
    setLast(usd, 88.5, 10);
    view->feed()->quoteUpdated(usd);
    view->OnTimer();
    EXPECT_FALSE(m.hasPending());
    EXPECT_NE(std::find(painted.begin(), painted.end(), 2), painted.end());
    EXPECT_NE(std::find(painted.begin(), painted.end(), 12), painted.end());
    EXPECT_EQ(m.text(row, 2), QStringLiteral("88.5000"));
    EXPECT_EQ(m.text(row, 12), QStringLiteral("1000.0000"));
}

namespace {

// A 415 row: lots bought today at a value in rupees, and the multiplier.
std::vector<std::string> todaysRow(int security, int bought, double value, double multiplier)
{
    const OrderSecurity s = OrderSecurityAt(security);
    std::vector<std::string> f(tb::RiskDesk::kTodaysFields, "0");
    f[0] = std::to_string(s.token);
    f[1] = s.exchange;
    f[2] = f[17] = f[18] = f[19] = "";
    f[3] = f[7] = std::to_string(bought);
    f[4] = f[8] = paiseText(value);
    f[21] = formatText("%.0lf", multiplier);
    return f;
}

} // namespace

// One NSE-FX, one BSE-CDX and one MCX security in the open and today's
// grids: the currencies' prices and P&L have four decimals before and after
// a tick, GOLD's two. The ticks: USDINR on CN to 88.4575 and on CB to
// 88.4525, GOLD to 128451.
TEST_F(RiskWindowTest, CurrencySegmentsShowFourDecimalsInTheRiskGrids)
{
    const int cn = securityOf("CN", "FC", "USDINR"), cb = securityOf("CB", "FC", "USDINR"),
              gold = securityOf("MC", "CF", "GOLD");
    ASSERT_GE(cn, 0);
    ASSERT_GE(cb, 0);
    ASSERT_GE(gold, 0);
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) {
        b.positions = {openRow(cn, 0, 2, 176000, 88), openRow(cb, 0, 1, 88000, 88),
                       openRow(gold, 0, 3, 3840000, 128000)};
        b.todays = {todaysRow(cn, 2, 176000, 1000), todaysRow(cb, 1, 88000, 1000), todaysRow(gold, 3, 3840000, 1)};
    });
    for (int sec : {cn, cb})
        setLast(sec, 88, 10);
    setLast(gold, 128000, 10);
    const std::pair<int, double> ticks[] = {{cn, 88.4575}, {cb, 88.4525}, {gold, 128451}};
    for (int kind : {13, 12}) { // open, today's
        delete view;
        open(kind);
        ASSERT_TRUE(idle());
        const int tab = view->shownReport();
        EXPECT_EQ(testkit::wrongDecimals(*view->grid(tab)), std::vector<std::string>{}) << tab;
        for (const auto& [sec, L] : ticks) {
            setLast(sec, L, 10);
            view->feed()->quoteUpdated(sec);
        }
        view->OnTimer();
        EXPECT_EQ(testkit::wrongDecimals(*view->grid(tab)), std::vector<std::string>{}) << tab;
        const int ltpColumn = kind == 13 ? 2 : 3;
        const ui::GridModel& m = view->grid(tab)->model();
        std::vector<std::string> ltps;
        for (int row : m.preorder())
            ltps.push_back(m.text(row, ltpColumn).toStdString());
        for (const char* want : {"88.4575", "88.4525", "128451.00"})
            EXPECT_NE(std::find(ltps.begin(), ltps.end(), want), ltps.end()) << tab << " " << want;
        for (const auto& [sec, L] : ticks)
            setLast(sec, sec == gold ? 128000 : 88, 20);
    }
}

namespace {

// The sum of a money column over the grid's rows: a top row's own figure, or
// when it shows none (a group that only heads its rows) its rows' figures.
double columnSum(const ui::GridModel& m, int column, int totalRow)
{
    double sum = 0;
    for (int row : m.childrenOf(ui::GridModel::kRoot)) {
        if (row == totalRow)
            continue;
        const QString own = m.text(row, column);
        if (!own.isEmpty() || m.childrenOf(row).empty()) {
            sum += own.toDouble();
            continue;
        }
        for (int child : m.childrenOf(row))
            sum += m.text(child, column).toDouble();
    }
    return sum;
}

} // namespace

// Every total of every risk grid is the sum of the rows above it, as shown
// (the broker's book holds an option among today's positions, a spread
// group among the open ones, a security under two marks among the holdings).
TEST_F(RiskWindowTest, EveryTotalIsTheSumOfItsRows)
{
    struct Grid {
        int kind;
        int tab;
        std::vector<int> columns;
    };
    const Grid grids[] = {{13, CNetPosition::Open, {12, 13, 14, 20}},
                          {12, CNetPosition::Todays, {5, 8, 11, 13, 16, 18, 19, 20}},
                          {15, CNetPosition::Holdings, {10, 11, 12, 16}}};
    for (const Grid& g : grids) {
        delete view;
        open(g.kind);
        ASSERT_TRUE(idle());
        const ui::GridModel& m = view->grid(g.tab)->model();
        const std::vector<int>& top = m.childrenOf(ui::GridModel::kRoot);
        ASSERT_GE(top.size(), 2u) << g.tab;
        const int total = top.back();
        ASSERT_TRUE(m.text(total, 0).contains(QStringLiteral("Total"))) << g.tab;
        for (int c : g.columns) {
            EXPECT_NEAR(m.text(total, c).toDouble(), columnSum(m, c, total), 0.005)
                << "tab " << g.tab << " column " << c << ": " << m.text(total, c).toStdString();
        }
    }
}

// WIPRO bought 5 at 298.40 and squared off at 299.10, as the broker's 415
// reply gives the closed position (its traded figures, a net of 0 and the
// realised 5 x 0.70 = 3.50): the row shows them, and its total P/L is the
// realised 3.50.
TEST_F(RiskWindowTest, ASquaredOffPositionKeepsItsRealisedProfitInTheGrid)
{
    const int sec = securityOf("NN", "EQ", "WIPRO");
    ASSERT_GE(sec, 0);
    const OrderSecurity s = OrderSecurityAt(sec);
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) {
        std::vector<std::string> f(tb::RiskDesk::kTodaysFields, "0");
        f[0] = std::to_string(s.token);
        f[1] = "NN";
        f[2] = f[17] = f[18] = f[19] = "";
        f[3] = f[5] = "5";
        f[4] = "149200";
        f[6] = "149550";
        f[8] = "-350";
        f[13] = "350";
        f[21] = "1";
        f[34] = "29840";
        f[35] = "29910";
        b.todays = {f};
    });
    setLast(sec, 299.10, 10);
    open(12);
    ASSERT_TRUE(idle());
    const auto& todays = ActiveClientRiskArrays().todays_positions;
    ASSERT_EQ(todays.size(), 1u);
    const int row = todays[0].grid_row;
    ASSERT_GE(row, 0);
    const ui::GridModel& m = view->grid(CNetPosition::Todays)->model();
    EXPECT_EQ(m.text(row, 4), QStringLiteral("5"));
    EXPECT_EQ(m.text(row, 5), QStringLiteral("1492.00"));
    EXPECT_EQ(m.text(row, 6), QStringLiteral("298.40"));
    EXPECT_EQ(m.text(row, 7), QStringLiteral("5"));
    EXPECT_EQ(m.text(row, 8), QStringLiteral("1495.50"));
    EXPECT_EQ(m.text(row, 9), QStringLiteral("299.10"));
    EXPECT_EQ(m.text(row, 10), QStringLiteral("0"));
    EXPECT_EQ(m.text(row, 11), QStringLiteral("0.00"));
    EXPECT_EQ(m.text(row, 18), QStringLiteral("3.50"));
    EXPECT_EQ(m.text(row, 20), QStringLiteral("0.00"));
    EXPECT_EQ(m.text(row, 22), QStringLiteral("3.50"));
    EXPECT_EQ(m.text(view->todaysTotalRow(), 18), QStringLiteral("3.50"));
}

// GOLD's open orders: 3 lots to buy worth 3 x 100 / 10 x 128450 =
// 3853500.00 and 10 lots to sell worth 12845000.00 both average the price
// 128450.00, as the 3 lots traded at 3853500.00 do.
TEST_F(RiskWindowTest, ACommoditysOpenOrderAverageIsItsPrice)
{
    const int gold = securityOf("MC", "CF", "GOLD");
    ASSERT_GE(gold, 0);
    broker->riskDesk().editBook("ABC12", [&](tb::RiskBook& b) {
        std::vector<std::string> f = todaysRow(gold, 3, 3853500, 1);
        f[9] = "3";
        f[10] = paiseText(3853500);
        f[11] = "10";
        f[12] = paiseText(12845000);
        b.todays = {f};
    });
    setLast(gold, 128450, 10);
    open(12);
    ASSERT_TRUE(idle());
    const auto& todays = ActiveClientRiskArrays().todays_positions;
    ASSERT_EQ(todays.size(), 1u);
    const int row = todays[0].grid_row;
    ASSERT_GE(row, 0);
    const ui::GridModel& m = view->grid(CNetPosition::Todays)->model();
    EXPECT_EQ(m.text(row, 6), QStringLiteral("128450.00"));
    EXPECT_EQ(m.text(row, 14), QStringLiteral("128450.00"));
    EXPECT_EQ(m.text(row, 17), QStringLiteral("128450.00"));
}
