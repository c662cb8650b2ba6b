// The order book against the test broker: the download into the store and
// the grid, confirmations from the feed, the dealer's client rule, closing
// during a download, and an order's way from the order form to traded.
#include "OrderFixture.h"
#include "testkit/contrast.h"
#include "testkit/figures.h"
#include "testkit/keep_look.h"

#include "server/FeedDispatcher.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"

#include "OrderMaster.h"
#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/OrderFormIds.h"
#include "orders/COrderViewEx.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderConfirmation.h"
#include "orders/OrderReportRequest.h"
#include "server/OrderSecurity.h"

#include "Lzo.h"
#include "RequestDecoder.h"

#include "app/base/AppSettings.h"
#include "ui/form_driver.h"
#include "ui/theme_manager.h"

#include <QApplication>
#include <QCheckBox>
#include <QTreeView>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace test_book {

namespace {

// Columns of the grid.
constexpr int kOrderNoCol = 3;
constexpr int kPriceCol = 7;
constexpr int kOpenQtyCol = 9;
constexpr int kStatusCol = 10;

// The program's consumer of feed confirmations, as the book needs it.
class BookConsumers final : public FeedConsumers {
public:
    void orderConfirmationPayload(const std::string& client, const std::string& payload) override
    {
        ApplyOrderConfirmation(client, payload);
    }
};

class NoIndexRows final : public IndexRows {
public:
    bool update(int, const std::function<void(IndexRecord&)>&, IndexRecord&) override { return false; }
};

class OrderBookTest : public ordertest::OrderFixture {
protected:
    void SetUp() override
    {
        OrderFixture::SetUp();
        CopyFixedText(pv_user_info.session_id, "SESS01");
        sec = findSecurity("NN", "EQ");
        ASSERT_GE(sec, 0);
        token = OrderSecurityAt(sec).token;
    }
    void TearDown() override
    {
        if (g_pOrderViewEx)
            delete g_pOrderViewEx;
        EXPECT_TRUE(WaitOrderReportDownloads(20000));
        pumpUntil([] { return false; }, 50);
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }

    // One report row: token, exchange, order number ... name, mark name.
    std::string row(int orderNo, char side, int qty, double price, int open, const std::string& status) const
    {
        char p[32];
        std::snprintf(p, sizeof p, "%.2f", price);
        return "101|CID01|" + std::to_string(token) + "|NN|" + std::to_string(orderNo) + "|EX" + std::to_string(orderNo)
            + "|" + (side == 'B' ? "Buy" : "Sell") + "|" + std::to_string(qty) + "|" + p + "|" + std::to_string(open)
            + "|09:15:00|" + status + "|0.00|0|3|ABC12|0|U1|SEC-EQ|Normal";
    }
    std::string threeOrders() const
    {
        return "600|0|OK|3~" + row(1001, 'B', 10, 1500.05, 10, "OPN") + "^" + row(1002, 'S', 10, 1510, 10, "OPN") + "^"
            + row(1003, 'B', 5, 0, 5, "OPN");
    }

    std::vector<tb::RecordedRequest> reportRequests() const
    {
        std::vector<tb::RecordedRequest> out;
        for (const tb::RecordedRequest& r : broker->requests())
            if (r.key() == "ReportData=600")
                out.push_back(r);
        return out;
    }
    bool waitLoaded(COrderViewEx* view, int rows)
    {
        return pumpUntil([&] { return !view->isBusy() && view->grid()->model().rowTotal() == rows; }, 20000);
    }
    bool waitIdleBook(COrderViewEx* view)
    {
        return pumpUntil([&] { return !view->isBusy(); }, 20000);
    }
    QString cell(COrderViewEx* view, int recordIndex, int column) const
    {
        return view->grid()->model().text(view->rowOfRecord(recordIndex), column);
    }
    int askCount(const std::string& text) const
    {
        int n = 0;
        for (const testkit::AskRecord& a : prompter.asks())
            n += a.text == text;
        return n;
    }

    int sec = -1;
    int token = 0;
};

TEST_F(OrderBookTest, AReplyOfThreeOrdersShowsThreeRows)
{
    broker->setReply("ReportData=600", threeOrders());
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitLoaded(view, 3));

    const auto sent = reportRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].decoded.text, "ReportData=600|CID01|U1|4|ABC12|0|1|0|0&AClient=N");
    EXPECT_EQ(view->windowTitle().toStdString(), "Order Report [All]");
    // The filter bar under the header says what an empty filter takes, as
    // the trade book's does; blank, it read as an empty first row.
    EXPECT_TRUE(view->grid()->filterBarVisible());
    EXPECT_EQ(view->grid()->filterBarEmptyText().toStdString(), "<ALL>");
    EXPECT_EQ(view->clientEdit()->text().toStdString(), "ABC12");
    EXPECT_TRUE(view->clientEdit()->isReadOnly());
    EXPECT_TRUE(barHas("Downloading Order Report for Client :ABC12"));
    EXPECT_TRUE(barHas("Order Report Downloaded Successfully for Client :ABC12, Total Orders :3"));
    EXPECT_EQ(StoredOrderCount(ActiveClientEntry()), 3);

    EXPECT_EQ(cell(view, 0, 0).toStdString(), "SEC~EQ");
    EXPECT_EQ(cell(view, 0, 1).toStdString(), "NSE");
    EXPECT_EQ(cell(view, 1, kOrderNoCol).toStdString(), "1002");
    EXPECT_EQ(cell(view, 0, kPriceCol).toStdString(), "1500.05");
    EXPECT_EQ(cell(view, 1, 5).toStdString(), "Sell");
    EXPECT_EQ(view->grid()->model().value(view->rowOfRecord(1), kOpenQtyCol).toInt(), 10);
    // Buy and sell rows differ in colour.
    EXPECT_NE(view->grid()->model().textColour(view->rowOfRecord(0), 0).bgr,
        view->grid()->model().textColour(view->rowOfRecord(1), 0).bgr);
    EXPECT_TRUE(view->refreshButton()->isEnabled());
    EXPECT_EQ(prompter.askCount(), 0u);
}

// A report of 3,000 orders through the window: every order has its row. A
// confirmation that comes while the rows are made reaches its row once they
// are in; a report that comes while the rows of the one before are made
// leaves only its own rows.
TEST_F(OrderBookTest, ALargeReportShowsEveryOrderAndAReportArrivingMidFillLeavesOnlyItsOwn)
{
    constexpr int kOrders = 3000;
    std::string large = "600|0|OK|" + std::to_string(kOrders) + "~";
    for (int i = 0; i < kOrders; ++i)
        large += (i ? "^" : "") + row(10000 + i, i % 2 ? 'S' : 'B', 10, 100, 10, "OPN");
    broker->setReply("ReportData=600", large);
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitLoaded(view, kOrders));
    EXPECT_TRUE(barHas("Order Report Downloaded Successfully for Client :ABC12, Total Orders :3000"));
    for (int i = 0; i < kOrders; ++i)
        ASSERT_EQ(cell(view, i, kOrderNoCol).toStdString(), std::to_string(10000 + i)) << i;
    EXPECT_EQ(cell(view, 1, 5).toStdString(), "Sell");

    // Again; a partial trade of order 10001 is taken as soon as the store
    // holds the report (the book is filling then, or has just filled).
    view->OnOrderRefresh();
    const std::string t = std::to_string(token);
    ASSERT_TRUE(pumpUntil(
        [&] { return ApplyOrderConfirmation("ABC12", "1|100|" + t + "|NN||ABC12|S|10001||4|10000|0||OPN|09:20:00|EX10001"); },
        20000));
    ASSERT_TRUE(waitLoaded(view, kOrders));
    EXPECT_EQ(cell(view, 1, kStatusCol).toStdString(), "OPF");
    EXPECT_EQ(view->grid()->model().value(view->rowOfRecord(1), kOpenQtyCol).toInt(), 6);

    // The large report stored again and, once its rows are being made, three orders.
    const std::string three = threeOrders();
    OrderReportOutcome first = ReadOrderReportReply(200, large, long(large.size()));
    OrderReportOutcome second = ReadOrderReportReply(200, three, long(three.size()));
    FillOrderReport(ActiveClientEntry(), 1, first.count, first.rows, nullptr, "ABC12");
    ASSERT_TRUE(pumpUntil([&] { return view->isBusy(); }, 20000));
    FillOrderReport(ActiveClientEntry(), 1, second.count, second.rows, nullptr, "ABC12");
    ASSERT_TRUE(waitLoaded(view, 3));
    EXPECT_TRUE(WaitOrderReportDownloads(20000)); // the older rows' worker has ended too
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(view->grid()->model().rowTotal(), 3);
    EXPECT_EQ(cell(view, 2, kOrderNoCol).toStdString(), "1003");
    EXPECT_EQ(view->rowOfRecord(3), -1);
}

TEST_F(OrderBookTest, ALiveRowReadsAsADownloadedOneInAGridThatFollowsTheTheme)
{
    broker->setReply("ReportData=600", "600|0|OK|1~" + row(1001, 'B', 10, 1500.05, 10, "OPN"));
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitLoaded(view, 1));
    CDlgOrderFormExp* form = open(1, sec, 'B', 1500.05);
    ASSERT_NE(form, nullptr);
    ui::FormDriver(*form).type(orderform::kQuantity, "10").type(orderform::kPrice, "1500.05").click(orderform::kOk);
    ASSERT_TRUE(waitIdle(form));
    ASSERT_TRUE(pumpUntil([&] { return view->grid()->model().rowTotal() == 2; }, 20000));
    // The new row's side and mark read as the downloaded row's do.
    constexpr int kBuySellCol = 5, kMarkCol = 12;
    EXPECT_EQ(cell(view, 1, kBuySellCol).toStdString(), "Buy");
    EXPECT_EQ(cell(view, 0, kBuySellCol).toStdString(), "Buy");
    EXPECT_EQ(cell(view, 1, kMarkCol).toStdString(), "Normal");
    // Every caption fits its column.
    for (int c = 0; c < COrderViewEx::kColumns; ++c)
        EXPECT_GE(view->grid()->columnWidth(c), view->headerWidthNeeded(c) + 12) << "column " << c;

    // A dark theme: a dark grid, light row texts, a selection that reads.
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    g_AppSettings.theme = 32835;
    ASSERT_TRUE(IsDarkTheme());
    ui::ThemeManager::apply(ThemeLookFor(32835));
    view->MyUpdate(2);
    auto* tree = view->grid()->findChild<QTreeView*>();
    ASSERT_NE(tree, nullptr);
    const QColor base = tree->palette().color(QPalette::Base);
    const QColor text = ui::toQColor(view->grid()->model().textColour(view->rowOfRecord(0), 0));
    const QColor highlight = tree->palette().color(QPalette::Active, QPalette::Highlight);
    const QColor selected = tree->palette().color(QPalette::Active, QPalette::HighlightedText);
    EXPECT_LT(base.lightness(), 100) << base.name().toStdString();
    EXPECT_GT(text.lightness() - base.lightness(), 80) << text.name().toStdString();
    EXPECT_GT(std::abs(selected.lightness() - highlight.lightness()), 100)
        << selected.name().toStdString() << " on " << highlight.name().toStdString();
}

// In every theme the book opens readable: its labels on the window, every
// row's cells, and each column at least as wide as its header's text.
TEST_F(OrderBookTest, EveryThemeReadsAndEveryHeaderFits)
{
    broker->setReply("ReportData=600", threeOrders());
    const testkit::KeepLook keep([theme = g_AppSettings.theme] { g_AppSettings.theme = theme; });
    for (const ThemeEntry& t : RibbonThemes()) {
        g_AppSettings.theme = t.id;
        ui::ThemeManager::apply(ThemeLookFor(t.id)); // the whole program takes it, as the frame does
        COrderViewEx* view = OpenOrderBook();
        ASSERT_NE(view, nullptr);
        view->show();
        ASSERT_TRUE(waitLoaded(view, 3));
        EXPECT_EQ(testkit::unreadableLabels(*view), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::unreadableGridCells(*view), std::vector<std::string>{}) << t.text;
        EXPECT_EQ(testkit::clippedHeaders(*view), std::vector<std::string>{}) << t.text;
        delete view;
    }
}

TEST_F(OrderBookTest, AConfirmationForOrderTwoUpdatesItsRow)
{
    broker->setReply("ReportData=600", threeOrders());
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitLoaded(view, 3));

    // Through the feed's dispatcher, as the program receives it.
    BookConsumers consumers;
    NoIndexRows indices;
    FeedDispatcher::Options options;
    options.inlineForTests = true;
    FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices, options);
    SetLoggedIn(true);
    auto feed = [&](const std::string& payload) {
        const std::string message = "130," + payload;
        dispatcher.Distribute_Feed(message.c_str(), static_cast<int>(message.size()));
        dispatcher.drain();
    };
    const std::string t = std::to_string(token);

    // A partial trade of 4 at 1505.00.
    feed("1|100|" + t + "|NN||ABC12|S|1002||4|150500|0||OPN|09:20:00|EX1002|TR1||||");
    ASSERT_TRUE(pumpUntil([&] { return cell(view, 1, kStatusCol) == "OPF"; }, 5000));
    EXPECT_EQ(view->grid()->model().value(view->rowOfRecord(1), kOpenQtyCol).toInt(), 6);
    // The order keeps its own price: the fill at 1505.00 belongs to the trade.
    EXPECT_EQ(cell(view, 1, kPriceCol).toStdString(), "1510.00");
    EXPECT_EQ(cell(view, 1, 11).toStdString(), "09:20:00");
    // The other rows are untouched.
    EXPECT_EQ(cell(view, 0, kStatusCol).toStdString(), "OPN");
    EXPECT_EQ(cell(view, 2, kStatusCol).toStdString(), "OPN");

    // Another client's confirmation does not reach a book that shows ABC12.
    feed("1|3|" + t + "|NN||XYZ99|S|1002||0|150500|0||CAN|09:21:00|EX1002|||||");
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(cell(view, 1, kStatusCol).toStdString(), "OPF");

    // The rest trades: traded.
    feed("1|100|" + t + "|NN||ABC12|S|1002||6|150500|0||OPN|09:22:00|EX1002|TR2||||");
    ASSERT_TRUE(pumpUntil([&] { return cell(view, 1, kStatusCol) == "TRAD"; }, 5000));
    EXPECT_EQ(view->grid()->model().value(view->rowOfRecord(1), kOpenQtyCol).toInt(), 0);
    dispatcher.stop();
}

TEST_F(OrderBookTest, ConfirmationsDuringADownloadAreNotApplied)
{
    broker->setReply("ReportData=600", threeOrders());
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitLoaded(view, 3));

    tb::HttpFault slow;
    slow.delayMs = 600;
    broker->armFault("/qtrade/qreport.exe", slow);
    view->OnOrderRefresh();
    ASSERT_TRUE(view->isBusy());
    const std::string t = std::to_string(token);
    EXPECT_FALSE(ApplyOrderConfirmation("ABC12", "1|100|" + t + "|NN||ABC12|S|1002||4|150500|0||OPN|09:20:00|EX1002"));
    ASSERT_TRUE(waitLoaded(view, 3));
    EXPECT_EQ(cell(view, 1, kStatusCol).toStdString(), "OPN");
    EXPECT_TRUE(ApplyOrderConfirmation("ABC12", "1|100|" + t + "|NN||ABC12|S|1002||4|150500|0||OPN|09:20:00|EX1002"));
    ASSERT_TRUE(pumpUntil([&] { return cell(view, 1, kStatusCol) == "OPF"; }, 5000));
}

TEST_F(OrderBookTest, DealerClientRule)
{
    pv_user_info.user_type = 'D';
    broker->setReply("ReportData=600", "600|0|OK|0");
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitIdleBook(view));
    // An empty edit asks for every client of the dealer's session.
    auto sent = reportRequests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].decoded.text, "ReportData=600|SESS01|U1|4||1|0|0|0&AClient=N");
    EXPECT_FALSE(view->clientEdit()->isReadOnly());
    EXPECT_EQ(view->shownClient(), "");
    EXPECT_TRUE(barHas("Downloading Order Report for Dealer :CID01"));

    int boxes = 0;
    for (const char* bad : {"AB12", "ABC123", "AB-12", "A B12"}) {
        view->clientEdit()->setText(QString::fromLatin1(bad));
        view->refreshButton()->click();
        EXPECT_EQ(askCount("Please enter Valid Client"), ++boxes) << bad;
        EXPECT_FALSE(view->isBusy()) << bad;
        EXPECT_TRUE(view->refreshButton()->isEnabled()) << bad;
    }
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(reportRequests().size(), 1u);

    view->clientEdit()->setText(QStringLiteral(" XYZ12 "));
    view->refreshButton()->click();
    ASSERT_TRUE(waitIdleBook(view));
    sent = reportRequests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].decoded.text, "ReportData=600|SESS01|U1|4|XYZ12|0|1|0|0&AClient=N");
    EXPECT_EQ(view->shownClient(), "XYZ12");
}

TEST_F(OrderBookTest, ServerErrorsEndIdleWithAnEmptyGrid)
{
    struct Case {
        std::string reply;
        std::string box; // empty: no box
        std::string bar; // empty: nothing expected on the bar
    };
    const Case cases[] = {
        {"600|0|OK|0", "", ""},
        {"600|1205|Session is busy|0", "", "Session is busy"},
        {"600|7|No orders today|0", "No orders today", ""},
        {"600|0", "No response received from server", ""},
    };
    broker->setReply("ReportData=600", threeOrders(), 1);
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitLoaded(view, 3));
    for (const Case& c : cases) {
        const size_t asked = prompter.askCount();
        broker->setReply("ReportData=600", c.reply, 1);
        view->previousOrdersBox()->setChecked(true);
        view->OnOrderRefresh();
        ASSERT_TRUE(waitLoaded(view, 0)) << c.reply;
        EXPECT_FALSE(view->previousOrdersBox()->isChecked()) << c.reply;
        if (c.box.empty()) {
            EXPECT_EQ(prompter.askCount(), asked) << c.reply;
        } else {
            EXPECT_EQ(askCount(c.box), 1) << c.reply;
        }
        if (!c.bar.empty()) {
            EXPECT_TRUE(barHas(c.bar)) << c.reply;
        }
    }
    // The "previous orders" tick went with the request that carried it.
    const auto sent = reportRequests();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_NE(sent.back().decoded.text.find("|0|1|2|0&AClient=N"), std::string::npos) << sent.back().decoded.text;
}

TEST_F(OrderBookTest, ClosingDuringADelayedDownloadIsSafe)
{
    broker->setReply("ReportData=600", threeOrders());
    tb::HttpFault slow;
    slow.delayMs = 500;
    broker->armFault("/qtrade/qreport.exe", slow);
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isBusy());
    view->close();
    pumpUntil([] { return g_pOrderViewEx == nullptr; }, 1000);
    EXPECT_EQ(g_pOrderViewEx, nullptr);
    ASSERT_TRUE(broker->waitForKey("ReportData=600", 5000));
    ASSERT_TRUE(WaitOrderReportDownloads(20000));
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(StoredOrderCount(ActiveClientEntry()), 0);
    EXPECT_FALSE(barHas("Order Report Downloaded Successfully"));
    EXPECT_EQ(prompter.askCount(), 0u);

    // A book opened again downloads anew.
    COrderViewEx* again = OpenOrderBook();
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(waitLoaded(again, 3));
}

TEST_F(OrderBookTest, SecurityFilterAndCompressedReportFromTheOrderDesk)
{
    // Three orders accepted by the broker's desk, two on our security.
    const int other = sec + 1;
    ASSERT_GT(OrderSecurityAt(other).token, 0);
    auto place = [&](int security, const char* qty) {
        const OrderSecurity s = OrderSecurityAt(security);
        const std::string text = "NoOfOrders=1&OrderData1=101|CID01|N|00:00:00:00|" + std::to_string(s.token) + "|"
            + s.exchange + "|B|" + qty + "|150005.00|U1|ABC12|ABC12|00-00-0000|0|0.00|0|GFD|C|3|N";
        ASSERT_NE(broker->orderDesk().reply(tb::splitRequest(text), "U1").find("|0|"), std::string::npos);
    };
    place(sec, "10");
    place(other, "20");
    place(sec, "30");
    broker->setLoginField(25, "1");
    g_Session.compressed_replies = 1;

    g_nPendingSecIndex = sec;
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(g_nPendingSecIndex.load(), -1);
    EXPECT_EQ(view->windowTitle().toStdString(), "Order Report [Filtered]");
    ASSERT_TRUE(waitLoaded(view, 2));
    EXPECT_EQ(StoredOrderCount(ActiveClientEntry()), 3);
    EXPECT_EQ(cell(view, 2, 6).toInt(), 30);

    // F3's reset shows every order again.
    view->ResetSecIndex();
    ASSERT_TRUE(waitLoaded(view, 3));
    EXPECT_EQ(view->windowTitle().toStdString(), "Order Report [All]");

    // Opening the open book for a security (the order form's Shift+F3) filters it again.
    EXPECT_EQ(OpenOrderBookFor(sec), view);
    ASSERT_TRUE(waitLoaded(view, 2));
    EXPECT_EQ(view->securityFilter(), sec);
    EXPECT_EQ(g_nPendingSecIndex.load(), -1);
    g_Session.compressed_replies = 0;
}

// Every price and trigger with its instrument's decimals: four for a
// currency, two otherwise, whatever the broker's text carries.
TEST_F(OrderBookTest, EveryFigureHasItsInstrumentsDecimals)
{
    const int cn = findSecurity("CN", "FC"), mc = findSecurity("MC", "CF");
    ASSERT_GE(cn, 0);
    ASSERT_GE(mc, 0);
    auto other = [](int index, const std::string& exch, int orderNo, const std::string& price,
                    const std::string& trigger) {
        return "101|CID01|" + std::to_string(OrderSecurityAt(index).token) + "|" + exch + "|" + std::to_string(orderNo)
            + "|EX" + std::to_string(orderNo) + "|Buy|1|" + price + "|1|09:15:00|OPN|" + trigger
            + "|0|3|ABC12|0|U1|SEC|Normal";
    };
    broker->setReply("ReportData=600", "600|0|OK|4~" + row(1001, 'B', 10, 1500.05, 10, "OPN") + "^"
                                           + other(cn, "CN", 1002, "83.1234", "83.1") + "^"
                                           + other(mc, "MC", 1003, "61234.5", "0") + "^"
                                           + other(sec, "NN", 1004, "-0.001", "822.5"));
    COrderViewEx* view = OpenOrderBook();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(waitLoaded(view, 4));
    EXPECT_EQ(testkit::wrongDecimals(*view->grid()), std::vector<std::string>{});
    EXPECT_EQ(cell(view, 1, kPriceCol).toStdString(), "83.1234");
    EXPECT_EQ(cell(view, 1, kPriceCol + 1).toStdString(), "83.1000");
    EXPECT_EQ(cell(view, 2, kPriceCol).toStdString(), "61234.50");
    EXPECT_EQ(cell(view, 3, kPriceCol + 1).toStdString(), "822.50");
}

TEST_F(OrderBookTest, OpenerRefusals)
{
    SetTerminalLocked(true);
    EXPECT_EQ(OpenOrderBook(), nullptr);
    EXPECT_EQ(askCount("Terminal is Locked. Pls Unlock to View Orders."), 1);
    SetTerminalLocked(false);

    g_Session.clients[0].active = 0;
    EXPECT_EQ(OpenOrderBookFor(sec), nullptr);
    EXPECT_EQ(askCount("Activate Client for Order Report"), 1);
    EXPECT_EQ(g_nPendingSecIndex.load(), -1);
    EXPECT_EQ(g_pOrderViewEx, nullptr);
    EXPECT_TRUE(reportRequests().empty());
}

} // namespace

} // namespace test_book
