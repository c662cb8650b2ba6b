// The trade book: reading report 610 (codes, formats, records outside the
// format), and the window against the test broker (grouping, the filter and
// the summary, the previous trades the broker keeps).
#include "OrderFixture.h"
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "testkit/keep_look.h"

#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/base/FixedText.h"
#include "app/base/AppSettings.h"
#include "app/base/SessionRecord.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/CTradeView.h"
#include "server/OrderSecurity.h"
#include "orders/TradeReport.h"
#include "ui/grid_model.h"
#include "watch/AppWindowCommands.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QApplication>
#include <QLineEdit>
#include <QTreeView>

#include "ui/theme_manager.h"

#include <gtest/gtest.h>

namespace {

int noSecurity(int, const std::string&) { return -1; }

std::string tradeRow(int orderNo, int tradeNo, int token, const std::string& exch, char side, int qty,
                     const std::string& price, const std::string& name = "SEC-EQ")
{
    return "611|CID01|" + std::to_string(token) + "|" + exch + "|" + std::to_string(orderNo) + "|"
        + std::to_string(tradeNo) + "|X" + std::to_string(tradeNo) + "|" + (side == 'B' ? "Buy" : "Sell") + "|"
        + std::to_string(qty) + "|" + price + "|10-Dec-2026 09:15:00|0|ABC12|||" + name + "|Normal";
}

TEST(TradeReportReply, CodesFormatsAndRecordsOutsideTheFormat)
{
    TradeReportOutcome o = ReadTradeReportReply(200, "611|1205|No trades|0", "ABC12", &noSecurity);
    EXPECT_EQ(o.kind, TradeReportOutcome::Silent);
    EXPECT_TRUE(o.trades.empty());
    o = ReadTradeReportReply(200, "611|7|Session expired|0", "ABC12", &noSecurity);
    EXPECT_EQ(o.kind, TradeReportOutcome::ErrorBox);
    EXPECT_EQ(o.text, "Session expired");
    EXPECT_EQ(ReadTradeReportReply(407, "", "ABC12", &noSecurity).text, "Proxy Authentication Failed");
    EXPECT_EQ(ReadTradeReportReply(500, "", "ABC12", &noSecurity).text,
              "Internet Connectivity Error [500]. Pls contact System Administrator");
    EXPECT_EQ(ReadTradeReportReply(200, "", "ABC12", &noSecurity).text, "Server Error. Please Try Again...");

    o = ReadTradeReportReply(200,
                             "611|0|OK|2~" + tradeRow(11, 21, 5, "CN", 'B', 2, "83.1234", "USDINR-FC-26DEC2026") + "^"
                                 + tradeRow(12, 22, 6, "MC", 'S', 1, "61234.5"),
                             "ABC12", &noSecurity);
    ASSERT_EQ(o.kind, TradeReportOutcome::Load);
    ASSERT_EQ(o.trades.size(), 2u);
    EXPECT_EQ(TradePriceText(o.trades[0]), "83.1234");
    // Neither security is in the master: their exchanges decide, and "MC"
    // (MCX-CM) is one of the currency segments.
    EXPECT_EQ(TradePriceText(o.trades[1]), "61234.5000");
    EXPECT_EQ(o.trades[0].security, "USDINR~FC~26DEC2026");
    EXPECT_EQ(o.trades[1].side, 'S');
    EXPECT_DOUBLE_EQ(o.trades[1].trade_no, 22);
    EXPECT_EQ(o.trades[1].exch_trade_no, "X22");
    EXPECT_EQ(o.trades[1].row, 1);
    EXPECT_EQ(o.text, "Trade Report Downloaded Successfully for Client :ABC12, Total Trades :2");

    // A record over 511 characters, one with a field over 127, and rows
    // beyond the count + 10 are left out; a short record reads empty fields.
    std::string reply = "611|0|OK|1~" + tradeRow(1, 1, 5, "NN", 'B', 1, "1.00") + "^"
        + tradeRow(2, 2, 5, "NN", 'B', 1, "1.00", std::string(200, 'A')) + "^" + std::string(600, 'x') + "^611|0|5";
    for (int i = 0; i < 20; ++i)
        reply += "^" + tradeRow(100 + i, 100 + i, 5, "NN", 'B', 1, "1.00");
    o = ReadTradeReportReply(200, reply, "ABC12", &noSecurity);
    EXPECT_EQ(o.trades.size(), 9u); // 11 kept rows, two of them refused
    EXPECT_EQ(o.trades[1].token, 5);
    EXPECT_TRUE(o.trades[1].security.empty());
    EXPECT_EQ(BuildTradeReportRequest({"CID01", "U1", "ABC12", true}),
              "ReportData=610|CID01|U1|4|ABC12|0|1|2|0&AClient=N");
}

class TradeBookTest : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        CopyFixedText(pv_user_info.session_id, "SESS01");
        nse = findSecurity("NN", "EQ");
        ASSERT_GE(nse, 0);
        other = -1;
        for (int i = nse + 1; other < 0; ++i)
            if (OrderSecurityAt(i).exchange == "NN" && OrderSecurityAt(i).series == "EQ")
                other = i;
    }
    void TearDown() override
    {
        if (g_pTradeView)
            delete g_pTradeView;
        EXPECT_TRUE(WaitTradeReportDownloads(20000));
        pumpUntil([] { return false; }, 50);
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    bool waitIdle(CTradeView* view)
    {
        return pumpUntil([&] { return !view->isBusy(); }, 20000);
    }
    int leafRows(CTradeView* view) const
    {
        int n = 0;
        for (int id : view->grid()->shownRows())
            n += !view->grid()->model().isGroup(id) && !view->grid()->model().isAutoGroup(id);
        return n;
    }
    int nse = -1;
    int other = -1;
};

TEST_F(TradeBookTest, TradesGroupBySecurityAndOrderAndTheFilterKeepsOthersOut)
{
    const int t1 = OrderSecurityAt(nse).token, t2 = OrderSecurityAt(other).token;
    broker->setReply("ReportData=610",
                     "611|0|OK|3~" + tradeRow(11, 21, t1, "NN", 'B', 10, "100.00") + "^"
                         + tradeRow(11, 22, t1, "NN", 'B', 20, "130.00") + "^"
                         + tradeRow(12, 23, t2, "NN", 'S', 5, "50.00", "OTHER-EQ"));
    CTradeView* view = OpenTradeBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitIdle(view));
    EXPECT_EQ(view->trades().size(), 3u);
    EXPECT_EQ(leafRows(view), 3);
    EXPECT_EQ(view->grid()->groupColumns(), (std::vector<int>{0, 3}));
    EXPECT_TRUE(barHas("Trade Report Downloaded Successfully for Client :ABC12, Total Trades :3"));
    bool sent = false;
    for (const tb::RecordedRequest& r : broker->requests())
        sent |= r.decoded.text == "ReportData=610|CID01|U1|4|ABC12|0|1|0|0&AClient=N";
    EXPECT_TRUE(sent);

    // The filter of the first security: the other's trade is neither shown nor summed.
    ASSERT_EQ(OpenTradeBook(nse), view);
    ASSERT_TRUE(waitIdle(view));
    EXPECT_EQ(view->windowTitle().toStdString(), "Trade Report [Filtered]");
    EXPECT_EQ(leafRows(view), 2);
    view->OnTradeSummary();
    const auto asks = prompter.asks();
    ASSERT_FALSE(asks.empty());
    EXPECT_EQ(asks.back().caption, "Trade Summary");
    EXPECT_NE(asks.back().text.find("3600.00"), std::string::npos) << asks.back().text;
    EXPECT_NE(asks.back().text.find("Sell Qty :             0"), std::string::npos) << asks.back().text;

    // F8: all securities again.
    QKeyEvent f8(QEvent::KeyPress, Qt::Key_F8, Qt::NoModifier);
    QApplication::sendEvent(view->grid()->tree(), &f8);
    ASSERT_TRUE(waitIdle(view));
    EXPECT_EQ(view->securityFilter(), -1);
    EXPECT_EQ(leafRows(view), 3);
}

// In every theme the book opens readable: its labels, its group and trade
// rows, and each column at least as wide as its header's text.
TEST_F(TradeBookTest, EveryThemeReadsAndEveryHeaderFits)
{
    const int t1 = OrderSecurityAt(nse).token, t2 = OrderSecurityAt(other).token;
    broker->setReply("ReportData=610", "611|0|OK|2~" + tradeRow(11, 21, t1, "NN", 'B', 10, "100.00") + "^"
                                           + tradeRow(12, 23, t2, "NN", 'S', 5, "50.00", "OTHER-EQ"));
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id)); // the whole program takes it, as the frame does
        CTradeView* view = OpenTradeBook();
        ASSERT_NE(view, nullptr);
        view->show();
        ASSERT_TRUE(waitIdle(view));
        ASSERT_EQ(leafRows(view), 2);
        EXPECT_EQ(testkit::unreadableLabels(*view), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::unreadableGridCells(*view), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::clippedHeaders(*view), std::vector<std::string>{}) << t.text;
        // The filter bar's "<ALL>" reads on its edits too.
        int placeholders = 0;
        for (QLineEdit* edit : view->findChildren<QLineEdit*>()) {
            if (edit->placeholderText().isEmpty() || !edit->isVisibleTo(view))
                continue;
            ++placeholders;
            const QPalette& p = edit->palette();
            EXPECT_GE(testkit::contrastRatio(p.color(QPalette::PlaceholderText), p.color(QPalette::Base)),
                      testkit::kMinContrast)
                << t.text << ": " << p.color(QPalette::PlaceholderText).name().toStdString() << " on "
                << p.color(QPalette::Base).name().toStdString();
        }
        EXPECT_GT(placeholders, 0) << t.text;
        delete view;
        EXPECT_TRUE(WaitTradeReportDownloads(20000));
    }
}

// Every trade price with its instrument's decimals, and the summary's
// averages four decimals once a currency trade is among them.
TEST_F(TradeBookTest, EveryFigureHasItsInstrumentsDecimals)
{
    const int cn = findSecurity("CN", "FC"), cb = findSecurity("CB", "FC"), mc = findSecurity("MC", "CF");
    ASSERT_GE(cn, 0);
    ASSERT_GE(cb, 0);
    ASSERT_GE(mc, 0);
    broker->setReply("ReportData=610",
                     "611|0|OK|5~" + tradeRow(11, 21, OrderSecurityAt(nse).token, "NN", 'B', 10, "822.5") + "^"
                         + tradeRow(12, 22, OrderSecurityAt(cn).token, "CN", 'B', 2, "83.1234", "USDINR-FC") + "^"
                         + tradeRow(13, 23, OrderSecurityAt(mc).token, "MC", 'S', 1, "61234.5", "GOLD-CF") + "^"
                         + tradeRow(14, 24, OrderSecurityAt(other).token, "NN", 'S', 3, "100") + "^"
                         + tradeRow(15, 25, OrderSecurityAt(cb).token, "CB", 'B', 1, "88.4575", "USDINR-FC"));
    CTradeView* view = OpenTradeBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitIdle(view));
    ASSERT_EQ(leafRows(view), 5);
    EXPECT_EQ(testkit::wrongDecimals(*view->grid()), std::vector<std::string>{});
    // The BSE-CDX trade keeps its four decimals, GOLD (MCX) has two.
    bool sawCdx = false, sawGold = false;
    const ui::GridModel& m = view->grid()->model();
    for (int id : m.preorder())
        for (int c = 0; c < m.columnCount(); ++c) {
            sawCdx = sawCdx || m.text(id, c) == QStringLiteral("88.4575");
            sawGold = sawGold || m.text(id, c) == QStringLiteral("61234.50");
        }
    EXPECT_TRUE(sawCdx);
    EXPECT_TRUE(sawGold);
    view->OnTradeSummary();
    ASSERT_FALSE(prompter.asks().empty());
    const std::string text = prompter.asks().back().text;
    // Values in rupees with two decimals, averages with four (a currency row counted).
    const QRegularExpression value(QStringLiteral("Buy Value :\\s+\\d+\\.\\d{2}\\s+Sell Value :\\s+\\d+\\.\\d{2}\\n")),
        avg(QStringLiteral("Buy Avg :\\s+\\d+\\.\\d{4}\\s+Sell Avg :\\s+\\d+\\.\\d{4}\\n"));
    EXPECT_TRUE(value.match(QString::fromStdString(text)).hasMatch()) << text;
    EXPECT_TRUE(avg.match(QString::fromStdString(text)).hasMatch()) << text;
}

// The trade summary counts each trade with its own contract: 10 shares
// bought at 100.00 and 1 lot of GOLD (100 units priced per 10) at 128450
// are 10 + 10 priced units worth 1000 + 1284500, an average of 64275.00.
TEST_F(TradeBookTest, TheSummaryCountsEachTradeWithItsOwnContract)
{
    int gold = -1;
    for (int i = findSecurity("MC", "CF"); i >= 0 && gold < 0 && OrderSecurityAt(i).valid(); ++i)
        if (OrderSecurityAt(i).symbol == "GOLD" && OrderSecurityAt(i).series == "CF")
            gold = i;
    ASSERT_GE(gold, 0);
    ASSERT_EQ(OrderSecurityAt(gold).marketLot, 1);
    ASSERT_EQ(OrderSecurityAt(gold).lotUnits, 100);
    ASSERT_EQ(OrderSecurityAt(gold).denominator, 10);
    broker->setReply("ReportData=610",
                     "611|0|OK|2~" + tradeRow(11, 21, OrderSecurityAt(nse).token, "NN", 'B', 10, "100.00") + "^"
                         + tradeRow(12, 22, OrderSecurityAt(gold).token, "MC", 'B', 1, "128450", "GOLD-CF"));
    CTradeView* view = OpenTradeBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitIdle(view));
    ASSERT_EQ(leafRows(view), 2);
    view->OnTradeSummary();
    ASSERT_FALSE(prompter.asks().empty());
    const std::string text = prompter.asks().back().text;
    EXPECT_NE(text.find("Buy Value : 1285500.00"), std::string::npos) << text;
    EXPECT_NE(text.find("Buy Avg :   64275.00"), std::string::npos) << text;
}

// A day's report of 4,000 trades through the window: every trade shows under
// its security and order with the counts and the summary's sums; a reply that
// arrives while the rows of the one before are still being made leaves only
// its own rows.
TEST_F(TradeBookTest, ALargeReplyShowsEveryTradeAndOneArrivingMidFillLeavesOnlyItsOwn)
{
    const int t1 = OrderSecurityAt(nse).token, t2 = OrderSecurityAt(other).token;
    // 1,000 orders of 4 trades (quantities 1, 2, 3 and 4 at 10.00): the even
    // orders buy AAA, the odd ones sell BBB.
    std::string large = "611|0|OK|4000~";
    for (int i = 0; i < 4000; ++i) {
        const int order = 5000 + i / 4;
        const bool buy = order % 2 == 0;
        large += (i ? "^" : "")
            + tradeRow(order, 100000 + i, buy ? t1 : t2, "NN", buy ? 'B' : 'S', 1 + i % 4, "10.00",
                       buy ? "AAA-EQ" : "BBB-EQ");
    }
    broker->setReply("ReportData=610", large);
    CTradeView* view = OpenTradeBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitIdle(view));
    EXPECT_EQ(leafRows(view), 4000);
    const ui::GridModel& m = view->grid()->model();
    const std::vector<int>& securities = m.childrenOf(ui::GridModel::kRoot);
    ASSERT_EQ(securities.size(), 2u);
    for (int group : securities) {
        EXPECT_EQ(m.groupCount(group), 2000);
        ASSERT_EQ(m.childrenOf(group).size(), 500u);
        for (int order : m.childrenOf(group))
            EXPECT_EQ(m.groupCount(order), 4);
    }
    EXPECT_EQ(view->grid()->groupCaption(securities[0]).toStdString(), "Security: AAA~EQ (2000)");
    // A thousand groups open in slices; the book is idle only once all are open.
    int closed = 0;
    for (int group : securities) {
        closed += view->grid()->isGroupExpanded(group) ? 0 : 1;
        for (int order : m.childrenOf(group))
            closed += view->grid()->isGroupExpanded(order) ? 0 : 1;
    }
    EXPECT_EQ(closed, 0);
    view->OnTradeSummary();
    ASSERT_FALSE(prompter.asks().empty());
    std::string text = prompter.asks().back().text;
    EXPECT_NE(text.find("Buy Qty :          5000"), std::string::npos) << text;
    EXPECT_NE(text.find("Sell Qty :          5000"), std::string::npos) << text;
    EXPECT_NE(text.find("Buy Value :   50000.00"), std::string::npos) << text;

    // The large reply again, then a reply of three trades before its rows are in.
    view->takeResult(ReadTradeReportReply(200, large, "ABC12", &OrderSearchToken));
    ASSERT_TRUE(view->isBusy());
    view->takeResult(ReadTradeReportReply(200,
                                          "611|0|OK|3~" + tradeRow(11, 21, t1, "NN", 'B', 10, "100.00") + "^"
                                              + tradeRow(11, 22, t1, "NN", 'B', 20, "130.00") + "^"
                                              + tradeRow(12, 23, t2, "NN", 'S', 5, "50.00", "OTHER-EQ"),
                                          "ABC12", &OrderSearchToken));
    ASSERT_TRUE(waitIdle(view));
    EXPECT_EQ(view->trades().size(), 3u);
    EXPECT_EQ(leafRows(view), 3);
    EXPECT_TRUE(WaitTradeReportDownloads(20000)); // the older rows' worker has ended too
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(leafRows(view), 3);
    EXPECT_EQ(m.childrenOf(ui::GridModel::kRoot).size(), 2u);
    view->OnTradeSummary();
    text = prompter.asks().back().text;
    EXPECT_NE(text.find("Buy Qty :            30"), std::string::npos) << text;
    EXPECT_NE(text.find("Sell Qty :             5"), std::string::npos) << text;
}

TEST_F(TradeBookTest, A1205ShowsNoBoxAndTheBrokerKeepsPreviousTrades)
{
    broker->setReply("ReportData=610", "611|1205|No trades today|0", 1);
    CTradeView* view = OpenTradeBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitIdle(view));
    EXPECT_EQ(prompter.askCount(), 0u);
    EXPECT_EQ(leafRows(view), 0);

    // The broker's own report: the fixture's previous trades.
    view->previousTradesBox()->setChecked(true);
    view->OnTradeRefresh();
    ASSERT_TRUE(waitIdle(view));
    EXPECT_EQ(view->trades().size(), 2u);
    EXPECT_FALSE(view->previousTradesBox()->isChecked());
    EXPECT_EQ(prompter.askCount(), 0u);
}

TEST_F(TradeBookTest, EveryOpenerIsRefusedWithoutTheViewRights)
{
    auto& rights = AppWindowCommands::services().viewRights;
    const auto saved = rights;
    rights = [] { return false; };
    // The command's path and the filtered opening (order form, market watch) alike.
    EXPECT_EQ(OpenTradeBook(), nullptr);
    EXPECT_EQ(OpenTradeBook(nse), nullptr);
    EXPECT_EQ(g_pTradeView, nullptr);
    int refusals = 0;
    for (const testkit::AskRecord& a : prompter.asks())
        refusals += a.text == "You don't have access to view Trade Report";
    EXPECT_EQ(refusals, 2);
    for (const tb::RecordedRequest& r : broker->requests())
        EXPECT_NE(r.decoded.text.rfind("ReportData=610", 0), 0u);

    // With the rights an open book is refused too once they are withdrawn.
    rights = [] { return true; };
    CTradeView* view = OpenTradeBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitIdle(view));
    rights = [] { return false; };
    EXPECT_EQ(OpenTradeBook(nse), nullptr);
    EXPECT_EQ(view->securityFilter(), -1);
    rights = saved;
}

} // namespace
