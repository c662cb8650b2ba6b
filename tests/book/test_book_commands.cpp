// The order book's commands: the menu by status, the DDS rule of the keys,
// the summary, a filtered CSV, and Basket Cancel's refusals and legs.
#include "OrderFixture.h"

#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderViewEx.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderBookCommands.h"
#include "orders/OrderBookRules.h"
#include "orders/OrderBookToolBar.h"
#include "server/OrderSecurity.h"
#include "frame/PositionServices.h"

#include "ui/grid_ranges.h"
#include "ui/prompter.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QTreeView>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace test_book_commands {

namespace {

OrderInfo order(const char* status, int mark = 3, char side = 'B', int qty = 10, double price = 100,
                const char* client = "ABC12", const char* exch = "NN")
{
    OrderInfo rec;
    CopyFixedText(rec.status, status);
    CopyFixedText(rec.buy_sell, side == 'B' ? "Buy" : "Sell");
    CopyFixedText(rec.client_code, client);
    CopyFixedText(rec.exchange, exch);
    rec.order_mark = mark;
    rec.total_qty = qty;
    rec.open_qty = qty;
    rec.price = price;
    return rec;
}

TEST(OrderBookRules, TheMenuFollowsTheStatusAndTheDdsMark)
{
    struct Case {
        const char* status;
        int mark;
        bool modifyCancelShown, modifyAllowed, placeShown;
    };
    const Case cases[] = {
        {"TRAD", 3, false, false, true}, {"CAN", 3, false, false, true},  {"NEWF", 3, true, false, false},
        {"OPN", 3, true, true, false},   {"SLO", 3, true, true, false},   {"OPN", kDdsOrderMark, true, false, true},
        {"XXXX", 3, true, false, true},
    };
    for (const Case& c : cases) {
        const OrderMenuState s = OrderMenuStateFor(order(c.status, c.mark));
        EXPECT_EQ(s.hasModifyCancel(), c.modifyCancelShown) << c.status << " " << c.mark;
        EXPECT_EQ(s.modifyAllowed, c.modifyAllowed) << c.status << " " << c.mark;
        EXPECT_EQ(s.hasPlaceOrder(), c.placeShown) << c.status << " " << c.mark;
        EXPECT_TRUE(s.historyAllowed);
    }
}

TEST(OrderBookRules, TheSummaryTotalsAveragesAndLotPricedRows)
{
    OrderSecurity nse;
    nse.index = 1;
    nse.exchange = "NN";
    OrderSummary s = SummariseOrders({{order("OPN", 3, 'B', 10, 100.00), nse}, {order("TRAD", 3, 'B', 20, 130.00), nse}});
    EXPECT_EQ(s.buyQty, 30);
    EXPECT_DOUBLE_EQ(s.buyValue, 3600.0);
    EXPECT_DOUBLE_EQ(s.buyAvg, 120.0);
    const std::string text = OrderSummaryText(s);
    EXPECT_NE(text.find("Buy Qty :            30"), std::string::npos) << text;
    EXPECT_NE(text.find("Buy Value :    3600.00"), std::string::npos) << text;
    EXPECT_NE(text.find("Buy Avg :     120.00"), std::string::npos) << text;
    EXPECT_NE(text.find("Sell Avg :       0.00"), std::string::npos) << text;
    EXPECT_EQ(text.find("-0.00"), std::string::npos);

    // A lot-priced commodity: value p * q*L*M/D; a row of denominator 0
    // counts its quantity only; the average is the value over the priced
    // units of the rows that have them: 600 / (1 x 10 x 1 / 1) = 60.
    OrderSecurity mcx;
    mcx.index = 2;
    mcx.exchange = "MC";
    mcx.commodity = 1;
    mcx.marketLot = 10;
    mcx.lotUnits = 1;
    mcx.denominator = 1;
    OrderSecurity broken = mcx;
    broken.denominator = 0;
    s = SummariseOrders({{order("OPN", 3, 'S', 2, 50, "ABC12", "MC"), broken},
                         {order("OPN", 3, 'S', 1, 60, "ABC12", "MC"), mcx}});
    EXPECT_EQ(s.sellQty, 3);
    EXPECT_DOUBLE_EQ(s.sellValue, 600.0);
    EXPECT_DOUBLE_EQ(s.sellAvg, 60.0);
    s = SummariseOrders({{order("OPN", 3, 'S', 1, 60, "ABC12", "MC"), broken}});
    EXPECT_DOUBLE_EQ(s.sellAvg, 0.0);

    // A currency row: quantity in units, four-decimal averages.
    OrderSecurity fx;
    fx.index = 3;
    fx.exchange = "CN";
    fx.currency = 1;
    fx.lotUnits = 1000;
    s = SummariseOrders({{order("OPN", 3, 'B', 2, 83.1234, "ABC12", "CN"), fx}});
    EXPECT_EQ(s.buyQty, 2000);
    EXPECT_NE(OrderSummaryText(s).find("83.1234"), std::string::npos);

    // Each row with its own contract, whatever the last row is: 10 shares
    // at 100.00 and 1 lot of GOLD (100 units priced per 10) at 128450 are
    // 10 + 10 priced units worth 1000 + 1284500: the average 64275.00.
    OrderSecurity gold = mcx;
    gold.marketLot = 1;
    gold.lotUnits = 100;
    gold.denominator = 10;
    s = SummariseOrders({{order("OPN", 3, 'B', 10, 100.00), nse}, {order("OPN", 3, 'B', 1, 128450, "ABC12", "MC"), gold}});
    EXPECT_EQ(s.buyQty, 11);
    EXPECT_DOUBLE_EQ(s.buyValue, 1285500.0);
    EXPECT_DOUBLE_EQ(s.buyAvg, 64275.0);
    s = SummariseOrders({{order("OPN", 3, 'B', 1, 128450, "ABC12", "MC"), gold}, {order("OPN", 3, 'B', 10, 100.00), nse}});
    EXPECT_DOUBLE_EQ(s.buyAvg, 64275.0);
}

TEST(OrderBookRules, BasketCancelTakesOpenOrdersOfOneClient)
{
    EXPECT_EQ(PickBasketCancel({}, 0).error, "Please select at least one open order for Cancellation.");
    std::vector<OrderInfo> six(6, order("OPN"));
    EXPECT_EQ(PickBasketCancel(six, 6).error, "You can select max of 5 orders only.");

    const BasketCancelPick two = PickBasketCancel({order("OPN"), order("OPN", 3, 'S', 5, 10, "XYZ99")}, 2);
    EXPECT_EQ(two.error, "You cannot Cancel orders for multiple clients.");
    EXPECT_TRUE(two.destroyForm);
    EXPECT_TRUE(two.legs.empty());

    // Finished, DDS and stop-loss orders of marks 5 and 8 are left out; a
    // finished order of another client does not count as a second client.
    const BasketCancelPick pick = PickBasketCancel(
        {order("SLO", 5), order("TRAD", 3, 'B', 1, 1, "XYZ99"), order("OPN", kDdsOrderMark), order("SLO", 8),
         order("OPN", 3, 'S', 7), order("SLO", 3, 'B', 4)},
        5);
    EXPECT_TRUE(pick.error.empty());
    EXPECT_EQ(pick.client, "ABC12");
    ASSERT_EQ(pick.legs.size(), 2u);
    EXPECT_EQ(pick.legs[0].total_qty, 7);
    EXPECT_EQ(FixedTextView(pick.legs[1].status), "SLO");
}

TEST(OrderBookRules, TheGtcEntryNamesTheSymbolAndTheRightQuantity)
{
    OrderSecurity sec;
    sec.index = 1;
    sec.token = 2885;
    sec.exchange = "NN";
    sec.symbol = "M&M~EQ";
    OrderInfo rec = order("TRAD", 3, 'S', 10, 1234.5);
    rec.open_qty = 0;
    EXPECT_EQ(GtcOrderEntry(rec, sec), "2885,NN,Sell,1234.50,M%26M,10");
    rec = order("OPN", 3, 'B', 10, 99);
    rec.open_qty = 4;
    sec.symbol = "~ODD";
    EXPECT_EQ(GtcOrderEntry(rec, sec), "2885,NN,Buy,99.00,%7EODD,4");
}

// A basket form that records what it is given.
class RecordingBasket final : public BasketService {
public:
    void reset() override { calls.push_back("reset"); }
    void setClient(const std::string& code) override { client = code; }
    void setMode(int m) override { mode = m; }
    void setLeg(int index, const BasketLeg& leg) override { legs.emplace_back(index, leg); }
    void refreshOrShow() override { calls.push_back("show"); }
    void destroy() override { calls.push_back("destroy"); }
    std::vector<std::string> calls;
    std::string client;
    int mode = 0;
    std::vector<std::pair<int, BasketLeg>> legs;
};

class OrderBookCommandsTest : public ordertest::OrderFixture {
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
        SetBasketService(nullptr);
        CDlgOrderFormExp::DestroyInstance();
        if (g_pOrderViewEx)
            delete g_pOrderViewEx;
        EXPECT_TRUE(WaitOrderReportDownloads(20000));
        pumpUntil([] { return false; }, 50);
        SetLoggedIn(false);
        OrderFixture::TearDown();
    }
    std::string row(int orderNo, char side, int qty, double price, const std::string& status, int mark = 3,
                    const std::string& client = "ABC12") const
    {
        char p[32];
        std::snprintf(p, sizeof p, "%.2f", price);
        return "101|CID01|" + std::to_string(token) + "|NN|" + std::to_string(orderNo) + "|EX" + std::to_string(orderNo)
            + "|" + (side == 'B' ? "Buy" : "Sell") + "|" + std::to_string(qty) + "|" + p + "|" + std::to_string(qty)
            + "|09:15:00|" + status + "|0.00|0|" + std::to_string(mark) + "|" + client + "|0|U1|SEC-EQ|Normal";
    }
    COrderViewEx* openBook(const std::vector<std::string>& rows)
    {
        std::string reply = "600|0|OK|" + std::to_string(rows.size()) + "~";
        for (size_t i = 0; i < rows.size(); ++i)
            reply += (i ? "^" : "") + rows[i];
        broker->setReply("ReportData=600", reply);
        COrderViewEx* view = OpenOrderBook();
        if (!view)
            return nullptr;
        const int n = int(rows.size());
        if (!pumpUntil([&] { return !view->isBusy() && view->grid()->model().rowTotal() == n; }, 20000))
            return nullptr;
        return view;
    }
    void select(COrderViewEx* view, std::initializer_list<int> records)
    {
        bool first = true;
        for (int r : records) {
            if (first)
                ui::setCurrentRow(*view->grid(), view->rowOfRecord(r));
            else
                view->grid()->selectRow(view->rowOfRecord(r), true);
            first = false;
        }
    }
    static bool has(const ui::MenuSpec& m, int id, bool* enabled = nullptr)
    {
        for (const ui::MenuItem& i : m.items)
            if (i.id == id) {
                if (enabled)
                    *enabled = i.enabled;
                return true;
            }
        return false;
    }
    void key(COrderViewEx* view, int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, k, mods);
        QApplication::sendEvent(view->grid()->tree(), &press);
    }
    int asked(const std::string& text) const
    {
        int n = 0;
        for (const testkit::AskRecord& a : prompter.asks())
            n += a.text == text;
        return n;
    }
    int sec = -1;
    int token = 0;
};

TEST_F(OrderBookCommandsTest, TheMenuAndTheKeysFollowTheSelectedOrder)
{
    COrderViewEx* view = openBook({row(1001, 'B', 10, 100, "TRAD"), row(1002, 'B', 10, 100, "NEWF"),
                                   row(1003, 'B', 10, 100, "OPN"), row(1004, 'S', 10, 100, "OPN", kDdsOrderMark)});
    ASSERT_NE(view, nullptr);
    OrderBookCommands* cmd = view->commands();
    ASSERT_NE(cmd, nullptr);
    bool enabled = false;

    select(view, {0});
    ui::MenuSpec m = cmd->contextMenu();
    EXPECT_FALSE(has(m, kCmdOrderModify));
    EXPECT_FALSE(has(m, kCmdOrderCancel));
    EXPECT_TRUE(has(m, kCmdPlaceOrder));
    EXPECT_TRUE(has(m, kCmdPlaceGtcOrder));

    select(view, {1});
    m = cmd->contextMenu();
    EXPECT_TRUE(has(m, kCmdOrderModify, &enabled));
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(has(m, kCmdPlaceOrder));

    select(view, {2});
    m = cmd->contextMenu();
    EXPECT_TRUE(has(m, kCmdOrderModify, &enabled));
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(has(m, kCmdOrderCancel, &enabled));
    EXPECT_TRUE(enabled);
    EXPECT_FALSE(has(m, kCmdPlaceOrder));
    EXPECT_TRUE(has(m, kCmdSor, &enabled));
    EXPECT_TRUE(enabled);

    // The DDS order: Modify and Cancel greyed, Place order kept; F2 says why,
    // F1 does nothing.
    select(view, {3});
    m = cmd->contextMenu();
    EXPECT_TRUE(has(m, kCmdOrderModify, &enabled));
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(has(m, kCmdOrderCancel, &enabled));
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(has(m, kCmdPlaceOrder));
    const size_t asksBefore = prompter.askCount();
    key(view, Qt::Key_F2);
    EXPECT_EQ(asked("DDS Order cannot be Modified from here."), 1);
    key(view, Qt::Key_F1);
    key(view, Qt::Key_Delete);
    EXPECT_EQ(prompter.askCount(), asksBefore + 1);
    EXPECT_EQ(CDlgOrderFormExp::Instance(), nullptr);

    // F2 on the open order opens the form to modify it, the menu's Cancel to cancel it.
    select(view, {2});
    key(view, Qt::Key_F2);
    ASSERT_TRUE(pumpUntil([] { return CDlgOrderFormExp::Instance() != nullptr; }, 5000));
    EXPECT_EQ(CDlgOrderFormExp::Instance()->RequestedMode(), 2);
    CDlgOrderFormExp::DestroyInstance();
    prompter.queueMenuCommand(kCmdOrderCancel);
    cmd->OnContextMenu(10, 10);
    ASSERT_TRUE(pumpUntil([] { return CDlgOrderFormExp::Instance() != nullptr; }, 5000));
    EXPECT_EQ(CDlgOrderFormExp::Instance()->RequestedMode(), 3);
}

TEST_F(OrderBookCommandsTest, AFilteredCsvHoldsOnlyTheShownRowsAndTheSummaryAddsThem)
{
    COrderViewEx* view = openBook({row(1001, 'B', 10, 100, "OPN"), row(1002, 'S', 4, 90, "TRAD"),
                                   row(1003, 'B', 20, 130, "TRAD")});
    ASSERT_NE(view, nullptr);
    constexpr int kBuySellCol = 5;
    view->grid()->setFilterBarText(kBuySellCol, QStringLiteral("Buy"));
    const std::string path = (std::filesystem::temp_directory_path() / "vx_h12_book.csv").string();
    prompter.queueSavePath(path);
    view->commands()->run(kCmdSaveAsCsv);
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    std::filesystem::remove(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(all, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << all.str();
    EXPECT_EQ(lines[0].rfind("Security,ME,Client,Order No,", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(",UserId"), std::string::npos);
    EXPECT_NE(lines[1].find(",1001,"), std::string::npos);
    EXPECT_NE(lines[2].find(",1003,"), std::string::npos);

    // The summary counts the same rows: 30 bought, 3600.00, average 120.00.
    key(view, Qt::Key_O, Qt::ShiftModifier);
    const auto asks = prompter.asks();
    ASSERT_FALSE(asks.empty());
    EXPECT_EQ(asks.back().caption, "Order Summary");
    EXPECT_NE(asks.back().text.find("3600.00"), std::string::npos) << asks.back().text;
    EXPECT_NE(asks.back().text.find("120.00"), std::string::npos) << asks.back().text;
    EXPECT_NE(asks.back().text.find("Sell Qty :             0"), std::string::npos) << asks.back().text;

    // A cancelled save dialog writes nothing and says so.
    view->commands()->run(kCmdSaveAsCsv);
    EXPECT_EQ(asked("Unable to Save File"), 1);
}

TEST_F(OrderBookCommandsTest, BasketCancelRefusesSixRowsAndTwoClientsAndFillsTheForm)
{
    auto basket = std::make_shared<RecordingBasket>();
    SetBasketService(basket);
    std::vector<std::string> rows;
    for (int i = 0; i < 6; ++i)
        rows.push_back(row(2001 + i, i % 2 ? 'S' : 'B', 10 + i, 100 + i, "OPN"));
    rows.push_back(row(2007, 'B', 5, 50, "OPN", 3, "XYZ99"));
    COrderViewEx* view = openBook(rows);
    ASSERT_NE(view, nullptr);

    select(view, {0, 1, 2, 3, 4, 5});
    key(view, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(asked("You can select max of 5 orders only."), 1);
    EXPECT_TRUE(basket->calls.empty());

    select(view, {0, 6});
    key(view, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(asked("You cannot Cancel orders for multiple clients."), 1);
    EXPECT_EQ(basket->calls, std::vector<std::string>{"destroy"});

    basket->calls.clear();
    select(view, {1, 3});
    view->commands()->run(kCmdBasketCancel);
    EXPECT_EQ(basket->calls, (std::vector<std::string>{"reset", "show"}));
    EXPECT_EQ(basket->client, "ABC12");
    EXPECT_EQ(basket->mode, 2);
    ASSERT_EQ(basket->legs.size(), 2u);
    EXPECT_EQ(basket->legs[0].first, 0);
    EXPECT_DOUBLE_EQ(basket->legs[0].second.order_no, 2002);
    EXPECT_EQ(basket->legs[0].second.side, 'S');
    EXPECT_EQ(basket->legs[0].second.quantity, 11);
    EXPECT_DOUBLE_EQ(basket->legs[1].second.order_no, 2004);
    EXPECT_EQ(basket->legs[1].second.sec_index, sec);
}

TEST_F(OrderBookCommandsTest, ModifyOrCancelOfAnOrderWhoseSecurityLeftTheMasterSaysWhyAndSendsNothing)
{
    token = 987654; // no security of the master has this token
    ASSERT_LT(OrderSearchToken(token, "NN"), 0);
    COrderViewEx* view = openBook({row(1003, 'B', 10, 100, "OPN")});
    ASSERT_NE(view, nullptr);
    OrderBookToolBar* bar = view->commands()->toolBar();
    ASSERT_NE(bar, nullptr);
    select(view, {0});
    const size_t sentBefore = orderRequests().size();
    struct Case {
        int command;
        const char* text;
    };
    const Case cases[] = {
        {kCmdOrderModify,
         "Order No 1003 cannot be modified here: its security (token 987654, NN) is no longer in the security file."},
        {kCmdOrderCancel,
         "Order No 1003 cannot be cancelled here: its security (token 987654, NN) is no longer in the security file."},
    };
    for (const Case& c : cases) {
        const size_t asks = prompter.askCount();
        bar->button(c.command)->trigger();
        ASSERT_TRUE(pumpUntil([&] { return prompter.askCount() > asks; }, 5000)) << c.command;
        EXPECT_EQ(prompter.asks().back().text, c.text);
        CDlgOrderFormExp* form = CDlgOrderFormExp::Instance();
        EXPECT_TRUE(form == nullptr || (!form->IsInitialised() && !form->isVisible())) << c.command;
    }
    EXPECT_EQ(orderRequests().size(), sentBefore);
}

TEST_F(OrderBookCommandsTest, TheToolbarCarriesMenu214AndFollowsTheCurrentOrder)
{
    COrderViewEx* view = openBook({row(1001, 'B', 10, 100, "TRAD"), row(1003, 'B', 10, 100, "OPN"),
                                   row(1004, 'S', 10, 100, "OPN", kDdsOrderMark)});
    ASSERT_NE(view, nullptr);
    OrderBookToolBar* bar = view->commands()->toolBar();
    ASSERT_NE(bar, nullptr);
    std::vector<int> ids;
    for (QAction* a : bar->actions())
        ids.push_back(a->data().toInt());
    EXPECT_EQ(ids, (std::vector<int>{33009, 32940, 32942, 32943, 33011, 33013, 33001, 33377, 33306, 33015, 33017,
                                     33019, 33021, 32895}));
    // The bar sits between the client band and the grid.
    EXPECT_LE(bar->geometry().bottom(), view->grid()->geometry().top());
    EXPECT_FALSE(bar->button(kCmdMfMark)->isEnabled());

    struct Case {
        int record;
        bool modify, history;
    };
    const Case cases[] = {{0, false, true}, {1, true, true}, {2, false, true}};
    for (const Case& c : cases) {
        select(view, {c.record});
        EXPECT_EQ(bar->button(kCmdOrderModify)->isEnabled(), c.modify) << c.record;
        EXPECT_EQ(bar->button(kCmdOrderCancel)->isEnabled(), c.modify) << c.record;
        EXPECT_EQ(bar->button(kCmdOrderHistory)->isEnabled(), c.history) << c.record;
        EXPECT_TRUE(bar->button(kCmdOrderSummary)->isEnabled());
    }

    // A click on Modify opens the form on the open order.
    select(view, {1});
    bar->button(kCmdOrderModify)->trigger();
    ASSERT_TRUE(pumpUntil([] { return CDlgOrderFormExp::Instance() != nullptr; }, 5000));
    EXPECT_EQ(CDlgOrderFormExp::Instance()->RequestedMode(), 2);
    CDlgOrderFormExp::DestroyInstance();

    // While the book downloads every button is off and a click does nothing.
    view->OnOrderRefresh();
    ASSERT_TRUE(view->isBusy());
    for (QAction* a : bar->actions())
        EXPECT_FALSE(a->isEnabled()) << a->data().toInt();
    const size_t asks = prompter.askCount();
    bar->button(kCmdOrderSummary)->trigger();
    EXPECT_EQ(prompter.askCount(), asks);
    ASSERT_TRUE(pumpUntil([&] { return !view->isBusy(); }, 20000));
    EXPECT_TRUE(bar->button(kCmdOrderRefresh)->isEnabled());
    EXPECT_TRUE(view->grid()->groupByBoxVisible());
}

} // namespace

} // namespace test_book_commands
