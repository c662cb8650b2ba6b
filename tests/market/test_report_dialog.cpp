// The report dialog against the test broker: an order placed through the
// order form, then "Order &History" in the order book, lists the order's
// events; gainers ask nothing until an exchange is chosen; the depth shows
// the broker's totals and five levels; the trailing history merges its leg
// header and a Refresh reloads it without doubling; market lot information
// asks nothing.
#include "OrderFixture.h"
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "testkit/keep_look.h"

#include "server/SecurityTable.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "frame/FrameThemes.h"
#include "frame/WindowOpeners.h"
#include "frame/controls/CMyListCtrl.h"
#include "frame/controls/CMyReportCtrl.h"
#include "market/CHistoryDepth.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderViewEx.h"
#include "orders/CTsloOrderView.h"
#include "orders/OrderBookCommands.h"
#include "orders/OrderFormIds.h"
#include "server/SecurityReload.h"

#include "ui/form_driver.h"
#include "ui/grid_view.h"
#include "ui/theme_manager.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>

namespace {

class ReportDialog : public ordertest::OrderFixture {
protected:
    void TearDown() override
    {
        SetOrderHistoryOpener(nullptr);
        SetTsloHistoryOpener(nullptr);
        if (g_pOrderViewEx)
            delete g_pOrderViewEx;
        EXPECT_TRUE(WaitOrderReportDownloads(20000));
        OrderFixture::TearDown();
    }
    int requestCount(const std::string& part) const
    {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            n += r.decoded.text.find(part) != std::string::npos;
        return n;
    }
    static std::vector<std::string> rowTexts(const ui::GridView& view, int column)
    {
        std::vector<std::string> out;
        for (int id : view.model().preorder())
            out.push_back(view.model().text(id, column).toStdString());
        return out;
    }
};

TEST_F(ReportDialog, OrderHistoryFromTheOrderBookListsTheOrdersEvents)
{
    const int sec = findSecurity("NN", "EQ");
    ASSERT_GE(sec, 0);
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver d(*form);
    d.type(orderform::kQuantity, "10").type(orderform::kPrice, "1500.05").click(orderform::kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_EQ(broker->orderDesk().orders().size(), 1u);
    const long long orderNo = broker->orderDesk().orders()[0].orderNo;

    COrderViewEx* book = OpenOrderBook();
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !book->isBusy() && book->grid()->model().rowTotal() == 1; }, 20000));
    const int row = book->rowOfRecord(0);
    ASSERT_GE(row, 0);
    book->grid()->selectRow(row);

    InstallReportDialogs(nullptr);
    std::vector<std::string> actions, serials;
    std::string title, number, side;
    modalHost.script("CHistoryDepth", [&](ui::FormDriver& driver) {
        auto& dlg = static_cast<CHistoryDepth&>(driver.form());
        EXPECT_TRUE(pumpUntil([&] { return dlg.replies() > 0; }, 20000));
        title = dlg.windowTitle().toStdString();
        number = dlg.text(CHistoryDepth::kFirstEdit);
        side = dlg.text(CHistoryDepth::kSecondEdit);
        actions = rowTexts(*dlg.list(), 5);
        serials = rowTexts(*dlg.list(), 0);
        dlg.finish(2);
    });
    book->commands()->OnHistory();
    ASSERT_EQ(modalHost.runs().size(), 1u);
    const std::string expected = "ReportData=505|CID01|U1|ABC12|ABC12|4&OrderData=" + std::to_string(orderNo) + "-N";
    EXPECT_EQ(requestCount(expected), 1);
    EXPECT_EQ(title, "Order History - TWXS Order No :" + std::to_string(orderNo));
    EXPECT_EQ(number, std::to_string(orderNo));
    EXPECT_EQ(side, "Buy");
    EXPECT_EQ(actions, (std::vector<std::string>{"Order Placed"}));
    EXPECT_EQ(serials, (std::vector<std::string>{"1"}));

    // Traded by the market: Refresh lists both events, not three rows.
    broker->orderDesk().setMatching(true);
    broker->orderDesk().matchMarket();
    broker->orderDesk().setMatching(false);
    CHistoryDepth again(nullptr, 1, 0);
    again.prepare();
    ASSERT_TRUE(pumpUntil([&] { return again.replies() == 1; }, 20000));
    again.OnRefresh();
    ASSERT_TRUE(pumpUntil([&] { return again.replies() == 2; }, 20000));
    const std::vector<std::string> after = rowTexts(*again.list(), 5);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front(), "Order Placed");
    EXPECT_EQ(after.size(), broker->orderDesk().orders()[0].events.size());
}

TEST_F(ReportDialog, UnknownOrderShowsTheErrorBox)
{
    CHistoryDepth dlg(nullptr, 1, 0);
    EXPECT_EQ(dlg.ApplyReply(1, 200, "505|1|Order not found"), -1);
    EXPECT_TRUE(boxShown("Order not found"));
    EXPECT_EQ(dlg.ApplyReply(1, 200, "505|0|OK~"), 0);
    EXPECT_EQ(dlg.list()->model().rowTotal(), 0);
}

TEST_F(ReportDialog, GainersAskNothingUntilAnExchangeIsChosen)
{
    CHistoryDepth dlg(nullptr, 5, 0);
    dlg.prepare();
    EXPECT_TRUE(dlg.isVisible(CHistoryDepth::kExchange));
    EXPECT_FALSE(dlg.isVisible(CHistoryDepth::kRefresh));
    EXPECT_EQ(dlg.text(CHistoryDepth::kSecurityLabel), "Exchange :");
    dlg.setComboIndex(CHistoryDepth::kExchange, 0);
    dlg.OnSelchangeExch();
    EXPECT_FALSE(dlg.busy());
    EXPECT_EQ(requestCount("WD=113"), 0);

    dlg.setComboIndex(CHistoryDepth::kExchange, 1);
    dlg.OnSelchangeExch();
    ASSERT_TRUE(pumpUntil([&] { return dlg.replies() == 1; }, 20000));
    EXPECT_EQ(requestCount("WD=113|CID01|NN|4"), 1);
    const int rows = dlg.list()->model().rowTotal();
    ASSERT_GT(rows, 0);
    const std::string name = rowTexts(*dlg.list(), 0).front();
    const auto table = SecurityTable::current();
    bool known = false;
    for (int i = 0; table && i < table->count(); ++i)
        known = known || table->row(i).displayKey().view() == name;
    EXPECT_TRUE(known) << name;

    // "Select" again keeps the list as it was.
    dlg.setComboIndex(CHistoryDepth::kExchange, 0);
    dlg.OnSelchangeExch();
    EXPECT_EQ(dlg.list()->model().rowTotal(), rows);
}

TEST_F(ReportDialog, ActiveScripsAndGainersShowThePercentChangeOfTheirPricesRoundedWithItsSign)
{
    // A market that has moved: falls and rises, most not a whole hundredth.
    const auto table = SecurityTable::current();
    ASSERT_TRUE(table);
    for (int i = 0; i < table->count(); ++i)
        if (table->row(i).inst_type.view() == "EQ")
            for (int step = 0; step < 15; ++step)
                broker->stepSecurity(table->row(i).wtoken);
    // The rule, by hand: (LTP - Close) x 100 / Close, to the nearest
    // hundredth of a percent, halves away from 0, a fall with its minus.
    const auto due = [](const std::string& ltp, const std::string& close) {
        const long long l = std::llround(std::atof(ltp.c_str()) * 100);
        const long long c = std::llround(std::atof(close.c_str()) * 100);
        const long long num = (l - c) * 10000;
        const long long h = (num >= 0 ? num + c / 2 : num - c / 2) / c;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%lld.%02lld", h < 0 ? "-" : "", std::llabs(h) / 100, std::llabs(h) % 100);
        return std::string(buf);
    };
    // Active Scrips: LTP 3, Close 4, % Change 5; gainers: LTP 4, Close 5, % Change 6.
    for (const auto& [type, ltpCol, closeCol, pctCol] :
         {std::tuple {6, 3, 4, 5}, std::tuple {5, 4, 5, 6}}) {
        CHistoryDepth dlg(nullptr, type, 0);
        dlg.prepare();
        dlg.setComboIndex(CHistoryDepth::kExchange, 1);
        dlg.OnSelchangeExch();
        ASSERT_TRUE(pumpUntil([&] { return dlg.replies() == 1; }, 20000)) << type;
        const auto ltp = rowTexts(*dlg.list(), ltpCol);
        const auto close = rowTexts(*dlg.list(), closeCol);
        const auto pct = rowTexts(*dlg.list(), pctCol);
        ASSERT_GT(pct.size(), 5u) << type;
        int falls = 0;
        for (size_t i = 0; i < pct.size(); ++i) {
            EXPECT_EQ(pct[i], due(ltp[i], close[i])) << "type " << type << " row " << i << " " << ltp[i] << " / " << close[i];
            falls += std::atof(ltp[i].c_str()) < std::atof(close[i].c_str());
        }
        EXPECT_GT(falls, 0) << type;
    }
    // The feed's % change of a stock (what the scanner shows) follows the same rule.
    int checked = 0;
    for (int i = 0; i < table->count() && checked < 20; ++i) {
        const auto& row = table->row(i);
        if (row.market_exchange.view() != "NN" || row.inst_type.view() != "EQ")
            continue;
        const tb::Quote q = broker->quote(row.wtoken);
        char ltp[32], close[32], pct[32];
        std::snprintf(ltp, sizeof ltp, "%.2f", static_cast<double>(q.last) / 100);
        std::snprintf(close, sizeof close, "%.2f", static_cast<double>(q.close) / 100);
        std::snprintf(pct, sizeof pct, "%.2f", static_cast<double>(q.changePct) / 100);
        EXPECT_EQ(std::string(q.changePct == 0 ? "0.00" : pct), due(ltp, close)) << row.displayKey().view();
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(ReportDialog, DepthShowsTheBrokersTotalsAndFiveLevels)
{
    const int sec = findSecurity("NN", "EQ");
    CHistoryDepth dlg(nullptr, 2, sec);
    dlg.prepare();
    ASSERT_TRUE(pumpUntil([&] { return dlg.replies() == 1; }, 20000));
    const SecurityRecord& rec = SecurityTable::current()->row(sec);
    EXPECT_EQ(requestCount("WD=108|CID01|" + std::to_string(rec.token) + "|NN|4"), 1);
    EXPECT_EQ(dlg.text(CHistoryDepth::kFirstLabel), "Total Buy Qty :");
    EXPECT_FALSE(dlg.text(CHistoryDepth::kFirstEdit).empty());
    EXPECT_EQ(rowTexts(*dlg.list(), 0), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST_F(ReportDialog, TsloHistoryMergesTheLegHeaderAndRefreshReloads)
{
    const int sec = findSecurity("NN", "EQ");
    const SecurityRecord& rec = SecurityTable::current()->row(sec);
    TsloOrderInfo order;
    CopyFixedText(order.client_code, "ABC12");
    order.special_order_no = 501;
    order.kind = 4;
    order.sec_index = sec;
    auto row = [](int leg, const char* status) {
        return "501|1300000001|" + std::to_string(leg) + "|B|10|1500.05|-1|0|1510.00|-1|-1|1|1490|" + status
            + "|-|WEB|10:00:00|U1|0";
    };
    broker->tsloHistory(501, {row(1, "TRAD"), row(2, "OPN"), row(2, "CAN")});

    CHistoryDepth dlg(nullptr, 7, 0);
    dlg.setTsloOrder(order);
    dlg.prepare();
    ASSERT_NE(dlg.grid(), nullptr);
    ASSERT_TRUE(pumpUntil([&] { return dlg.replies() == 1; }, 20000));
    EXPECT_EQ(requestCount("ReportData=650|CID01|U1|4|ABC12|501"), 1);
    EXPECT_EQ(dlg.grid()->model().columns(), 19);
    const std::vector<int> ids = dlg.grid()->model().preorder();
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(dlg.grid()->model().text(ids[1], 0).toStdString(), "Leg2 Order Data");
    EXPECT_NE(dlg.grid()->model().mergeAt(ids[1], 14), nullptr);
    EXPECT_EQ(dlg.grid()->model().text(ids[0], 6).toStdString(), "-");
    EXPECT_EQ(dlg.text(CHistoryDepth::kTsloKind), "Bracket Order New");
    EXPECT_EQ(dlg.text(CHistoryDepth::kTsloSecurity), std::string(rec.displayKey().view()));
    EXPECT_FALSE(dlg.isVisible(CHistoryDepth::kList));

    dlg.OnRefresh();
    ASSERT_TRUE(pumpUntil([&] { return dlg.replies() == 2; }, 20000));
    EXPECT_EQ(dlg.grid()->model().preorder().size(), 4u);
}

// The report lists' figures with their instruments' decimals: the gainers
// of every exchange, the depth of a share and of a currency pair (four
// decimals though the broker writes two), the market lots.
TEST_F(ReportDialog, EveryListShowsItsFiguresWithTheInstrumentsDecimals)
{
    CHistoryDepth gainers(nullptr, 5, 0);
    gainers.prepare();
    for (int exchange = 1; exchange <= 3; ++exchange) {
        gainers.setComboIndex(CHistoryDepth::kExchange, exchange);
        gainers.OnSelchangeExch();
        ASSERT_TRUE(pumpUntil([&] { return gainers.replies() == exchange; }, 20000));
        EXPECT_EQ(testkit::wrongDecimals(*gainers.list()), std::vector<std::string>{}) << exchange;
    }
    for (const auto& [exch, inst, decimals] :
         {std::tuple<const char*, const char*, int>{"NN", "EQ", 2}, {"CN", "FC", 4}, {"MC", "CF", 2}}) {
        const int sec = findSecurity(exch, inst);
        ASSERT_GE(sec, 0) << exch;
        CHistoryDepth depth(nullptr, 2, sec);
        depth.prepare();
        ASSERT_TRUE(pumpUntil([&] { return depth.replies() == 1; }, 20000));
        ASSERT_EQ(depth.list()->model().rowTotal(), 5) << exch;
        EXPECT_EQ(testkit::wrongDecimals(*depth.list(), decimals), std::vector<std::string>{}) << exch;
    }
    CHistoryDepth lots(nullptr, 4, 0);
    lots.prepare();
    EXPECT_EQ(testkit::wrongDecimals(*lots.list()), std::vector<std::string>{});
}

// In every theme the report lists open readable, their labels on the
// dialog and their rows, with every column at least as wide as its header's
// text: the gainers, a security's depth and the market lots.
TEST_F(ReportDialog, EveryListReadsInEveryThemeAndEveryHeaderFits)
{
    const int sec = findSecurity("NN", "EQ");
    ASSERT_GE(sec, 0);
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id)); // the whole program takes it, as the frame does
        for (const auto& [type, value] : {std::pair{5, 0}, std::pair{2, sec}, std::pair{4, 0}}) {
            CHistoryDepth dlg(nullptr, type, value);
            dlg.prepare();
            dlg.show();
            if (type == 5) {
                dlg.setComboIndex(CHistoryDepth::kExchange, 1);
                dlg.OnSelchangeExch();
            }
            if (type != 4) { // the market lots are local
                ASSERT_TRUE(pumpUntil([&] { return dlg.replies() == 1; }, 20000)) << type;
            }
            ASSERT_GT(dlg.list()->model().rowTotal(), 0) << type;
            EXPECT_EQ(testkit::unreadableLabels(dlg), std::vector<std::string>{}) << t.text << " type " << type;
            EXPECT_EQ(testkit::unreadableGridCells(dlg), std::vector<std::string>{}) << t.text << " type " << type;
            EXPECT_EQ(testkit::clippedHeaders(dlg), std::vector<std::string>{}) << t.text << " type " << type;
        }
    }
}

TEST_F(ReportDialog, MarketLotInformationAsksNothing)
{
    const size_t before = broker->requests().size();
    CHistoryDepth dlg(nullptr, 4, 0);
    dlg.prepare();
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Market Lot Information");
    EXPECT_GT(dlg.list()->model().rowTotal(), 0);
    const int rows = dlg.list()->model().rowTotal();
    dlg.OnRefresh();
    EXPECT_EQ(dlg.list()->model().rowTotal(), rows);
    EXPECT_EQ(broker->requests().size(), before);
    EXPECT_FALSE(dlg.busy());
}

// A security download whose master has a new security ahead of all and has
// lost two: the market lot rows keep their securities for the derivative
// chain (the row whose security is gone goes), and a market depth report
// whose security is gone closes and says so.
TEST_F(ReportDialog, AReDownloadKeepsEveryRowOnItsSecurityAndClosesADepthWhoseSecurityIsGone)
{
    const auto before = SecurityTable::current();
    const int depthSecurity = findSecurity("NN", "EQ");
    CHistoryDepth depth(nullptr, 2, depthSecurity);
    depth.prepare();
    ASSERT_TRUE(pumpUntil([&] { return depth.replies() == 1; }, 20000));
    CHistoryDepth lots(nullptr, 4, 0);
    lots.prepare();
    ui::GridModel& rows = lots.list()->model();
    ASSERT_GE(rows.rowTotal(), 2);
    const int goneRow = rows.preorder().front();
    ASSERT_TRUE(rows.rowDataAs<int>(goneRow));
    const int goneSecurity = *rows.rowDataAs<int>(goneRow);
    std::map<int, std::pair<int, std::string>> held; // row id: token, exchange
    for (int id : rows.preorder())
        if (id != goneRow) {
            const SecurityRecord& r = before->row(*rows.rowDataAs<int>(id));
            held[id] = {r.token, std::string(r.market_exchange.view())};
        }

    SecurityRecord fresh;
    fresh.symbol.assign("AAAAFRESH");
    fresh.setDisplayKey("AAAAFRESH~EQ");
    fresh.market_exchange.assign("NN");
    fresh.token = 99001;
    fresh.wtoken = 2 * 99001 - 1;
    SecurityRows master;
    master.push_back(fresh);
    for (int i = 0; i < before->count(); ++i)
        if (i != depthSecurity && i != goneSecurity)
            master.push_back(before->row(i));
    auto after = std::make_shared<SecurityTable>();
    after->build(std::move(master), SecurityTable::Build::Full, false);
    SecurityTable::publish(after);
    SecurityReload::instance().notify(*before, *after);

    EXPECT_FALSE(rows.isRow(goneRow));
    EXPECT_EQ(static_cast<size_t>(rows.rowTotal()), held.size());
    for (const auto& [id, key] : held) {
        const int* index = rows.rowDataAs<int>(id);
        ASSERT_TRUE(index && after->valid(*index)) << rows.text(id, 0).toStdString();
        EXPECT_EQ(after->row(*index).token, key.first) << rows.text(id, 0).toStdString();
        EXPECT_EQ(after->row(*index).market_exchange.view(), key.second) << rows.text(id, 0).toStdString();
    }
    EXPECT_FALSE(lots.isFinished());
    EXPECT_TRUE(depth.isFinished());
    bool told = false;
    for (const auto& a : prompter.asks())
        told = told || a.text == "The security of this Market Depth report is no longer in the security file.";
    EXPECT_TRUE(told);
    SecurityTable::publish(before);
}

} // namespace
